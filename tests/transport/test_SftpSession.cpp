// SFTP against a real OpenSSH server on 127.0.0.1 with a throw-away host key: the host
// key decides whether the session connects; names that need quoting and removals work.

#include <gtest/gtest.h>

#include <QFile>

#include "model/FileName.h"
#include "support/LogCapture.h"
#include "support/ScopedEnv.h"
#include "support/SshTestServer.h"
#include "support/TempDir.h"
#include "support/Tools.h"
#include "transport/FtpSession.h"

namespace corvane {
namespace {

using test::ReadAll;

class SftpSessionTest : public ::testing::Test {
  protected:
    void SetUp() override {
        QString why;
        ASSERT_TRUE(m_server.Start(&why)) << "SSH test server cannot start: " << why.toStdString();
        m_home = std::make_unique<test::ScopedEnv>("HOME", m_server.ClientHome().toUtf8());
        m_endpoint.protocol = RemoteProtocol::kSftp;
        m_endpoint.host = "127.0.0.1";
        m_endpoint.port = m_server.Port();
        m_endpoint.user = m_server.User();
        m_endpoint.folder = "up";
    }

    test::SshTestServer m_server;
    std::unique_ptr<test::ScopedEnv> m_home;
    FtpEndpoint m_endpoint;
    test::TempDir m_dir;
    test::LogCapture m_log;
    FtpSession m_session{&FileNameToBytes, &FileNameFromBytes};
};

TEST_F(SftpSessionTest, UnknownOrChangedHostKeyIsRefusedAndNeverAdded) {
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

TEST_F(SftpSessionTest, QuotedNamesTransferAndRemovalsAnswerTruly) {
    ASSERT_TRUE(m_session.Connect(m_endpoint));
    const QString odd = "deep/a \"quoted\" name";
    m_session.CreateFolders(odd);
    ASSERT_TRUE(m_session.Upload(m_dir.Write("local", "data"), odd + "/f"));
    EXPECT_EQ(ReadAll(m_server.Home() + "/up/" + odd + "/f"), "data");
    QStringList names;
    m_session.ListTree("deep", names, true);
    EXPECT_EQ(names, QStringList({odd + "/", odd + "/f"}));
    const QString local = m_dir.Write("back", "old");
    EXPECT_FALSE(m_session.Download("deep/missing", local));
    EXPECT_EQ(ReadAll(local), "old");
    EXPECT_FALSE(m_session.RemoveFolder(odd));  // not empty
    EXPECT_TRUE(m_session.DeleteFile(odd + "/f"));
    EXPECT_FALSE(m_session.DeleteFile(odd + "/f"));
    EXPECT_TRUE(m_session.RemoveFolderTree("deep"));
    EXPECT_FALSE(QFile::exists(m_server.Home() + "/up/deep"));
}

}  // namespace
}  // namespace corvane
