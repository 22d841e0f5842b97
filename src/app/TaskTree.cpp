#include "app/TaskTree.h"

#include <algorithm>
#include <unordered_set>

#include "log/Log.h"
#include "model/TimeText.h"

namespace corvane {

int TaskImage(const TaskRecord& task) {
    switch (task.taskType) {
        case kTaskBackup:
            return task.backupMode == kMethodCopy ? kImageCopyTask : kImageArchiveTask;
        case kTaskRestore:
            return kImageRestoreTask;
        case kTaskSync:
            return kImageSyncTask;
        default:
            return kImageCopyTask;
    }
}

int ItemImage(const SourceItem& item) {
    switch (item.kind) {
        case kItemFolder:
            return kImageFolder;
        case kItemAllContacts:
            return kImageAllContacts;
        case kItemContact:
            return kImageContact;
        case kItemRegistryKey:
            return kImageRegistryKey;
        default:
            return kImageFile;
    }
}

std::vector<std::unique_ptr<TreeEntry>>& TaskTree::ChildrenOf(TreeEntry* parent) {
    return parent != nullptr ? parent->children : m_top;
}

void TaskTree::FillTaskEntry(TreeEntry& entry, int taskIndex) {
    entry.kind = TreeEntry::Kind::Task;
    entry.value = taskIndex;
    entry.children.clear();
    const TaskRecord* task = m_tasks.TaskAt(taskIndex);
    if (task == nullptr) {
        entry.label.clear();
        entry.image = kImageCopyTask;
        return;
    }
    entry.label = DescribeTask(*task);
    entry.image = TaskImage(*task);
    // A task seen for the first time is not running: runs start from the tree.
    if (m_latestBackup.find(taskIndex) == m_latestBackup.end()) {
        m_latestBackup[taskIndex] = LatestBackupTime(*task);
    }
    for (const SourceItem& item : task->items) {
        auto row = std::make_unique<TreeEntry>();
        row->kind = TreeEntry::Kind::ItemRow;
        row->value = kItemRowValue;
        row->label = DescribeItem(item);
        row->image = ItemImage(item);
        row->parent = &entry;
        entry.children.push_back(std::move(row));
    }
}

TreeEntry* TaskTree::AddTaskEntry(TreeEntry* parent, int taskIndex) {
    auto entry = std::make_unique<TreeEntry>();
    entry->parent = parent;
    FillTaskEntry(*entry, taskIndex);
    entry->expanded = true;
    auto& siblings = ChildrenOf(parent);
    siblings.push_back(std::move(entry));
    return siblings.back().get();
}

TreeEntry* TaskTree::AddGroupEntry(const QString& name) {
    auto entry = std::make_unique<TreeEntry>();
    entry->kind = TreeEntry::Kind::Group;
    entry->value = kGroupEntryValue;
    entry->label = name;
    entry->image = kImageGroup;
    m_top.push_back(std::move(entry));
    return m_top.back().get();
}

void TaskTree::Clear() {
    m_top.clear();
    m_selected = nullptr;
}

void TaskTree::ShowAllTasksAtTop() {
    Clear();
    for (int i = 0; i < m_tasks.TaskCount(); ++i) {
        if (m_tasks.TaskAt(i) != nullptr) {
            AddTaskEntry(nullptr, i);
        }
    }
}

void TaskTree::Build(const std::vector<GroupListEntry>& entries) {
    Clear();
    std::unordered_set<int> shown;
    auto addTask = [&](TreeEntry* parent, const std::optional<qint32>& oid) {
        if (!oid) {
            return;
        }
        const int index = m_tasks.IndexOfTask(m_tasks.FindTaskByOID(*oid));
        if (index >= 0) {
            AddTaskEntry(parent, index);
            shown.insert(index);
        }
    };
    for (const GroupListEntry& stored : entries) {
        if (stored.type == GroupListEntry::Type::Group) {
            TreeEntry* group = AddGroupEntry(stored.name);
            for (const auto& oid : stored.oids) {
                addTask(group, oid);
            }
            group->expanded = true;
        } else if (!stored.oids.empty()) {
            addTask(nullptr, stored.oids.front());
        }
    }
    for (int i = 0; i < m_tasks.TaskCount(); ++i) {
        if (m_tasks.TaskAt(i) != nullptr && shown.count(i) == 0) {
            AddTaskEntry(nullptr, i);
        }
    }
}

std::vector<GroupListEntry> TaskTree::ToGroupList() const {
    auto oidOf = [this](const TreeEntry& entry) -> std::optional<qint32> {
        const TaskRecord* task = m_tasks.TaskAt(entry.value);
        return task != nullptr ? std::optional<qint32>(task->oid) : std::nullopt;
    };
    std::vector<GroupListEntry> entries;
    for (const auto& top : m_top) {
        GroupListEntry stored;
        if (top->IsGroup()) {
            stored.type = GroupListEntry::Type::Group;
            stored.name = top->label;
            for (const auto& child : top->children) {
                stored.oids.push_back(oidOf(*child));
            }
        } else {
            stored.type = GroupListEntry::Type::Task;
            stored.oids.push_back(oidOf(*top));
        }
        entries.push_back(std::move(stored));
    }
    return entries;
}

TreeEntry* TaskTree::TaskEntryOf(TreeEntry* entry) {
    if (entry == nullptr || entry->IsGroup()) {
        return nullptr;
    }
    return entry->IsItemRow() ? entry->parent : entry;
}

int TaskTree::SelectedTaskIndex() const {
    if (m_selected == nullptr) {
        return -1;
    }
    if (m_selected->IsGroup()) {
        return m_selected->children.empty() ? -1 : m_selected->children.front()->value;
    }
    return TaskEntryOf(m_selected)->value;
}

TreeEntry* TaskTree::PlaceNewTask(int taskIndex) {
    TreeEntry* parent = nullptr;
    if (m_selected != nullptr) {
        if (m_selected->IsGroup()) {
            parent = m_selected;
        } else {
            parent = TaskEntryOf(m_selected)->parent;
        }
    }
    TreeEntry* entry = AddTaskEntry(parent, taskIndex);
    if (parent != nullptr) {
        parent->expanded = true;
    }
    m_selected = entry;
    return entry;
}

void TaskTree::RefreshTaskEntry(TreeEntry* taskEntry) {
    if (taskEntry == nullptr || !taskEntry->IsTask()) {
        return;
    }
    ForgetSelectionWithin(taskEntry);
    BackupHistoryChanged(taskEntry->value);
    FillTaskEntry(*taskEntry, taskEntry->value);
}

void TaskTree::BackupHistoryChanged(int taskIndex) {
    const TaskRecord* task = m_tasks.TaskAt(taskIndex);
    m_latestBackup[taskIndex] = task != nullptr ? LatestBackupTime(*task) : std::nullopt;
}

std::unique_ptr<TreeEntry> TaskTree::Detach(TreeEntry* entry) {
    auto& siblings = ChildrenOf(entry->parent);
    auto it = std::find_if(siblings.begin(), siblings.end(),
                           [entry](const auto& e) { return e.get() == entry; });
    if (it == siblings.end()) {
        return nullptr;
    }
    std::unique_ptr<TreeEntry> owned = std::move(*it);
    siblings.erase(it);
    return owned;
}

TreeEntry* TaskTree::MoveTask(TreeEntry* taskEntry, TreeEntry* targetGroup) {
    if (!CanDrag(taskEntry) || (targetGroup != nullptr && !targetGroup->IsGroup())) {
        return taskEntry;
    }
    if (targetGroup == taskEntry || targetGroup == taskEntry->parent) {
        return taskEntry;
    }
    std::unique_ptr<TreeEntry> owned = Detach(taskEntry);
    owned->parent = targetGroup;
    owned->expanded = true;
    if (targetGroup != nullptr) {
        targetGroup->expanded = true;
    }
    auto& siblings = ChildrenOf(targetGroup);
    siblings.push_back(std::move(owned));
    return siblings.back().get();
}

TreeEntry* TaskTree::NewGroup(const QString& name) {
    const QString trimmed = name.trimmed();
    TreeEntry* group = AddGroupEntry(trimmed);
    m_selected = group;
    Log("Group '%s' was created, now you can create tasks in it", qUtf8Printable(trimmed));
    return group;
}

void TaskTree::ForgetSelectionWithin(const TreeEntry* entry) {
    for (const TreeEntry* e = m_selected; e != nullptr; e = e->parent) {
        if (e == entry) {
            m_selected = nullptr;
            return;
        }
    }
}

void TaskTree::DeleteEntry(TreeEntry* entry) {
    if (entry == nullptr) {
        return;
    }
    std::vector<int> doomed;
    if (entry->IsGroup()) {
        doomed = TaskIndicesUnder(entry);
    } else {
        entry = TaskEntryOf(entry);
        doomed.push_back(entry->value);
    }
    ForgetSelectionWithin(entry);
    Detach(entry);
    for (const int index : doomed) {
        if (m_tasks.TaskAt(index) == nullptr) {
            continue;
        }
        m_tasks.DeleteTask(index);
        Log("Task was deleted");
        // A task the group list named twice has a second entry; it goes too.
        std::vector<TreeEntry*> others;
        for (const TreeEntry* e : InDisplayOrder()) {
            if (e->IsTask() && e->value == index) {
                others.push_back(const_cast<TreeEntry*>(e));
            }
        }
        for (TreeEntry* other : others) {
            ForgetSelectionWithin(other);
            Detach(other);
        }
    }
}

std::vector<int> TaskTree::TaskIndicesUnder(const TreeEntry* group) const {
    std::vector<int> indices;
    if (group != nullptr) {
        for (const auto& child : group->children) {
            if (child->IsTask()) {
                indices.push_back(child->value);
            }
        }
    }
    return indices;
}

QString TaskTree::TipFor(const TreeEntry* entry) const {
    if (entry == nullptr || entry->IsItemRow()) {
        return {};
    }
    if (entry->IsGroup()) {
        return QStringLiteral("You can create tasks in this group, move tasks between groups");
    }
    const TaskRecord* task = m_tasks.TaskAt(entry->value);
    if (task == nullptr) {
        return {};
    }
    const int n = static_cast<int>(task->items.size());
    QString tip;
    if (n == 0) {
        tip = QStringLiteral("Item is empty");
    } else if (task->taskType == kTaskBackup) {
        tip = task->destination.type == kDestFtp
                  ? QStringLiteral("Backup %1 items to FTP").arg(n)
                  : QStringLiteral("Backup %1 items to local/network folder").arg(n);
    } else if (task->taskType == kTaskRestore) {
        tip = QStringLiteral("Restore %1 items").arg(n);
    } else if (task->taskType == kTaskSync) {
        tip = QStringLiteral("Syncronize %1 items").arg(n);
    }
    const auto latest = m_latestBackup.find(entry->value);
    if (latest != m_latestBackup.end() && latest->second) {
        tip += QStringLiteral("\nLast backup was at ") + ShortDateTimeText(*latest->second);
    }
    return tip;
}

std::vector<const TreeEntry*> TaskTree::InDisplayOrder() const {
    std::vector<const TreeEntry*> order;
    std::vector<const TreeEntry*> stack;
    for (auto it = m_top.rbegin(); it != m_top.rend(); ++it) {
        stack.push_back(it->get());
    }
    while (!stack.empty()) {
        const TreeEntry* entry = stack.back();
        stack.pop_back();
        order.push_back(entry);
        for (auto it = entry->children.rbegin(); it != entry->children.rend(); ++it) {
            stack.push_back(it->get());
        }
    }
    return order;
}

}  // namespace corvane
