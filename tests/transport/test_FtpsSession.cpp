// FTPS against a real pyftpdlib server with explicit TLS and a throw-away self-signed
// certificate: such a certificate passes only by its pinned fingerprint, checked before
// the password is sent. (Transfers over TLS: test_FtpRestore.)

#include "model/FileName.h"
#include "support/FtpServerTest.h"
#include "support/ScopedEnv.h"
#include "support/TlsTestCertificate.h"
#include "transport/FtpSession.h"

namespace corvane {
namespace {

class FtpsSessionTest : public test::FtpServerTest {
  protected:
    FtpsSessionTest() : FtpServerTest({false, {}, false, test::TlsTestCertificate()}) {}
};

TEST_F(FtpsSessionTest, SelfSignedCertificatePassesOnlyByItsPinBeforeThePasswordIsSent) {
    const QString printed = test::TlsTestFingerprint();
    ASSERT_EQ(printed.size(), 95) << printed.toStdString();
    QString wrong = printed;
    wrong[0] = wrong[0] == 'A' ? 'B' : 'A';
    // Each case: a pin, and why the connection fails (empty: it succeeds).
    const std::pair<QString, QString> cases[] = {
        {"", "certificate refused (self-signed certificate), SHA-256 fingerprint " + printed},
        {wrong, "certificate refused (self-signed certificate), SHA-256 fingerprint " + printed},
        {"not a fingerprint", "the certificate fingerprint is no SHA-256 one"},
        {printed, ""},
        {"sha256 Fingerprint=" + printed.toLower().remove(':'), ""},
    };
    for (const auto& [pin, error] : cases) {
        const int logins = m_server.LoginCount();
        FtpSession session(&FileNameToBytes, &FileNameFromBytes);
        FtpEndpoint endpoint = Endpoint("up");
        endpoint.protocol = RemoteProtocol::kFtps;
        endpoint.access.certificatePin = pin;
        const bool connected = session.Connect(endpoint);
        EXPECT_EQ(connected, error.isEmpty()) << pin.toStdString();
        EXPECT_EQ(session.ConnectError(), error);
        EXPECT_EQ(m_server.LoginCount(), logins + (connected ? 1 : 0));
    }
    ExpectNoPasswordInLog();
}

// With the certificate among the authorities (OpenSSL's SSL_CERT_FILE), it passes
// without a pin, for the address it names only.
TEST_F(FtpsSessionTest, CertificateAnAuthorityVouchesForPassesWithoutPinForItsOwnHostOnly) {
    const test::ScopedEnv authorities("SSL_CERT_FILE", test::TlsTestCertificate().toUtf8());
    for (const char* host : {"127.0.0.1", "localhost"}) {
        FtpSession session(&FileNameToBytes, &FileNameFromBytes);
        FtpEndpoint endpoint = Endpoint("up");
        endpoint.protocol = RemoteProtocol::kFtps;
        endpoint.host = host;
        const bool trusted = QByteArray(host) == "127.0.0.1";
        EXPECT_EQ(session.Connect(endpoint), trusted) << host;
        EXPECT_EQ(session.ConnectError().startsWith("certificate refused (hostname mismatch)"),
                  !trusted)
            << session.ConnectError().toStdString();
    }
}

}  // namespace
}  // namespace corvane
