#include <gtest/gtest.h>

#include "support/Times.h"

#include "engine/BackupHistory.h"
#include "platform/Volumes.h"
#include "support/TempDir.h"

namespace corvane {
namespace {

using test::MakeTime;

TaskRecord Task(const QString& destPath, qint32 method, const QString& archiveName = QString()) {
    TaskRecord task;
    task.name = "Docs";
    task.destination.path = destPath;
    task.backupMode = method;
    task.archiveName = archiveName;
    return task;
}

TEST(BackupHistory, OneEntryPerPlaceWithTheLatestTimeInTheFirstOrder) {
    TaskRecord task = Task("/backup/#DD", kMethodCopy);
    RecordBackupHistory(task, MakeTime(2005, 3, 7, 9, 0), MakeTime(2005, 3, 7, 9, 10));
    RecordBackupHistory(task, MakeTime(2005, 3, 7, 18, 0), MakeTime(2005, 3, 7, 18, 10));
    RecordBackupHistory(task, MakeTime(2005, 3, 8, 9, 0), MakeTime(2005, 3, 8, 9, 10));
    RecordBackupHistory(task, MakeTime(2005, 4, 7, 9, 0), MakeTime(2005, 4, 7, 9, 1));  // 07 again
    EXPECT_EQ(task.history, (std::vector<BackupHistoryEntry>{
                                {"/backup/07/", QString(), MakeTime(2005, 4, 7, 9, 1)},
                                {"/backup/08/", QString(), MakeTime(2005, 3, 8, 9, 10)}}));
}

TEST(BackupHistory, FoldersAndArchivesDifferingInCaseAreDifferentPlaces) {
    TaskRecord task = Task("/backup/Docs", kMethodZip, "Docs.zip");
    RecordBackupHistory(task, MakeTime(2005, 3, 7, 9, 0), MakeTime(2005, 3, 7, 9, 1));
    task.destination.path = "/backup/docs";
    RecordBackupHistory(task, MakeTime(2005, 3, 7, 9, 0), MakeTime(2005, 3, 7, 9, 2));
    task.archiveName = "docs.zip";
    RecordBackupHistory(task, MakeTime(2005, 3, 7, 9, 0), MakeTime(2005, 3, 7, 9, 3));
    task.archiveName = "docs.zip";
    RecordBackupHistory(task, MakeTime(2005, 3, 7, 9, 0), MakeTime(2005, 3, 7, 9, 4));

    ASSERT_EQ(task.history.size(), 3u);
    EXPECT_EQ(task.history[0].folder, "/backup/Docs/");
    EXPECT_EQ(task.history[1].folder, "/backup/docs/");
    EXPECT_EQ(task.history[1].archiveName, "Docs.zip");
    EXPECT_EQ(task.history[2].archiveName, "docs.zip");
    EXPECT_EQ(task.history[2].time, MakeTime(2005, 3, 7, 9, 4));
}

TEST(BackupHistory, ArchiveNameDependsOnTheMethod) {
    TaskRecord task = Task("/backup/", kMethodCopy, "Docs_#YY#MM#DD.zip");
    RecordBackupHistory(task, MakeTime(2005, 3, 7, 9, 0), MakeTime(2005, 3, 7, 9, 1));
    task.backupMode = kMethodZip;
    RecordBackupHistory(task, MakeTime(2005, 3, 7, 9, 0), MakeTime(2005, 3, 7, 9, 2));
    task.backupMode = kMethodThird;
    RecordBackupHistory(task, MakeTime(2005, 3, 7, 9, 0), MakeTime(2005, 3, 7, 9, 3));

    // Method 1 has no archive; the others name the archive of the run (one place for
    // methods 2 and 3, which the third run refreshes).
    ASSERT_EQ(task.history.size(), 2u);
    EXPECT_EQ(task.history[0].folder, "/backup/");
    EXPECT_TRUE(task.history[0].archiveName.isEmpty());
    EXPECT_EQ(task.history[1].folder, "/backup/");
    EXPECT_EQ(task.history[1].archiveName, "Docs_20050307.zip");
    EXPECT_EQ(task.history[1].time, MakeTime(2005, 3, 7, 9, 3));
}

TEST(BackupHistory, DiscDestinationIsRecordedAsTheDiscPath) {
    test::TempDir dir;
    SetMountTableFile(dir.Write("mounts", "/dev/sr0 /media/cd iso9660 ro 0 0\n"));
    TaskRecord task = Task("/media/cd/Backup/#YY", kMethodCopy);
    task.destination.useXPBurn = true;
    RecordBackupHistory(task, MakeTime(2005, 3, 7, 9, 0), MakeTime(2005, 3, 7, 9, 1));
    SetMountTableFile(QString());
    ASSERT_EQ(task.history.size(), 1u);
    EXPECT_EQ(task.history[0].folder, "/media/cd/Backup/2005/");
}

}  // namespace
}  // namespace corvane
