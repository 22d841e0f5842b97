// A backup run to an FTPS server (pyftpdlib with a pinned self-signed certificate) and to
// an SFTP server (OpenSSH with a throw-away host key), and the restore of what it wrote:
// every byte comes back through the same paths FTP takes.

#include <QDate>

#include "engine/BackupRun.h"
#include "restore/RestoreTesting.h"
#include "support/FtpServerTest.h"
#include "support/SshTestServer.h"
#include "support/TlsTestCertificate.h"

namespace corvane {
namespace {

using namespace test;

constexpr qint64 kStamp = 1600000000;

// Backs the live tree up to `destination`, damages it and restores it; the tree must be
// what it was.
void ExpectRoundTrip(const TempDir& dir, const TaskDestination& destination, qint32 method,
                     const LogCapture& log) {
    WriteDocsTree(dir, kStamp, 300000);
    const QStringList before = TreeOf(dir.File("live"));
    TaskList tasks;
    TaskRecord* task = tasks.NewTask("Docs", kTaskBackup);
    task->backupMode = method;
    task->destination = destination;
    task->archiveName = "docs.zip";
    task->items = DocsItems(dir);
    ASSERT_TRUE(RunBackup(tasks, 0, StopSignal())) << log.Texts().join('\n').toStdString();

    dir.Write("live/Docs/a.txt", "changed");
    ASSERT_TRUE(QFile::remove(dir.File("live/Docs/sub/c.txt")));
    ScriptedQuestions questions;
    ASSERT_TRUE(RunRestore(tasks, 0, questions, StopSignal()))
        << log.Texts().join('\n').toStdString();
    EXPECT_EQ(TreeOf(dir.File("live")), before);
    EXPECT_EQ(QFileInfo(dir.File("live/Docs/sub/c.txt")).lastModified().toSecsSinceEpoch(), kStamp);
}

FtpTestServer::Options TlsServer() {
    FtpTestServer::Options options;
    options.tlsCertificate = TlsTestCertificate();
    return options;
}

class FtpsRoundTripTest : public FtpServerTest {
  protected:
    FtpsRoundTripTest() : FtpServerTest(TlsServer()) {}
};

TEST_F(FtpsRoundTripTest, ZipBackupAndRestoreOverPinnedTls) {
    TaskDestination destination = m_server.Destination("ftps://127.0.0.1/store/#YY");
    destination.certificatePin = TlsTestFingerprint();
    ExpectRoundTrip(m_dir, destination, kMethodZip, m_log);
    EXPECT_TRUE(
        QFileInfo(Remote("store/" + QString::number(QDate::currentDate().year()) + "/docs.zip"))
            .isFile());
    ExpectNoPasswordInLog();
    ExpectNoTemporaries();
}

TEST(SftpRoundTripTest, CopyBackupAndRestoreOverSsh) {
    SshTestServer server;
    QString why;
    ASSERT_TRUE(server.Start(&why)) << why.toStdString();
    TempDir dir;
    ScopedEnv home("HOME", server.ClientHome().toUtf8());
    ScopedEnv data("CORVANE_HOME", dir.File("data").toUtf8());
    LogCapture log;
    ExpectRoundTrip(dir, server.Destination("store"), kMethodCopy, log);
    EXPECT_EQ(ReadAll(server.Home() + "/store/Docs/sub/c.txt"), QByteArray(300000, 'c'));
}

}  // namespace
}  // namespace corvane
