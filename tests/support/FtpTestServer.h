#pragma once

// A real FTP server on 127.0.0.1 for one test: tests/support/ftp_server.py (pyftpdlib)
// run by the system's Python on a free port, serving a temporary folder. The user logs
// in to "/home/corvane", not to "/", so code that mixes up the login folder and the
// server root fails against it.
//
// Tests use it through the fixture in support/FtpServerTest.h, where a server that
// cannot start fails the test with the reason.
//
// The server process ends with the object (and by itself when the test process dies).
// One thread uses an object.

#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <memory>

#include "model/TaskRecord.h"

class QProcess;

namespace corvane::test {

class FtpTestServer {
  public:
    struct Options {
        bool passiveOnly = false;     // PORT and EPRT are refused
        QStringList readOnlyFolders;  // folders below Home() where writes fail
        bool listOnly = false;        // no MLSD/MLST: listings only through LIST
        QString tlsCertificate = {};  // FTPS with this PEM (certificate and key)
    };

    FtpTestServer();
    explicit FtpTestServer(Options options);
    ~FtpTestServer();  // stops the server, removes its folders

    FtpTestServer(const FtpTestServer&) = delete;
    FtpTestServer& operator=(const FtpTestServer&) = delete;

    // Starts the server and waits until it accepts connections; false with the reason
    // when it cannot start (python3-pyftpdlib missing, ...).
    bool Start(QString* whyNot);

    int Port() const { return m_port; }
    QString User() const;
    QString Password() const;     // holds a blank and characters that URLs escape
    QString Root() const;         // local folder that is the server's "/"
    QString Home() const;         // Root() + LoginFolder(): the login folder on disk
    QString LoginFolder() const;  // "/home/corvane"
    // "ftp://127.0.0.1:PORT/<folder>" without credentials.
    QString Address(const QString& folder = QString()) const;
    // A task's FTP destination on this server: `path` as the task stores it
    // ("ftp://127.0.0.1/folder" or "127.0.0.1/folder"), with the user, password and port.
    // A TLS server's destination is "ftps://" with the certificate's fingerprint pinned.
    TaskDestination Destination(const QString& path) const;
    // "ftps://" for a TLS server, "ftp://" otherwise.
    QString Scheme() const;

    // How many control connections clients have opened so far.
    int ConnectionCount() const;
    // How many logins the server accepted so far.
    int LoginCount() const;

  private:
    int CountLogLines(const QByteArray& prefix) const;

    Options m_options;
    QTemporaryDir m_dir;
    std::unique_ptr<QProcess> m_process;
    int m_port = 0;
};

}  // namespace corvane::test
