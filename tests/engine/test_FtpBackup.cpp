// Backups to a real FTP server (pyftpdlib on 127.0.0.1, login folder not "/"): what
// arrives on the server, the dates files, the task parameter file, and the runs whose
// uploads or connection fail.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "engine/BackupRun.h"
#include "engine/DatesFile.h"
#include "model/FileName.h"
#include "model/PropertyStore.h"
#include "support/FtpTestServer.h"
#include "support/LogCapture.h"
#include "support/TempDir.h"
#include "support/Times.h"
#include "support/Tools.h"

namespace corvane {
namespace {

using test::SetMtime;

using test::FtpTestServer;
using test::LogCapture;
using test::ReadAll;
using test::TempDir;

std::vector<DatesRecord> DatesOf(const QString& path) {
    std::vector<DatesRecord> records;
    EXPECT_TRUE(ReadDatesFile(path, records)) << path.toStdString();
    return records;
}

QString Year() {
    return QString::number(QDate::currentDate().year());
}

// The texts after "  Upload file " of the log, in order.
QStringList UploadedPaths(const QStringList& lines) {
    QStringList paths;
    for (const QString& line : lines) {
        if (line.startsWith("  Upload file /") && line.endsWith("...")) {
            paths << line.mid(14).chopped(3);
        }
    }
    return paths;
}

class FtpBackupTest : public ::testing::Test {
  protected:
    explicit FtpBackupTest(FtpTestServer::Options options = {}) : m_server(options) {}

    void SetUp() override {
        QString why;
        if (!m_server.Start(&why)) {
            GTEST_SKIP() << "FTP test server cannot start: " << why.toStdString();
        }
        qputenv("CORVANE_HOME", QFile::encodeName(m_dir.File("data")));
        m_dir.Write("src/Docs/a.txt", "alpha");
        m_dir.Write("src/Docs/sub/b.txt", "beta");
        m_dir.Write("src/Docs/empty.txt", "");
        m_dir.Write("src/Docs/with blanks in it.txt", QByteArray(70000, 'w'));
        QDir().mkpath(m_dir.File("src/Docs/nothing"));
        m_dir.Write("src/notes.txt", "notes");
        SetMtime(m_dir.File("src/Docs/a.txt"), 1500000001);
        SetMtime(m_dir.File("src/Docs/sub/b.txt"), 1500000003);
    }

    // The server's folder as a task names it; the port is the task's own field.
    TaskDestination Destination(const QString& folder) const {
        return m_server.Destination("ftp://127.0.0.1/" + folder);
    }

    TaskRecord* NewTask(qint32 method, const QString& folder) {
        TaskRecord* task = m_tasks.NewTask("Docs", kTaskBackup);
        task->backupMode = method;
        task->destination = Destination(folder);
        task->archiveName = "docs #YY.zip";
        task->items.push_back(MakePathItem(m_dir.File("src/Docs/"), kItemFolder, "Docs"));
        task->items.push_back(MakePathItem(m_dir.File("src/notes.txt"), kItemFile, "notes.txt"));
        return task;
    }

    bool Run(const StopSignal& stop = StopSignal()) {
        return RunBackup(m_tasks, m_tasks.TaskCount() - 1, stop);
    }

    // What the server holds below the login folder.
    QString Remote(const QString& name) const { return m_server.Home() + "/" + name; }

    // Nothing of a run may stay in the data folder's temporaries.
    void ExpectNoTemporaries() const {
        EXPECT_EQ(QDir(m_dir.File("data/tmp"))
                      .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
                  QStringList());
    }

    void ExpectNoPasswordInLog() const {
        for (const QString& line : m_log.Texts()) {
            EXPECT_FALSE(line.contains(m_server.Password())) << line.toStdString();
        }
    }

