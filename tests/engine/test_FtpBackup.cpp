// Backups to a real FTP server (pyftpdlib on 127.0.0.1, login folder not "/"): what
// arrives on the server, the dates files, the task parameter file, and the runs whose
// uploads or connection fail.

#include <fcntl.h>
#include <unistd.h>

#include <QDate>
#include <QRegularExpression>

#include "engine/BackupRun.h"
#include "engine/DatesFile.h"
#include "model/FileName.h"
#include "model/PropertyStore.h"
#include "support/FtpServerTest.h"
#include "support/Times.h"
#include "support/Tools.h"

namespace corvane {
namespace {

using test::FtpTestServer;
using test::ReadAll;

std::vector<DatesRecord> DatesOf(const QString& path) {
    std::vector<DatesRecord> records;
    EXPECT_TRUE(ReadDatesFile(path, records)) << path.toStdString();
    return records;
}

class FtpBackupTest : public test::FtpServerTest {
  protected:
    explicit FtpBackupTest(FtpTestServer::Options options = {})
        : FtpServerTest(std::move(options)) {}

    void SetUp() override {
        FtpServerTest::SetUp();
        m_dir.Write("src/Docs/a.txt", "alpha");
        m_dir.Write("src/Docs/sub/b.txt", "beta");
        m_dir.Write("src/Docs/empty.txt", "");
        m_dir.Write("src/Docs/with blanks in it.txt", QByteArray(70000, 'w'));
        QDir().mkpath(m_dir.File("src/Docs/nothing"));
        m_dir.Write("src/notes.txt", "notes");
    }

    TaskRecord* NewTask(qint32 method, const QString& folder) {
        TaskRecord* task = m_tasks.NewTask("Docs", kTaskBackup);
        task->backupMode = method;
        task->destination = m_server.Destination("ftp://127.0.0.1/" + folder);
        task->archiveName = "docs #YY.zip";
        task->items.push_back(MakePathItem(m_dir.File("src/Docs/"), kItemFolder, "Docs"));
        task->items.push_back(MakePathItem(m_dir.File("src/notes.txt"), kItemFile, "notes.txt"));
        return task;
    }

    bool Run(const StopSignal& stop = StopSignal()) {
        const bool ok = RunBackup(m_tasks, m_tasks.TaskCount() - 1, stop);
        ExpectNoPasswordInLog();
        ExpectNoTemporaries();
        return ok;
    }

    // The local paths of the "  Upload file %s..." lines, in order.
    QStringList Uploaded() const {
        QStringList paths;
        for (const QString& line : m_log.Texts().filter("  Upload file /")) {
            paths << line.mid(line.indexOf("  Upload file /") + 14).chopped(3);
        }
        return paths;
    }

