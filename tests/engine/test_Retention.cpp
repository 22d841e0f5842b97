// Pruning old dated backups on a local disk and in an S3 bucket (s3rver on 127.0.0.1):
// real runs, the clock handed in so each run gets its own dated place.

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include "engine/BackupRun.h"
#include "engine/Retention.h"
#include "model/FileName.h"
#include "support/LogCapture.h"
#include "support/S3TestServer.h"
#include "support/TempDir.h"
#include "support/Times.h"
#include "transport/S3Session.h"

namespace corvane {
namespace {

using test::MakeTime;

class RetentionTest : public ::testing::TestWithParam<qint32> {
  protected:
    RetentionTest() {
        m_dir.Write("src/a.txt", "alpha");
        m_task = m_tasks.NewTask("Docs", kTaskBackup);
        m_task->backupMode = GetParam();
        m_task->destination.path = m_dir.File("dest/#HH#MIN");
        m_task->archiveName = "docs.zip";
        m_task->items.push_back(MakePathItem(m_dir.File("src/"), kItemFolder, "Docs"));
        m_task->keepLast = 2;
    }

    // One run at 10:`minute` on a fixed day.
    bool RunAt(int minute) {
        const LocalClock clock = [minute] { return MakeTime(2024, 5, 6, 10, minute); };
        return RunBackup(m_tasks, 0, StopSignal(), clock);
    }

    QStringList Dest() const {
        return QDir(m_dir.File("dest")).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
    }
    QStringList HistoryFolders() const {
        QStringList folders;
        for (const BackupHistoryEntry& entry : m_task->history) {
            folders << entry.folder.mid(m_dir.File("dest/").size());
        }
        return folders;
    }

