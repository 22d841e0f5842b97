// A copy backup run to an SFTP server (OpenSSH on 127.0.0.1 with a throw-away host key)
// and the restore of what it wrote: every byte and time comes back through the paths FTP
// takes. (FTPS runs through test_FtpRestore's servers.)

#include "engine/BackupRun.h"
#include "restore/RestoreTesting.h"
#include "support/LogCapture.h"
#include "support/ScopedEnv.h"
#include "support/SshTestServer.h"

namespace corvane {
namespace {

using namespace test;

TEST(SftpRoundTripTest, CopyBackupAndRestoreOverSsh) {
    SshTestServer server;
    QString why;
    ASSERT_TRUE(server.Start(&why)) << why.toStdString();
    TempDir dir;
    ScopedEnv home("HOME", server.ClientHome().toUtf8());
    ScopedEnv data("CORVANE_HOME", dir.File("data").toUtf8());
    LogCapture log;
    constexpr qint64 kStamp = 1600000000;
    WriteDocsTree(dir, kStamp, 300000);
    const QStringList before = TreeOf(dir.File("live"));
    TaskList tasks;
    TaskRecord* task = tasks.NewTask("Docs", kTaskBackup);
    task->destination = server.Destination("store");
    task->items = DocsItems(dir);
    ASSERT_TRUE(RunBackup(tasks, 0, StopSignal())) << log.Texts().join('\n').toStdString();
    EXPECT_EQ(ReadAll(server.Home() + "/store/Docs/sub/c.txt"), QByteArray(300000, 'c'));

    dir.Write("live/Docs/a.txt", "changed");
    ASSERT_TRUE(QFile::remove(dir.File("live/Docs/sub/c.txt")));
    ScriptedQuestions questions;
    ASSERT_TRUE(RunRestore(tasks, 0, questions, StopSignal()))
        << log.Texts().join('\n').toStdString();
    EXPECT_EQ(TreeOf(dir.File("live")), before);
    EXPECT_EQ(QFileInfo(dir.File("live/Docs/sub/c.txt")).lastModified().toSecsSinceEpoch(), kStamp);
}

}  // namespace
}  // namespace corvane
