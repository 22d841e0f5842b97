#pragma once

// The task tree as data: groups at the top level, tasks at the top level or in a
// group, and one item row per source item under each task. The window shows this tree;
// the group list file stores its top level. Entries carry the value, label and image
// the window draws.
//
// Main thread only. The tree refers to tasks by slot index in the task list, which it
// does not own. A running backup appends to its task's history on the worker thread, so
// the tree never reads a history while it may be growing: the time of a task's last
// backup, which its tip shows, is taken when the tree first shows the task and again
// only when told (BackupHistoryChanged), once the run has ended.

#include <QString>
#include <memory>
#include <optional>
#include <unordered_map>
#include <vector>

#include "model/GroupListFile.h"
#include "model/TaskList.h"

namespace corvane {

// Values stored with the entries: a group, an item row; any other value is a task's
// slot index (so slot indices stay below kItemRowValue).
inline constexpr qint32 kGroupEntryValue = 16385;
inline constexpr qint32 kItemRowValue = 16383;

// Images of the tree's image strip.
enum TreeImage : int {
    kImageCopyTask = 0,
    kImageGroup = 1,
    kImageContact = 3,
    kImageAllContacts = 4,
    kImageRegistryKey = 5,
    kImageFile = 6,
    kImageFolder = 7,
    kImageArchiveTask = 8,
    kImageRestoreTask = 9,
    kImageSyncTask = 10,
};

struct TreeEntry {
    enum class Kind { Group, Task, ItemRow };

    Kind kind = Kind::Task;
    qint32 value = 0;
    QString label;
    int image = 0;
    bool expanded = false;
    TreeEntry* parent = nullptr;  // null at the top level
    std::vector<std::unique_ptr<TreeEntry>> children;

    bool IsGroup() const { return kind == Kind::Group; }
    bool IsTask() const { return kind == Kind::Task; }
    bool IsItemRow() const { return kind == Kind::ItemRow; }
};

int TaskImage(const TaskRecord& task);
int ItemImage(const SourceItem& item);

class TaskTree {
  public:
    explicit TaskTree(TaskList& tasks) : m_tasks(tasks) {}
    TaskTree(const TaskTree&) = delete;
    TaskTree& operator=(const TaskTree&) = delete;

    const std::vector<std::unique_ptr<TreeEntry>>& TopLevel() const { return m_top; }

    // Appends a task entry as the last child of `parent` (null: the top level) with
    // its item rows, and expands it.
    TreeEntry* AddTaskEntry(TreeEntry* parent, int taskIndex);
    // Appends a group entry at the end of the top level.
    TreeEntry* AddGroupEntry(const QString& name);
    // Empties the tree and shows every live task at the top level in slot order.
    void ShowAllTasksAtTop();
    void Clear();

    // Builds the tree from the stored top-level entries. A task the entries do not
    // name (a file written by another tool, or a task added while the group list was
    // not saved) is shown at the end of the top level, so that no task is hidden.
    void Build(const std::vector<GroupListEntry>& entries);
    // The top level as the group list file stores it.
    std::vector<GroupListEntry> ToGroupList() const;

    // Selection, as the window mirrors it.
    TreeEntry* Selected() const { return m_selected; }
    void Select(TreeEntry* entry) { m_selected = entry; }
    // The selected task: the task entry itself, an item row's task, a group's first
    // child; -1 when nothing is selected or the group is empty.
    int SelectedTaskIndex() const;

    // Puts a new task where the wizard places it: in the selected group, or in the
    // group of the selected task or item row, else at the top level. The new entry is
    // selected.
    TreeEntry* PlaceNewTask(int taskIndex);

    // Sets a task entry's label and image again and rebuilds its item rows. The caller
    // changed the task while no run uses it.
    void RefreshTaskEntry(TreeEntry* taskEntry);

    // Takes the time of the task's last backup again for its tip. Call once no run
    // uses the task any more (its run's completion is handled on the main thread after
    // the worker has ended).
    void BackupHistoryChanged(int taskIndex);

    // Drag and drop: only task entries can be dragged; a drop lands on a group or on
    // the top level (null). Answers the moved entry (re-created as the target's last
    // child), or the unchanged entry when the target is its own entry or its parent.
    static bool CanDrag(const TreeEntry* entry) { return entry != nullptr && entry->IsTask(); }
    TreeEntry* MoveTask(TreeEntry* taskEntry, TreeEntry* targetGroup);

    // Creates a group after the new-group dialog: the name is trimmed, the group
    // appended and selected, and the creation logged.
    TreeEntry* NewGroup(const QString& name);

    // Deletes the task of a task entry (or of an item row's task) and removes the
    // entry; deletes every task under a group entry and removes the group. Logs "Task
    // was deleted" per task. The caller has asked the user and checked that no task
    // runs.
    void DeleteEntry(TreeEntry* entry);

    // The slot indices of the task entries under a group, in tree order.
    std::vector<int> TaskIndicesUnder(const TreeEntry* group) const;

    // The text shown when the pointer rests on an entry.
    QString TipFor(const TreeEntry* entry) const;

    // The task entry of an entry (itself, or an item row's parent); null for a group.
    static TreeEntry* TaskEntryOf(TreeEntry* entry);

    // Every entry in display order (depth first), for walking the tree.
    std::vector<const TreeEntry*> InDisplayOrder() const;

  private:
    std::vector<std::unique_ptr<TreeEntry>>& ChildrenOf(TreeEntry* parent);
    void FillTaskEntry(TreeEntry& entry, int taskIndex);
    std::unique_ptr<TreeEntry> Detach(TreeEntry* entry);
    void ForgetSelectionWithin(const TreeEntry* entry);

    TaskList& m_tasks;
    // The last backup time of each task the tree has shown, by slot index.
    std::unordered_map<int, std::optional<CalendarTime>> m_latestBackup;
    std::vector<std::unique_ptr<TreeEntry>> m_top;
    TreeEntry* m_selected = nullptr;
};

}  // namespace corvane
