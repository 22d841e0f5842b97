#pragma once

// The session a running task holds with an S3-compatible object store (a cloud bucket,
// MinIO, Ceph, Garage): the endpoint's host is the bucket, its folder the key prefix,
// its user and password the access key and the secret. Requests go path-style to
// "<service>/<bucket>/<key>" and are signed with AWS Signature V4; the secret never
// appears in a URL, the log or an error text.
//
// An object store has no folders: a key "a/b/c" makes "a" and "a/b" appear in listings.
// A folder that would hold nothing is kept by a zero-byte marker key "a/b/", which
// listings show as the folder; a folder is gone once no key lies below it.
//
// Threads: a session is used by one thread at a time. Nothing is shared between sessions.

#include <QString>
#include <QStringList>
#include <memory>

#include "transport/FtpEndpoint.h"
#include "transport/FtpSession.h"
#include "transport/RemoteSession.h"

namespace corvane {

// How requests are cut. A file up to `singleLimit` bytes goes in one request, streamed
// from the disk; a larger one as a multipart upload of `partSize` pieces (services take
// parts from 5 MiB on and at most 10,000 of them, so a part grows for a huge file). One
// part is held in memory at a time. A listing asks for `listPageKeys` keys a request.
struct S3Tuning {
    qint64 singleLimit = 64LL * 1024 * 1024;
    qint64 partSize = 16LL * 1024 * 1024;
    int listPageKeys = 1000;
};

class S3Session final : public RemoteSession {
  public:
    // `encodeName` turns a local path into the bytes that reach the file system; keys
    // are UTF-8 as the services require.
    explicit S3Session(FtpNameEncoder encodeName, S3Tuning tuning = {});
    ~S3Session() override;

    S3Session(const S3Session&) = delete;
    S3Session& operator=(const S3Session&) = delete;

    // Checks the service address and the bucket name, then lists one key of the bucket:
    // a refusal logs "  FTP connection error: %s" with the service's error code and
    // message (or the library's text when no answer came).
    bool Connect(const FtpEndpoint& endpoint) override;
    QString ConnectError() const override;
    void Disconnect() override;
    bool IsConnected() const override;

    // "/": a bucket has no login folder.
    QString LoginFolder() const override;
    QString Folder() const override;
    // "/<key>" of a name below the session's key prefix.
    QString RemotePath(const QString& name) const override;

    // Folders come into being with the first key below them; a marker key keeps one that
    // may stay empty: the folder `path` (none for the session folder itself, which the
    // run fills), and each folder of the tree that has no sub-folder in it.
    void CreateFolders(const QString& path) override;
    void CreateFolderTree(const QStringList& folders, const QString& remoteFolder) override;

    // A failed multipart upload is aborted, so no part of it stays stored.
    bool Upload(const QString& localPath, const QString& name) override;
    bool Download(const QString& name, const QString& localPath) override;

    // Folders are the key prefixes up to a "/". Keys with an empty, "." or ".." level
    // are skipped with a warning.
    void ListTree(const QString& folder, QStringList& names, bool recursive) override;

    void SetFolder(const QString& folder) override;

    [[nodiscard]] bool DeleteFile(const QString& name) override;
    // True when no key lies below `folder` (a marker key "<folder>/" is deleted).
    [[nodiscard]] bool RemoveFolder(const QString& folder) override;
    // Deletes every key below `folder`; true when none is left.
    [[nodiscard]] bool RemoveFolderTree(const QString& folder) override;

  private:
    class Impl;
    std::unique_ptr<Impl> m_impl;
};

}  // namespace corvane
