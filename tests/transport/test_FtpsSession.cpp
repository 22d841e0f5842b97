// FTPS against a real pyftpdlib server with explicit TLS and a throw-away self-signed
// certificate: such a certificate passes only by its pinned fingerprint, checked before
// the password is sent.

#include "model/FileName.h"
#include "support/FtpServerTest.h"
#include "support/TlsTestCertificate.h"
#include "support/Tools.h"
#include "transport/FtpSession.h"

namespace corvane {
namespace {

using test::FtpTestServer;

FtpTestServer::Options TlsOptions() {
    FtpTestServer::Options options;
    options.tlsCertificate = test::TlsTestCertificate();
    return options;
}

class FtpsSessionTest : public test::FtpServerTest {
  protected:
    FtpsSessionTest() : FtpServerTest(TlsOptions()) {}

    FtpEndpoint Ftps(const QString& pin) const {
        FtpEndpoint endpoint = Endpoint("up");
        endpoint.protocol = RemoteProtocol::kFtps;
        endpoint.certificatePin = pin;
        return endpoint;
    }
};

TEST_F(FtpsSessionTest, SelfSignedCertificatePassesOnlyByItsPinBeforeThePasswordIsSent) {
    const QString printed = test::TlsTestFingerprint();
    ASSERT_EQ(printed.size(), 95) << printed.toStdString();
    QString wrong = printed;
    wrong[0] = wrong[0] == 'A' ? 'B' : 'A';
    struct Case {
        QString pin;
        QString error;  // empty: the connection succeeds
    };
    const Case cases[] = {
        {"", "certificate refused (self-signed certificate), SHA-256 fingerprint " + printed},
        {wrong, "certificate refused (self-signed certificate), SHA-256 fingerprint " + printed},
        {"not a fingerprint", "the certificate fingerprint is no SHA-256 one"},
        {printed, ""},
        {"sha256 Fingerprint=" + printed.toLower().remove(':'), ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pin.toStdString());
        const int logins = m_server.LoginCount();
        FtpSession session(&FileNameToBytes, &FileNameFromBytes);
        const bool connected = session.Connect(Ftps(c.pin));
        EXPECT_EQ(connected, c.error.isEmpty());
        EXPECT_EQ(session.ConnectError(), c.error);
        EXPECT_EQ(m_server.LoginCount(), logins + (connected ? 1 : 0));
        if (!connected) {
            continue;
        }
        // Data connections are protected as well: a round trip through every kind.
        const QByteArray content = test::RandomBytes(300000, 7);
        session.CreateFolders("deep/er");
        ASSERT_TRUE(session.Upload(m_dir.Write("local", content), "deep/er/f.bin"))
            << m_log.Texts().join("\n").toStdString();
        ASSERT_TRUE(session.Download("deep/er/f.bin", m_dir.File("back")));
        EXPECT_EQ(test::ReadAll(m_dir.File("back")), content);
        QStringList names;
        session.ListTree("", names, true);
        EXPECT_EQ(names, QStringList({"/deep/", "/deep/er/", "/deep/er/f.bin"}));
        EXPECT_TRUE(session.RemoveFolderTree("deep"));
    }
    ExpectNoPasswordInLog();
}

}  // namespace
}  // namespace corvane
