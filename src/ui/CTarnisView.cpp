#include "ui/CTarnisView.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDataStream>
#include <QDrag>
#include <QDragEnterEvent>
#include <QHash>
#include <QKeyEvent>
#include <QMessageBox>
#include <QTimer>
#include <QUrl>
#include <array>
#include <functional>

#include "app/TaskDraft.h"
#include "app/TaskFiles.h"
#include "app/TaskJobs.h"
#include "app/TaskSchedule.h"
#include "log/Log.h"
#include "platform/DataFolder.h"
#include "platform/DesktopShortcut.h"
#include "platform/UserSettings.h"
#include "ui/CGroupNameDialog.h"
#include "ui/CNewTaskWizard.h"
#include "ui/CRestoreWizard.h"
#include "ui/CSelectTaskTypeDialog.h"
#include "ui/CTaskPropertySheet.h"
#include "ui/ModalDialogScope.h"
#include "ui/TreeImages.h"
#include "ui/WaitCursor.h"

// The view shows the TaskTree of app/ and leaves every rule of the tree to it: commands
// change the tree data, save, and then the widget items are made afresh from the data
// (Rebuild). Trees are small, and one way from data to items cannot drift apart.
//
// The view stands between the run queue and the frame's observer: it forwards every
// call, holds the modal-dialog flag while the frame shows a dialog for the queue, and
// keeps the commands' enabled and checked states current when a run starts or ends.

namespace corvane {
namespace {

const QString kTaskMimeType = QStringLiteral("application/x-corvane-task-entry");
// The entry's stored value (group, item row or slot index), as the tree items carry it.
constexpr int kValueRole = Qt::UserRole;

struct CommandText {
    ViewCommand command;
    const char* text;
    const char* prompt;
    const char* shortText;
};

constexpr CommandText kCommandTexts[] = {
    {ViewCommand::kNewTask, "&New task wizard...", "Create a new task", "New task"},
    {ViewCommand::kNewGroup, "New &group...", "Create a new group", "New group"},
    {ViewCommand::kModify, "Modify task/group settings...", "Modify task settings", "Settings"},
    {ViewCommand::kDelete, "Delete task/group", "Delete task", "Delete task"},
    {ViewCommand::kStartTask, "Start task/group", "Start backup process for the task or group",
     "Backup"},
    {ViewCommand::kStartAll, "Start all tasks", "Start backup process for all tasks", "Backup all"},
    {ViewCommand::kStop, "Stop", "Stop backup process", "Stop"},
    {ViewCommand::kRestore, "Restore", "Restore data from a backup copy", "Restore"},
    {ViewCommand::kEstimate, "Estimate task size", "Estimate source data size", "Estimate"},
    {ViewCommand::kShutdownWhenComplete, "Shutdown PC when backup complete",
     "Your PC will switch off after the task is completed",
     "Your PC will switch off after the task is completed"},
};
constexpr size_t kCommandCount = std::size(kCommandTexts);

size_t CommandSlot(ViewCommand command) {
    return static_cast<size_t>(command);
}

bool AskYesNo(QWidget* parent, const QString& question) {
    QMessageBox box(QMessageBox::Question, QStringLiteral("Warning"), question,
                    QMessageBox::Yes | QMessageBox::No, parent);
    return box.exec() == QMessageBox::Yes;
}

QStringList LocalFiles(const QMimeData* data) {
    QStringList paths;
    if (data != nullptr && data->hasUrls()) {
        for (const QUrl& url : data->urls()) {
            if (url.isLocalFile()) {
                paths << url.toLocalFile();
            }
        }
    }
    return paths;
}

}  // namespace

class CTarnisView::Impl : public RunObserver {
  public:
    Impl(CTarnisView& view, TaskList& tasks, const QString& dataFolder, RunObserver& outer)
        : m_view(view),
          m_tasks(tasks),
          m_dataFolder(dataFolder),
          m_outer(outer),
          m_tree(tasks),
          m_queue(tasks, *this) {}

    void Init();
    void Rebuild();
    void UpdateCommandStates();
    void UpdateTips(int taskIndex);
    bool SaveAll();
    void SaveGroupList();
    // Saves the group list and, with `taskList`, the task list, never over a file the
    // load found damaged; logs every failure with its reason. False when the task list
    // was to be written and was not.
    bool SaveFiles(bool taskList);

