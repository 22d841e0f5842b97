#pragma once

// The folder a restore writes into. Every folder below it is reached one name at a time
// from an open descriptor of its parent (openat with O_NOFOLLOW), so a symbolic link
// that sits where a folder of the backup should be is never followed, and nothing can
// swap a folder for a link between a check and a write. The root itself is opened as
// the task names it (links in the task's own path are the user's choice).
//
// Files are written as new files beside their target and renamed over it when complete
// (renameat replaces a link or file in the way, it never writes through it). Symbolic
// links of the backup are made only when their target, resolved by its text from the
// link's folder, stays inside the root.
//
// Paths are carried as text and reach the file system through FileNameToBytes; every
// refusal and failure is logged where it happens, naming the path with
// FileNameForDisplay. One object belongs to one thread; several objects on the same root
// may write side by side on their own threads (a folder another one just made is fine).

#include <sys/stat.h>

#include <QByteArray>
#include <QString>
#include <memory>
#include <vector>

#include "engine/StopSignal.h"

namespace corvane {

class RestoreTarget {
  public:
    explicit RestoreTarget(const QString& root);
    ~RestoreTarget();
    RestoreTarget(const RestoreTarget&) = delete;
    RestoreTarget& operator=(const RestoreTarget&) = delete;

    const QString& Root() const { return m_root; }
    // The full path of `relative` below the root, for log lines.
    QString PathOf(const QString& relative) const;

    // A descriptor of the folder `relative` ("" for the root, "a/b" below it), made with
    // its missing parents; owned by this object and valid until the next call. -1 after
    // the error line when a part is a symbolic link, no folder, or cannot be made.
    [[nodiscard]] int Folder(const QString& relative);

    // Makes `relative` a symbolic link to `linkTarget` (the bytes as stored), replacing
    // what is there. Refused with an error line when the target is empty, absolute or
    // leads outside the root.
    [[nodiscard]] bool MakeLink(const QString& relative, const QByteArray& linkTarget);

    // Copies the regular file `source` (a stored copy of the backup) to `relative`, with
    // its permission bits and times; a regular file there of the same size and
    // modification second is kept. A stored symbolic link is made again by MakeLink,
    // never followed. A failure logs "  Error: cannot save file %s" with the reason.
    [[nodiscard]] bool CopyIn(const QString& source, const QString& relative);

    // A stop cuts a file being written short (it stays a temporary and is removed);
    // CopyIn then fails without a line of its own.
    void StopOn(const StopSignal& stop) { m_stop = stop; }
    bool Stopped() const { return m_stop.IsSet(); }

    // Remembers the permission bits and times the folder `relative` gets from
    // FinishFolders.
    void KeepFolderLook(const QString& relative, mode_t mode, const timespec& access,
                        const timespec& modified);
    // Gives every remembered folder its bits and times, deepest first: a read-only
    // folder becomes so only after everything in it is written, and a folder's time is
    // set after its last change. Courtesies, as for files: nothing fails the restore.
    void FinishFolders();

    // True when the target's text, resolved from the folder of the link `relative`,
    // names a place inside the root.
    static bool LinkStaysInside(const QString& relative, const QByteArray& linkTarget);

  private:
    int OpenBelow(int parent, const QByteArray& name, const QString& shown);
    bool CopyFileIn(const QString& source, const QString& relative, QString& reason);

    QString m_root;
    int m_rootFd = -1;
    // The folder of the last call: the entries of one folder follow each other.
    QString m_folderRelative;
    int m_folderFd = -1;
    // The copy buffer, made on the first copy and kept for the others.
    std::unique_ptr<char[]> m_buffer;
    struct FolderLook {
        QString relative;
        mode_t mode;
        timespec times[2];
    };
    std::vector<FolderLook> m_folderLooks;
    StopSignal m_stop;
};

// Splits a relative path into its folder part ("" at the top) and its last name.
void SplitRelative(const QString& relative, QString& folder, QString& name);

}  // namespace corvane
