#pragma once

// A local S3 server on 127.0.0.1 for one test: s3rver 3.7.1 (from the npm registry,
// installed once into ~/.cache/corvane-tests/s3rver, outside the repository) started by
// tests/support/s3_server.js on a free port with one bucket in a temporary folder. The
// script checks every request's V4 signature against Secret(): s3rver by itself checks
// only the access key.
//
// The server process ends with the object (and by itself when the test process dies).

#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <memory>

#include "model/TaskRecord.h"
#include "transport/FtpEndpoint.h"

class QProcess;

namespace corvane::test {

class S3TestServer {
  public:
    S3TestServer();
    ~S3TestServer();

    S3TestServer(const S3TestServer&) = delete;
    S3TestServer& operator=(const S3TestServer&) = delete;

    // Before Start: the server answers 500 to its `number`th UploadPart request.
    void FailUploadPart(int number) { m_failPart = number; }

    // Installs s3rver when it is missing, starts the server and waits until it listens;
    // false with the reason when it cannot (node or npm missing, no registry, ...).
    bool Start(QString* whyNot);

    QString ServiceUrl() const;  // "http://127.0.0.1:PORT"
    QString Bucket() const { return QStringLiteral("corvane-bucket"); }
    QString AccessKey() const { return QStringLiteral("S3RVER"); }
    QString Secret() const { return QStringLiteral("s3cret/Key+with=signs"); }

    // The bucket's key prefix `prefix` as a session reaches it.
    FtpEndpoint Endpoint(const QString& prefix = QString()) const;
    // A task's destination "s3://<bucket>/<folder>" on this server with its keys.
    TaskDestination Destination(const QString& folder) const;

    // The keys of the multipart uploads aborted so far, in order.
    QStringList AbortedUploads() const;
    // How many multipart uploads are open (created, neither completed nor aborted).
    int OpenUploads() const;

  private:
    QTemporaryDir m_dir;
    int m_failPart = 0;
    std::unique_ptr<QProcess> m_process;
    int m_port = 0;
};

}  // namespace corvane::test