    void OnNewTask();
    // The backup wizard, its source items filled with `files`.
    void OnNewBackupTask(const QStringList& files);
    void OnModify(bool groupAllowed);
    void OnNewGroup();
    void OnDelete();
    // Adds a finished task to the list and the tree. Called while no run is active.
    void AddNewTask(TaskRecord task, bool desktopIcon);
    void ApplyTaskSettings(int taskIndex, TaskRecord changed, bool desktopIcon);
    // The worker reads the task list while a run is active: a change waits for its end.
    void WhenIdle(std::function<void()> change);
    void OnStartTask();
    void OnStop();
    void OnRestore();
    void OnEstimate();
    void OnShutdownToggled(bool on);

    void MoveTask(TreeEntry* dragged, TreeEntry* target);
    void SetDropHighlight(TreeEntry* entry);
    // The task entry a drag of this view carries; null for anything else.
    TreeEntry* DraggedEntry(const QMimeData* data) const;
    // Over a group the drop highlight moves to it; over empty space it goes away; over
    // a task or item row it stays where it was.
    void TrackDropPosition(const QPoint& position);

    TreeEntry* EntryOf(const QTreeWidgetItem* item) const {
        return item != nullptr ? m_entryOf.value(item, nullptr) : nullptr;
    }

    // RunObserver: forwarded to the frame's observer.
    void SetQueueStatusText(const QString& text) override { m_outer.SetQueueStatusText(text); }
    void SetTrayBusy() override {
        m_outer.SetTrayBusy();
        UpdateCommandStates();
    }
    void SetTrayIdle() override {
        m_outer.SetTrayIdle();
        UpdateCommandStates();
    }
    void PlayEventSound(int event) override { m_outer.PlayEventSound(event); }
    void ShowWarning(const QString& text) override {
        ModalDialogScope modal;
        m_outer.ShowWarning(text);
    }
    void RequestShutdown() override {
        ModalDialogScope modal;
        m_outer.RequestShutdown();
    }
    void RunFinished(int taskIndex, RunOutcome outcome) override {
        m_outer.RunFinished(taskIndex, outcome);
        UpdateCommandStates();
    }
    void EstimateFinished(const QString& sizeText) override {
        ModalDialogScope modal;
        m_outer.EstimateFinished(sizeText);
    }
    int ChooseBackupCopy(const TaskRecord& task) override {
        int chosen = -1;
        {
            ModalDialogScope modal;
            chosen = m_outer.ChooseBackupCopy(task);
        }
        // A cancel sets the stop flag once this call has returned: show it then.
        QTimer::singleShot(0, &m_view, [this] { UpdateCommandStates(); });
        return chosen;
    }
    bool ChooseRestoreItems(std::vector<RestoreItem>& items) override {
        ModalDialogScope modal;
        return m_outer.ChooseRestoreItems(items);
    }

