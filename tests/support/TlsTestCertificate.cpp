#include "support/TlsTestCertificate.h"

#include <QTemporaryDir>

#include "support/Tools.h"

namespace corvane::test {

QString TlsTestCertificate() {
    static QTemporaryDir dir;
    static const QString file = dir.path() + "/server.pem";
    static const bool made =
        RunTool("openssl", {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj",
                            "/CN=127.0.0.1", "-addext", "subjectAltName=IP:127.0.0.1", "-keyout",
                            file, "-out", file})
            .exitCode == 0;
    return made ? file : QString();
}

QString TlsTestFingerprint() {
    return RunTool("openssl",
                   {"x509", "-noout", "-fingerprint", "-sha256", "-in", TlsTestCertificate()})
        .output.trimmed()
        .section('=', 1);
}

}  // namespace corvane::test
