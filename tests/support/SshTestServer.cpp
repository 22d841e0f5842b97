#include "support/SshTestServer.h"

#include <netinet/in.h>
#include <pwd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QDir>
#include <QFile>

#include "support/TempDir.h"
#include "support/Tools.h"

namespace corvane::test {
namespace {

const char kSshd[] = "/usr/sbin/sshd";
const int kStartTimeoutMs = 20000;
// Run by sh in a private mount namespace: "$1" and "$2" stand in for /etc/passwd and
// /etc/shadow, then the rest of the arguments run.
const char kHideAccountFiles[] =
    "mount --bind \"$1\" /etc/passwd && mount --bind \"$2\" /etc/shadow && shift 2 && "
    "exec \"$@\"";

// A port no one listens on now: the kernel's choice for a socket bound to port 0.
int FreePort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    int port = 0;
    if (fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
        port = ntohs(address.sin_port);
    }
    if (fd >= 0) {
        ::close(fd);
    }
    return port;
}

bool MakeKey(const QString& file, QString* whyNot) {
    const ToolResult made = RunTool("ssh-keygen", {"-q", "-t", "ed25519", "-N", "", "-f", file});
    if (made.exitCode != 0 && whyNot) {
        *whyNot = "ssh-keygen failed (openssh-client missing?): " + made.output;
    }
    return made.exitCode == 0;
}

bool WriteText(const QString& path, const QString& text) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(text.toUtf8()) == text.toUtf8().size();
}

}  // namespace

SshTestServer::SshTestServer() : m_dir(QDir::tempPath() + "/corvane-ssh-XXXXXX") {}

SshTestServer::~SshTestServer() {
    if (m_process.state() != QProcess::NotRunning) {
        m_process.terminate();
        if (!m_process.waitForFinished(3000)) {
            m_process.kill();
            m_process.waitForFinished(3000);
        }
    }
}

bool SshTestServer::Start(QString* whyNot) {
    return Launch({}, whyNot);
}

bool SshTestServer::StartWithPassword(const QString& password, QString* whyNot) {
    m_withPassword = true;
    return Launch(password, whyNot);
}

bool SshTestServer::CanStartWithPassword(QString* whyNot) {
    QString reason;
    if (::geteuid() != 0) {
        reason = "password logins need root, to hide /etc/shadow behind a copy";
    } else {
        const ToolResult probe =
            RunTool("unshare", {"--mount", "--propagation", "private", "true"}, 10000);
        if (probe.exitCode != 0) {
            reason = "unshare cannot make a mount namespace: " + probe.output.trimmed();
        }
    }
    if (whyNot) {
        *whyNot = reason;
    }
    return reason.isEmpty();
}

