#include <QFile>

#include <gtest/gtest.h>

#include "model/CalendarTime.h"
#include "model/TaskList.h"
#include "model/TaskRecord.h"
#include "support/TempDir.h"
#include "support/Times.h"

namespace corvane {
namespace {

using test::MakeTime;

TEST(TaskList, DeletedSlotsKeepTheOtherIndices) {
    TaskList tasks;
    for (int i = 0; i < 5; ++i) {
        tasks.NewTask(QString("T%1").arg(i), kTaskBackup);
    }
    TaskRecord* fourth = tasks.TaskAt(3);
    tasks.DeleteTask(2);
    EXPECT_EQ(tasks.TaskCount(), 5);
    EXPECT_EQ(tasks.LiveTaskCount(), 4);
    EXPECT_EQ(tasks.TaskAt(2), nullptr);
    EXPECT_EQ(tasks.TaskAt(3), fourth);
    EXPECT_EQ(tasks.IndexOfTask(fourth), 3);
    EXPECT_EQ(tasks.TaskAt(4)->name, "T4");
    tasks.DeleteTask(2);  // an empty slot is left alone
    tasks.DeleteTask(99);
    EXPECT_EQ(tasks.LiveTaskCount(), 4);
    // An index outside gives a detached record that changes nothing.
    TaskRecord* outside = tasks.TaskAt(7);
    ASSERT_NE(outside, nullptr);
    EXPECT_EQ(tasks.IndexOfTask(outside), -1);
    outside->name = "changed";
    EXPECT_TRUE(tasks.TaskAt(-1)->name.isEmpty());
}

TEST(TaskList, LookupsTakeTheFirstMatchInSlotOrder) {
    TaskList tasks;
    TaskRecord* a = tasks.NewTask("Docs", kTaskBackup);
    TaskRecord* b = tasks.NewTask("docs", kTaskBackup);
    a->oid = 77;
    b->oid = 77;
    EXPECT_EQ(tasks.FindTaskByOID(77), a);
    EXPECT_EQ(tasks.FindTaskByName("DOCS"), 0);
    tasks.DeleteTask(0);
    EXPECT_EQ(tasks.FindTaskByOID(77), b);
    EXPECT_EQ(tasks.FindTaskByName("DoCs"), 1);
    EXPECT_EQ(tasks.FindTaskByName("Doc"), -1);
    EXPECT_EQ(tasks.FindTaskByOID(78), nullptr);
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
        EXPECT_GE(oid, 0);
        EXPECT_LE(oid, kMaxOid);
        EXPECT_EQ(tasks.FindTaskByOID(oid), tasks.TaskAt(i)) << "duplicate OID " << oid;
    }
}

TEST(TaskList, DeleteRemovesTheShortcutAndReportsAFailedScheduleRemoval) {
    test::TempDir dir;
    const QString shortcutPath = dir.Write("Backup - Docs.desktop", "[Desktop Entry]");

    TaskList tasks;
    TaskRecord* task = tasks.NewTask("Docs", kTaskBackup);
    task->desktopShortcut = shortcutPath;
    task->scheduleMode = kScheduleDaily;
    int removals = 0;
    tasks.SetScheduleRemover([&removals](const TaskRecord& t) {
        ++removals;
        EXPECT_EQ(t.name, "Docs");
        return true;
    });
    tasks.DeleteTask(0);
    EXPECT_FALSE(QFile::exists(shortcutPath));
    EXPECT_EQ(removals, 1);

    TaskRecord* unscheduled = tasks.NewTask("Plain", kTaskBackup);
    unscheduled->scheduleMode = kScheduleNone;
    tasks.DeleteTask(1);
    EXPECT_EQ(removals, 1);
}

// The task's own texts are never taken as a format.
TEST(DescribeTask, FollowsTypeAndMethod) {
    const struct {
        qint32 type, destType, method;
        const char* expected;
    } cases[] = {
        {kTaskBackup, kDestFolder, kMethodCopy, "%1 %s. Backup items to %2"},
        {kTaskBackup, kDestFtp, kMethodCopy, "%1 %s. Backup items to %2"},
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
    const std::pair<SourceItem, const char*> cases[] = {
        {MakePathItem("/home/ann/Docs", kItemFolder, "Docs"), "/home/ann/Docs"},
        {MakeRegistryItem("HKEY_CURRENT_USER\\Software\\X", "X"), "HKEY_CURRENT_USER\\Software\\X"},
        {MakeAllContactsItem(), "All Outlook contacts"},
        {MakeContactItem("Ann", "B.", "Cole"), "Ann B. Cole"},
        {MakeContactItem("", "", "Cole"), "Cole"},
        {MakeContactItem("Ann", "", "Cole"), "Ann Cole"},
        {MakeContactItem(" Ann", "", ""), "Ann"},
        {odd, "Unknown item"},
    };
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

TEST(FileTime, KnownValuesHalvesAndRoundTrips) {
    const CalendarTime t = MakeTime(2005, 3, 7, 9, 5, 0);
    EXPECT_EQ(ToFileTime(t), 127546599000000000ull);
    const FileTimeHalves halves = SplitFileTime(ToFileTime(t));
    EXPECT_EQ(halves.low, -1112259072);
    EXPECT_EQ(halves.high, 29696756);
    const auto back = FromFileTime(JoinFileTime(halves.low, halves.high));
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(back->dayOfWeek, 1);  // a Monday
    const CalendarTime late = MakeTime(2026, 12, 6, 23, 59, 58, 123);
    EXPECT_EQ(ToFileTime(late), 134410751981230000ull);
    for (const CalendarTime& time : {t, late, MakeTime(2024, 2, 29, 12)}) {
        CalendarTime again = *FromFileTime(ToFileTime(time));
        again.dayOfWeek = time.dayOfWeek;
        EXPECT_EQ(again, time) << time.year;
    }

    EXPECT_EQ(FromFileTime(0)->year, 1601);
    EXPECT_EQ(FromFileTime(0)->dayOfWeek, 1);
    EXPECT_FALSE(FromFileTime(~0ull).has_value());
    EXPECT_EQ(ToFileTime(MakeTime(2005, 2, 30)), 0u);  // no such day
    EXPECT_EQ(ToFileTime(CalendarTime()), 0u);
}

}  // namespace
}  // namespace corvane
