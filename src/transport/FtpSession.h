#pragma once

// The one FTP session a running task holds: connect to the server of an endpoint, create remote
// folders, upload and download files, list remote folders. Every transfer is binary and goes over
// one control connection kept for the whole run (one libcurl easy handle reused for every request).
// The endpoint's protocol may also be FTPS (explicit TLS on control and data connections, the
// certificate checked during the handshake, see TlsCertificateCheck) or SFTP (the host key checked
// against ~/.ssh/known_hosts, see SshHostKeyCheck), with the same guarantees.
//
// Remote names are relative to the session folder (the endpoint's folder).
// Every name is turned into one absolute remote path, the login folder the server
// reported, then the session folder and the name joined by "/", so that what was
// written is read back from the same place also on a server whose login folder is not
// "/". "\" in names and folders is read as "/".
//
// Threads: a session is used by one thread at a time (the worker of the run that
// opened it). Nothing is shared between sessions.
//
// Passwords never reach the log or an error text.

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QStringView>
#include <memory>

#include "transport/FtpEndpoint.h"
#include "transport/RemoteSession.h"

namespace corvane {

// Turns a name the program carries into the bytes that reach the file system and the
// server (the program's file-name codec, which keeps names that are not UTF-8 exact).
using FtpNameEncoder = QByteArray (*)(QStringView name);
// The way back: a name in a server's listing, as bytes, into the name the program carries.
using FtpNameDecoder = QString (*)(QByteArrayView bytes);

class FtpSession final : public RemoteSession {
  public:
    // Without a decoder, listings are read as UTF-8 (a name that is not becomes U+FFFD).
    explicit FtpSession(FtpNameEncoder encodeName, FtpNameDecoder decodeName = nullptr);
    ~FtpSession() override;  // disconnects

    FtpSession(const FtpSession&) = delete;
    FtpSession& operator=(const FtpSession&) = delete;

    // Connects to the endpoint's server, logs in, and keeps the server's current folder
    // (PWD) as the login folder. A connected session disconnects first. On failure logs
    // "  FTP connection error: %s" with the server's or the library's text and answers
    // false.
    bool Connect(const FtpEndpoint& endpoint) override;
    // Why the last Connect failed, as its log line gives it (never the password);
    // empty after a successful one. For a window that shows the reason in place.
    QString ConnectError() const override;
    void Disconnect() override;
    bool IsConnected() const override;

    QString LoginFolder() const override;
    QString Folder() const override;
    // The mode data connections use now: the mode asked for, or kPassive once the
    // server has refused active mode in this session.
    FtpMode Mode() const;
    // The absolute remote path of a name relative to the session folder.
    QString RemotePath(const QString& name) const override;

    // Creates the session folder joined with `path`, level by level below the login
    // folder; a level that cannot be created (it may exist) logs
    // "  Warning: cannot create folder %s" and deeper levels are still tried.
    void CreateFolders(const QString& path) override;
    // Creates, below the login folder, `remoteFolder` + "/" + each of `folders` in
    // order (names relative to `remoteFolder`, parents before their sub-folders, as a
    // reversed folder walk lists them). A folder that exists is no failure. Sends no
    // file.
    void CreateFolderTree(const QStringList& folders, const QString& remoteFolder) override;

    // Sends the local regular file to the remote path of `name`; true when the
    // transfer completed. Local and remote names reach the system and the server as
    // the bytes the name encoder gives. A failure logs "  FTP transfer error: %s" with
    // the reason (the server's refusal, the library's text or the local error); the
    // caller logs which file failed.
    bool Upload(const QString& localPath, const QString& name) override;
    // Fetches the remote path of `name` into `localPath`. The data goes to a temporary
    // file beside it that replaces the local file only when the transfer completed; a
    // failed download leaves an existing local file as it was. A failure logs its reason
    // as Upload does.
    bool Download(const QString& name, const QString& localPath) override;

    // Lists `folder` (relative to the session folder): a sub-folder adds
    // "<folder>/<name>/", a file "<folder>/<name>"; with `recursive` every sub-folder is
    // listed the same way after the folder itself. Names are relative to the session
    // folder; a listing of the session folder itself (empty `folder`) yields names
    // beginning with "/". "." and ".." are never listed. Uses MLSD when the server
    // offers it and parses Unix and DOS style LIST lines otherwise.
    void ListTree(const QString& folder, QStringList& names, bool recursive) override;

    // Points the session at another folder below the login folder: names are relative
    // to it from then on. For work on several places of one server over one connection.
    void SetFolder(const QString& folder) override;

    // Deletes the remote file `name` (DELE); a link is deleted as a link. False when
    // the server refused.
    [[nodiscard]] bool DeleteFile(const QString& name) override;
    // Removes the remote folder `folder` when it is empty (RMD). False when the server
    // refused (it may hold something).
    [[nodiscard]] bool RemoveFolder(const QString& folder) override;
    // Removes the remote folder `folder` with everything a recursive ListTree finds in
    // it, files first, then the folders deepest first, the folder itself last. False
    // when anything stayed (the server refused a deletion; what it allowed is gone) or
    // when `folder` is empty or holds "." or ".." (the session folder or a place above).
    [[nodiscard]] bool RemoveFolderTree(const QString& folder) override;

  private:
    class Impl;
    std::unique_ptr<Impl> m_impl;
};

}  // namespace corvane
