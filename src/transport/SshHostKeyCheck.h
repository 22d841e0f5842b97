#pragma once

// The host key check and the logins of an SFTP session: the server's key must be the one
// the user's ~/.ssh/known_hosts holds for the host (an unknown or changed key refuses
// the connection and is never added by itself); the login uses the user's SSH key
// (~/.ssh/id_ed25519, id_ecdsa or id_rsa), the SSH agent, or the task's password.
//
// One check belongs to one session's libcurl handle and is used on that session's thread.

#include <curl/curl.h>

#include <QString>

namespace corvane {

class SshHostKeyCheck {
  public:
    explicit SshHostKeyCheck(QString host);

    // Sets up `curl` to check the host key through this object, which must outlive the
    // handle's transfers, and to log in with the user's key, the agent and, when
    // `withPassword`, the password set on the handle.
    void Install(CURL* curl, bool withPassword);

    // After a refused connection: why the host key was refused, naming the key's SHA-256
    // fingerprint as ssh-keygen prints it; empty when the key was accepted.
    QString RefusalText() const;

  private:
    static int OnHostKey(CURL* curl, const curl_khkey* known, const curl_khkey* found,
                         curl_khmatch match, void* self);

    QString m_host;
    QString m_knownHosts;
    QString m_reason;
};

// The user an SFTP login without a user name logs in as: the local account's name, as
// ssh has it.
QString LocalAccountName();

}  // namespace corvane
