#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "app/TaskTree.h"
#include "model/TimeText.h"

namespace corvane {
namespace {

// Rebuilding the tree (a new group, a drag) read a task's backup history for its tip
// while the worker appended to it: a data race on the history's storage.
TEST(TaskTreeThread, TreeNeverReadsAHistoryThatARunExtends) {
    TaskList tasks;
    TaskRecord* task = tasks.NewTask("Docs", kTaskBackup);
    task->items.push_back(MakePathItem("/src/", kItemFolder, "src"));
    TaskTree tree(tasks);
    TreeEntry* entry = tree.AddTaskEntry(nullptr, 0);
    TreeEntry* group = tree.AddGroupEntry("G");

    CalendarTime when = CalendarTimeFromDateTime(QDateTime(QDate(2024, 5, 6), QTime(7, 8)));
    std::atomic<bool> done{false};
    std::thread worker([&] {
        // What a backup run does to its task's history, often enough to meet the reader.
        for (int i = 0; i < 20000; ++i) {
            task->history.push_back({"/dst/", "", when});
        }
        done.store(true);
    });
    int rounds = 0;
    while (!done.load() || rounds == 0) {
        entry = tree.MoveTask(entry, rounds % 2 == 0 ? group : nullptr);
        EXPECT_EQ(tree.TipFor(entry), "Backup 1 items to local/network folder");
        ++rounds;
    }
    worker.join();

    // The run's completion, on the main thread after the worker has ended.
    tree.BackupHistoryChanged(0);
    EXPECT_EQ(tree.TipFor(entry), "Backup 1 items to local/network folder\nLast backup was at " +
                                      ShortDateTimeText(when));
}

}  // namespace
}  // namespace corvane
