#include "ui/CSourcePage.h"

#include <QCheckBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QTreeWidget>
#include <QUrl>
#include <QVBoxLayout>

#include "app/SourceItems.h"
#include "app/TaskTree.h"
#include "model/FileName.h"
#include "ui/CSourceTree.h"
#include "ui/TreeImages.h"

namespace corvane {
namespace {

constexpr int kIndexRole = Qt::UserRole;

// The list's two columns for one item.
QStringList ItemColumns(const SourceItem& item) {
    switch (item.kind) {
        case kItemFolder:
        case kItemFile:
            return {FileNameForDisplay(item.path), FileNameForDisplay(item.nameInArchive)};
        case kItemRegistryKey:
            return {item.path, item.nameInArchive + QStringLiteral(".reg")};
        case kItemAllContacts:
            return {QStringLiteral("All contacts"), QStringLiteral("Contacts")};
        case kItemContact:
            return {DescribeItem(item), DescribeItem(item)};
        default:
            return {QString(), QString()};
    }
}

}  // namespace

class CSourcePage::Impl : public QObject {
  public:
    explicit Impl(CSourcePage& page) : QObject(&page), m_page(page) {}

    void Build() {
        auto* caption = new QLabel(QStringLiteral(
            "Select the items, you want to back up, and add them to the right list."));
        caption->setWordWrap(true);

        m_tree = new CSourceTree;
        m_tree->setObjectName(QStringLiteral("sourceTree"));

        m_list = new QTreeWidget;
        m_list->setObjectName(QStringLiteral("itemList"));
        m_list->setColumnCount(2);
        m_list->setHeaderLabels({QStringLiteral("Items added"), QStringLiteral("Name in archive")});
        // The path takes the room the name leaves; a long one keeps both of its ends.
        m_list->header()->setStretchLastSection(false);
        m_list->header()->setSectionResizeMode(0, QHeaderView::Stretch);
        m_list->setColumnWidth(1, 120);
        m_list->setTextElideMode(Qt::ElideMiddle);
        m_list->setRootIsDecorated(false);
        m_list->setSelectionMode(QAbstractItemView::SingleSelection);
        // Drops reach the list through its viewport; this object takes them.
        m_list->setAcceptDrops(true);
        m_list->viewport()->setAcceptDrops(true);
        m_list->viewport()->installEventFilter(this);

        m_addButton = new QPushButton(QStringLiteral("&Add >>"));
        m_addButton->setObjectName(QStringLiteral("addButton"));
        m_removeButton = new QPushButton(QStringLiteral("<< &Remove"));
        m_removeButton->setObjectName(QStringLiteral("removeButton"));
        connect(m_addButton, &QPushButton::clicked, this, [this] { AddSelectedNode(); });
        connect(m_removeButton, &QPushButton::clicked, this, [this] { RemoveSelectedRow(); });

        m_nameEdit = new QLineEdit;
        m_nameEdit->setObjectName(QStringLiteral("taskNameEdit"));
        auto* nameLabel = new QLabel(QStringLiteral("Task name:"));
        nameLabel->setBuddy(m_nameEdit);

        m_desktopIconBox = new QCheckBox(QStringLiteral("&Put task icon on desktop"));
        m_desktopIconBox->setObjectName(QStringLiteral("desktopIconBox"));

        auto* buttons = new QVBoxLayout;
        buttons->addStretch();
        buttons->addWidget(m_addButton);
        buttons->addWidget(m_removeButton);
        buttons->addStretch();

        auto* lists = new QHBoxLayout;
        lists->addWidget(m_tree, 1);
        lists->addLayout(buttons);
        lists->addWidget(m_list, 1);

        auto* name = new QHBoxLayout;
        name->addWidget(nameLabel);
        name->addWidget(m_nameEdit, 1);

        auto* layout = new QVBoxLayout(&m_page);
        layout->addWidget(caption);
        layout->addLayout(lists, 1);
        layout->addLayout(name);
        layout->addWidget(m_desktopIconBox);
    }

