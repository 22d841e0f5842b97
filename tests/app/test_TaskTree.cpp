#include <gtest/gtest.h>

#include "app/TaskFiles.h"
#include "app/TaskTree.h"
#include "model/PropertyStore.h"
#include "model/TimeText.h"
#include "support/LogCapture.h"
#include "support/TempDir.h"

namespace corvane {
namespace {

using test::LogCapture;
using test::TempDir;

class TaskTreeTest : public ::testing::Test {
  protected:
    // Tasks "T0".."T<n-1>" with OIDs 100, 101, ... and one folder item each.
    void MakeTasks(int n) {
        for (int i = 0; i < n; ++i) {
            TaskRecord* task = m_tasks.NewTask(QString("T%1").arg(i), kTaskBackup);
            task->oid = 100 + i;
            task->items.push_back(MakePathItem(QString("/src/%1").arg(i), kItemFolder, "d"));
        }
    }

    // Labels of the tree in display order, indented two blanks per level.
    QStringList Shape() const {
        QStringList lines;
        for (const TreeEntry* e : m_tree.InDisplayOrder()) {
            if (e->IsItemRow()) {
                continue;
            }
            const QString indent = e->parent != nullptr ? "  " : "";
            lines << indent + (e->IsGroup() ? "G:" + e->label : m_tasks.TaskAt(e->value)->name);
        }
        return lines;
    }