    FtpTestServer m_server;
    TempDir m_dir;
    TaskList m_tasks;
    LogCapture m_log;
};

TEST_F(FtpBackupTest, CopyRunSendsEveryFileAndItsDatesIntoTheDatedFolder) {
    TaskRecord* task = NewTask(kMethodCopy, "backups/#YY");
    ASSERT_TRUE(Run());

    const QString base = "backups/" + Year() + "/";
    EXPECT_EQ(ReadAll(Remote(base + "Docs/a.txt")), "alpha");
    EXPECT_EQ(ReadAll(Remote(base + "Docs/sub/b.txt")), "beta");
    EXPECT_TRUE(QFileInfo(Remote(base + "Docs/empty.txt")).isFile());
    EXPECT_EQ(QFileInfo(Remote(base + "Docs/empty.txt")).size(), 0);
    EXPECT_EQ(ReadAll(Remote(base + "Docs/with blanks in it.txt")), QByteArray(70000, 'w'));
    EXPECT_TRUE(QFileInfo(Remote(base + "Docs/nothing")).isDir());
    EXPECT_EQ(ReadAll(Remote(base + "notes.txt")), "notes");

    // One record per file, in upload order, with the local file's times and size.
    const QStringList uploaded = UploadedPaths(m_log.Texts());
    ASSERT_EQ(uploaded.size(), 5) << m_log.Texts().join('\n').toStdString();
    const std::vector<DatesRecord> records = DatesOf(Remote(base + "Docs/file.dates"));
    ASSERT_EQ(records.size(), 4u);
    EXPECT_EQ(QFileInfo(Remote(base + "Docs/file.dates")).size(), 4 * kDatesRecordSize);
    for (size_t i = 0; i < records.size(); ++i) {
        const QString local = uploaded[static_cast<int>(i)];
        EXPECT_EQ(records[i].name, "Docs/" + local.mid(m_dir.File("src/Docs/").size()));
        const QFileInfo info(local);
        EXPECT_EQ(FileTimeToUnixSeconds(records[i].writeTime),
                  info.lastModified().toSecsSinceEpoch());
        EXPECT_EQ(records[i].size, static_cast<quint64>(info.size()));
    }
    const std::vector<DatesRecord> single = DatesOf(Remote(base + "notes.txt.dates"));
    ASSERT_EQ(single.size(), 1u);
    EXPECT_EQ(single[0].name, "notes.txt");
    EXPECT_EQ(single[0].size, 5u);

    // The history and the parameter file beside the data; the file keeps the pattern
    // and holds no password.
    ASSERT_EQ(task->history.size(), 1u);
    EXPECT_EQ(task->history[0].folder, "ftp://127.0.0.1/backups/" + Year() + "/");
    PropertyStore tsk;
    ASSERT_TRUE(tsk.LoadXml(Remote(base + "Docs.TSK")));
    EXPECT_EQ(tsk.ReadText("TaskParameters", "taskName"), "Docs");
    EXPECT_EQ(tsk.ReadText("TaskParameters", "backupDestPath"), "ftp://127.0.0.1/backups/#YY");
    EXPECT_FALSE(ReadAll(Remote(base + "Docs.TSK")).contains("s3cret"));

    const QStringList lines = m_log.Texts();
    EXPECT_EQ(m_log.CountEndingWith("  Connect to ftp://127.0.0.1/backups/#YY via FTP..."), 1);
    EXPECT_EQ(m_log.CountEndingWith("  Create folders on FTP..."), 2);
    EXPECT_EQ(m_log.CountEndingWith("  Upload file dates info file..."), 2);
    EXPECT_EQ(lines.last(), "  Disconnect");
    EXPECT_EQ(m_log.CountEndingWith("  Error: cannot upload file"), 0);
    // One control connection carried the whole run.
    EXPECT_EQ(m_server.ConnectionCount(), 1);
    ExpectNoPasswordInLog();
    ExpectNoTemporaries();
}

// A server holds no links: a file link sends its file, other links are named.
TEST_F(FtpBackupTest, FileLinkSendsItsFileOtherLinksAreNamedAndLeftOut) {
    const QString docs = m_dir.File("src/Docs/");
    for (const auto& [target, link] :
         {std::pair{"a.txt", "latest"}, {"sub", "up"}, {"gone", "x"}}) {
        ASSERT_EQ(::symlink(target, QFile::encodeName(docs + link).constData()), 0);
    }
    NewTask(kMethodCopy, "links");
    ASSERT_TRUE(Run());
    EXPECT_EQ(ReadAll(Remote("links/Docs/latest")), "alpha");
    EXPECT_FALSE(QFileInfo::exists(Remote("links/Docs/up")));
    EXPECT_EQ(
        m_log.CountEndingWith("  Warning: '" + docs + "up' is a link to a folder, not followed"),
        1);
    EXPECT_EQ(
        m_log.CountEndingWith("  Warning: '" + docs + "x' is a link to no regular file, skipped"),
        1);
}

TEST_F(FtpBackupTest, DatesFileOfTwoFilesHoldsTwoRecordsInUploadOrder) {
    TaskRecord* task = m_tasks.NewTask("Two", kTaskBackup);
    task->destination = Destination("two");
    m_dir.Write("two/Docs/a.txt", "a");
    m_dir.Write("two/Docs/sub/b.txt", "b");
    task->items.push_back(MakePathItem(m_dir.File("two/Docs/"), kItemFolder, "Docs"));
    ASSERT_TRUE(RunBackup(m_tasks, 0, StopSignal()));

    const QByteArray bytes = ReadAll(Remote("two/Docs/file.dates"));
    ASSERT_EQ(bytes.size(), 1104);
    const QStringList uploaded = UploadedPaths(m_log.Texts());
    ASSERT_EQ(uploaded.size(), 2);
    QStringList expected;
    for (const QString& path : uploaded) {
        expected << "Docs/" + path.mid(m_dir.File("two/Docs/").size());
    }
    EXPECT_EQ((QStringList{DecodeDatesRecord(bytes.constData()).name,
                           DecodeDatesRecord(bytes.constData() + 552).name}),
              expected);
    EXPECT_TRUE(expected.contains("Docs/a.txt"));
    EXPECT_TRUE(expected.contains("Docs/sub/b.txt"));
}

TEST_F(FtpBackupTest, ZipRunUploadsTheArchiveAndLeavesNoTemporary) {
    TaskRecord* task = NewTask(kMethodZip, "zips");
    task->compressionLevel = 6;
    ASSERT_TRUE(Run());

    const QString archive = Remote("zips/docs " + Year() + ".zip");
    ASSERT_TRUE(QFileInfo(archive).isFile()) << m_log.Texts().join('\n').toStdString();
    EXPECT_EQ(test::RunTool("unzip", {"-tq", archive}).exitCode, 0);
    EXPECT_EQ(test::RunTool("unzip", {"-p", archive, "Docs/sub/b.txt"}).output, "beta");
    EXPECT_EQ(test::RunTool("unzip", {"-p", archive, "notes.txt"}).output, "notes");
    EXPECT_TRUE(QFileInfo(Remote("zips/Docs.TSK")).isFile());
    ASSERT_EQ(task->history.size(), 1u);
    EXPECT_EQ(task->history[0].archiveName, "docs " + Year() + ".zip");
    EXPECT_TRUE(m_log.Texts().contains("  Compressing data..."));
    EXPECT_FALSE(QFileInfo::exists(Remote("zips/Docs")));  // no copy beside the archive
    ExpectNoTemporaries();
}

TEST_F(FtpBackupTest, StopDuringTheUploadsSendsNoDatesFileAndRecordsNothing) {
    TaskRecord* task = NewTask(kMethodCopy, "stopped");
    std::atomic<bool> stop{true};
    EXPECT_TRUE(Run(StopSignal(&stop)));
    EXPECT_EQ(UploadedPaths(m_log.Texts()).size(), 1);
    EXPECT_FALSE(QFileInfo::exists(Remote("stopped/Docs/file.dates")));
    EXPECT_FALSE(QFileInfo::exists(Remote("stopped/Docs.TSK")));
    EXPECT_TRUE(task->history.empty());
    EXPECT_EQ(m_log.Texts().last(), "  Disconnect");
    ExpectNoTemporaries();
}

TEST_F(FtpBackupTest, NameTooLongForTheDatesFileLeavesABlankRecordNotACutName) {
    TaskRecord* task = m_tasks.NewTask("Long", kTaskBackup);
    task->destination = Destination("long");
    const QString deep = QString(200, 'd') + "/" + QString(100, 'f') + ".txt";  // 305 units
    m_dir.Write("long/Docs/" + deep, "deep");
    m_dir.Write("long/Docs/short.txt", "short");
    task->items.push_back(MakePathItem(m_dir.File("long/Docs/"), kItemFolder, "Docs"));
    ASSERT_TRUE(RunBackup(m_tasks, 0, StopSignal()));

    EXPECT_EQ(ReadAll(Remote("long/Docs/" + deep)), "deep");  // the file itself arrives
    // The log cuts a line at 255 characters; the warning's start is what counts.
    EXPECT_EQ(
        m_log.Texts().filter("  Warning: file name too long for the dates file: Docs/ddd").size(),
        1);
    const std::vector<DatesRecord> records = DatesOf(Remote("long/Docs/file.dates"));
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].name, "Docs/short.txt");
    EXPECT_EQ(records[1], DatesRecord());
}

