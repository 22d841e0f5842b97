// An SFTP destination on a real OpenSSH server (127.0.0.1, throw-away host key): the host
// key decides whether a session connects; names that need quoting and removals work; a
// copy backup and its restore bring back every byte and time through the paths FTP takes.
// A server that takes passwords only logs a client with no key and no agent in with the
// task's password, and refuses a wrong one before anything is written.

#include <QDir>
#include <QFile>

#include "engine/BackupRun.h"
#include "model/FileName.h"
#include "restore/RestoreTesting.h"
#include "support/LogCapture.h"
#include "support/ScopedEnv.h"
#include "support/SshTestServer.h"
#include "transport/FtpAddress.h"
#include "transport/FtpSession.h"

namespace corvane {
namespace {

using namespace test;

// A copy backup of the docs tree to `destination`, then its restore over a changed tree,
// bring back every byte and time.
void ExpectCopyBackupAndRestore(const TempDir& dir, const TaskDestination& destination,
                                const LogCapture& log) {
    constexpr qint64 kStamp = 1600000000;
    WriteDocsTree(dir, kStamp, 300000);
    const QStringList before = TreeOf(dir.File("live"));
    TaskList tasks;
    TaskRecord* task = tasks.NewTask("Docs", kTaskBackup);
    task->destination = destination;
    task->items = DocsItems(dir);
    ASSERT_TRUE(RunBackup(tasks, 0, StopSignal())) << log.Texts().join('\n').toStdString();

    dir.Write("live/Docs/a.txt", "changed");
    ASSERT_TRUE(QFile::remove(dir.File("live/Docs/sub/c.txt")));
    ScriptedQuestions questions;
    ASSERT_TRUE(RunRestore(tasks, 0, questions, StopSignal()));
    EXPECT_EQ(TreeOf(dir.File("live")), before);
    EXPECT_EQ(QFileInfo(dir.File("live/Docs/sub/c.txt")).lastModified().toSecsSinceEpoch(), kStamp);
}

class SftpDestinationTest : public ::testing::Test {
  protected:
    void SetUp() override {
        QString why;
        ASSERT_TRUE(m_server.Start(&why)) << "SSH test server cannot start: " << why.toStdString();
        m_home = std::make_unique<ScopedEnv>("HOME", m_server.ClientHome().toUtf8());
        ASSERT_TRUE(
            FtpEndpointOf(m_server.Destination("up").path, m_server.User(), {}, 0, m_endpoint));
    }