    CTarnisView& m_view;
    TaskList& m_tasks;
    const QString m_dataFolder;
    RunObserver& m_outer;
    TaskTree m_tree;
    RunQueue m_queue;
    TaskFilesLoad m_load;
    std::array<QAction*, kCommandCount> m_actions{};
    QHash<const TreeEntry*, QTreeWidgetItem*> m_itemOf;
    QHash<const QTreeWidgetItem*, TreeEntry*> m_entryOf;
    bool m_syncing = false;  // items are being made: their signals change nothing
    TreeEntry* m_dropHighlight = nullptr;
    QStringList m_droppedFiles;
    std::vector<std::function<void()>> m_waitingChanges;
};

void CTarnisView::Impl::Init() {
    for (const CommandText& texts : kCommandTexts) {
        auto* action = new QAction(QString::fromUtf8(texts.text), &m_view);
        action->setStatusTip(QString::fromUtf8(texts.prompt));
        action->setToolTip(QString::fromUtf8(texts.shortText));
        action->setIconText(QString::fromUtf8(texts.shortText));
        m_actions[CommandSlot(texts.command)] = action;
    }
    auto action = [this](ViewCommand command) { return m_actions[CommandSlot(command)]; };
    action(ViewCommand::kNewTask)->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_N));
    m_view.addAction(action(ViewCommand::kNewTask));
    action(ViewCommand::kStop)->setCheckable(true);
    action(ViewCommand::kShutdownWhenComplete)->setCheckable(true);

    auto on = [this, &action](ViewCommand command, auto handler) {
        QObject::connect(action(command), &QAction::triggered, &m_view, handler);
    };
    on(ViewCommand::kNewTask, [this] { OnNewTask(); });
    on(ViewCommand::kModify, [this] { OnModify(true); });
    on(ViewCommand::kNewGroup, [this] { OnNewGroup(); });
    on(ViewCommand::kDelete, [this] { OnDelete(); });
    on(ViewCommand::kStartTask, [this] { OnStartTask(); });
    on(ViewCommand::kStartAll, [this] {
        m_queue.StartAll();
        UpdateCommandStates();
    });
    on(ViewCommand::kStop, [this] { OnStop(); });
    on(ViewCommand::kRestore, [this] { OnRestore(); });
    on(ViewCommand::kEstimate, [this] { OnEstimate(); });
    QObject::connect(action(ViewCommand::kShutdownWhenComplete), &QAction::toggled, &m_view,
                     [this](bool checked) { OnShutdownToggled(checked); });

    QObject::connect(&m_view, &QTreeWidget::itemSelectionChanged, &m_view, [this] {
        if (m_syncing) {
            return;
        }
        const QList<QTreeWidgetItem*> selected = m_view.selectedItems();
        m_tree.Select(selected.isEmpty() ? nullptr : EntryOf(selected.front()));
        UpdateCommandStates();
    });
    QObject::connect(&m_view, &QTreeWidget::itemExpanded, &m_view, [this](QTreeWidgetItem* item) {
        if (TreeEntry* entry = EntryOf(item); entry != nullptr && !m_syncing) {
            entry->expanded = true;
        }
    });
    QObject::connect(&m_view, &QTreeWidget::itemCollapsed, &m_view, [this](QTreeWidgetItem* item) {
        if (TreeEntry* entry = EntryOf(item); entry != nullptr && !m_syncing) {
            entry->expanded = false;
        }
    });
    QObject::connect(
        &m_view, &QTreeWidget::itemDoubleClicked, &m_view, [this](QTreeWidgetItem* item) {
            // A double-click on a group opens or closes it, nothing more.
            if (TreeEntry* entry = EntryOf(item); entry != nullptr && !entry->IsGroup()) {
                OnModify(false);
            }
        });
    QObject::connect(&m_queue, &RunQueue::QueueIdle, &m_view, [this] {
        std::vector<std::function<void()>> changes;
        changes.swap(m_waitingChanges);
        for (auto& change : changes) {
            change();
        }
        UpdateCommandStates();
    });

    SetTaskJobs(m_queue, m_tasks, m_dataFolder);

    // The program checks the files before the window opens; a file damaged since then
    // is reported here and kept as it is.
    // The window may let the keyring's service ask the user to unlock it.
    m_load = LoadTasksAndTree(m_tasks, m_tree, m_dataFolder, KeyringRead::kPrompt);
    for (const QString& error : {m_load.taskListError, m_load.groupListError}) {
        if (!error.isEmpty()) {
            Log("Error: %s", qUtf8Printable(error));
        }
    }
    m_queue.SetShutdownWhenComplete(UserSettings::ShutdownWhenComplete());
    Rebuild();
}

