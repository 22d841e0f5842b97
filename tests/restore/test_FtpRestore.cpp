// Compare and restore from a real FTP server (pyftpdlib on 127.0.0.1, login folder not
// "/"), after a real backup run to it: both methods, the passive-only server and the
// server that lists through LIST only.

#include <gtest/gtest.h>

#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <atomic>
#include <functional>
#include <memory>

#include "engine/BackupRun.h"
#include "engine/DatesFile.h"
#include "restore/RestoreList.h"
#include "restore/RestoreRun.h"
#include "restore/RestoreStatus.h"
#include "support/FtpTestServer.h"
#include "support/LogCapture.h"
#include "support/TempDir.h"
#include "support/Times.h"

namespace corvane {
namespace {

using test::SetMtime;

using test::FtpTestServer;
using test::LogCapture;
using test::ReadAll;
using test::TempDir;

// Even seconds: ZIP entries keep no odd ones, and both methods must give them back.
constexpr qint64 kStamp = 1600000000;

qint64 Mtime(const QString& path) {
    return QFileInfo(path).lastModified().toSecsSinceEpoch();
}

class ScriptedQuestions : public RestoreQuestions {
  public:
    int ChooseBackupCopy(const TaskRecord&) override { return 0; }
    bool ChooseRestoreItems(std::vector<RestoreItem>& items) override {
        seen = items;
        if (edit) {
            edit(items);
        }
        return true;
    }
    void RequestStop() override { stop = true; }

    std::function<void(std::vector<RestoreItem>&)> edit;
    std::vector<RestoreItem> seen;
    std::atomic<bool> stop{false};
};

enum class ServerKind { kPlain, kPassiveOnly, kListOnly };

FtpTestServer::Options OptionsOf(ServerKind kind) {
    FtpTestServer::Options options;
    options.passiveOnly = kind == ServerKind::kPassiveOnly;
    options.listOnly = kind == ServerKind::kListOnly;
    return options;
}

// A live tree backed up to the server by a real run.
class FtpRestoreTestBase {
  protected:
    explicit FtpRestoreTestBase(ServerKind kind) : m_server(OptionsOf(kind)) {}

    // False (and a skip) when the server cannot start.
    bool StartAndBackUp(qint32 method) {
        QString why;
        if (!m_server.Start(&why)) {
            m_skipReason = why;
            return false;
        }
        qputenv("CORVANE_HOME", QFile::encodeName(m_dir.File("data")));
        m_dir.Write("live/Docs/a.txt", "alpha");
        m_dir.Write("live/Docs/sub/b.txt", "beta");
        m_dir.Write("live/Docs/sub/c.txt", QByteArray(100000, 'c'));
        m_dir.Write("live/Docs/empty.txt", "");
        m_dir.Write("live/Docs/a name with blanks.txt", "blanks");
        QDir().mkpath(m_dir.File("live/Docs/nothing"));
        m_dir.Write("live/single.cfg", "setting=1");
        for (const QString& name : LiveFiles()) {
            SetMtime(m_dir.File("live/" + name), kStamp);
        }
        m_task = m_tasks.NewTask("Docs", kTaskBackup);
        m_task->backupMode = method;
        // A folder per year: the restore reaches the place the history names.
        m_task->destination = m_server.Destination("ftp://127.0.0.1/store/#YY");
        m_task->archiveName = "docs.zip";
        m_task->archivePassword = method == kMethodZip ? "zip secret" : "";
        m_task->items.push_back(MakePathItem(m_dir.File("live/Docs/"), kItemFolder, "Docs"));
        m_task->items.push_back(
            MakePathItem(m_dir.File("live/single.cfg"), kItemFile, "single.cfg"));
        const bool ok = RunBackup(m_tasks, 0, StopSignal());
        EXPECT_TRUE(ok) << m_log->Texts().join('\n').toStdString();
        return ok;
    }

    static QStringList LiveFiles() {
        return {"Docs/a.txt",
                "Docs/sub/b.txt",
                "Docs/sub/c.txt",
                "Docs/empty.txt",
                "Docs/a name with blanks.txt",
                "single.cfg"};
    }

