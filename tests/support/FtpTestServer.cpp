#include "support/FtpTestServer.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>

#include "support/TempDir.h"
#include "support/TlsTestCertificate.h"
#include "support/Tools.h"

namespace corvane::test {

namespace {

const char kPython[] = "/usr/bin/python3";
const int kStartTimeoutMs = 20000;

QString ScriptPath() {
    return QStringLiteral(CORVANE_TEST_SUPPORT_DIR "/ftp_server.py");
}

}  // namespace

FtpTestServer::FtpTestServer() : FtpTestServer(Options()) {}

FtpTestServer::FtpTestServer(Options options)
    : m_options(std::move(options)), m_dir(QDir::tempPath() + "/corvane-ftp-XXXXXX") {}

FtpTestServer::~FtpTestServer() {
    if (m_process) {
        StopServerScript(*m_process);
    }
}

bool FtpTestServer::Start(QString* whyNot) {
    auto fail = [whyNot](const QString& reason) {
        if (whyNot) {
            *whyNot = reason;
        }
        return false;
    };
    if (m_process) {
        return fail("the server runs already");
    }
    if (!m_dir.isValid()) {
        return fail("cannot create a temporary folder: " + m_dir.errorString());
    }
    if (!QFileInfo::exists(kPython)) {
        return fail(QString("%1 is missing").arg(kPython));
    }
    if (!QDir().mkpath(Root()) || !QDir().mkpath(Home())) {
        return fail("cannot create " + Home());
    }

    QStringList arguments = {ScriptPath(),
                             "--root",
                             Root(),
                             "--login",
                             LoginFolder(),
                             "--user",
                             User(),
                             "--password",
                             Password(),
                             "--log",
                             m_dir.path() + "/server.log"};
    if (m_options.passiveOnly) {
        arguments << "--passive-only";
    }
    if (m_options.listOnly) {
        arguments << "--no-mlsd";
    }
    if (!m_options.tlsCertificate.isEmpty()) {
        arguments << "--tls" << m_options.tlsCertificate;
    }
    for (const QString& folder : m_options.readOnlyFolders) {
        arguments << "--read-only" << LoginFolder() + "/" + folder;
    }

    m_process = std::make_unique<QProcess>();
    // Into a file, not a pipe: a pipe nobody reads would stall the server once full.
    const QString errorFile = m_dir.path() + "/server.err";
    m_process->setStandardErrorFile(errorFile);
    m_process->start(kPython, arguments);
    if (!m_process->waitForStarted(kStartTimeoutMs)) {
        const QString reason = "cannot start " + QString(kPython) + ": " + m_process->errorString();
        m_process.reset();
        return fail(reason);
    }

    // The script prints "PORT <n>" once its socket listens; until then only wait.
    QByteArray output;
    while (!output.contains('\n')) {
        if (m_process->state() != QProcess::Running ||
            !m_process->waitForReadyRead(kStartTimeoutMs)) {
            m_process->waitForFinished(1000);
            const QString error = QString::fromUtf8(ReadAll(errorFile)).trimmed();
            const QString reason =
                error.contains("No module named 'pyftpdlib'")
                    ? QString("python3-pyftpdlib is missing: apt-get install python3-pyftpdlib")
                : error.contains("No module named 'OpenSSL'")
                    ? QString("python3-openssl is missing: apt-get install python3-openssl")
                    : "the server did not start: " + error.right(400);
            m_process.reset();
            return fail(reason);
        }
        output += m_process->readAllStandardOutput();
    }
    const QByteArray line = output.left(output.indexOf('\n')).trimmed();
    bool ok = false;
    if (line.startsWith("PORT ")) {
        m_port = line.mid(5).toInt(&ok);
    }
    if (!ok || m_port <= 0) {
        m_process.reset();
        return fail("unexpected server output: " + QString::fromUtf8(line));
    }
    return true;
}

TaskDestination FtpTestServer::Destination(const QString& path) const {
    TaskDestination destination;
    destination.type = kDestFtp;
    destination.path = path;
    destination.userName = User();
    destination.password = Password();
    destination.ftpPort = Port();
    if (!m_options.tlsCertificate.isEmpty()) {
        destination.path = Scheme() + QString(path).remove(QRegularExpression("^ftp://"));
        destination.certificatePin = TlsTestFingerprint();
    }
    return destination;
}

QString FtpTestServer::Scheme() const {
    return m_options.tlsCertificate.isEmpty() ? "ftp://" : "ftps://";
}

QString FtpTestServer::User() const {
    return QStringLiteral("corvane");
}

QString FtpTestServer::Password() const {
    return QStringLiteral("s3cret pa:ss@w%rd");
}

QString FtpTestServer::Root() const {
    return m_dir.path() + "/root";
}

QString FtpTestServer::Home() const {
    return Root() + LoginFolder();
}

QString FtpTestServer::LoginFolder() const {
    return QStringLiteral("/home/corvane");
}

QString FtpTestServer::Address(const QString& folder) const {
    return QString("ftp://127.0.0.1:%1/%2").arg(m_port).arg(folder);
}

int FtpTestServer::ConnectionCount() const {
    return CountLogLines("connect");
}

int FtpTestServer::LoginCount() const {
    return CountLogLines("login ");
}

int FtpTestServer::CountLogLines(const QByteArray& prefix) const {
    QFile log(m_dir.path() + "/server.log");
    if (!log.open(QIODevice::ReadOnly)) {
        return 0;
    }
    int count = 0;
    while (!log.atEnd()) {
        count += log.readLine().startsWith(prefix) ? 1 : 0;
    }
    return count;
}

}  // namespace corvane::test