void CTarnisView::Impl::Rebuild() {
    m_syncing = true;
    m_view.clear();
    m_itemOf.clear();
    m_entryOf.clear();
    std::vector<std::pair<QTreeWidgetItem*, const TreeEntry*>> pending;
    for (const auto& top : m_tree.TopLevel()) {
        pending.emplace_back(nullptr, top.get());
    }
    for (size_t i = 0; i < pending.size(); ++i) {
        const auto [parent, entry] = pending[i];
        auto* item = parent != nullptr ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(&m_view);
        item->setText(0, entry->label);
        item->setIcon(0, TreeImageIcon(entry->image));
        item->setData(0, kValueRole, entry->value);
        item->setToolTip(0, m_tree.TipFor(entry));
        Qt::ItemFlags flags = Qt::ItemIsSelectable | Qt::ItemIsEnabled;
        if (TaskTree::CanDrag(entry)) {
            flags |= Qt::ItemIsDragEnabled;
        }
        item->setFlags(flags);
        m_itemOf.insert(entry, item);
        m_entryOf.insert(item, const_cast<TreeEntry*>(entry));
        for (const auto& child : entry->children) {
            pending.emplace_back(item, child.get());
        }
    }
    // Expanded once every item has its children.
    for (auto it = m_itemOf.cbegin(); it != m_itemOf.cend(); ++it) {
        it.value()->setExpanded(it.key()->expanded);
    }
    if (m_dropHighlight != nullptr && !m_itemOf.contains(m_dropHighlight)) {
        m_dropHighlight = nullptr;
    }
    if (QTreeWidgetItem* highlighted = m_itemOf.value(m_dropHighlight, nullptr)) {
        highlighted->setBackground(0, m_view.palette().brush(QPalette::Highlight));
        highlighted->setForeground(0, m_view.palette().brush(QPalette::HighlightedText));
    }
    if (QTreeWidgetItem* selected = m_itemOf.value(m_tree.Selected(), nullptr)) {
        m_view.setCurrentItem(selected);
        selected->setSelected(true);
        m_view.scrollToItem(selected);
    }
    m_syncing = false;
    UpdateCommandStates();
}

void CTarnisView::Impl::UpdateCommandStates() {
    const bool taskSelected = m_tree.SelectedTaskIndex() != -1;
    const bool running = m_queue.IsRunning();
    auto action = [this](ViewCommand command) { return m_actions[CommandSlot(command)]; };
    action(ViewCommand::kModify)->setEnabled(m_tree.Selected() != nullptr && !running);
    action(ViewCommand::kDelete)->setEnabled(!running);
    action(ViewCommand::kStartTask)->setEnabled(taskSelected);
    action(ViewCommand::kStartAll)->setEnabled(m_tasks.LiveTaskCount() > 0);
    action(ViewCommand::kStop)->setEnabled(taskSelected);
    action(ViewCommand::kStop)->setChecked(m_queue.StopRequested());
    action(ViewCommand::kRestore)->setEnabled(taskSelected);
    action(ViewCommand::kEstimate)->setEnabled(taskSelected);
    action(ViewCommand::kShutdownWhenComplete)->setChecked(m_queue.ShutdownWhenComplete());
}

void CTarnisView::Impl::UpdateTips(int taskIndex) {
    for (auto it = m_itemOf.cbegin(); it != m_itemOf.cend(); ++it) {
        if (it.key()->IsTask() && it.key()->value == taskIndex) {
            it.value()->setToolTip(0, m_tree.TipFor(it.key()));
        }
    }
}

bool CTarnisView::Impl::SaveAll() {
    // A running backup adds to its task's history on the worker thread: the task list
    // is not read meanwhile. It is written when the run has ended (OnRunFinished).
    if (m_queue.CurrentTaskIndex() != -1) {
        SaveGroupList();
        return true;
    }
    return SaveFiles(true);
}

void CTarnisView::Impl::SaveGroupList() {
    SaveFiles(false);
}

bool CTarnisView::Impl::SaveFiles(bool taskList) {
    EnsureFolder(m_dataFolder);
    TaskFilesToSave which = TaskFilesToSave::After(m_load);
    which.taskList = which.taskList && taskList;
    QStringList problems;
    const bool saved = SaveTasksAndTree(m_tasks, m_tree, m_dataFolder, which, &problems);
    for (const QString& problem : problems) {
        Log("Error: %s", qUtf8Printable(problem));
    }
    return saved && !(taskList && m_load.TaskListDamaged());
}