bool SshTestServer::Launch(const QString& password, QString* whyNot) {
    auto fail = [whyNot](const QString& reason) {
        if (whyNot) {
            *whyNot = reason;
        }
        return false;
    };
    if (!QFile::exists(kSshd)) {
        return fail("openssh-server is missing: apt-get install openssh-server");
    }
    // sshd wants its privilege separation folder even when it never uses it.
    if (!QDir().mkpath("/run/sshd") || !QDir().mkpath(Home()) ||
        !QDir().mkpath(ClientHome() + "/.ssh")) {
        return fail("cannot create the server's folders");
    }
    const QString hostKey = m_dir.path() + "/host_key";
    const QString clientKey = ClientHome() + "/.ssh/id_ed25519";
    if (!MakeKey(hostKey, whyNot) || (!m_withPassword && !MakeKey(clientKey, whyNot))) {
        return false;
    }
    m_port = FreePort();
    // Password logins only: no key, not even one the client happens to have, may stand in.
    const QString login = m_withPassword
                              ? QString(
                                    "AuthorizedKeysFile none\nPermitRootLogin yes\n"
                                    "PasswordAuthentication yes\nAuthenticationMethods password\n")
                              : QString(
                                    "AuthorizedKeysFile %1\nPermitRootLogin prohibit-password\n"
                                    "PasswordAuthentication no\n")
                                    .arg(clientKey + ".pub");
    const QString config = m_dir.path() + "/sshd_config";
    const QString settings = QString("Port %1\nListenAddress 127.0.0.1\nHostKey %2\nPidFile none\n")
                                 .arg(m_port)
                                 .arg(hostKey) +
                             login +
                             QString(
                                 "KbdInteractiveAuthentication no\nUsePAM no\nStrictModes no\n"
                                 "LogLevel INFO\nSubsystem sftp internal-sftp\n"
                                 "ForceCommand internal-sftp -d %1\n")
                                 .arg(Home());
    if (m_port == 0 || !WriteText(config, settings) ||
        !WriteText(ClientHome() + "/.ssh/known_hosts", KnownHostsLine() + "\n")) {
        return fail("cannot write the server's configuration");
    }
    QStringList command{kSshd, "-D", "-e", "-f", config};
    if (m_withPassword && !HidePasswordFiles(password, &command, whyNot)) {
        return false;
    }
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    m_process.start(command.takeFirst(), command);
    // sshd says so once it listens; until then only wait.
    QByteArray output;
    while (!output.contains("Server listening on")) {
        if (!m_process.waitForReadyRead(kStartTimeoutMs)) {
            m_process.waitForFinished(1000);
            return fail("sshd did not start: " +
                        QString::fromUtf8(output + m_process.readAll()).trimmed().right(400));
        }
        output += m_process.readAll();
    }
    return true;
}

bool SshTestServer::HidePasswordFiles(const QString& password, QStringList* command,
                                      QString* whyNot) {
    const ToolResult hashed = RunTool("openssl", {"passwd", "-6", password}, 20000);
    if (hashed.exitCode != 0) {
        if (whyNot) {
            *whyNot = "openssl passwd failed (openssl missing?): " + hashed.output;
        }
        return false;
    }
    // uid 0 keeps sshd's privilege separation simple; the home is the login folder.
    const QString passwdCopy = m_dir.path() + "/passwd";
    const QString shadowCopy = m_dir.path() + "/shadow";
    const QString user = PasswordUser();
    if (!WriteText(passwdCopy, QString::fromUtf8(ReadAll("/etc/passwd")) + user +
                                   ":x:0:0::" + Home() + ":/bin/sh\n") ||
        !WriteText(shadowCopy, QString::fromUtf8(ReadAll("/etc/shadow")) + user + ':' +
                                   hashed.output.trimmed() + ":::::::\n") ||
        !QFile::setPermissions(shadowCopy, QFile::ReadOwner | QFile::WriteOwner)) {
        if (whyNot) {
            *whyNot = "cannot write the copies of /etc/passwd and /etc/shadow";
        }
        return false;
    }
    // The bind mounts live and end with the namespace, which ends with sshd.
    *command = QStringList{"unshare",         "--mount", "--propagation", "private", "sh", "-c",
                           kHideAccountFiles, "sh",      passwdCopy,      shadowCopy} +
               *command;
    return true;
}

QString SshTestServer::User() const {
    if (m_withPassword) {
        return PasswordUser();
    }
    const passwd* account = ::getpwuid(::getuid());
    return account ? QString::fromLocal8Bit(account->pw_name) : QString();
}

QString SshTestServer::Home() const {
    return m_dir.path() + "/home";
}

QString SshTestServer::ClientHome() const {
    return m_dir.path() + "/client";
}

QString SshTestServer::KnownHostsLine() const {
    const QString key = QString::fromUtf8(ReadAll(m_dir.path() + "/host_key.pub")).trimmed();
    return QString("[127.0.0.1]:%1 %2").arg(m_port).arg(key.section(' ', 0, 1));
}

TaskDestination SshTestServer::Destination(const QString& folder) const {
    TaskDestination destination;
    destination.type = kDestFtp;
    destination.path = QString("sftp://127.0.0.1:%1/%2").arg(m_port).arg(folder);
    destination.userName = User();
    destination.ftpPort = 21;
    return destination;
}

}  // namespace corvane::test
