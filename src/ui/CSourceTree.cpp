#include "ui/CSourceTree.h"

#include <QDir>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QMimeData>
#include <QStandardPaths>
#include <algorithm>
#include <optional>

#include "engine/FolderWalk.h"
#include "model/FileName.h"
#include "platform/Registry.h"
#include "platform/Volumes.h"
#include "ui/WaitCursor.h"

namespace corvane {
namespace {

constexpr int kKindRole = Qt::UserRole;
constexpr int kPathRole = Qt::UserRole + 1;

const QFileIconProvider& Icons() {
    static const QFileIconProvider provider;
    return provider;
}

QString WithFinalSlash(const QString& path) {
    return path.endsWith(u'/') ? path : path + u'/';
}

bool IsFolderNodeKind(int kind) {
    return kind == kNodeVolume || kind == kNodeFolder || kind == kNodeDocuments ||
           kind == kNodeHome;
}

const QString kFolderPlaceholder = QStringLiteral("Sub dir ###");
const QString kRegistryPlaceholder = QStringLiteral("Sub reg ###");

// Makes a folder or key node expandable before it is read.
void AddPlaceholder(QTreeWidgetItem* node, const QString& text = kFolderPlaceholder) {
    auto* placeholder = new QTreeWidgetItem(node, {text});
    placeholder->setData(0, kKindRole, kNodeGroup);
}

bool HoldsOnlyPlaceholder(const QTreeWidgetItem* node) {
    return node->childCount() == 1 && CSourceTree::NodeKind(node->child(0)) == kNodeGroup;
}

// Folders first, then files; each by its name in lower case, ties by the exact name.
void SortForTree(FileList& entries) {
    std::sort(entries.begin(), entries.end(), [](const FileListEntry& a, const FileListEntry& b) {
        const bool aFolder = IsFolderKind(a.kind);
        const bool bFolder = IsFolderKind(b.kind);
        if (aFolder != bFolder) {
            return aFolder;
        }
        const int byCase = a.path.compare(b.path, Qt::CaseInsensitive);
        return byCase != 0 ? byCase < 0 : a.path < b.path;
    });
}

}  // namespace

CSourceTree::CSourceTree(QWidget* parent) : QTreeWidget(parent) {
    setHeaderHidden(true);
    setColumnCount(1);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setDragEnabled(true);
    setDragDropMode(QAbstractItemView::DragOnly);
    connect(this, &QTreeWidget::itemExpanded, this, &CSourceTree::FillOnFirstExpand);
}

int CSourceTree::NodeKind(const QTreeWidgetItem* node) {
    return node != nullptr ? node->data(0, kKindRole).toInt() : kNodeGroup;
}

QString CSourceTree::NodePath(const QTreeWidgetItem* node) {
    return node != nullptr ? node->data(0, kPathRole).toString() : QString();
}

QString CSourceTree::DragFormat() {
    return QStringLiteral("application/x-corvane-source-node");
}

QStringList CSourceTree::mimeTypes() const {
    return {DragFormat()};
}

// Only our own format: a node dropped on a file manager must never copy or move the
// place it names.
QMimeData* CSourceTree::mimeData(const QList<QTreeWidgetItem*>& nodes) const {
    if (nodes.isEmpty()) {
        return nullptr;
    }
    auto* data = new QMimeData;
    data->setData(DragFormat(), FileNameToBytes(NodePath(nodes.first())));
    return data;
}

void CSourceTree::Fill(const VolumeInfoFolders& folders) {
    WaitCursor wait;
    clear();
    auto* fileSystem = new QTreeWidgetItem(this, {QStringLiteral("File system")});
    fileSystem->setData(0, kKindRole, kNodeGroup);
    fileSystem->setIcon(0, Icons().icon(QFileIconProvider::Computer));

    const QIcon folderIcon = Icons().icon(QFileIconProvider::Folder);
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (!documents.isEmpty()) {
        FillFolderNode(AddFolderNode(fileSystem, kNodeDocuments, QStringLiteral("My documents"),
                                     documents, folderIcon));
    }
    for (const UserVolume& volume : ListUserVolumes(folders)) {
        const bool remote = volume.label == QLatin1String("Network drive");
        QTreeWidgetItem* node = AddFolderNode(
            fileSystem, kNodeVolume, volume.text, volume.mount.path,
            Icons().icon(remote ? QFileIconProvider::Network : QFileIconProvider::Drive));
        // A server that does not answer must not hold up the page: a network drive is
        // read when the user opens it.
        if (remote) {
            AddPlaceholder(node);
        } else {
            FillFolderNode(node);
        }
    }
    FillFolderNode(AddFolderNode(fileSystem, kNodeHome, QStringLiteral("Home folder"),
                                 QDir::homePath(), folderIcon));
    fileSystem->setExpanded(true);
    AddRegistryRoot();
}

void CSourceTree::AddRegistryRoot() {
    auto* root = new QTreeWidgetItem({QStringLiteral("Registry items")});
    root->setData(0, kKindRole, kNodeGroup);
    // The icon of the files the keys are saved in.
    root->setIcon(0, Icons().icon(QFileInfo(QStringLiteral("settings.reg"))));
    const QList<QTreeWidgetItem*> programs =
        findItems(QStringLiteral("Program settings"), Qt::MatchExactly);
    if (programs.isEmpty()) {
        addTopLevelItem(root);
    } else {
        insertTopLevelItem(indexOfTopLevelItem(programs.first()), root);
    }
    // The other hives hold nothing here.
    for (const RegistryHive hive : {RegistryHive::kCurrentUser, RegistryHive::kLocalMachine}) {
        const QString name = RegistryHiveName(hive);
        AddPlaceholder(AddRegistryNode(root, name, name), kRegistryPlaceholder);
    }
}

QTreeWidgetItem* CSourceTree::AddRegistryNode(QTreeWidgetItem* parent, const QString& text,
                                              const QString& keyPath) {
    auto* node = new QTreeWidgetItem(parent, {text});
    node->setData(0, kKindRole, kNodeRegistryKey);
    node->setData(0, kPathRole, keyPath);
    node->setIcon(0, Icons().icon(QFileIconProvider::Folder));
    return node;
}

void CSourceTree::FillRegistryNode(QTreeWidgetItem* node) {
    WaitCursor wait;
    qDeleteAll(node->takeChildren());
    const QString keyPath = NodePath(node);
    RegistryHive hive = RegistryHive::kCurrentUser;
    QString subKey;
    if (!SplitRegistryKeyPath(keyPath, hive, subKey)) {
        return;
    }
    const std::optional<RegistryKey> key = RegistryKey::Open(hive, subKey);
    if (!key) {
        return;  // a key that cannot be opened simply has no children
    }
    const QString prefix = subKey.isEmpty() ? QString() : subKey + u'\\';
    for (const QString& name : key->SubKeyNames()) {
        QTreeWidgetItem* child = AddRegistryNode(node, name, keyPath + u'\\' + name);
        const std::optional<RegistryKey> below = RegistryKey::Open(hive, prefix + name);
        if (below && below->HasSubKeys()) {
            AddPlaceholder(child, kRegistryPlaceholder);
        }
    }
}

QTreeWidgetItem* CSourceTree::AddFolderNode(QTreeWidgetItem* parent, int kind, const QString& text,
                                            const QString& path, const QIcon& icon) {
    auto* node = new QTreeWidgetItem(parent, {text});
    node->setData(0, kKindRole, kind);
    node->setData(0, kPathRole, WithFinalSlash(path));
    node->setIcon(0, icon);
    return node;
}

void CSourceTree::FillFolderNode(QTreeWidgetItem* node) {
    WaitCursor wait;
    qDeleteAll(node->takeChildren());
    const QString folder = NodePath(node);
    FileList entries;
    // A folder that cannot be read simply has no children.
    ListFolder(folder, entries, kListFolders | kListFiles | kListQuiet, false, false);
    SortForTree(entries);

    const QIcon folderIcon = Icons().icon(QFileIconProvider::Folder);
    const QIcon fileIcon = Icons().icon(QFileIconProvider::File);
    for (const FileListEntry& entry : entries) {
        const QString display = FileNameForDisplay(entry.path);
        if (IsFolderKind(entry.kind)) {
            QTreeWidgetItem* child =
                AddFolderNode(node, kNodeFolder, display, folder + entry.path, folderIcon);
            // An empty folder gets no expander: nothing lies below it.
            if (entry.kind == kListFolder) {
                AddPlaceholder(child);
            }
            continue;
        }
        auto* file = new QTreeWidgetItem(node, {display});
        file->setData(0, kKindRole, kNodeFile);
        file->setData(0, kPathRole, folder + entry.path);
        file->setIcon(0, fileIcon);
    }
}

void CSourceTree::FillOnFirstExpand(QTreeWidgetItem* node) {
    if (!HoldsOnlyPlaceholder(node)) {
        return;
    }
    if (IsFolderNodeKind(NodeKind(node))) {
        FillFolderNode(node);
    } else if (NodeKind(node) == kNodeRegistryKey) {
        FillRegistryNode(node);
    }
}

}  // namespace corvane