void CTarnisView::Impl::OnNewTask() {
    CSelectTaskTypeDialog::Choice choice = CSelectTaskTypeDialog::Choice::kBackup;
    if (!CSelectTaskTypeDialog::Ask(&m_view, choice)) {
        return;
    }
    if (choice == CSelectTaskTypeDialog::Choice::kBackup) {
        OnNewBackupTask({});
        return;
    }
    TaskRecord restoreTask;
    if (!RunRestoreWizard(&m_view, restoreTask)) {
        return;
    }
    WhenIdle([this, restoreTask] { AddNewTask(restoreTask, false); });
}

void CTarnisView::Impl::OnNewBackupTask(const QStringList& files) {
    ModalDialogScope modal;
    CNewTaskWizard wizard(NewTaskDraft(UserSettings::DefaultBackupFolder(), CurrentLocalTime()),
                          files, &m_view);
    if (wizard.exec() != QDialog::Accepted) {
        return;
    }
    WhenIdle([this, task = wizard.Task(), icon = wizard.DesktopIconWanted()] {
        AddNewTask(task, icon);
    });
}

void CTarnisView::Impl::AddNewTask(TaskRecord task, bool desktopIcon) {
    task.oid = m_tasks.NewOid();
    TaskRecord* added = m_tasks.Append(std::make_unique<TaskRecord>(std::move(task)));
    // The launcher logs its own failure and leaves the task without one.
    if (desktopIcon) {
        (void)CreateDesktopShortcut(*added, QCoreApplication::applicationFilePath());
    }
    // The scheduler logs its own failure; the task is kept without its job.
    (void)ApplyTaskSchedule(nullptr, *added, QCoreApplication::applicationFilePath());
    m_view.PlaceNewTask(m_tasks.IndexOfTask(added));
    m_outer.PlayEventSound(kSoundTaskAdded);
    Log("New task added");
}

void CTarnisView::Impl::OnModify(bool groupAllowed) {
    // A task is never changed under the worker thread.
    if (m_queue.IsRunning()) {
        return;
    }
    const TreeEntry* selected = m_tree.Selected();
    // For a group: its first task, as every command of the view reads a group.
    const int taskIndex = m_tree.SelectedTaskIndex();
    if (selected == nullptr || taskIndex == -1 || (selected->IsGroup() && !groupAllowed)) {
        return;
    }
    ModalDialogScope modal;
    CTaskPropertySheet sheet(*m_tasks.TaskAt(taskIndex), &m_view);
    if (sheet.exec() != QDialog::Accepted) {
        return;
    }
    // A task handed over by another program may have started while the sheet was open:
    // the change then waits for the run to end.
    WhenIdle([this, taskIndex, task = sheet.Task(), icon = sheet.DesktopIconWanted()] {
        ApplyTaskSettings(taskIndex, task, icon);
    });
}

void CTarnisView::Impl::ApplyTaskSettings(int taskIndex, TaskRecord changed, bool desktopIcon) {
    TaskRecord* task = m_tasks.TaskAt(taskIndex);
    if (m_tasks.IndexOfTask(task) != taskIndex) {
        return;  // deleted meanwhile
    }
    // A launcher carries the task's name: a renamed task gets a new one, which replaces
    // the old one only once it is written (the launcher layer's own rule).
    changed.desktopShortcut = task->desktopShortcut;
    if (!desktopIcon) {
        DeleteDesktopShortcut(changed);
    } else if (changed.desktopShortcut != DesktopShortcutPath(changed.name)) {
        (void)CreateDesktopShortcut(changed, QCoreApplication::applicationFilePath());
    }
    (void)ApplyTaskSchedule(task, changed, QCoreApplication::applicationFilePath());
    *task = std::move(changed);
    m_view.RefreshTask(taskIndex);
    Log("Task was changed");
}

void CTarnisView::Impl::WhenIdle(std::function<void()> change) {
    if (m_queue.IsRunning()) {
        m_waitingChanges.push_back(std::move(change));
    } else {
        change();
    }
}

void CTarnisView::Impl::OnNewGroup() {
    QString name;
    if (!CGroupNameDialog::Ask(&m_view, name)) {
        return;
    }
    m_tree.NewGroup(name);
    SaveGroupList();
    Rebuild();
}

