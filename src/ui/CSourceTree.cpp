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
#include "platform/ContactStore.h"
#include "platform/Registry.h"
#include "platform/Volumes.h"
#include "sources/WellKnownSources.h"
#include "ui/WaitCursor.h"

namespace corvane {
namespace {

constexpr int kKindRole = Qt::UserRole;
constexpr int kPathRole = Qt::UserRole + 1;
constexpr int kContactNamesRole = Qt::UserRole + 2;  // first, middle and last name

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
const QString kContactPlaceholder = QStringLiteral("Contact ###");

// The icon the desktop gives files of a type (".vcf", ".txt").
QIcon FileTypeIcon(const char* sampleName) {
    return Icons().icon(QFileInfo(QString::fromLatin1(sampleName)));
}

QTreeWidgetItem* AddRoot(QTreeWidget* tree, const QString& text, const QIcon& icon) {
    auto* root = new QTreeWidgetItem(tree, {text});
    root->setData(0, kKindRole, kNodeGroup);
    root->setIcon(0, icon);
    return root;
}

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

ContactNodeNames CSourceTree::ContactNames(const QTreeWidgetItem* node) {
    if (NodeKind(node) != kNodeContact) {
        return {};
    }
    const QStringList names = node->data(0, kContactNamesRole).toStringList();
    return names.size() == 3 ? ContactNodeNames{names[0], names[1], names[2]} : ContactNodeNames{};
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
    QTreeWidgetItem* fileSystem =
        AddRoot(this, QStringLiteral("File system"), Icons().icon(QFileIconProvider::Computer));

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
    AddContactsRoot();
    AddRegistryRoot();
    AddProgramSettingsRoot();
}

void CSourceTree::AddContactsRoot() {
    QTreeWidgetItem* root = AddRoot(this, QStringLiteral("Contacts"), FileTypeIcon("contact.vcf"));
    root->setData(0, kKindRole, kNodeContacts);
    AddPlaceholder(root, kContactPlaceholder);
}

void CSourceTree::FillContactsNode(QTreeWidgetItem* node) {
    WaitCursor wait;
    qDeleteAll(node->takeChildren());
    std::vector<StoredContact> contacts;
    // A store that cannot be read has logged why; the tree shows it as empty.
    if (!ContactStore().Read(contacts)) {
        contacts.clear();
    }
    const QIcon icon = FileTypeIcon("contact.vcf");
    for (const StoredContact& stored : contacts) {
        const Contact& contact = stored.contact;
        QString text = ContactDisplayText(contact);
        // A card without names is still a contact the user can find by its file.
        if (text.isEmpty()) {
            text = stored.fileName;
        }
        auto* child = new QTreeWidgetItem(node, {text});
        child->setData(0, kKindRole, kNodeContact);
        child->setData(0, kContactNamesRole,
                       QStringList{contact.firstName, contact.middleName, contact.lastName});
        child->setIcon(0, icon);
    }
    if (contacts.empty()) {
        auto* marker = new QTreeWidgetItem(node, {QStringLiteral("no contacts")});
        marker->setData(0, kKindRole, kNodeNoContacts);
    }
}

void CSourceTree::AddProgramSettingsRoot() {
    QTreeWidgetItem* root =
        AddRoot(this, QStringLiteral("Program settings"), Icons().icon(QFileIconProvider::Drive));
    const QIcon icon = FileTypeIcon("settings.txt");
    for (const WellKnownSource& source : WellKnownSources()) {
        auto* node = new QTreeWidgetItem(root, {QString::fromUtf8(source.node)});
        node->setData(0, kKindRole, kNodeWellKnown);
        node->setIcon(0, icon);
    }
}

void CSourceTree::AddRegistryRoot() {
    // The icon of the files the keys are saved in.
    QTreeWidgetItem* root =
        AddRoot(this, QStringLiteral("Registry items"), FileTypeIcon("settings.reg"));
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
    } else if (NodeKind(node) == kNodeContacts) {
        FillContactsNode(node);
    }
}

}  // namespace corvane