    TaskList m_tasks;
    TaskTree m_tree{m_tasks};
};

TEST_F(TaskTreeTest, EntriesCarryValuesLabelsAndImages) {
    MakeTasks(1);
    TaskRecord* restore = m_tasks.NewTask("R", kTaskRestore);
    restore->items.push_back(MakeContactItem("Ann", "", "Cole"));
    restore->items.push_back(MakeRegistryItem("HKEY_USERS\\X", "X"));
    restore->items.push_back(MakeAllContactsItem());
    restore->items.push_back(MakePathItem("/etc/hosts", kItemFile, "hosts"));
    m_tasks.NewTask("Z", kTaskBackup)->backupMode = kMethodZip;
    m_tasks.NewTask("S", kTaskSync);
    TreeEntry* group = m_tree.AddGroupEntry("Work");
    EXPECT_EQ(group->value, kGroupEntryValue);
    EXPECT_EQ(group->image, kImageGroup);

    TreeEntry* entry = m_tree.AddTaskEntry(group, 1);
    EXPECT_EQ(entry->value, 1);
    EXPECT_EQ(entry->label, DescribeTask(*restore));
    EXPECT_EQ(entry->image, kImageRestoreTask);
    EXPECT_TRUE(entry->expanded);
    ASSERT_EQ(entry->children.size(), 4u);
    EXPECT_EQ(entry->children[0]->value, kItemRowValue);
    EXPECT_EQ(entry->children[0]->label, "Ann Cole");
    EXPECT_EQ(entry->children[0]->image, kImageContact);
    EXPECT_EQ(entry->children[1]->image, kImageRegistryKey);
    EXPECT_EQ(entry->children[2]->image, kImageAllContacts);
    EXPECT_EQ(entry->children[3]->image, kImageFile);
    EXPECT_EQ(m_tree.AddTaskEntry(nullptr, 0)->image, kImageCopyTask);
    EXPECT_EQ(m_tree.AddTaskEntry(nullptr, 0)->children.front()->image, kImageFolder);
    EXPECT_EQ(m_tree.AddTaskEntry(nullptr, 2)->image, kImageArchiveTask);
    EXPECT_EQ(m_tree.AddTaskEntry(nullptr, 3)->image, kImageSyncTask);
}

TEST_F(TaskTreeTest, SelectedTaskIndexFollowsTheSelection) {
    MakeTasks(3);
    TreeEntry* group = m_tree.AddGroupEntry("G");
    m_tree.AddTaskEntry(group, 2);
    m_tree.AddTaskEntry(group, 0);
    TreeEntry* top = m_tree.AddTaskEntry(nullptr, 1);
    TreeEntry* empty = m_tree.AddGroupEntry("Empty");

    EXPECT_EQ(m_tree.SelectedTaskIndex(), -1);
    m_tree.Select(group);
    EXPECT_EQ(m_tree.SelectedTaskIndex(), 2);
    m_tree.Select(top->children.front().get());
    EXPECT_EQ(m_tree.SelectedTaskIndex(), 1);
    m_tree.Select(empty);
    EXPECT_EQ(m_tree.SelectedTaskIndex(), -1);
}

TEST_F(TaskTreeTest, NewTasksLandInTheSelectedGroup) {
    MakeTasks(5);
    TreeEntry* group = m_tree.AddGroupEntry("G");
    TreeEntry* inGroup = m_tree.AddTaskEntry(group, 0);
    TreeEntry* top = m_tree.AddTaskEntry(nullptr, 1);

    m_tree.Select(inGroup->children.front().get());  // an item row of a task in G
    TreeEntry* placed = m_tree.PlaceNewTask(2);
    EXPECT_EQ(placed->parent, group);
    EXPECT_EQ(group->children.back().get(), placed);
    EXPECT_EQ(m_tree.Selected(), placed);

    m_tree.Select(group);
    EXPECT_EQ(m_tree.PlaceNewTask(3)->parent, group);
    m_tree.Select(top);
    EXPECT_EQ(m_tree.PlaceNewTask(4)->parent, nullptr);
    m_tree.Select(nullptr);
    EXPECT_EQ(m_tree.PlaceNewTask(4)->parent, nullptr);
    EXPECT_EQ(Shape(), QStringList({"G:G", "  T0", "  T2", "  T3", "T1", "T4", "T4"}));
}

TEST_F(TaskTreeTest, DragMovesTasksOnlyOntoGroupsOrTheTopLevel) {
    MakeTasks(3);
    TreeEntry* a = m_tree.AddGroupEntry("A");
    TreeEntry* b = m_tree.AddGroupEntry("B");
    TreeEntry* t0 = m_tree.AddTaskEntry(a, 0);
    m_tree.AddTaskEntry(a, 1);
    TreeEntry* t2 = m_tree.AddTaskEntry(nullptr, 2);

    EXPECT_FALSE(TaskTree::CanDrag(a));
    EXPECT_FALSE(TaskTree::CanDrag(t0->children.front().get()));
    EXPECT_TRUE(TaskTree::CanDrag(t0));

    EXPECT_EQ(m_tree.MoveTask(t0, a), t0);  // onto its own group: nothing
    EXPECT_EQ(m_tree.MoveTask(t2, nullptr), t2);
    EXPECT_EQ(m_tree.MoveTask(t0, t2), t0);  // a task is no drop target
    EXPECT_EQ(Shape(), QStringList({"G:A", "  T0", "  T1", "G:B", "T2"}));

    TreeEntry* moved = m_tree.MoveTask(t0, b);
    EXPECT_EQ(moved->parent, b);
    EXPECT_TRUE(b->expanded);
    EXPECT_EQ(moved->children.size(), 1u);
    moved = m_tree.MoveTask(moved, nullptr);  // empty space: end of the top level
    EXPECT_EQ(moved->parent, nullptr);
    m_tree.MoveTask(t2, a);
    EXPECT_EQ(Shape(), QStringList({"G:A", "  T1", "  T2", "G:B", "T0"}));
}

TEST_F(TaskTreeTest, NewGroupIsTrimmedSelectedAndLogged) {
    LogCapture log;
    TreeEntry* group = m_tree.NewGroup("  Photos \t");
    EXPECT_EQ(group->label, "Photos");
    EXPECT_EQ(m_tree.Selected(), group);
    EXPECT_EQ(log.CountEndingWith("Group 'Photos' was created, now you can create tasks in it"), 1);
    EXPECT_EQ(m_tree.NewGroup("   ")->label, "");
}

TEST_F(TaskTreeTest, DeletingAGroupDeletesEveryTaskInIt) {
    MakeTasks(4);
    TreeEntry* group = m_tree.AddGroupEntry("G");
    for (int i = 0; i < 3; ++i) {
        m_tree.AddTaskEntry(group, i);
    }
    m_tree.AddTaskEntry(nullptr, 3);
    m_tree.Select(group->children[1].get());
    LogCapture log;
    m_tree.DeleteEntry(group);
    EXPECT_EQ(log.CountEndingWith("Task was deleted"), 3);
    EXPECT_EQ(m_tasks.LiveTaskCount(), 1);
    EXPECT_EQ(m_tree.Selected(), nullptr);
    EXPECT_EQ(Shape(), QStringList({"T3"}));

    TreeEntry* last = m_tree.TopLevel().front().get();
    m_tree.DeleteEntry(last->children.front().get());  // an item row stands for its task
    EXPECT_EQ(m_tasks.LiveTaskCount(), 0);
    EXPECT_TRUE(m_tree.TopLevel().empty());
}

TEST_F(TaskTreeTest, TipsSummariseTheTask) {
    LogCapture log;
    MakeTasks(1);
    TaskRecord* ftp = m_tasks.NewTask("F", kTaskBackup);
    ftp->destination.type = kDestFtp;
    ftp->items.resize(2);
    TaskRecord* empty = m_tasks.NewTask("E", kTaskBackup);
    TaskRecord* restore = m_tasks.NewTask("R", kTaskRestore);
    restore->items.resize(1);
    TaskRecord* sync = m_tasks.NewTask("S", kTaskSync);
    sync->items.resize(3);

    EXPECT_EQ(m_tree.TipFor(m_tree.AddGroupEntry("G")),
              "You can create tasks in this group, move tasks between groups");
    EXPECT_EQ(m_tree.TipFor(m_tree.AddTaskEntry(nullptr, 0)),
              "Backup 1 items to local/network folder");
    EXPECT_EQ(m_tree.TipFor(m_tree.AddTaskEntry(nullptr, 1)), "Backup 2 items to FTP");
    EXPECT_EQ(m_tree.TipFor(m_tree.AddTaskEntry(nullptr, 2)), "Item is empty");
    EXPECT_EQ(m_tree.TipFor(m_tree.AddTaskEntry(nullptr, 3)), "Restore 1 items");
    TreeEntry* syncEntry = m_tree.AddTaskEntry(nullptr, 4);
    EXPECT_EQ(m_tree.TipFor(syncEntry), "Syncronize 3 items");
    EXPECT_EQ(m_tree.TipFor(syncEntry->children.front().get()), "");

    CalendarTime when = *FromFileTime(
        ToFileTime(CalendarTimeFromDateTime(QDateTime(QDate(2005, 3, 7), QTime(9, 5)))));
    // Read while a run extended it, the history raced with the worker: the tip keeps
    // what it had until the tree hears the run has ended.
    empty->history.push_back({"/a/", "", when});
    EXPECT_EQ(m_tree.TipFor(m_tree.MoveTask(m_tree.AddTaskEntry(nullptr, 2), nullptr)),
              "Item is empty");
    m_tree.BackupHistoryChanged(2);
    EXPECT_EQ(m_tree.TipFor(m_tree.AddTaskEntry(nullptr, 2)),
              "Item is empty\nLast backup was at " + ShortDateTimeText(when));
    EXPECT_TRUE(ShortDateTimeText(when).contains("05")) << ShortDateTimeText(when).toStdString();
}

TEST_F(TaskTreeTest, RefreshRebuildsLabelAndRows) {
    MakeTasks(1);
    TreeEntry* entry = m_tree.AddTaskEntry(nullptr, 0);
    m_tree.Select(entry->children.front().get());
    TaskRecord* task = m_tasks.TaskAt(0);
    task->backupMode = kMethodZip;
    task->items.push_back(MakeAllContactsItem());
    m_tree.RefreshTaskEntry(entry);
    EXPECT_EQ(entry->image, kImageArchiveTask);
    EXPECT_EQ(entry->label, DescribeTask(*task));
    ASSERT_EQ(entry->children.size(), 2u);
    EXPECT_EQ(entry->children[1]->label, "All Outlook contacts");
    EXPECT_EQ(m_tree.Selected(), nullptr);  // the selected row is gone
}

// The two files together, as the program loads and saves them.
class TaskFilesTest : public TaskTreeTest {
  protected:
    TempDir m_dir;
};

// A damaged file set aside twice within a second: both copies are kept, byte for byte.
TEST_F(TaskFilesTest, DamagedFileIsSetAsideBesideItself) {
    const QString path = TaskListPath(m_dir.Path());
    QString first;
    QString second;
    m_dir.Write("CorvTasks.bin", "<broken");
    ASSERT_TRUE(SetDamagedFileAside(path, &first, nullptr));
    m_dir.Write("CorvTasks.bin", "<broken");
    ASSERT_TRUE(SetDamagedFileAside(path, &second, nullptr));
    EXPECT_EQ(first.size(), path.size() + 24) << first.toStdString();  // ".damaged-YYYYMMDD-HHMMSS"
    EXPECT_TRUE(first.startsWith(path + ".damaged-20") && second != first);
    EXPECT_EQ(test::ReadAll(first) + test::ReadAll(second), "<broken<broken");
}

TEST_F(TaskFilesTest, GroupsRoundTripThroughTheFiles) {
    MakeTasks(4);
    TreeEntry* group = m_tree.AddGroupEntry("Work");
    m_tree.AddTaskEntry(group, 2);
    m_tree.AddTaskEntry(group, 0);
    m_tree.AddTaskEntry(nullptr, 3);
    m_tree.AddTaskEntry(nullptr, 1);
    m_tree.AddGroupEntry("Empty");
    ASSERT_TRUE(SaveTasksAndTree(m_tasks, m_tree, m_dir.Path(), {}));

    TaskList tasks;
    TaskTree tree(tasks);
    ASSERT_FALSE(LoadTasksAndTree(tasks, tree, m_dir.Path()).TaskListDamaged());
    QStringList shape;
    for (const TreeEntry* e : tree.InDisplayOrder()) {
        if (!e->IsItemRow()) {
            shape << (e->IsGroup() ? "G:" + e->label : tasks.TaskAt(e->value)->name);
        }
    }
    EXPECT_EQ(shape, QStringList({"G:Work", "T2", "T0", "T3", "T1", "G:Empty"}));
    EXPECT_TRUE(tree.TopLevel().front()->expanded);
}

TEST_F(TaskFilesTest, GroupListFileHasTheStoredShape) {
    MakeTasks(3);
    TreeEntry* group = m_tree.AddGroupEntry("Work");
    m_tree.AddTaskEntry(group, 0);
    m_tree.AddTaskEntry(group, 1);
    m_tree.AddTaskEntry(group, 2);
    m_tree.AddTaskEntry(nullptr, 1);
    m_tasks.DeleteTask(1);  // leaves entries whose slot is empty
    ASSERT_TRUE(SaveTasksAndTree(m_tasks, m_tree, m_dir.Path(), {}));

    PropertyStore store;
    ASSERT_TRUE(store.LoadXml(GroupListPath(m_dir.Path())));
    EXPECT_EQ(store.ReadNumber("ItemsCount", "Number", -1), 2);
    EXPECT_EQ(store.ReadText("Item0", "Type"), "Group");
    EXPECT_EQ(store.ReadText("Item0", "Name"), "Work");
    EXPECT_EQ(store.ReadNumber("Item0", "ItemsCount", -1), 3);
    EXPECT_EQ(store.ReadNumber("Item0", "Task0OID", -1), 100);
    EXPECT_FALSE(store.HasText("Item0", "Task1OID"));  // its number is used up all the same
    EXPECT_EQ(store.ReadNumber("Item0", "Task2OID", -1), 102);
    EXPECT_EQ(store.ReadText("Item1", "Type"), "Task");
    EXPECT_FALSE(store.HasText("Item1", "TaskOID"));
    EXPECT_TRUE(test::ReadAll(GroupListPath(m_dir.Path())).startsWith("<GroupsData>"));
}

TEST_F(TaskFilesTest, WithoutAGroupListEveryTaskIsAtTheTop) {
    MakeTasks(3);
    m_tasks.DeleteTask(1);
    TreeEntry* group = m_tree.AddGroupEntry("G");
    m_tree.AddTaskEntry(group, 0);
    m_tree.AddTaskEntry(nullptr, 2);
    ASSERT_TRUE(SaveTasksAndTree(m_tasks, m_tree, m_dir.Path(), {}));
    ASSERT_TRUE(QFile::remove(GroupListPath(m_dir.Path())));

    TaskList tasks;
    TaskTree tree(tasks);
    ASSERT_FALSE(LoadTasksAndTree(tasks, tree, m_dir.Path()).TaskListDamaged());
    ASSERT_EQ(tree.TopLevel().size(), 2u);
    EXPECT_EQ(tasks.TaskAt(tree.TopLevel()[0]->value)->name, "T0");
    EXPECT_EQ(tasks.TaskAt(tree.TopLevel()[1]->value)->name, "T2");

    ASSERT_TRUE(SaveTasksAndTree(tasks, tree, m_dir.Path(), {}));
    const QByteArray groups = test::ReadAll(GroupListPath(m_dir.Path()));
    EXPECT_FALSE(groups.contains("Type=\"Group\""));
    EXPECT_EQ(groups.count("Type=\"Task\""), 2);
}

TEST_F(TaskFilesTest, HandWrittenGroupListWithOddEntries) {
    MakeTasks(4);
    ASSERT_TRUE(SaveTasksAndTree(m_tasks, m_tree, m_dir.Path(), {}));
    // OID 999 names no task; "group" is not a known type; T1 is named twice; T3 is not
    // named at all and is shown at the end of the top level; the counts are huge.
    m_dir.Write("CorvGroups.bin",
                "<GroupsData>\n"
                " <ItemsCount Number=\"2000000000\"/>\n"
                " <Item0 Type=\"Group\" Name=\"Work\" ItemsCount=\"2000000000\" Task0OID=\"999\""
                " Task1OID=\"101\" Task7OID=\"100\"/>\n"
                " <Item1 Type=\"group\" Name=\"Lower\"/>\n"
                " <Item2 Type=\"Task\" TaskOID=\"101\"/>\n"
                " <Item3 Type=\"Task\"/>\n"
                " <Item5 Type=\"Task\" TaskOID=\"102\"/>\n"
                "</GroupsData>\n");
    TaskList tasks;
    TaskTree tree(tasks);
    ASSERT_FALSE(LoadTasksAndTree(tasks, tree, m_dir.Path()).TaskListDamaged());
    QStringList shape;
    for (const TreeEntry* e : tree.InDisplayOrder()) {
        if (!e->IsItemRow()) {
            shape << (e->IsGroup() ? "G:" + e->label : tasks.TaskAt(e->value)->name);
        }
    }
    EXPECT_EQ(shape, QStringList({"G:Work", "T1", "T0", "T1", "T2", "T3"}));
}

}  // namespace
}  // namespace corvane
