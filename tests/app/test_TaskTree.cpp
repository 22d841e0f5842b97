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

// Labels of the tree in display order, indented two blanks per level.
QStringList TreeShape(const TaskList& tasks, const TaskTree& tree) {
    QStringList lines;
    for (const TreeEntry* e : tree.InDisplayOrder()) {
        if (!e->IsItemRow()) {
            const QString indent = e->parent != nullptr ? "  " : "";
            lines << indent + (e->IsGroup() ? "G:" + e->label : tasks.TaskAt(e->value)->name);
        }
    }
    return lines;
}

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

    QStringList Shape() const { return TreeShape(m_tasks, m_tree); }

    TaskList m_tasks;
    TaskTree m_tree{m_tasks};
};

// A selected group stands for its first task, an item row for its task; a new task
// lands at the end of the selected row's group.
TEST_F(TaskTreeTest, SelectionGivesTheTaskAndTheGroupOfANewTask) {
    MakeTasks(5);
    TreeEntry* group = m_tree.AddGroupEntry("G");
    TreeEntry* inGroup = m_tree.AddTaskEntry(group, 2);
    TreeEntry* top = m_tree.AddTaskEntry(nullptr, 1);
    m_tree.Select(m_tree.AddGroupEntry("Empty"));
    EXPECT_EQ(m_tree.SelectedTaskIndex(), -1);
    m_tree.Select(top->children.front().get());
    EXPECT_EQ(m_tree.SelectedTaskIndex(), 1);

    m_tree.Select(inGroup->children.front().get());
    TreeEntry* placed = m_tree.PlaceNewTask(0);
    EXPECT_EQ(group->children.back().get(), placed);
    EXPECT_EQ(m_tree.Selected(), placed);
    m_tree.Select(group);
    EXPECT_EQ(m_tree.SelectedTaskIndex(), 2);
    EXPECT_EQ(m_tree.PlaceNewTask(3)->parent, group);
    m_tree.Select(top);
    EXPECT_EQ(m_tree.PlaceNewTask(4)->parent, nullptr);
    m_tree.Select(nullptr);
    EXPECT_EQ(m_tree.SelectedTaskIndex(), -1);
    EXPECT_EQ(m_tree.PlaceNewTask(4)->parent, nullptr);
    EXPECT_EQ(Shape(), QStringList({"G:G", "  T2", "  T0", "  T3", "T1", "G:Empty", "T4", "T4"}));
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

// A run extends the history on the worker while the tree may read it for a tip: the
// tip keeps what it had until the tree hears that the run has ended.
TEST_F(TaskTreeTest, TipReadsTheHistoryOnlyAfterTheRun) {
    TaskRecord* task = m_tasks.NewTask("E", kTaskBackup);
    EXPECT_EQ(m_tree.TipFor(m_tree.AddTaskEntry(nullptr, 0)), "Item is empty");
    const CalendarTime when = *FromFileTime(
        ToFileTime(CalendarTimeFromDateTime(QDateTime(QDate(2005, 3, 7), QTime(9, 5)))));
    task->history.push_back({"/a/", "", when});
    EXPECT_EQ(m_tree.TipFor(m_tree.AddTaskEntry(nullptr, 0)), "Item is empty");
    m_tree.BackupHistoryChanged(0);
    EXPECT_EQ(m_tree.TipFor(m_tree.AddTaskEntry(nullptr, 0)),
              "Item is empty\nLast backup was at " + ShortDateTimeText(when));
}

// The selected item row is rebuilt away: the selection must not point at it.
TEST_F(TaskTreeTest, RefreshDropsASelectionOfAnOldRow) {
    MakeTasks(1);
    TreeEntry* entry = m_tree.AddTaskEntry(nullptr, 0);
    m_tree.Select(entry->children.front().get());
    m_tasks.TaskAt(0)->items.push_back(MakeAllContactsItem());
    m_tree.RefreshTaskEntry(entry);
    ASSERT_EQ(entry->children.size(), 2u);
    EXPECT_EQ(m_tree.Selected(), nullptr);
}

// The two files together, as the program loads and saves them.
class TaskFilesTest : public TaskTreeTest {
  protected:
    TempDir m_dir;
    TaskList m_loadedTasks;
    TaskTree m_loaded{m_loadedTasks};

    QStringList Reload() {
        EXPECT_FALSE(LoadTasksAndTree(m_loadedTasks, m_loaded, m_dir.Path()).TaskListDamaged());
        return TreeShape(m_loadedTasks, m_loaded);
    }
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

    EXPECT_EQ(Reload(), QStringList({"G:Work", "  T2", "  T0", "T3", "T1", "G:Empty"}));
    EXPECT_TRUE(m_loaded.TopLevel().front()->expanded);
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
    EXPECT_EQ(Reload(), QStringList({"G:Work", "  T1", "  T0", "T1", "T2", "T3"}));
}

}  // namespace
}  // namespace corvane
