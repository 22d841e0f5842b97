#include "transport/TlsCertificateCheck.h"

#include <openssl/evp.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <openssl/x509_vfy.h>

namespace corvane {
namespace {

QByteArray FingerprintOf(X509* certificate) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (!certificate || X509_digest(certificate, EVP_sha256(), digest, &length) != 1) {
        return {};
    }
    return QByteArray(reinterpret_cast<const char*>(digest), static_cast<qsizetype>(length))
        .toHex()
        .toUpper();
}

}  // namespace

TlsCertificateCheck::TlsCertificateCheck(QByteArray pin, QByteArray host)
    : m_pin(std::move(pin)), m_host(std::move(host)) {}

TlsCertificateCheck::~TlsCertificateCheck() {
    X509_STORE_free(m_authorities);
}

bool TlsCertificateCheck::Install(CURL* curl, QString* whyNot) {
    curl_easy_setopt(curl, CURLOPT_USE_SSL, static_cast<long>(CURLUSESSL_ALL));
    curl_easy_setopt(curl, CURLOPT_FTPSSLAUTH, static_cast<long>(CURLFTPAUTH_TLS));
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 1L);
    // The authorities come from OnSslContext's store, read once.
    curl_easy_setopt(curl, CURLOPT_CAINFO, nullptr);
    curl_easy_setopt(curl, CURLOPT_CAPATH, nullptr);
    // With a pin the host name is checked here, inside the handshake, for certificates an
    // authority vouches for; a pinned certificate is the server's identity by itself.
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, m_pin.isEmpty() ? 2L : 0L);
    if (curl_easy_setopt(curl, CURLOPT_SSL_CTX_FUNCTION, &TlsCertificateCheck::OnSslContext) !=
            CURLE_OK ||
        curl_easy_setopt(curl, CURLOPT_SSL_CTX_DATA, this) != CURLE_OK) {
        if (whyNot) {
            *whyNot = QStringLiteral("the TLS library cannot check certificates");
        }
        return false;
    }
    return true;
}

QString TlsCertificateCheck::RefusalText() const {
    if (m_refused.isEmpty()) {
        return {};
    }
    QByteArray shown;
    for (qsizetype i = 0; i < m_refused.size(); i += 2) {
        shown += (i > 0 ? ":" : "") + m_refused.mid(i, 2);
    }
    return QStringLiteral("certificate refused (%1), SHA-256 fingerprint %2")
        .arg(m_reason, QString::fromLatin1(shown));
}

CURLcode TlsCertificateCheck::OnSslContext(CURL*, void* sslContext, void* self) {
    auto* check = static_cast<TlsCertificateCheck*>(self);
    if (check->m_authorities == nullptr) {
        // OpenSSL's default places (SSL_CERT_FILE and SSL_CERT_DIR override them): on
        // Debian the bundle and folder of ca-certificates, the ones libcurl reads too.
        X509_STORE* authorities = X509_STORE_new();
        if (authorities == nullptr || X509_STORE_set_default_paths(authorities) != 1) {
            X509_STORE_free(authorities);
            return CURLE_SSL_CACERT_BADFILE;
        }
        check->m_authorities = authorities;
    }
    auto* context = static_cast<SSL_CTX*>(sslContext);
    SSL_CTX_set1_cert_store(context, check->m_authorities);
    SSL_CTX_set_cert_verify_callback(context, &VerifyChain, self);
    return CURLE_OK;
}

int TlsCertificateCheck::VerifyChain(X509_STORE_CTX* store, void* self) {
    auto* check = static_cast<TlsCertificateCheck*>(self);
    X509_VERIFY_PARAM* param = X509_STORE_CTX_get0_param(store);
    // An address literal is checked against the certificate's addresses, a name
    // against its names.
    const int hostSet =
        X509_VERIFY_PARAM_set1_ip_asc(param, check->m_host.constData()) == 1 ||
                X509_VERIFY_PARAM_set1_host(param, check->m_host.constData(),
                                            static_cast<size_t>(check->m_host.size())) == 1
            ? 1
            : 0;
    const bool trusted = hostSet == 1 && X509_verify_cert(store) == 1;
    const QByteArray fingerprint = FingerprintOf(X509_STORE_CTX_get0_cert(store));
    if (trusted) {
        return 1;
    }
    if (!check->m_pin.isEmpty() && fingerprint == check->m_pin) {
        X509_STORE_CTX_set_error(store, X509_V_OK);
        return 1;
    }
    check->m_refused = fingerprint;
    check->m_reason = QString::fromUtf8(X509_verify_cert_error_string(
        hostSet == 1 ? X509_STORE_CTX_get_error(store) : X509_V_ERR_HOSTNAME_MISMATCH));
    return 0;
}

}  // namespace corvane