    // Lists the draft's items; row i shows item i and keeps i as its data.
    void ShowItems() {
        m_list->clear();
        const std::vector<SourceItem>& items = m_page.Draft().items;
        for (size_t i = 0; i < items.size(); ++i) {
            auto* row = new QTreeWidgetItem(m_list, ItemColumns(items[i]));
            row->setIcon(0, TreeImageIcon(ItemImage(items[i])));
            row->setData(0, kIndexRole, static_cast<int>(i));
        }
    }

    void AddSelectedNode() {
        const QList<QTreeWidgetItem*> selected = m_tree->selectedItems();
        if (selected.isEmpty()) {
            Show({QStringLiteral("At first you must select item"), QString(),
                  DraftField::kSourceTree});
            return;
        }
        const QTreeWidgetItem* node = selected.first();
        const int kind = CSourceTree::NodeKind(node);
        if (kind == kNodeGroup) {
            Show({QStringLiteral("You cannot select this item"), QString(),
                  DraftField::kSourceTree});
            return;
        }
        // A name typed already is the task's, not the first item's.
        m_page.Store();
        DraftProblem problem;
        if (AddNode(node, kind, problem) < 0) {
            // The marker of an empty contact store adds nothing and says nothing.
            if (!problem.message.isEmpty()) {
                Show(problem);
            }
            return;
        }
        ItemsChanged();
    }

    // Makes the item of a tree node; -1 with `problem` set (or empty) when none is made.
    int AddNode(const QTreeWidgetItem* node, int kind, DraftProblem& problem) {
        TaskRecord& draft = m_page.Draft();
        const QString path = CSourceTree::NodePath(node);
        switch (kind) {
            case kNodeNoContacts:
                return -1;
            case kNodeContacts:
                return AddAllContactsSource(draft);
            case kNodeContact: {
                const ContactNodeNames names = CSourceTree::ContactNames(node);
                return AddContactSource(draft, names.first, names.middle, names.last);
            }
            case kNodeWellKnown: {
                const WellKnownSource* source = FindWellKnownSource(node->text(0));
                return source != nullptr
                           ? AddWellKnownSource(draft, *source, UserWellKnownPlaces(), &problem)
                           : -1;
            }
            case kNodeRegistryKey:
                // A key is named after its last component, which is the node's text.
                return AddRegistrySource(draft, path, &problem);
            case kNodeFile:
                return AddPathSource(draft, kItemFile, path, path.mid(path.lastIndexOf(u'/') + 1),
                                     &problem);
            default:
                return AddPathSource(draft, kItemFolder, path, FolderBaseName(path), &problem);
        }
    }

    void RemoveSelectedRow() {
        const QList<QTreeWidgetItem*> selected = m_list->selectedItems();
        if (selected.isEmpty()) {
            Show({QStringLiteral("You must select item from the right list"),
                  QStringLiteral("Warning"), DraftField::kItemList});
            return;
        }
        if (RemoveSource(m_page.Draft(), selected.first()->data(0, kIndexRole).toInt())) {
            ShowItems();
        }
    }

    void AddPaths(const QStringList& paths) {
        m_page.Store();
        bool added = false;
        for (const QString& path : paths) {
            DraftProblem ignored;
            added = AddFileSystemSource(m_page.Draft(), path, &ignored) >= 0 || added;
        }
        if (added) {
            ItemsChanged();
        }
    }

    // After an add: the list, and the task name the first item may have given the draft,
    // ready to be typed over.
    void ItemsChanged() {
        ShowItems();
        m_nameEdit->setText(m_page.Draft().name);
        m_nameEdit->setFocus();
        m_nameEdit->selectAll();
    }

    void Show(const DraftProblem& problem) {
        ShowDraftProblem(&m_page, problem);
        m_page.FocusField(problem.field);
    }

