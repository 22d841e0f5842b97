#include "support/S3TestServer.h"

#include <QDir>
#include <QFileInfo>
#include <QLockFile>
#include <QProcess>
#include <QStandardPaths>

#include "support/TempDir.h"
#include "support/Tools.h"

namespace corvane::test {

namespace {

const char kNode[] = "/usr/bin/node";
const char kS3rver[] = "s3rver@3.7.1";
const int kStartTimeoutMs = 30000;

QString CacheFolder() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) +
           "/corvane-tests/s3rver";
}

// s3rver in the cache folder, installed under a lock: tests run side by side.
bool InstallS3rver(QString* whyNot) {
    const QString folder = CacheFolder();
    const QString installed = folder + "/node_modules/s3rver/package.json";
    if (QFileInfo::exists(installed)) {
        return true;
    }
    if (!QDir().mkpath(folder)) {
        *whyNot = "cannot create " + folder;
        return false;
    }
    QLockFile lock(folder + "/install.lock");
    lock.setStaleLockTime(0);
    if (!lock.lock()) {
        *whyNot = "cannot lock " + folder;
        return false;
    }
    if (QFileInfo::exists(installed)) {
        return true;
    }
    const ToolResult npm = RunTool(
        "npm", {"install", "--no-save", "--no-audit", "--no-fund", "--prefix", folder, kS3rver});
    if (npm.exitCode != 0 || !QFileInfo::exists(installed)) {
        *whyNot = "npm install " + QString(kS3rver) +
                  " failed (nodejs and npm are installed "
                  "by scripts/install-deps.sh): " +
                  npm.output.right(400);
        return false;
    }
    return true;
}

}  // namespace

S3TestServer::S3TestServer() : m_dir(QDir::tempPath() + "/corvane-s3-XXXXXX") {}

S3TestServer::~S3TestServer() {
    if (m_process) {
        StopServerScript(*m_process);
    }
}

bool S3TestServer::Start(QString* whyNot) {
    QString reason;
    auto fail = [whyNot, &reason]() {
        if (whyNot) {
            *whyNot = reason;
        }
        return false;
    };
    if (!m_dir.isValid() || !QDir().mkpath(m_dir.path() + "/data")) {
        reason = "cannot create a temporary folder";
        return fail();
    }
    if (!QFileInfo::exists(kNode)) {
        reason = QString("%1 is missing: apt-get install nodejs npm").arg(kNode);
        return fail();
    }
    if (!InstallS3rver(&reason)) {
        return fail();
    }
    m_process = std::make_unique<QProcess>();
    const QString errorFile = m_dir.path() + "/server.err";
    m_process->setStandardErrorFile(errorFile);
    m_process->start(kNode, {CORVANE_TEST_SUPPORT_DIR "/s3_server.js", "--modules",
                             CacheFolder() + "/node_modules", "--directory", m_dir.path() + "/data",
                             "--bucket", Bucket(), "--secret", Secret(), "--record",
                             m_dir.path() + "/record", "--fail-part", QString::number(m_failPart)});
    // The script prints "PORT <n>" once it listens; until then only wait.
    QByteArray output;
    while (!output.contains('\n')) {
        if (!m_process->waitForReadyRead(kStartTimeoutMs)) {
            m_process->kill();
            m_process->waitForFinished(1000);
            reason =
                "the server did not start: " + QString::fromUtf8(ReadAll(errorFile)).right(400);
            m_process.reset();
            return fail();
        }
        output += m_process->readAllStandardOutput();
    }
    const QByteArray line = output.left(output.indexOf('\n')).trimmed();
    m_port = line.startsWith("PORT ") ? line.mid(5).toInt() : 0;
    if (m_port <= 0) {
        reason = "unexpected server output: " + QString::fromUtf8(line);
        return fail();
    }
    return true;
}

QStringList S3TestServer::AbortedUploads() const {
    QStringList keys;
    for (const QString& line : QString::fromUtf8(ReadAll(m_dir.path() + "/record")).split('\n')) {
        if (line.startsWith("ABORT ")) {
            keys << line.mid(6);
        }
    }
    return keys;
}

int S3TestServer::OpenUploads() const {
    // s3rver keeps each open upload's parts in a folder named by its id.
    return QDir(m_dir.path() + "/data/" + Bucket() + "/._S3rver_uploads")
        .entryList(QDir::Dirs | QDir::NoDotAndDotDot)
        .size();
}

QString S3TestServer::ServiceUrl() const {
    return QString("http://127.0.0.1:%1").arg(m_port);
}

FtpEndpoint S3TestServer::Endpoint(const QString& prefix) const {
    FtpEndpoint endpoint;
    endpoint.protocol = RemoteProtocol::kS3;
    endpoint.host = Bucket();
    endpoint.folder = prefix;
    endpoint.user = AccessKey();
    endpoint.password = Secret();
    endpoint.access.serviceUrl = ServiceUrl();
    return endpoint;
}

TaskDestination S3TestServer::Destination(const QString& folder) const {
    TaskDestination destination;
    destination.type = kDestFtp;
    destination.path = "s3://" + Bucket() + "/" + folder;
    destination.userName = AccessKey();
    destination.password = Secret();
    destination.serviceUrl = ServiceUrl();
    return destination;
}

}  // namespace corvane::test
