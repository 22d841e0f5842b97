#pragma once

// A real OpenSSH server on 127.0.0.1 for one test: /usr/sbin/sshd on a free port with a
// throw-away host key and configuration in a temporary folder, serving SFTP only. The
// user running the tests logs in with a throw-away key of ClientHome() (the tests run as
// root on CI, so passwords are off and root may log in with its key); an SFTP session
// starts in Home(), a folder of the temporary folder.
//
// ClientHome() is meant to become the test's HOME: it holds .ssh/id_ed25519 and a
// .ssh/known_hosts naming this server's key.
//
// StartWithPassword() serves password logins only, for the account PasswordUser(): sshd
// runs in a mount namespace of its own where copies of /etc/passwd and /etc/shadow
// holding that account hide the real ones, so the machine's users never change. That
// needs root and unshare (util-linux); CanStartWithPassword() tells why not.
//
// The server ends with the object. One thread uses an object.

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

#include "model/TaskRecord.h"

namespace corvane::test {

class SshTestServer {
  public:
    SshTestServer();
    ~SshTestServer();  // stops the server, removes its folders

    SshTestServer(const SshTestServer&) = delete;
    SshTestServer& operator=(const SshTestServer&) = delete;

    // Makes the keys, starts the server and waits until it listens; false with the reason
    // when it cannot (openssh-server missing, ...).
    bool Start(QString* whyNot);
    // Starts for logins of PasswordUser() with `password` and nothing else; ClientHome()
    // then holds no key.
    bool StartWithPassword(const QString& password, QString* whyNot);
    static bool CanStartWithPassword(QString* whyNot);
    static QString PasswordUser() { return QStringLiteral("corvanetest"); }

    int Port() const { return m_port; }
    QString User() const;
    QString Home() const;        // the login folder on disk
    QString ClientHome() const;  // a HOME for the client side
    // The known_hosts line of this server's key: "[127.0.0.1]:PORT ssh-ed25519 AAAA...".
    QString KnownHostsLine() const;

    // A task destination "sftp://127.0.0.1:PORT/<folder>" with User() and no password.
    TaskDestination Destination(const QString& folder) const;

  private:
    bool Launch(const QString& password, QString* whyNot);
    // The passwd and shadow copies holding PasswordUser(); the command that starts
    // `program` with them in place of the real ones.
    bool HidePasswordFiles(const QString& password, QStringList* command, QString* whyNot);

    QTemporaryDir m_dir;
    QProcess m_process;
    int m_port = 0;
    bool m_withPassword = false;
};

}  // namespace corvane::test