void CTarnisView::Impl::OnDelete() {
    // No record may be freed under the worker thread.
    if (m_queue.IsRunning()) {
        return;
    }
    ModalDialogScope modal;
    TreeEntry* selected = m_tree.Selected();
    if (selected == nullptr) {
        Log("  Nothing to delete");
        return;
    }
    const QString question =
        selected->IsGroup() ? QStringLiteral("Do you really want to delete this group of tasks?")
                            : QStringLiteral("Do you really want to delete this task?");
    if (!AskYesNo(&m_view, question)) {
        return;
    }
    // A task handed over by another program may have started while the question was
    // open: then nothing is deleted.
    if (m_queue.IsRunning() || m_tree.Selected() != selected) {
        return;
    }
    {
        WaitCursor wait;
        m_tree.DeleteEntry(selected);
    }
    SaveAll();
    Rebuild();
}

void CTarnisView::Impl::OnStartTask() {
    TreeEntry* selected = m_tree.Selected();
    if (selected == nullptr) {
        Log("  Nothing to start");
    } else if (selected->IsGroup()) {
        m_queue.StartGroup(m_tree.TaskIndicesUnder(selected));
    } else {
        m_queue.StartTask(TaskTree::TaskEntryOf(selected)->value);
    }
    UpdateCommandStates();
}

void CTarnisView::Impl::OnStop() {
    m_queue.Stop();
    UpdateCommandStates();
}

void CTarnisView::Impl::OnRestore() {
    TreeEntry* selected = m_tree.Selected();
    if (selected == nullptr) {
        Log("  Nothing to restore");
    } else if (selected->IsGroup()) {
        ShowWarning(QStringLiteral("You must select the task for restore."));
    } else {
        m_queue.RestoreTask(TaskTree::TaskEntryOf(selected)->value);
    }
    UpdateCommandStates();
}

void CTarnisView::Impl::OnEstimate() {
    if (m_queue.IsRunning()) {
        return;
    }
    TreeEntry* selected = m_tree.Selected();
    if (selected == nullptr) {
        return;
    }
    std::vector<int> indices;
    if (selected->IsGroup()) {
        Log("Estimating group of tasks...");
        indices = m_tree.TaskIndicesUnder(selected);
    } else {
        indices.push_back(TaskTree::TaskEntryOf(selected)->value);
    }
    StartTaskEstimate(m_queue, m_tasks, std::move(indices));
    UpdateCommandStates();
}

void CTarnisView::Impl::OnShutdownToggled(bool on) {
    if (on == m_queue.ShutdownWhenComplete()) {
        return;
    }
    m_queue.SetShutdownWhenComplete(on);
    UserSettings::SetShutdownWhenComplete(on);
}

void CTarnisView::Impl::MoveTask(TreeEntry* dragged, TreeEntry* target) {
    const TreeEntry* oldParent = dragged->parent;
    TreeEntry* moved = m_tree.MoveTask(dragged, target);
    if (moved->parent == oldParent) {
        return;  // dropped on itself or on its own group
    }
    m_tree.Select(moved);
    SaveGroupList();
    Rebuild();
}

void CTarnisView::Impl::SetDropHighlight(TreeEntry* entry) {
    if (entry == m_dropHighlight) {
        return;
    }
    if (QTreeWidgetItem* old = m_itemOf.value(m_dropHighlight, nullptr)) {
        old->setData(0, Qt::BackgroundRole, QVariant());
        old->setData(0, Qt::ForegroundRole, QVariant());
    }
    m_dropHighlight = entry;
    if (QTreeWidgetItem* item = m_itemOf.value(entry, nullptr)) {
        item->setBackground(0, m_view.palette().brush(QPalette::Highlight));
        item->setForeground(0, m_view.palette().brush(QPalette::HighlightedText));
    }
}

void CTarnisView::Impl::TrackDropPosition(const QPoint& position) {
    TreeEntry* over = EntryOf(m_view.itemAt(position));
    if (over == nullptr) {
        SetDropHighlight(nullptr);
    } else if (over->IsGroup()) {
        SetDropHighlight(over);
    }
}