    SshTestServer m_server;
    std::unique_ptr<ScopedEnv> m_home;
    TempDir m_dir;
    ScopedEnv m_data{"CORVANE_HOME", m_dir.File("data").toUtf8()};
    LogCapture m_log;
    FtpEndpoint m_endpoint;
    FtpSession m_session{&FileNameToBytes, &FileNameFromBytes};
};

TEST_F(SftpDestinationTest, UnknownOrChangedHostKeyIsRefusedAndNeverAdded) {
    const QString knownHosts = m_server.ClientHome() + "/.ssh/known_hosts";
    const QString known = m_server.KnownHostsLine() + '\n';
    // Another key in the server's place: the client's own public key.
    const QString other = QString(ReadAll(m_server.ClientHome() + "/.ssh/id_ed25519.pub"));
    const std::pair<QString, QString> cases[] = {
        {"", "is not in " + knownHosts + ": refused"},
        {known.section(' ', 0, 0) + ' ' + other.section(' ', 0, 1) + '\n', "differs from"},
        {known, ""},
    };
    for (const auto& [content, error] : cases) {
        QFile file(knownHosts);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(content.toUtf8()) >= 0);
        file.close();
        EXPECT_EQ(m_session.Connect(m_endpoint), error.isEmpty()) << error.toStdString();
        EXPECT_TRUE(m_session.ConnectError().contains(error));
        EXPECT_EQ(m_session.ConnectError().contains("(SHA256:"), !error.isEmpty());
        EXPECT_EQ(ReadAll(knownHosts), content.toUtf8());
    }
    EXPECT_EQ(m_session.LoginFolder(), m_server.Home());
}

TEST_F(SftpDestinationTest, AddressWithoutUserLogsInAsTheLocalAccount) {
    ASSERT_TRUE(FtpEndpointOf(m_server.Destination("up").path, {}, {}, 0, m_endpoint));
    EXPECT_TRUE(m_session.Connect(m_endpoint)) << m_session.ConnectError().toStdString();
    EXPECT_EQ(m_session.LoginFolder(), m_server.Home());
}

TEST_F(SftpDestinationTest, QuotedNamesTransferAndRemovalsAnswerTruly) {
    ASSERT_TRUE(m_session.Connect(m_endpoint));
    const QString odd = "deep/a \"quoted\" name";
    m_session.CreateFolders(odd);
    ASSERT_TRUE(m_session.Upload(m_dir.Write("local", "data"), odd + "/f"));
    EXPECT_EQ(ReadAll(m_server.Home() + "/up/" + odd + "/f"), "data");
    const QString local = m_dir.Write("back", "old");
    EXPECT_FALSE(m_session.Download("deep/missing", local));
    EXPECT_EQ(ReadAll(local), "old");
    EXPECT_FALSE(m_session.RemoveFolder(odd));  // not empty
    EXPECT_TRUE(m_session.DeleteFile(odd + "/f"));
    EXPECT_FALSE(m_session.DeleteFile(odd + "/f"));
    EXPECT_TRUE(m_session.RemoveFolderTree("deep"));
    EXPECT_FALSE(QFile::exists(m_server.Home() + "/up/deep"));
}

TEST_F(SftpDestinationTest, CopyBackupAndRestoreBringBackEveryByte) {
    ExpectCopyBackupAndRestore(m_dir, m_server.Destination("store"), m_log);
}

TEST(SftpPasswordLoginTest, OnlyTheRightPasswordLogsInWithoutKeyOrAgentAndNoneIsLogged) {
    QString why;
    if (!SshTestServer::CanStartWithPassword(&why)) {
        GTEST_SKIP() << why.toStdString();
    }
    const QByteArray accounts = ReadAll("/etc/passwd") + ReadAll("/etc/shadow");
    // Characters a URL, a shell or a printf format would trip on.
    const QString right = "p@ss:w\u00f6rd %s \"$1";
    const QString wrong = "p@ss:w\u00f6rd %s \"$2";
    TempDir dir;
    ScopedEnv data{"CORVANE_HOME", dir.File("data").toUtf8()};
    ScopedEnv noAgent{"SSH_AUTH_SOCK", ""};
    LogCapture log;
    {
        SshTestServer server;
        ASSERT_TRUE(server.StartWithPassword(right, &why)) << why.toStdString();
        ScopedEnv home{"HOME", server.ClientHome().toUtf8()};
        ASSERT_EQ(QDir(server.ClientHome() + "/.ssh").entryList({"id_*"}), QStringList());
        EXPECT_EQ(ReadAll("/etc/passwd") + ReadAll("/etc/shadow"), accounts);

        TaskDestination destination = server.Destination("store");
        destination.password = right;
        ExpectCopyBackupAndRestore(dir, destination, log);

        // Something a run that logged in would have to copy.
        dir.Write("live/Docs/new.txt", "new");
        const QStringList stored = TreeOf(server.Home());
        TaskList tasks;
        TaskRecord* task = tasks.NewTask("Docs", kTaskBackup);
        task->destination = destination;
        task->destination.password = wrong;
        task->items = DocsItems(dir);
        EXPECT_FALSE(RunBackup(tasks, 0, StopSignal()));
        EXPECT_EQ(log.Texts().filter("  FTP connection error: ").size(), 1);
        EXPECT_EQ(TreeOf(server.Home()), stored);
    }
    const QString texts = log.Texts().join('\n');
    EXPECT_FALSE(texts.contains(right) || texts.contains(wrong)) << texts.toStdString();
    EXPECT_EQ(ReadAll("/etc/passwd") + ReadAll("/etc/shadow"), accounts);
}

}  // namespace
}  // namespace corvane
