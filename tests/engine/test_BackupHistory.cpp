#include <gtest/gtest.h>

#include "support/Times.h"

#include "engine/BackupHistory.h"

namespace corvane {
namespace {

using test::MakeTime;
using History = std::vector<BackupHistoryEntry>;

TaskRecord Task(const QString& destPath, qint32 method, const QString& archiveName = QString()) {
    TaskRecord task;
    task.name = "Docs";
    task.destination.path = destPath;
    task.backupMode = method;
    task.archiveName = archiveName;
    return task;
}

// A run on 2005-03-07 from 9:00 to 9:`minute`.
void RecordRun(TaskRecord& task, int minute) {
    RecordBackupHistory(task, MakeTime(2005, 3, 7, 9, 0), MakeTime(2005, 3, 7, 9, minute));
}

TEST(BackupHistory, OneEntryPerPlaceWithTheLatestTimeInTheFirstOrder) {
    TaskRecord task = Task("/backup/#DD", kMethodCopy);
    RecordRun(task, 10);
    RecordBackupHistory(task, MakeTime(2005, 3, 7, 18, 0), MakeTime(2005, 3, 7, 18, 10));
    RecordBackupHistory(task, MakeTime(2005, 3, 8, 9, 0), MakeTime(2005, 3, 8, 9, 10));
    RecordBackupHistory(task, MakeTime(2005, 4, 7, 9, 0), MakeTime(2005, 4, 7, 9, 1));  // 07 again
    EXPECT_EQ(task.history, (History{{"/backup/07/", "", MakeTime(2005, 4, 7, 9, 1)},
                                     {"/backup/08/", "", MakeTime(2005, 3, 8, 9, 10)}}));
}

// Folders and archives differing in case are different places; a copy has no archive,
// the other methods name the run's archive (one place for both, which the later refreshes).
TEST(BackupHistory, PlaceIsTheFolderAndTheArchiveTheMethodNames) {
    TaskRecord task = Task("/backup/Docs", kMethodZip, "Docs.zip");
    RecordRun(task, 1);
    task.destination.path = "/backup/docs";
    RecordRun(task, 2);
    task.archiveName = "docs.zip";
    RecordRun(task, 3);
    RecordRun(task, 4);
    EXPECT_EQ(task.history, (History{{"/backup/Docs/", "Docs.zip", MakeTime(2005, 3, 7, 9, 1)},
                                     {"/backup/docs/", "Docs.zip", MakeTime(2005, 3, 7, 9, 2)},
                                     {"/backup/docs/", "docs.zip", MakeTime(2005, 3, 7, 9, 4)}}));
    task = Task("/backup/", kMethodCopy, "Docs_#YY#MM#DD.zip");
    RecordRun(task, 5);
    task.backupMode = kMethodZip;
    RecordRun(task, 6);
    task.backupMode = kMethodThird;
    RecordRun(task, 7);
    EXPECT_EQ(task.history,
              (History{{"/backup/", "", MakeTime(2005, 3, 7, 9, 5)},
                       {"/backup/", "Docs_20050307.zip", MakeTime(2005, 3, 7, 9, 7)}}));
}

}  // namespace
}  // namespace corvane
