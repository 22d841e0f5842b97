#pragma once

// A throw-away self-signed certificate for 127.0.0.1 (openssl req), made once per test
// program, for the FTPS test server.

#include <QString>

namespace corvane::test {

// The PEM file holding the certificate and its key; empty when openssl failed.
QString TlsTestCertificate();

// Its SHA-256 fingerprint as `openssl x509 -noout -fingerprint -sha256` prints it
// ("AB:CD:...").
QString TlsTestFingerprint();

}  // namespace corvane::test
