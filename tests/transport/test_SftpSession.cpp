// SFTP against a real OpenSSH server on 127.0.0.1 with a throw-away host key: the host
// key decides whether the session connects, and every session operation works on it.

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
    }

    FtpEndpoint Endpoint() const {
        FtpEndpoint endpoint;
        endpoint.protocol = RemoteProtocol::kSftp;
        endpoint.host = "127.0.0.1";
        endpoint.port = m_server.Port();
        endpoint.user = m_server.User();
        endpoint.folder = "up";
        return endpoint;
    }

    void WriteKnownHosts(const QString& text) const {
        QFile file(m_server.ClientHome() + "/.ssh/known_hosts");
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text.toUtf8());
    }

    test::SshTestServer m_server;
    std::unique_ptr<test::ScopedEnv> m_home;
    test::TempDir m_dir;
    test::LogCapture m_log;
    FtpSession m_session{&FileNameToBytes, &FileNameFromBytes};
};

TEST_F(SftpSessionTest, UnknownOrChangedHostKeyIsRefusedAndNeverAdded) {
    const QString known = m_server.KnownHostsLine();
    // Another key in the server's place: the client's own public key.
    const QString otherKey =
        QString::fromUtf8(ReadAll(m_server.ClientHome() + "/.ssh/id_ed25519.pub"));
    const QString changed = known.section(' ', 0, 0) + ' ' + otherKey.section(' ', 0, 1) + '\n';
    const std::pair<QString, QString> cases[] = {
        {"", "is not in " + m_server.ClientHome() + "/.ssh/known_hosts: refused"},
        {changed, "differs from the one in"},
        {known + '\n', ""},
    };
    for (const auto& [knownHosts, error] : cases) {
        SCOPED_TRACE(error.toStdString());
        WriteKnownHosts(knownHosts);
        EXPECT_EQ(m_session.Connect(Endpoint()), error.isEmpty());
        EXPECT_TRUE(m_session.ConnectError().contains(error))
            << m_session.ConnectError().toStdString();
        if (!error.isEmpty()) {
            EXPECT_TRUE(m_session.ConnectError().contains("(SHA256:"));
        }
        EXPECT_EQ(ReadAll(m_server.ClientHome() + "/.ssh/known_hosts"), knownHosts.toUtf8());
    }
    EXPECT_EQ(m_session.LoginFolder(), m_server.Home());
}

TEST_F(SftpSessionTest, FoldersTransfersListingsAndRemovalsWorkAsOverFtp) {
    ASSERT_TRUE(m_session.Connect(Endpoint()));
    const QString odd = "a \"quoted\" name";
    m_session.CreateFolders("deep/" + odd);
    m_session.CreateFolderTree({"tree", "tree/sub"}, "up/deep");  // below the login folder
    const QByteArray content = test::RandomBytes(200000, 3);
    ASSERT_TRUE(m_session.Upload(m_dir.Write("local", content), "deep/" + odd + "/f.bin"));
    EXPECT_EQ(ReadAll(m_server.Home() + "/up/deep/" + odd + "/f.bin"), content);

    QStringList names;
    m_session.ListTree("deep", names, true);
    names.sort();
    EXPECT_EQ(names, QStringList({"deep/" + odd + "/", "deep/" + odd + "/f.bin", "deep/tree/",
                                  "deep/tree/sub/"}));

    // A failed download leaves the local file as it was; a good one replaces it.
    const QString local = m_dir.Write("back", "old");
    EXPECT_FALSE(m_session.Download("deep/missing", local));
    EXPECT_EQ(ReadAll(local), "old");
    ASSERT_TRUE(m_session.Download("deep/" + odd + "/f.bin", local));
    EXPECT_EQ(ReadAll(local), content);

    EXPECT_FALSE(m_session.RemoveFolder("deep/" + odd));  // not empty
    EXPECT_TRUE(m_session.DeleteFile("deep/" + odd + "/f.bin"));
    EXPECT_FALSE(m_session.DeleteFile("deep/" + odd + "/f.bin"));
    EXPECT_TRUE(m_session.RemoveFolder("deep/" + odd));
    EXPECT_TRUE(m_session.RemoveFolderTree("deep"));
    EXPECT_FALSE(QFile::exists(m_server.Home() + "/up/deep"));
    EXPECT_TRUE(m_session.IsConnected());
}

}  // namespace
}  // namespace corvane