    QString Live(const QString& name) const { return m_dir.File("live/" + name); }
    static QString Year() { return QString::number(QDate::currentDate().year()); }
    // Where the backup went, as the history and the restore keys name it.
    static QString Place() { return "ftp://127.0.0.1/store/" + Year() + "/"; }
    QString Remote(const QString& name) const {
        return m_server.Home() + "/store/" + Year() + "/" + name;
    }

    std::vector<RestoreItem> Compare(FtpSession* ftp = nullptr) {
        TaskDestination destination = m_task->destination;
        QString archiveName = m_task->archiveName;
        EXPECT_TRUE(UseHistoryEntry(*m_task, 0, destination, archiveName));
        std::vector<RestoreItem> list;
        m_read = true;
        for (const SourceItem& item : m_task->items) {
            m_read =
                BuildRestoreList(list, item, destination, m_task->backupMode, archiveName, ftp) &&
                m_read;
        }
        return list;
    }

    bool Restore() { return RunRestore(m_tasks, 0, m_questions, StopSignal(&m_questions.stop)); }

    // Forgets the lines logged so far (the backup's).
    void FreshLog() {
        m_log.reset();
        m_log = std::make_unique<LogCapture>();
    }

    void ExpectNoTemporaries() const {
        EXPECT_EQ(QDir(m_dir.File("data/tmp"))
                      .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
                  QStringList());
    }

    void ExpectNoPasswordInLog() const {
        for (const QString& line : m_log->Texts()) {
            EXPECT_FALSE(line.contains(m_server.Password())) << line.toStdString();
        }
    }