    TaskList m_tasks;
};

TEST_F(FtpBackupTest, CopyRunSendsEveryFileAndItsDatesIntoTheDatedFolder) {
    TaskRecord* task = NewTask(kMethodCopy, "backups/#YY");
    ASSERT_TRUE(Run());
    const QString year = QString::number(QDate::currentDate().year());
    const QString base = "backups/" + year + "/";
    EXPECT_EQ(ReadAll(Remote(base + "Docs/sub/b.txt")), "beta");
    EXPECT_TRUE(QFileInfo(Remote(base + "Docs/empty.txt")).isFile());
    EXPECT_TRUE(QFileInfo(Remote(base + "Docs/nothing")).isDir());
    EXPECT_EQ(ReadAll(Remote(base + "notes.txt")), "notes");

    // One record per file, in upload order (the record's fields are the dates file's own).
    const QStringList uploaded = Uploaded();
    const std::vector<DatesRecord> records = DatesOf(Remote(base + "Docs/file.dates"));
    ASSERT_EQ(records.size(), 4u);
    ASSERT_EQ(uploaded.size(), 5);
    for (size_t i = 0; i < records.size(); ++i) {
        EXPECT_EQ(m_dir.File("src/" + records[i].name), uploaded[static_cast<int>(i)]);
        EXPECT_EQ(records[i].size, static_cast<quint64>(QFileInfo(uploaded[int(i)]).size()));
    }
    EXPECT_EQ(DatesOf(Remote(base + "notes.txt.dates")).at(0).name, "notes.txt");

    // The history and the parameter file, which keeps the pattern.
    ASSERT_EQ(task->history.size(), 1u);
    EXPECT_EQ(task->history[0].folder, "ftp://127.0.0.1/backups/" + year + "/");
    PropertyStore tsk;
    ASSERT_TRUE(tsk.LoadXml(Remote(base + "Docs.TSK")));
    EXPECT_EQ(tsk.ReadText("TaskParameters", "backupDestPath"), "ftp://127.0.0.1/backups/#YY");
    EXPECT_EQ(m_log.CountEndingWith("  Connect to ftp://127.0.0.1/backups/#YY via FTP..."), 1);
    EXPECT_EQ(m_log.Texts().last(), "  Disconnect");
    EXPECT_EQ(m_server.ConnectionCount(), 1);  // one control connection for the whole run
}

// A server holds no links: a file link sends its file, other links are named.
// The archive's name or the folder of a copy holds the date: the older one goes.
TEST_F(FtpBackupTest, KeepingOneRemovesTheOldRemoteArchiveAndCopyFolder) {
    for (const qint32 method : {kMethodZip, kMethodCopy}) {
        TaskRecord* task = NewTask(method, method == kMethodZip ? "zips" : "copies/#HH#MIN");
        task->archiveName = "docs #HH#MIN.zip";
        task->keepLast = 1;
        for (const int minute : {1, 2}) {
            const LocalClock clock = [minute] { return test::MakeTime(2024, 5, 6, 10, minute); };
            ASSERT_TRUE(RunBackup(m_tasks, m_tasks.TaskCount() - 1, StopSignal(), clock));
        }
        EXPECT_EQ(task->history.size(), 1u);
    }
    EXPECT_EQ(QDir(Remote("zips")).entryList(QDir::Files),
              (QStringList{"docs 1002.zip", "Docs.TSK"}));
    EXPECT_EQ(QDir(Remote("copies")).entryList(QDir::Dirs | QDir::NoDotAndDotDot),
              QStringList{"1002"});
    ExpectNoPasswordInLog();
}

TEST_F(FtpBackupTest, FileLinkSendsItsFileOtherLinksAreNamedAndLeftOut) {
    const QString docs = m_dir.File("src/Docs/");
    for (const auto& [target, link] :
         {std::pair{"a.txt", "latest"}, {"sub", "up"}, {"gone", "x"}}) {
        ASSERT_EQ(::symlink(target, FileNameToBytes(docs + link).constData()), 0);
    }
    NewTask(kMethodCopy, "links");
    ASSERT_TRUE(Run());
    EXPECT_EQ(ReadAll(Remote("links/Docs/latest")), "alpha");
    EXPECT_FALSE(QFileInfo::exists(Remote("links/Docs/up")));
    EXPECT_EQ(m_log.CountEndingWith("'" + docs + "up' is a link to a folder, not followed"), 1);
    EXPECT_EQ(m_log.CountEndingWith("'" + docs + "x' is a link to no regular file, skipped"), 1);
}

TEST_F(FtpBackupTest, StopDuringTheUploadsSendsNoDatesFileAndRecordsNothing) {
    TaskRecord* task = NewTask(kMethodCopy, "stopped");
    std::atomic<bool> stop{true};
    EXPECT_TRUE(Run(StopSignal(&stop)));
    EXPECT_EQ(Uploaded().size(), 1);
    EXPECT_FALSE(QFileInfo::exists(Remote("stopped/Docs/file.dates")));
    EXPECT_FALSE(QFileInfo::exists(Remote("stopped/Docs.TSK")));
    EXPECT_TRUE(task->history.empty());
    EXPECT_EQ(m_log.Texts().last(), "  Disconnect");
}

TEST_F(FtpBackupTest, NameTooLongForTheDatesFileLeavesABlankRecordNotACutName) {
    const QString deep = QString(200, 'd') + "/" + QString(100, 'f') + ".txt";  // 305 units
    m_dir.Write("src/Docs/" + deep, "deep");
    NewTask(kMethodCopy, "long");
    ASSERT_TRUE(Run());
    EXPECT_EQ(ReadAll(Remote("long/Docs/" + deep)), "deep");  // the file itself arrives
    EXPECT_EQ(m_log.Texts().filter("  Warning: file name too long for the dates file").size(), 1);
    const std::vector<DatesRecord> records = DatesOf(Remote("long/Docs/file.dates"));
    ASSERT_EQ(records.size(), 5u);
    EXPECT_EQ(records.back(), DatesRecord());
}

TEST_F(FtpBackupTest, WrongPasswordFailsWithTheServersReplyAndAMail) {
    const QString recorder = m_dir.Write("sendmail", "#!/bin/sh\ncat > \"$0.mail\"\n");
    QFile::setPermissions(recorder, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    test::ScopedEnv sendmail("CORVANE_SENDMAIL", recorder.toUtf8());
    TaskRecord* task = NewTask(kMethodCopy, "denied");
    task->destination.password = "s3cret but wrong";
    task->mailAddress = "ann@example.org";
    EXPECT_FALSE(Run());
    EXPECT_TRUE(ReadAll(recorder + ".mail")
                    .contains("Cannot connect to FTP site, backup was not complete"));
    EXPECT_EQ(m_log.CountEndingWith("  Disconnect"), 0);  // never connected
    EXPECT_TRUE(task->history.empty());
}

// A server folder where nothing may be written stands for a failing upload.
class FtpBackupUploadFailureTest : public FtpBackupTest {
  protected:
    FtpBackupUploadFailureTest() : FtpBackupTest({false, {"part/Docs/sub", "part/ro"}, false}) {}
};

TEST_F(FtpBackupUploadFailureTest, FailedFileUploadSaysWhyTheRunGoesOnAndFails) {
    TaskRecord* task = NewTask(kMethodCopy, "part");
    const QString raw = FileNameFromBytes("Docs/sub/caf\xE9.txt");
    ASSERT_EQ(::close(::creat(FileNameToBytes(m_dir.File("src/" + raw)).constData(), 0600)), 0);
    EXPECT_FALSE(Run());
    const QStringList lines = m_log.Texts();
    const qsizetype error =
        lines.indexOf(QRegularExpression(".*  Error: cannot upload file Docs/sub/b.txt"));
    ASSERT_GT(error, 0) << lines.join('\n').toStdString();
    EXPECT_TRUE(lines[error - 1].contains("  FTP transfer error: 550 "))
        << lines[error - 1].toStdString();
    EXPECT_EQ(m_log.CountEndingWith("  Error: cannot upload file Docs/sub/caf\\xE9.txt"), 1);
    // Everything after the failure still happened: later files, the dates files (which
    // still list the file), the history and the parameter file.
    EXPECT_EQ(ReadAll(Remote("part/notes.txt")), "notes");
    EXPECT_EQ(DatesOf(Remote("part/Docs/file.dates")).size(), 5u);
    EXPECT_EQ(task->history.size(), 1u);
    EXPECT_TRUE(QFileInfo(Remote("part/Docs.TSK")).isFile());
    EXPECT_EQ(lines.last(), "  Disconnect");
    ::unlink(FileNameToBytes(m_dir.File("src/" + raw)).constData());  // QTemporaryDir cannot

    // A failed archive upload records no backup.
    task = NewTask(kMethodZip, "part");
    task->archiveName = "ro/docs.zip";
    EXPECT_FALSE(Run());
    EXPECT_EQ(m_log.CountEndingWith("  Error: cannot upload file ro/docs.zip"), 1);
    EXPECT_TRUE(task->history.empty());
}

}  // namespace
}  // namespace corvane
