#pragma once

// The certificate check of an FTPS session, run inside the TLS handshake (so before any
// password is sent): the server's chain is verified against the system's authorities
// and the host name; a certificate no authority vouches for passes only when its
// SHA-256 fingerprint is the one the user pinned. There is no way to accept every
// certificate.
//
// One check belongs to one session's libcurl handle and is used on that session's thread.

#include <curl/curl.h>
#include <openssl/types.h>

#include <QByteArray>
#include <QString>

namespace corvane {

class TlsCertificateCheck {
  public:
    // `pin`: a normalized fingerprint, or empty to trust the system's authorities only.
    // `host`: the name (ASCII form) or address the session connects to.
    TlsCertificateCheck(QByteArray pin, QByteArray host);
    ~TlsCertificateCheck();

    TlsCertificateCheck(const TlsCertificateCheck&) = delete;
    TlsCertificateCheck& operator=(const TlsCertificateCheck&) = delete;

    // Sets up `curl` to require TLS on the control and the data connections and to check
    // certificates through this object, which must outlive the handle's transfers.
    // False with the reason when libcurl cannot run the check (another TLS library).
    bool Install(CURL* curl, QString* whyNot);

    // After a failed handshake: the reason naming the refused certificate's SHA-256
    // fingerprint (colon-separated, as openssl prints it), so the user can pin it after
    // checking it; empty when no certificate was refused.
    QString RefusalText() const;

  private:
    // Called by libcurl with the SSL_CTX of each new connection.
    static CURLcode OnSslContext(CURL* curl, void* sslContext, void* self);
    // Replaces OpenSSL's chain check for one handshake; `self` is the check.
    static int VerifyChain(X509_STORE_CTX* store, void* self);

    QByteArray m_pin;
    QByteArray m_host;
    // The system's authorities, read once for the session: libcurl would read and parse
    // the whole bundle again for every data connection, which cost more than the
    // transfer of a small file.
    X509_STORE* m_authorities = nullptr;
    QByteArray m_refused;  // fingerprint of the last certificate refused
    QString m_reason;      // what was wrong with it
};

}  // namespace corvane