    FtpTestServer m_server;
    QString m_skipReason;
    TempDir m_dir;
    TaskList m_tasks;
    bool m_read = false;  // what the last Compare's list builder answered
    TaskRecord* m_task = nullptr;
    ScriptedQuestions m_questions;
    std::unique_ptr<LogCapture> m_log = std::make_unique<LogCapture>();
};

RestoreStatus StatusOfSource(const std::vector<RestoreItem>& list, const QString& live) {
    for (const RestoreItem& item : list) {
        if (item.sourceName == live) {
            return StatusOf(item);
        }
    }
    return RestoreStatus::kNone;
}

// ---------------------------------------------------------------------------------------
// Up and back down, for both methods and three kinds of server.

class FtpRoundTripTest : public FtpRestoreTestBase,
                         public ::testing::TestWithParam<std::tuple<qint32, ServerKind>> {
  protected:
    FtpRoundTripTest() : FtpRestoreTestBase(std::get<1>(GetParam())) {}

    void SetUp() override {
        if (!StartAndBackUp(std::get<0>(GetParam())) && !m_skipReason.isEmpty()) {
            GTEST_SKIP() << "FTP test server cannot start: " << m_skipReason.toStdString();
        }
    }
};

TEST_P(FtpRoundTripTest, CompareSeesTheChangesAndRestoreBringsBackEveryByteAndTime) {
    ASSERT_FALSE(HasFailure());
    // Right after the backup every stored file is identical to its live file (a
    // session of the compare's own).
    const std::vector<RestoreItem> fresh = Compare();
    ASSERT_EQ(fresh.size(), 6u) << m_log->Texts().join('\n').toStdString();
    for (const RestoreItem& item : fresh) {
        EXPECT_EQ(StatusOf(item), RestoreStatus::kIdentical) << item.archiveName.toStdString();
    }

    // Damage the live tree.
    m_dir.Write("live/Docs/a.txt", "ALPHA, changed");
    SetMtime(Live("Docs/a.txt"), kStamp + 100);
    ASSERT_TRUE(QFile::remove(Live("Docs/sub/b.txt")));
    ASSERT_TRUE(QFile::remove(Live("Docs/empty.txt")));
    ASSERT_TRUE(QDir(Live("Docs/nothing")).removeRecursively());
    ASSERT_TRUE(QFile::remove(Live("single.cfg")));

    FreshLog();
    ASSERT_TRUE(Restore()) << m_log->Texts().join('\n').toStdString();
    const std::vector<RestoreItem>& seen = m_questions.seen;
    EXPECT_EQ(StatusOfSource(seen, Live("Docs/a.txt")), RestoreStatus::kNewer);
    EXPECT_EQ(StatusOfSource(seen, Live("Docs/sub/c.txt")), RestoreStatus::kIdentical);
    int deleted = 0;
    for (const RestoreItem& item : seen) {
        deleted += StatusOf(item) == RestoreStatus::kDeleted ? 1 : 0;
    }
    EXPECT_EQ(deleted, 3);

    EXPECT_EQ(ReadAll(Live("Docs/a.txt")), "alpha");
    EXPECT_EQ(ReadAll(Live("Docs/sub/b.txt")), "beta");
    EXPECT_EQ(ReadAll(Live("Docs/sub/c.txt")), QByteArray(100000, 'c'));
    EXPECT_EQ(ReadAll(Live("Docs/a name with blanks.txt")), "blanks");
    EXPECT_TRUE(QFileInfo(Live("Docs/empty.txt")).isFile());
    EXPECT_EQ(QFileInfo(Live("Docs/empty.txt")).size(), 0);
    EXPECT_TRUE(QFileInfo(Live("Docs/nothing")).isDir());
    EXPECT_EQ(ReadAll(Live("single.cfg")), "setting=1");
    for (const QString& name : LiveFiles()) {
        EXPECT_EQ(Mtime(Live(name)), kStamp) << name.toStdString();
    }
    // The dates file is no file of the user's.
    EXPECT_FALSE(QFileInfo::exists(Live("Docs/file.dates")));

    const QStringList lines = m_log->Texts();
    EXPECT_EQ(m_log->CountEndingWith("  Connect to " + Place() + " via FTP..."), 1);
    EXPECT_EQ(lines.last(), "  Disconnect");
    if (std::get<0>(GetParam()) == kMethodZip) {
        // Listed once and restored once per item.
        EXPECT_EQ(m_log->CountEndingWith("  Download docs.zip from FTP..."), 4);
    } else {
        EXPECT_TRUE(lines.contains("  Download Docs/sub/b.txt from FTP..."));
        EXPECT_TRUE(lines.contains("  5 files restored"));
    }
    ExpectNoPasswordInLog();
    ExpectNoTemporaries();
}

using RoundTripParam = std::tuple<qint32, ServerKind>;

std::string RoundTripName(const testing::TestParamInfo<RoundTripParam>& info) {
    const char* servers[] = {"Plain", "PassiveOnly", "ListOnly"};
    return std::string(std::get<0>(info.param) == kMethodZip ? "Zip" : "Copy") +
           servers[static_cast<int>(std::get<1>(info.param))];
}

INSTANTIATE_TEST_SUITE_P(MethodsAndServers, FtpRoundTripTest,
                         testing::Combine(testing::Values(kMethodCopy, kMethodZip),
                                          testing::Values(ServerKind::kPlain,
                                                          ServerKind::kPassiveOnly,
                                                          ServerKind::kListOnly)),
                         RoundTripName);

// ---------------------------------------------------------------------------------------
// Copy as is.

class FtpCopyRestoreTest : public FtpRestoreTestBase, public ::testing::Test {
  protected:
    FtpCopyRestoreTest() : FtpRestoreTestBase(ServerKind::kPlain) {}

    void SetUp() override {
        if (!StartAndBackUp(kMethodCopy) && !m_skipReason.isEmpty()) {
            GTEST_SKIP() << "FTP test server cannot start: " << m_skipReason.toStdString();
        }
    }

    // Replaces the folder item's dates file on the server.
    void WriteDates(const std::vector<DatesRecord>& records) {
        ASSERT_TRUE(WriteDatesFile(Remote("Docs/file.dates"), records));
    }
};

TEST_F(FtpCopyRestoreTest, UncheckedFileIsSkippedAndKeysNameDestinationAndRemoteName) {
    ASSERT_FALSE(HasFailure());
    m_dir.Write("live/Docs/a.txt", "mine now");
    ASSERT_TRUE(QFile::remove(Live("Docs/sub/b.txt")));
    m_questions.edit = [](std::vector<RestoreItem>& items) {
        for (RestoreItem& item : items) {
            if (item.archiveName == Place() + ":Docs/a.txt") {
                item.checked = false;
            }
        }
    };
    ASSERT_TRUE(Restore());
    EXPECT_TRUE(m_log->Texts().contains("  File Docs/a.txt was skipped"));
    EXPECT_EQ(ReadAll(Live("Docs/a.txt")), "mine now");
    EXPECT_EQ(ReadAll(Live("Docs/sub/b.txt")), "beta");
    EXPECT_TRUE(m_log->Texts().contains("  4 files restored"));
}

TEST_F(FtpCopyRestoreTest, MissingDatesFileListsNothingForItsItem) {
    ASSERT_FALSE(HasFailure());
    ASSERT_TRUE(QFile::remove(Remote("Docs/file.dates")));
    const std::vector<RestoreItem> list = Compare();
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].archiveName, Place() + ":single.cfg");
    EXPECT_EQ(m_log->CountEndingWith(
                  "  Warning: cannot download file dates info file Docs/file.dates from FTP."),
              1);
    ExpectNoTemporaries();
}