// A drag carries the dragged entry's place in the tree (top-level row, row under its
// group or -1) and its slot index, and who made it (process and view), so that a drag
// from another program or another view is never taken for one of ours.
TreeEntry* CTarnisView::Impl::DraggedEntry(const QMimeData* data) const {
    if (data == nullptr || !data->hasFormat(kTaskMimeType)) {
        return nullptr;
    }
    QDataStream in(data->data(kTaskMimeType));
    qint64 pid = 0;
    quint64 view = 0;
    qint32 topRow = -1;
    qint32 childRow = -1;
    qint32 value = -1;
    in >> pid >> view >> topRow >> childRow >> value;
    if (in.status() != QDataStream::Ok || pid != QCoreApplication::applicationPid() ||
        view != reinterpret_cast<quintptr>(&m_view)) {
        return nullptr;
    }
    const auto& top = m_tree.TopLevel();
    if (topRow < 0 || static_cast<size_t>(topRow) >= top.size()) {
        return nullptr;
    }
    TreeEntry* entry = top[static_cast<size_t>(topRow)].get();
    if (childRow >= 0) {
        if (static_cast<size_t>(childRow) >= entry->children.size()) {
            return nullptr;
        }
        entry = entry->children[static_cast<size_t>(childRow)].get();
    }
    return TaskTree::CanDrag(entry) && entry->value == value ? entry : nullptr;
}