TEST_F(FtpBackupTest, WrongPasswordFailsWithTheServersTextAndAMail) {
    const QString recorder =
        m_dir.Write("sendmail", "#!/bin/sh\necho \"$@\" > \"$0.args\"\ncat > \"$0.mail\"\n");
    QFile::setPermissions(recorder,
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    qputenv("CORVANE_SENDMAIL", QFile::encodeName(recorder));
    TaskRecord* task = NewTask(kMethodCopy, "denied");
    task->destination.password = "Wr0ng secret";
    task->mailAddress = "ann@example.org";
    EXPECT_FALSE(Run());
    qunsetenv("CORVANE_SENDMAIL");

    EXPECT_TRUE(ReadAll(recorder + ".mail")
                    .contains("Cannot connect to FTP site, backup was not complete"));
    int errors = 0;
    for (const QString& line : m_log.Texts()) {
        EXPECT_FALSE(line.contains("Wr0ng")) << line.toStdString();
        if (line.startsWith("  FTP connection error: ")) {
            ++errors;
            // pyftpdlib's answer to a refused login
            EXPECT_TRUE(line.contains("530") || line.contains("uthentication"))
                << line.toStdString();
        }
    }
    EXPECT_EQ(errors, 1);
    EXPECT_EQ(m_log.CountEndingWith("  Disconnect"), 0);  // never connected
    EXPECT_TRUE(task->history.empty());
    EXPECT_FALSE(QFileInfo::exists(Remote("denied")));
}

// A server folder where nothing may be written stands for a failing upload.
class FtpBackupUploadFailureTest : public FtpBackupTest {
  protected:
    FtpBackupUploadFailureTest()
        : FtpBackupTest(FtpTestServer::Options{false, {"part/Docs/sub", "part/ro"}, false}) {}
};

TEST_F(FtpBackupUploadFailureTest, FailedFileUploadIsLoggedTheRunGoesOnAndFails) {
    TaskRecord* task = NewTask(kMethodCopy, "part");
    const QString raw = FileNameFromBytes("Docs/sub/caf\xE9.txt");
    ASSERT_EQ(::close(::creat(FileNameToBytes(m_dir.File("src/" + raw)).constData(), 0600)), 0);
    EXPECT_FALSE(Run());

    EXPECT_EQ(m_log.CountEndingWith("  Error: cannot upload file Docs/sub/b.txt"), 1)
        << m_log.Texts().join('\n').toStdString();
    EXPECT_EQ(m_log.CountEndingWith("  Error: cannot upload file Docs/sub/caf\\xE9.txt"), 1);
    EXPECT_FALSE(QFileInfo::exists(Remote("part/Docs/sub/b.txt")));
    // Everything after the failure still happened: later files, the dates files (which
    // still list the file), the history and the parameter file.
    EXPECT_EQ(ReadAll(Remote("part/Docs/a.txt")), "alpha");
    EXPECT_EQ(ReadAll(Remote("part/notes.txt")), "notes");
    QStringList names;
    for (const DatesRecord& record : DatesOf(Remote("part/Docs/file.dates"))) {
        names << record.name;
    }
    EXPECT_TRUE(names.contains("Docs/sub/b.txt") && names.contains(raw));
    EXPECT_EQ(names.size(), 5);
    EXPECT_EQ(task->history.size(), 1u);
    EXPECT_TRUE(QFileInfo(Remote("part/Docs.TSK")).isFile());
    EXPECT_EQ(m_log.Texts().last(), "  Disconnect");
    ExpectNoTemporaries();
}

TEST_F(FtpBackupUploadFailureTest, FailedArchiveUploadRecordsNoBackup) {
    TaskRecord* task = NewTask(kMethodZip, "part");
    task->archiveName = "ro/docs.zip";
    EXPECT_FALSE(Run());

    EXPECT_EQ(m_log.CountEndingWith("  Error: cannot upload file ro/docs.zip"), 1)
        << m_log.Texts().join('\n').toStdString();
    EXPECT_TRUE(task->history.empty());
    // The parameter folder is writable: only the failed archive keeps the file away.
    EXPECT_FALSE(QFileInfo::exists(Remote("part/Docs.TSK")));
    EXPECT_EQ(m_log.Texts().last(), "  Disconnect");
    ExpectNoTemporaries();
}

class FtpBackupPassiveOnlyTest : public FtpBackupTest {
  protected:
    FtpBackupPassiveOnlyTest() : FtpBackupTest(FtpTestServer::Options{true, {}, false}) {}
};

TEST_F(FtpBackupPassiveOnlyTest, BothMethodsStillArrive) {
    NewTask(kMethodCopy, "copy");
    ASSERT_TRUE(Run()) << m_log.Texts().join('\n').toStdString();
    EXPECT_EQ(ReadAll(Remote("copy/Docs/sub/b.txt")), "beta");
    EXPECT_EQ(DatesOf(Remote("copy/Docs/file.dates")).size(), 4u);
    NewTask(kMethodZip, "zip");
    ASSERT_TRUE(Run());
    EXPECT_TRUE(QFileInfo(Remote("zip/docs " + Year() + ".zip")).isFile());
    ExpectNoTemporaries();
}

}  // namespace
}  // namespace corvane