    test::TempDir m_dir;
    test::LogCapture m_log;
    TaskList m_tasks;
    TaskRecord* m_task = nullptr;
};

TEST_P(RetentionTest, ThreeDatedRunsKeepTheTwoNewestOnDiskAndInTheHistory) {
    ASSERT_TRUE(RunAt(1));
    ASSERT_TRUE(RunAt(2));
    EXPECT_EQ(Dest(), (QStringList{"1001", "1002"}));
    ASSERT_TRUE(RunAt(3));
    EXPECT_EQ(Dest(), (QStringList{"1002", "1003"}));
    EXPECT_EQ(HistoryFolders(), (QStringList{"1002/", "1003/"}));
    EXPECT_EQ(m_log.Texts().filter("  Removing old backup ").size(), 1);
    // A prune outside a run with nothing beyond the number kept leaves everything.
    EXPECT_TRUE(PruneTaskNow(*m_task));
    EXPECT_EQ(Dest(), (QStringList{"1002", "1003"}));
}

// The just-written entry stays even when a clock set back makes it the oldest.
TEST_P(RetentionTest, TheBackupJustWrittenIsKeptWhateverItsTime) {
    m_task->keepLast = 1;
    ASSERT_TRUE(RunAt(5));
    ASSERT_TRUE(RunAt(4));
    EXPECT_EQ(Dest(), (QStringList{"1004"}));
}

TEST_P(RetentionTest, LinkInAnOldBackupIsRemovedAsALinkItsTargetUntouched) {
    m_task->keepLast = 1;
    const QString outside = m_dir.Write("outside/keep.txt", "precious");
    ASSERT_TRUE(RunAt(1));
    const bool copy = GetParam() == kMethodCopy;
    ASSERT_TRUE(QFile::link(m_dir.File("outside"),
                            m_dir.File(copy ? "dest/1001/Docs/link" : "dest/1001/link")));
    ASSERT_TRUE(RunAt(2));
    // A ZIP backup is its archive alone: a folder that still holds something stays.
    const QStringList left = copy ? QStringList{"1002"} : QStringList{"1001", "1002"};
    EXPECT_EQ(Dest(), left);
    EXPECT_EQ(test::ReadAll(outside), "precious");
}

// A dated folder that already held the user's own files when the task first wrote into
// it (a folder "2026" of photos) loses only what the task wrote, never the rest.
TEST_P(RetentionTest, DatedFolderThatHoldsTheUsersOwnFilesKeepsThem) {
    m_task->keepLast = 1;
    const QString own = m_dir.Write("dest/1001/photo.jpg", "mine");
    ASSERT_TRUE(RunAt(1));
    ASSERT_TRUE(RunAt(2));
    EXPECT_EQ(test::ReadAll(own), "mine");
}

// An entry that names the undated destination root (an older task setting) or lies
// outside the task's dated places is never removed.
TEST_P(RetentionTest, EntryOutsideTheDatedPlacesIsNeverRemoved) {
    m_task->keepLast = 1;
    m_dir.Write("dest/old.txt", "older backup");
    m_task->history.push_back({m_dir.File("dest/"), "", MakeTime(2020, 1, 1, 0, 0)});
    m_task->history.push_back({m_dir.File("src/"), "", MakeTime(2020, 1, 1, 0, 0)});
    ASSERT_TRUE(RunAt(1));
    EXPECT_EQ(Dest(), (QStringList{"1001", "old.txt"}));
    EXPECT_EQ(test::ReadAll(m_dir.File("src/a.txt")), "alpha");
    EXPECT_EQ(m_task->history.size(), 3u);
    EXPECT_EQ(m_log.Texts().filter("  Warning: old backup ").size(), 2);
}

INSTANTIATE_TEST_SUITE_P(Methods, RetentionTest, ::testing::Values(kMethodCopy, kMethodZip));

class S3RetentionTest : public ::testing::TestWithParam<qint32> {
  protected:
    test::TempDir m_dir;
    test::LogCapture m_log;
    test::S3TestServer m_server;
};

// Keys that start like the older backup's or lie beside it are no part of it.
TEST_P(S3RetentionTest, KeepOneRemovesEveryKeyOfTheOlderDayAndNothingBesideIt) {
    QString why;
    ASSERT_TRUE(m_server.Start(&why)) << why.toStdString();
    m_dir.Write("src/a.txt", "alpha");
    ASSERT_TRUE(QDir().mkpath(m_dir.File("src/sub/hollow")));
    TaskList tasks;
    TaskRecord* task = tasks.NewTask("Docs", kTaskBackup);
    task->backupMode = GetParam();
    task->destination = m_server.Destination("store/#YY#MM#DD");
    task->archiveName = "docs.zip";
    task->items.push_back(MakePathItem(m_dir.File("src/"), kItemFolder, "Docs"));
    task->keepLast = 1;
    S3Session bucket(&FileNameToBytes);
    ASSERT_TRUE(bucket.Connect(m_server.Endpoint()));
    const QStringList neighbours = {"/store/20240506-notes/n.txt", "/store/keep.txt",
                                    "/other/20240506/x.txt"};
    for (const QString& key : neighbours) {
        ASSERT_TRUE(bucket.Upload(m_dir.Write("note", "n"), key));
    }
    for (const int day : {6, 7}) {
        const LocalClock clock = [day] { return MakeTime(2024, 5, day, 10, 0); };
        ASSERT_TRUE(RunBackup(tasks, 0, StopSignal(), clock))
            << m_log.Texts().join('\n').toStdString();
    }
    QStringList keys;
    bucket.ListTree(QString(), keys, true);
    EXPECT_EQ(keys.filter("/store/20240506/"), QStringList());
    EXPECT_NE(keys.filter("/store/20240507/"), QStringList());
    for (const QString& key : neighbours) {
        EXPECT_TRUE(keys.contains(key)) << key.toStdString();
    }
    ASSERT_EQ(task->history.size(), 1u);
    EXPECT_EQ(task->history.front().folder, "s3://" + m_server.Bucket() + "/store/20240507/");
    EXPECT_EQ(m_log.Texts().filter("  Removing old backup ").size(), 1);
    EXPECT_EQ(m_log.Texts().filter("Warning"), QStringList());
}

INSTANTIATE_TEST_SUITE_P(Methods, S3RetentionTest, ::testing::Values(kMethodCopy, kMethodZip));

}  // namespace
}  // namespace corvane
