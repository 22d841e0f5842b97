#pragma once

// The session a running task holds with a remote destination: an FTP server (plain or
// with TLS), an SSH server (SFTP) or an object store (S3). Backup, restore, compare and
// the search for stored tasks use only this interface; what the protocol is matters only
// where a session is made (NewRemoteSession).
//
// Remote names are relative to the session folder (the endpoint's folder) and use "/";
// "\" is read as "/". A session is used by one thread at a time; nothing is shared
// between sessions. Passwords and secrets never reach the log or an error text.

#include <QString>
#include <QStringList>

#include "transport/FtpEndpoint.h"

namespace corvane {

class RemoteSession {
  public:
    virtual ~RemoteSession() = default;

    // Connects and logs in. A connected session disconnects first. On failure logs
    // "  FTP connection error: %s" with the server's or the library's text and answers
    // false.
    virtual bool Connect(const FtpEndpoint& endpoint) = 0;
    // Why the last Connect failed, as its log line gives it (never the password);
    // empty after a successful one.
    virtual QString ConnectError() const = 0;
    virtual void Disconnect() = 0;
    virtual bool IsConnected() const = 0;

    // Where the login put the session ("/" where a protocol has no such place).
    virtual QString LoginFolder() const = 0;
    virtual QString Folder() const = 0;
    // The absolute remote path of a name relative to the session folder.
    virtual QString RemotePath(const QString& name) const = 0;

    // Creates the session folder joined with `path`, level by level; a level that cannot
    // be created logs "  Warning: cannot create folder %s" and deeper levels are tried.
    virtual void CreateFolders(const QString& path) = 0;
    // Creates `remoteFolder` + "/" + each of `folders` in order (parents first). A folder
    // that exists is no failure.
    virtual void CreateFolderTree(const QStringList& folders, const QString& remoteFolder) = 0;

    // Sends the local regular file to `name`; true when the transfer completed. A
    // failure logs "  FTP transfer error: %s" with the reason; the caller logs which file.
    virtual bool Upload(const QString& localPath, const QString& name) = 0;
    // Fetches `name` into `localPath` through a temporary file that replaces the local
    // file only when the transfer completed. A failure logs its reason as Upload does.
    virtual bool Download(const QString& name, const QString& localPath) = 0;

    // Lists `folder`: a sub-folder adds "<folder>/<name>/", a file "<folder>/<name>";
    // with `recursive` every sub-folder after the folder itself. "." and ".." never.
    virtual void ListTree(const QString& folder, QStringList& names, bool recursive) = 0;

    // Points the session at another folder: names are relative to it from then on.
    virtual void SetFolder(const QString& folder) = 0;

    // Deletes the remote file `name`; false when the server refused.
    [[nodiscard]] virtual bool DeleteFile(const QString& name) = 0;
    // Removes the empty remote folder `folder`; false when the server refused.
    [[nodiscard]] virtual bool RemoveFolder(const QString& folder) = 0;
    // Removes `folder` with everything in it; false when anything stayed or when
    // `folder` is empty or holds "." or "..".
    [[nodiscard]] virtual bool RemoveFolderTree(const QString& folder) = 0;
};

}  // namespace corvane
