#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QProcess>

#include "engine/BackupRun.h"
#include "restore/RestoreRun.h"
#include "restore/RestoreStatus.h"
#include "support/LogCapture.h"
#include "support/TempDir.h"
#include "support/Times.h"
#include "support/Tools.h"

namespace corvane {
namespace {

using test::SetMtime;

using test::LogCapture;
using test::ReadAll;
using test::TempDir;

qint64 Mtime(const QString& path) {
    return QFileInfo(path).lastModified().toSecsSinceEpoch();
}

// Answers the restore's questions as a test tells it to, and remembers what it saw.
class ScriptedQuestions : public RestoreQuestions {
  public:
    int ChooseBackupCopy(const TaskRecord&) override {
        ++copyQuestions;
        return copyAnswer;
    }
    bool ChooseRestoreItems(std::vector<RestoreItem>& items) override {
        seen = items;
        if (edit) {
            edit(items);
        }
        return accept;
    }
    void RequestStop() override { stop = true; }

    int copyAnswer = 0;
    int copyQuestions = 0;
    bool accept = true;
    std::function<void(std::vector<RestoreItem>&)> edit;
    std::vector<RestoreItem> seen;
    std::atomic<bool> stop{false};
};

class RestoreRunTest : public ::testing::TestWithParam<qint32> {
  protected:
    void SetUp() override {
        qputenv("CORVANE_HOME", QFile::encodeName(m_dir.File("data")));
        m_dir.Write("live/Docs/a.txt", "alpha");
        m_dir.Write("live/Docs/sub/b.txt", "beta");
        m_dir.Write("live/Docs/sub/c.txt", QByteArray(5000, 'c'));
        m_dir.Write("live/Docs/empty.txt", "");
        QDir().mkpath(m_dir.File("live/Docs/nothing"));
        m_dir.Write("live/single.cfg", "setting=1");
        // Odd seconds: ZIP keeps even seconds only, and the compare must still match.
        for (const char* name :
             {"Docs/a.txt", "Docs/sub/b.txt", "Docs/sub/c.txt", "Docs/empty.txt", "single.cfg"}) {
            SetMtime(m_dir.File(QString("live/") + name), 1700000001);
        }
        m_task = m_tasks.NewTask("Docs", kTaskBackup);
        m_task->backupMode = GetParam();
        m_task->destination.path = m_dir.File("backup/#YY");
        m_task->archiveName = "docs.zip";
        m_task->archivePassword = GetParam() == kMethodZip ? "secret" : "";
        m_task->items.push_back(MakePathItem(m_dir.File("live/Docs/"), kItemFolder, "Docs"));
        m_task->items.push_back(
            MakePathItem(m_dir.File("live/single.cfg"), kItemFile, "single.cfg"));
        ASSERT_TRUE(RunBackup(m_tasks, 0, StopSignal()));
        ASSERT_EQ(m_task->history.size(), 1u);
    }

    bool Restore() { return RunRestore(m_tasks, 0, m_questions, StopSignal(&m_questions.stop)); }

    RestoreStatus StatusOfSource(const QString& livePath) const {
        for (const RestoreItem& item : m_questions.seen) {
            if (item.sourceName == livePath ||
                (item.sourceName.isEmpty() &&
                 item.archiveName.endsWith(livePath.section('/', -1)))) {
                return StatusOf(item);
            }
        }
        return RestoreStatus::kNone;
    }

