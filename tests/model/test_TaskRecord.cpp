#include <QFile>

#include <gtest/gtest.h>

#include "model/CalendarTime.h"
#include "model/TaskList.h"
#include "model/TaskRecord.h"
#include "support/LogCapture.h"
#include "support/TempDir.h"
#include "support/Times.h"

namespace corvane {
namespace {

using test::MakeTime;

// Lookups take the first match in slot order; an index outside gives a detached record
// that changes nothing.
TEST(TaskList, DeletedSlotsKeepTheOtherIndicesAndLookupsTheirOrder) {
    TaskList tasks;
    for (const char* name : {"Docs", "docs", "T2", "T3", "T4"}) {
        tasks.NewTask(name, kTaskBackup)->oid = 77;
    }
    TaskRecord* fourth = tasks.TaskAt(3);
    EXPECT_EQ(tasks.FindTaskByOID(77), tasks.TaskAt(0));
    EXPECT_EQ(tasks.FindTaskByName("DOCS"), 0);
    tasks.DeleteTask(0);
    tasks.DeleteTask(2);
    tasks.DeleteTask(2);  // an empty slot is left alone
    tasks.DeleteTask(99);
    EXPECT_EQ(tasks.TaskCount(), 5);
    EXPECT_EQ(tasks.LiveTaskCount(), 3);
    EXPECT_EQ(tasks.TaskAt(2), nullptr);
    EXPECT_EQ(tasks.IndexOfTask(fourth), 3);
    EXPECT_EQ(tasks.TaskAt(4)->name, "T4");
    EXPECT_EQ(tasks.FindTaskByOID(77), tasks.TaskAt(1));
    EXPECT_EQ(tasks.FindTaskByName("DoCs"), 1);
    EXPECT_EQ(tasks.FindTaskByName("Doc"), -1);
    EXPECT_EQ(tasks.FindTaskByOID(78), nullptr);
    TaskRecord* outside = tasks.TaskAt(7);
    ASSERT_NE(outside, nullptr);
    EXPECT_EQ(tasks.IndexOfTask(outside), -1);
    outside->name = "changed";
    EXPECT_TRUE(tasks.TaskAt(-1)->name.isEmpty());
}

// Tasks created within one second used to draw the same OID, and the group list file
// could not tell them apart.
TEST(TaskList, TasksMadeInOneSecondGetDistinctOids) {
    TaskList tasks;
    for (int i = 0; i < 200; ++i) {
        tasks.NewTask(QString::number(i), kTaskBackup);
    }
    for (int i = 0; i < 200; ++i) {
        const qint32 oid = tasks.TaskAt(i)->oid;
        EXPECT_EQ(tasks.FindTaskByOID(oid), tasks.TaskAt(i)) << "duplicate OID " << oid;
    }
}

TEST(TaskList, DeleteRemovesTheShortcutAndReportsAFailedScheduleRemoval) {
    test::TempDir dir;
    test::LogCapture log;
    TaskList tasks;
    int removals = 0;
    tasks.SetScheduleRemover([&removals](const TaskRecord&) { return ++removals == 0; });
    TaskRecord* task = tasks.NewTask("Docs", kTaskBackup);
    task->desktopShortcut = dir.Write("Backup - Docs.desktop", "[Desktop Entry]");
    task->scheduleMode = kScheduleDaily;
    tasks.NewTask("Plain", kTaskBackup)->scheduleMode = kScheduleNone;
    tasks.DeleteTask(0);
    tasks.DeleteTask(1);
    EXPECT_FALSE(QFile::exists(dir.File("Backup - Docs.desktop")));
    EXPECT_EQ(removals, 1);
    EXPECT_EQ(log.CountEndingWith(
                  "Warning: cannot delete task activation settings from the system scheduler"),
              1);
}

// The task's own texts are never taken as a format.
TEST(DescribeTask, FollowsTypeAndMethod) {
    const struct {
        qint32 type, destType, method;
        const char* expected;
    } cases[] = {
        {kTaskBackup, kDestFolder, kMethodCopy, "%1 %s. Backup items to %2"},
        {kTaskBackup, kDestFolder, kMethodZip, "%1 %s. Backup and compress items to %2 in %3"},
        {kTaskBackup, kDestFolder, kMethodThird, "%1 %s. Backup and compress items to %2 in %3"},
        {kTaskRestore, kDestFolder, kMethodCopy, "%1 %s. Restore items from %2"},
        {kTaskRestore, kDestFtp, kMethodZip, "%1 %s. Restore items from %2 in %3"},
        {kTaskSync, kDestFolder, kMethodCopy, ""},
        {kTaskBackup, 7, kMethodCopy, ""},
    };
    for (const auto& c : cases) {
        TaskRecord task;
        task.name = "%1 %s";
        task.destination.path = "%2";
        task.archiveName = "%3";
        task.taskType = c.type;
        task.destination.type = c.destType;
        task.backupMode = c.method;
        EXPECT_EQ(DescribeTask(task), c.expected) << c.type << " " << c.destType << " " << c.method;
    }
}

TEST(DescribeItem, ShowsEachKind) {
    SourceItem odd;
    odd.kind = 9;
    // clang-format off
    const std::pair<SourceItem, const char*> cases[] = {
        {MakePathItem("/home/ann/Docs", kItemFolder, "Docs"), "/home/ann/Docs"},
        {MakeRegistryItem("HKEY_CURRENT_USER\\Software\\X", "X"), "HKEY_CURRENT_USER\\Software\\X"},
        {MakeAllContactsItem(), "All contacts"}, {odd, "Unknown item"},
        {MakeContactItem("", "", "Cole"), "Cole"}, {MakeContactItem(" Ann", "", ""), "Ann"},
        {MakeContactItem("Ann", "B.", "Cole"), "Ann B. Cole"},
        {MakeContactItem("Ann", "", "Cole"), "Ann Cole"}};
    // clang-format on
    for (const auto& [item, text] : cases) {
        EXPECT_EQ(DescribeItem(item), text);
    }
}

TEST(LatestBackupTime, TakesTheLatestToTheSecond) {
    TaskRecord task;
    EXPECT_FALSE(LatestBackupTime(task).has_value());
    task.history.push_back({"/a/", "", MakeTime(2005, 3, 7, 9, 5, 0)});
    task.history.push_back({"/b/", "", MakeTime(2006, 1, 1, 0, 0, 0)});
    task.history.push_back({"/c/", "", MakeTime(2005, 12, 31, 23, 59, 59)});
    // Within the same second the earlier entry stays.
    task.history.push_back({"/d/", "", MakeTime(2006, 1, 1, 0, 0, 0, 900)});
    EXPECT_EQ(LatestBackupTime(task)->milliseconds, 0);
    EXPECT_EQ(LatestBackupTime(task)->year, 2006);
}

TEST(FileTime, KnownValuesAndRoundTrips) {
    const CalendarTime t = MakeTime(2005, 3, 7, 9, 5, 0);
    EXPECT_EQ(ToFileTime(t), 127546599000000000ull);
    EXPECT_EQ(FromFileTime(ToFileTime(t))->dayOfWeek, 1);  // a Monday
    const CalendarTime late = MakeTime(2026, 12, 6, 23, 59, 58, 123);
    EXPECT_EQ(ToFileTime(late), 134410751981230000ull);
    for (const CalendarTime& time : {t, late, MakeTime(2024, 2, 29, 12)}) {
        CalendarTime again = *FromFileTime(ToFileTime(time));
        again.dayOfWeek = time.dayOfWeek;
        EXPECT_EQ(again, time) << time.year;
    }

    EXPECT_EQ(FromFileTime(0)->dayOfWeek, 1);
    EXPECT_FALSE(FromFileTime(~0ull).has_value());
    EXPECT_EQ(ToFileTime(MakeTime(2005, 2, 30)), 0u);  // no such day
    EXPECT_EQ(ToFileTime(CalendarTime()), 0u);
}

}  // namespace
}  // namespace corvane
