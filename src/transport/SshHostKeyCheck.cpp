#include "transport/SshHostKeyCheck.h"

#include <pwd.h>
#include <unistd.h>

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>

namespace corvane {
namespace {

// "SHA256:<base64 without padding>" of the key's blob, as ssh-keygen -l shows it.
QString KeyFingerprint(const curl_khkey* key) {
    if (!key || !key->key) {
        return QStringLiteral("unknown key");
    }
    const QByteArray blob = key->len == 0 ? QByteArray::fromBase64(QByteArray(key->key))
                                          : QByteArray(key->key, static_cast<qsizetype>(key->len));
    const QByteArray digest = QCryptographicHash::hash(blob, QCryptographicHash::Sha256);
    return QStringLiteral("SHA256:") +
           QString::fromLatin1(digest.toBase64(QByteArray::OmitTrailingEquals));
}

}  // namespace

SshHostKeyCheck::SshHostKeyCheck(QString host)
    : m_host(std::move(host)),
      m_knownHosts(QDir::homePath() + QStringLiteral("/.ssh/known_hosts")) {}

void SshHostKeyCheck::Install(CURL* curl, bool withPassword) {
    curl_easy_setopt(curl, CURLOPT_SSH_KNOWNHOSTS, QFile::encodeName(m_knownHosts).constData());
    curl_easy_setopt(curl, CURLOPT_SSH_KEYFUNCTION, &SshHostKeyCheck::OnHostKey);
    curl_easy_setopt(curl, CURLOPT_SSH_KEYDATA, this);

    long methods = CURLSSH_AUTH_AGENT;
    if (withPassword) {
        methods |= CURLSSH_AUTH_PASSWORD | CURLSSH_AUTH_KEYBOARD;
    }
    for (const char* name : {"id_ed25519", "id_ecdsa", "id_rsa"}) {
        const QString key = QDir::homePath() + QStringLiteral("/.ssh/") + QLatin1String(name);
        if (!QFileInfo(key).isFile()) {
            continue;
        }
        methods |= CURLSSH_AUTH_PUBLICKEY;
        curl_easy_setopt(curl, CURLOPT_SSH_PRIVATE_KEYFILE, QFile::encodeName(key).constData());
        // Without its ".pub" beside it the public key is derived from the private one
        // (an empty name tells libcurl so).
        const QString publicKey = key + QStringLiteral(".pub");
        curl_easy_setopt(
            curl, CURLOPT_SSH_PUBLIC_KEYFILE,
            QFileInfo(publicKey).isFile() ? QFile::encodeName(publicKey).constData() : "");
        break;
    }
    curl_easy_setopt(curl, CURLOPT_SSH_AUTH_TYPES, methods);
}

QString SshHostKeyCheck::RefusalText() const {
    return m_reason;
}

int SshHostKeyCheck::OnHostKey(CURL*, const curl_khkey*, const curl_khkey* found,
                               curl_khmatch match, void* self) {
    auto* check = static_cast<SshHostKeyCheck*>(self);
    switch (match) {
        case CURLKHMATCH_OK:
            check->m_reason.clear();
            return CURLKHSTAT_FINE;
        case CURLKHMATCH_MISMATCH:
            check->m_reason =
                QStringLiteral("the host key of %1 (%2) differs from the one in %3: refused")
                    .arg(check->m_host, KeyFingerprint(found), check->m_knownHosts);
            break;
        case CURLKHMATCH_MISSING:
        case CURLKHMATCH_LAST:
            check->m_reason = QStringLiteral(
                                  "the host key of %1 (%2) is not in %3: refused; check the key "
                                  "and add it there")
                                  .arg(check->m_host, KeyFingerprint(found), check->m_knownHosts);
            break;
    }
    return CURLKHSTAT_REJECT;
}

QString LocalAccountName() {
    const passwd* account = ::getpwuid(::geteuid());
    return account ? QString::fromLocal8Bit(account->pw_name) : qEnvironmentVariable("USER");
}

}  // namespace corvane