    // A node dragged from the tree is added as if picked and Add pressed; files dragged
    // from elsewhere (a file manager) are added by their paths.
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched != m_list->viewport()) {
            return false;
        }
        switch (event->type()) {
            case QEvent::DragEnter:
            case QEvent::DragMove: {
                auto* drag = static_cast<QDropEvent*>(event);
                if (IsTreeDrag(drag) || drag->mimeData()->hasUrls()) {
                    AcceptAsCopy(drag);
                }
                return true;
            }
            case QEvent::Drop: {
                auto* drop = static_cast<QDropEvent*>(event);
                AcceptAsCopy(drop);
                if (IsTreeDrag(drop)) {
                    AddSelectedNode();
                } else {
                    AddPaths(LocalPaths(drop->mimeData()));
                }
                return true;
            }
            default:
                return false;
        }
    }

    // Always a copy: a drag that ended as a move would take the node out of the tree,
    // or the file manager's file away.
    static void AcceptAsCopy(QDropEvent* event) {
        event->setDropAction(Qt::CopyAction);
        event->accept();
    }

    static bool IsTreeDrag(const QDropEvent* event) {
        return event->mimeData()->hasFormat(CSourceTree::DragFormat());
    }

    // The paths of dropped files by their bytes: toLocalFile() would read a name that is
    // not UTF-8 as U+FFFD and name a file that does not exist.
    static QStringList LocalPaths(const QMimeData* data) {
        QStringList paths;
        for (const QUrl& url : data->urls()) {
            if (url.isLocalFile()) {
                paths << FileNameFromBytes(
                    QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1()));
            }
        }
        return paths;
    }

    CSourcePage& m_page;
    CSourceTree* m_tree = nullptr;
    QTreeWidget* m_list = nullptr;
    QLineEdit* m_nameEdit = nullptr;
    QCheckBox* m_desktopIconBox = nullptr;
    QPushButton* m_addButton = nullptr;
    QPushButton* m_removeButton = nullptr;
};

CSourcePage::CSourcePage(TaskRecord& draft, bool inSheet, QWidget* parent)
    : CTaskPage(draft, inSheet, parent), m_impl(new Impl(*this)) {
    m_impl->Build();
    m_impl->m_tree->Fill();
    m_impl->m_desktopIconBox->setChecked(!draft.desktopShortcut.isEmpty());
    Load();
}

// First, so that its event filter is gone before the widgets it watches.
CSourcePage::~CSourcePage() {
    delete m_impl;
}

void CSourcePage::AddPaths(const QStringList& paths) {
    m_impl->AddPaths(paths);
}

bool CSourcePage::DesktopIconWanted() const {
    return m_impl->m_desktopIconBox->isChecked();
}

void CSourcePage::SetDesktopIconWanted(bool wanted) {
    m_impl->m_desktopIconBox->setChecked(wanted);
}

QString CSourcePage::StepTitle() const {
    return QStringLiteral("New backup wizard, step 1/4");
}

QString CSourcePage::TabLabel() const {
    return QStringLiteral("Source data");
}

void CSourcePage::Load() {
    m_impl->m_nameEdit->setText(Draft().name);
    m_impl->ShowItems();
}

void CSourcePage::Store() {
    Draft().name = m_impl->m_nameEdit->text();
}

bool CSourcePage::Leave() {
    Store();
    DraftProblem problem;
    if (!CheckSourcePage(Draft(), &problem)) {
        m_impl->Show(problem);
        return false;
    }
    return true;
}

void CSourcePage::FocusField(DraftField field) {
    switch (field) {
        case DraftField::kTaskName:
            m_impl->m_nameEdit->setFocus();
            break;
        case DraftField::kItemList:
            m_impl->m_list->setFocus();
            break;
        default:
            m_impl->m_tree->setFocus();
            break;
    }
}

}  // namespace corvane