CTarnisView::CTarnisView(TaskList& tasks, const QString& dataFolder, RunObserver& observer,
                         QWidget* parent)
    : QTreeWidget(parent), m_impl(std::make_unique<Impl>(*this, tasks, dataFolder, observer)) {
    setColumnCount(1);
    setHeaderHidden(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setDragDropMode(QAbstractItemView::DragDrop);
    setDragEnabled(true);
    setAcceptDrops(true);
    viewport()->setAcceptDrops(true);
    setDropIndicatorShown(false);
    m_impl->Init();
}

CTarnisView::~CTarnisView() {
    ModalDialogScope modal;
    m_impl->SaveAll();
    UserSettings::SetShutdownWhenComplete(m_impl->m_queue.ShutdownWhenComplete());
}

QAction* CTarnisView::Action(ViewCommand command) const {
    const size_t slot = CommandSlot(command);
    return slot < kCommandCount ? m_impl->m_actions[slot] : nullptr;
}

RunQueue& CTarnisView::Queue() {
    return m_impl->m_queue;
}

TaskTree& CTarnisView::Tree() {
    return m_impl->m_tree;
}

void CTarnisView::RunTaskByName(const QString& name) {
    m_impl->m_queue.RunTaskByName(name);
    m_impl->UpdateCommandStates();
}

bool CTarnisView::Save() {
    return m_impl->SaveAll();
}

void CTarnisView::OnRunFinished(int taskIndex, RunOutcome /*outcome*/) {
    // Whatever the outcome, the run may have added to the task's history; its worker
    // has ended, so the history may be read now.
    m_impl->m_tree.BackupHistoryChanged(taskIndex);
    m_impl->SaveAll();
    m_impl->UpdateTips(taskIndex);
    m_impl->UpdateCommandStates();
}

QTreeWidgetItem* CTarnisView::PlaceNewTask(int taskIndex) {
    m_impl->m_tree.PlaceNewTask(taskIndex);
    m_impl->SaveAll();
    m_impl->Rebuild();
    return ItemOf(m_impl->m_tree.Selected());
}

void CTarnisView::RefreshTask(int taskIndex) {
    // Refreshing makes the task's item rows afresh, and the display order lists the old
    // ones: stop at the task, which the tree holds once.
    for (const TreeEntry* entry : m_impl->m_tree.InDisplayOrder()) {
        if (entry->IsTask() && entry->value == taskIndex) {
            m_impl->m_tree.RefreshTaskEntry(const_cast<TreeEntry*>(entry));
            break;
        }
    }
    m_impl->SaveAll();
    m_impl->Rebuild();
}

TreeEntry* CTarnisView::EntryOf(const QTreeWidgetItem* item) const {
    return m_impl->EntryOf(item);
}

QTreeWidgetItem* CTarnisView::ItemOf(const TreeEntry* entry) const {
    return entry != nullptr ? m_impl->m_itemOf.value(entry, nullptr) : nullptr;
}

QMimeData* CTarnisView::MakeDragData(const QTreeWidgetItem* item) const {
    const TreeEntry* entry = EntryOf(item);
    if (!TaskTree::CanDrag(entry)) {
        return nullptr;
    }
    qint32 topRow = -1;
    qint32 childRow = -1;
    const auto& top = m_impl->m_tree.TopLevel();
    const TreeEntry* topEntry = entry->parent != nullptr ? entry->parent : entry;
    for (size_t i = 0; i < top.size(); ++i) {
        if (top[i].get() == topEntry) {
            topRow = static_cast<qint32>(i);
        }
    }
    if (entry->parent != nullptr) {
        const auto& siblings = entry->parent->children;
        for (size_t i = 0; i < siblings.size(); ++i) {
            if (siblings[i].get() == entry) {
                childRow = static_cast<qint32>(i);
            }
        }
    }
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out << static_cast<qint64>(QCoreApplication::applicationPid())
        << static_cast<quint64>(reinterpret_cast<quintptr>(this)) << topRow << childRow
        << static_cast<qint32>(entry->value);
    auto* data = new QMimeData;
    data->setData(kTaskMimeType, bytes);
    return data;
}

const QStringList& CTarnisView::DroppedFiles() const {
    return m_impl->m_droppedFiles;
}

void CTarnisView::startDrag(Qt::DropActions /*supportedActions*/) {
    QTreeWidgetItem* item = currentItem();
    QMimeData* data = MakeDragData(item);
    if (data == nullptr) {
        return;  // groups and item rows stay where they are
    }
    auto* drag = new QDrag(this);
    drag->setMimeData(data);
    const QRect rect = visualItemRect(item);
    drag->setPixmap(viewport()->grab(rect));
    drag->setHotSpot(QPoint(rect.width() / 4, rect.height() / 2));
    drag->exec(Qt::MoveAction);
    // Dropped, dropped elsewhere or cancelled: the highlight goes in every case.
    m_impl->SetDropHighlight(nullptr);
}

void CTarnisView::dragEnterEvent(QDragEnterEvent* event) {
    if (m_impl->DraggedEntry(event->mimeData()) != nullptr) {
        event->setDropAction(Qt::MoveAction);
        event->accept();
        m_impl->TrackDropPosition(event->position().toPoint());
    } else if (!LocalFiles(event->mimeData()).isEmpty()) {
        event->acceptProposedAction();
    } else {
        event->ignore();
    }
}

void CTarnisView::dragMoveEvent(QDragMoveEvent* event) {
    if (m_impl->DraggedEntry(event->mimeData()) != nullptr) {
        // Accepted over every entry: a release over a task or an item row still moves
        // the task, to the last highlighted group or the top level.
        m_impl->TrackDropPosition(event->position().toPoint());
        event->setDropAction(Qt::MoveAction);
        event->accept();
    } else if (!LocalFiles(event->mimeData()).isEmpty()) {
        event->acceptProposedAction();
    } else {
        event->ignore();
    }
}

void CTarnisView::dragLeaveEvent(QDragLeaveEvent* event) {
    // The highlight stays: the pointer may come back, and the drag's end removes it.
    event->accept();
}

void CTarnisView::dropEvent(QDropEvent* event) {
    if (TreeEntry* dragged = m_impl->DraggedEntry(event->mimeData())) {
        m_impl->TrackDropPosition(event->position().toPoint());
        TreeEntry* target = m_impl->m_dropHighlight;
        m_impl->SetDropHighlight(nullptr);
        event->setDropAction(Qt::MoveAction);
        event->accept();
        m_impl->MoveTask(dragged, target);
        return;
    }
    const QStringList files = LocalFiles(event->mimeData());
    if (files.isEmpty()) {
        event->ignore();
        return;
    }
    m_impl->m_droppedFiles = files;
    event->acceptProposedAction();
    // Not inside the drop: the program the files came from waits until it returns.
    QTimer::singleShot(0, this, [this] { m_impl->OnNewBackupTask(m_impl->m_droppedFiles); });
}

void CTarnisView::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Delete && event->modifiers() == Qt::NoModifier) {
        m_impl->OnDelete();
        return;
    }
    QTreeWidget::keyPressEvent(event);
}

}  // namespace corvane