    TempDir m_dir;
    TaskList m_tasks;
    TaskRecord* m_task = nullptr;
    ScriptedQuestions m_questions;
    LogCapture m_log;
};

// Back up, damage the live tree, compare, restore: every byte and time comes back.
TEST_P(RestoreRunTest, DamagedTreeIsBroughtBack) {
    ASSERT_TRUE(QFile::remove(m_dir.File("live/Docs/sub/b.txt")));
    m_dir.Write("live/Docs/a.txt", "ALPHA!");   // changed, newer
    m_dir.Write("live/Docs/added.txt", "new");  // not in the backup: left alone
    ASSERT_TRUE(QFile::remove(m_dir.File("live/single.cfg")));

    // A dated task with one history entry is restored from it without asking.
    ASSERT_TRUE(Restore());
    EXPECT_EQ(m_questions.copyQuestions, 0);
    EXPECT_EQ(StatusOfSource(m_dir.File("live/Docs/sub/c.txt")), RestoreStatus::kIdentical);
    EXPECT_EQ(StatusOfSource(m_dir.File("live/Docs/a.txt")), RestoreStatus::kNewer);

    EXPECT_EQ(ReadAll(m_dir.File("live/Docs/a.txt")), "alpha");
    EXPECT_EQ(ReadAll(m_dir.File("live/Docs/sub/b.txt")), "beta");
    EXPECT_EQ(ReadAll(m_dir.File("live/Docs/sub/c.txt")), QByteArray(5000, 'c'));
    EXPECT_TRUE(QFileInfo(m_dir.File("live/Docs/empty.txt")).isFile());
    EXPECT_EQ(ReadAll(m_dir.File("live/single.cfg")), "setting=1");
    EXPECT_EQ(ReadAll(m_dir.File("live/Docs/added.txt")), "new");
    EXPECT_TRUE(QFileInfo(m_dir.File("live/Docs/nothing")).isDir());
    // Copies keep the second; ZIP entries hold even seconds.
    const qint64 expected = GetParam() == kMethodZip ? 1700000000 : 1700000001;
    EXPECT_EQ(Mtime(m_dir.File("live/Docs/a.txt")), expected);
    EXPECT_EQ(Mtime(m_dir.File("live/Docs/sub/b.txt")), expected);
    EXPECT_EQ(Mtime(m_dir.File("live/single.cfg")), expected);
}

TEST_P(RestoreRunTest, UncheckedItemsAreLeftAlone) {
    m_dir.Write("live/Docs/a.txt", "changed a");
    m_dir.Write("live/Docs/sub/b.txt", "changed b");
    m_questions.edit = [this](std::vector<RestoreItem>& items) {
        for (RestoreItem& item : items) {
            if (item.sourceName == m_dir.File("live/Docs/a.txt")) {
                item.checked = false;
            }
        }
    };
    ASSERT_TRUE(Restore());
    EXPECT_EQ(ReadAll(m_dir.File("live/Docs/a.txt")), "changed a");
    EXPECT_EQ(ReadAll(m_dir.File("live/Docs/sub/b.txt")), "beta");
}

TEST_P(RestoreRunTest, SeveralBackupsAskWhichOne) {
    m_task->destination.path = m_dir.File("backup/#MIN#HH#DD#MM#YY");
    // A second, different backup recorded by hand in another place.
    ASSERT_TRUE(QDir().rename(m_dir.File("backup"), m_dir.File("first")));
    m_task->history.front().folder.replace(m_dir.File("backup"), m_dir.File("first"));
    m_dir.Write("live/Docs/a.txt", "second version");
    ASSERT_TRUE(RunBackup(m_tasks, 0, StopSignal()));
    ASSERT_EQ(m_task->history.size(), 2u);
    m_dir.Write("live/Docs/a.txt", "damaged");

    m_questions.copyAnswer = 0;  // the first backup
    ASSERT_TRUE(Restore());
    EXPECT_EQ(m_questions.copyQuestions, 1);
    EXPECT_EQ(ReadAll(m_dir.File("live/Docs/a.txt")), "alpha");

    m_questions.copyAnswer = -1;  // cancelled: nothing happens
    m_dir.Write("live/Docs/a.txt", "damaged");
    EXPECT_FALSE(Restore());
    EXPECT_EQ(ReadAll(m_dir.File("live/Docs/a.txt")), "damaged");
}

TEST_P(RestoreRunTest, CancelledListRestoresNothing) {
    m_dir.Write("live/Docs/a.txt", "changed");
    m_questions.accept = false;
    EXPECT_FALSE(Restore());
    EXPECT_TRUE(m_questions.stop.load());
    EXPECT_EQ(ReadAll(m_dir.File("live/Docs/a.txt")), "changed");
}

TEST_P(RestoreRunTest, HostileItemPathsAreRefused) {
    m_task->items.front().path = m_dir.File("live/../outside/");
    m_dir.Write("live/Docs/a.txt", "changed");
    EXPECT_FALSE(Restore());
    EXPECT_FALSE(QFileInfo::exists(m_dir.File("outside")));
    EXPECT_GE(m_log.CountEndingWith("skipped"), 1);
}

INSTANTIATE_TEST_SUITE_P(Methods, RestoreRunTest, ::testing::Values(kMethodCopy, kMethodZip),
                         [](const ::testing::TestParamInfo<qint32>& info) {
                             return info.param == kMethodZip ? "Zip" : "Copy";
                         });

TEST(RestoreRunZip, WrongPasswordLeavesTheLiveFileUntouched) {
    TempDir dir;
    qputenv("CORVANE_HOME", QFile::encodeName(dir.File("data")));
    dir.Write("live/Docs/a.txt", "alpha");
    TaskList tasks;
    TaskRecord* task = tasks.NewTask("Docs", kTaskBackup);
    task->backupMode = kMethodZip;
    task->destination.path = dir.File("backup");
    task->archiveName = "docs.zip";
    task->archivePassword = "right";
    task->items.push_back(MakePathItem(dir.File("live/Docs"), kItemFolder, "Docs"));
    ASSERT_TRUE(RunBackup(tasks, 0, StopSignal()));
    dir.Write("live/Docs/a.txt", "changed");
    task->archivePassword = "wrong";
    ScriptedQuestions questions;
    LogCapture log;
    EXPECT_FALSE(RunRestore(tasks, 0, questions, StopSignal()));
    EXPECT_EQ(ReadAll(dir.File("live/Docs/a.txt")), "changed");
    EXPECT_EQ(log.CountEndingWith("  Error: cannot extract file, maybe archive is encrypted"), 1);
}

// Archives made by other tools restore too.
TEST(RestoreRunZip, ArchiveMadeByZipRestores) {
    TempDir dir;
    qputenv("CORVANE_HOME", QFile::encodeName(dir.File("data")));
    dir.Write("made/Docs/a.txt", "alpha");
    dir.Write("made/Docs/sub/b.txt", "beta");
    QDir().mkpath(dir.File("backup"));
    QProcess zip;
    zip.setWorkingDirectory(dir.File("made"));
    zip.start("zip", {"-q", "-r", "-P", "pw", dir.File("backup/docs.zip"), "Docs"});
    ASSERT_TRUE(zip.waitForFinished());
    ASSERT_EQ(zip.exitCode(), 0);

    TaskList tasks;
    TaskRecord* task = tasks.NewTask("Docs", kTaskRestore);
    task->backupMode = kMethodZip;
    task->destination.path = dir.File("backup/");
    task->archiveName = "docs.zip";
    task->archivePassword = "pw";
    task->items.push_back(MakePathItem(dir.File("restored/Docs/"), kItemFolder, "Docs"));
    ScriptedQuestions questions;
    ASSERT_TRUE(RunRestore(tasks, 0, questions, StopSignal()));
    EXPECT_EQ(ReadAll(dir.File("restored/Docs/a.txt")), "alpha");
    EXPECT_EQ(ReadAll(dir.File("restored/Docs/sub/b.txt")), "beta");
}

}  // namespace
}  // namespace corvane