TEST_F(FtpCopyRestoreTest, HostileNamesInTheDatesFileAreRefused) {
    ASSERT_FALSE(HasFailure());
    DatesRecord good;
    good.name = "Docs/a.txt";
    good.writeTime = UnixToFileTime(kStamp, 0);
    good.size = 5;
    std::vector<DatesRecord> records{good, good, good, good, good};
    records[1].name = "Docs/../../../outside.txt";
    records[2].name = "/etc/passwd";
    records[3].name = "Docs/sub/../../../x";
    records[4].name = "no-slash";  // no file of the folder item: passed over silently
    WriteDates(records);

    TaskDestination destination = m_task->destination;
    destination.path = Place();
    std::vector<RestoreItem> list;
    EXPECT_TRUE(BuildRestoreList(list, m_task->items[0], destination, kMethodCopy, QString()));
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].sourceName, Live("Docs/a.txt"));
    EXPECT_EQ(StatusOf(list[0]), RestoreStatus::kIdentical);
    for (const char* name : {"Docs/../../../outside.txt", "/etc/passwd", "Docs/sub/../../../x"}) {
        EXPECT_EQ(m_log->CountEndingWith(QString("  Error: unsafe path '%1' skipped").arg(name)), 1)
            << name;
    }
}

TEST_F(FtpCopyRestoreTest, RestoreWithTheWrongPasswordFailsWithoutWriting) {
    ASSERT_FALSE(HasFailure());
    ASSERT_TRUE(QFile::remove(Live("Docs/a.txt")));
    FreshLog();
    m_task->destination.password = "not it";
    EXPECT_FALSE(Restore());
    EXPECT_FALSE(QFileInfo::exists(Live("Docs/a.txt")));
    EXPECT_EQ(m_log->CountEndingWith("  Disconnect"), 0);
    EXPECT_TRUE(m_questions.seen.empty());
    ExpectNoTemporaries();
}

// ---------------------------------------------------------------------------------------
// ZIP.

class FtpZipRestoreTest : public FtpRestoreTestBase, public ::testing::Test {
  protected:
    FtpZipRestoreTest() : FtpRestoreTestBase(ServerKind::kPlain) {}

    void SetUp() override {
        if (!StartAndBackUp(kMethodZip) && !m_skipReason.isEmpty()) {
            GTEST_SKIP() << "FTP test server cannot start: " << m_skipReason.toStdString();
        }
    }
};

TEST_F(FtpZipRestoreTest, DownloadedArchiveIsDeletedAlsoWhenExtractionFails) {
    ASSERT_FALSE(HasFailure());
    m_dir.Write("live/Docs/a.txt", "kept");
    m_task->archivePassword = "wrong";
    EXPECT_FALSE(Restore());
    EXPECT_GE(m_log->CountEndingWith("  Error: cannot extract file, maybe archive is encrypted"),
              1);
    EXPECT_EQ(ReadAll(Live("Docs/a.txt")), "kept");
    EXPECT_EQ(m_log->Texts().last(), "  Disconnect");
    ExpectNoTemporaries();
}

TEST_F(FtpZipRestoreTest, MissingArchiveGivesNothingToRestore) {
    ASSERT_FALSE(HasFailure());
    ASSERT_TRUE(QFile::remove(Remote("docs.zip")));
    EXPECT_FALSE(Restore());
    EXPECT_GE(m_log->CountEndingWith("  Error: cannot open ZIP file"), 1);
    EXPECT_EQ(m_log->CountEndingWith("  Error: nothing to restore"), 1);
    EXPECT_EQ(m_log->Texts().last(), "  Disconnect");
    ExpectNoTemporaries();
}

}  // namespace
}  // namespace corvane
