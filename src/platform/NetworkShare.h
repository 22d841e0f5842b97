#pragma once

// Windows shares (SMB) reached through GVfs: a destination "//server/share/folder" or
// "smb://server/share/folder" is mounted with `gio mount smb://server/share` and read and
// written through the FUSE folder gvfsd-fuse gives it ($XDG_RUNTIME_DIR/gvfs/...).
//
// The user name, domain and password are answered to gio's prompts on its standard
// input, never passed on a command line, and never logged. Only a mount made here is
// ever unmounted: a share the user (or the file manager) had mounted stays as it was.
// The program is $CORVANE_GIO when set and not empty, else "gio".
//
// Thread safety: any thread; the record of what was mounted here is guarded inside.

#include <QString>
#include <optional>

namespace corvane {

struct ShareAddress {
    QString server;  // host, with ":port" when the destination names one
    QString share;
    QString below;  // the folder below the share, without a leading "/"; may be empty

    // "smb://server/share", what gio mounts.
    QString ShareUri() const;
};

// The share a destination names ("//server/share/..." or "smb://server/share/...");
// nothing for any other path and for a server without a share.
std::optional<ShareAddress> ShareAddressOf(const QString& destination);

// The local folder to read and write for a destination: below the share's FUSE folder
// when the destination names a share that is mounted, else the destination unchanged.
QString ShareLocalPath(const QString& destination);

// Mounts the share unless it is mounted already (then it is used, and left mounted at
// the end). `user` may be "DOMAIN\user". False with the reason in `error`.
[[nodiscard]] bool MountShare(const ShareAddress& address, const QString& user,
                              const QString& password, QString& error);

// Unmounts the share when MountShare mounted it; true when there was nothing to do.
[[nodiscard]] bool UnmountShare(const ShareAddress& address, QString& error);

// The system's text for an errno value.
QString SystemErrorText(int code);

}  // namespace corvane
