#pragma once

// Replacing a file only when its new content is complete: the content goes to a
// temporary beside the target (".<name>.corvane-XXXXXX", made by TemporaryNameFor), which
// is renamed over the target at the end. rename(2) replaces a file or link in the way
// and never writes through it; a crash leaves the old file and at worst a temporary
// that IsTemporaryName recognises.
//
// Names are bytes in the file system's encoding. A folder descriptor anchors the
// temporary and the rename in one folder (a restore walks its target that way); with
// AT_FDCWD the name is an ordinary path. One object belongs to one thread.

#include <fcntl.h>
#include <sys/types.h>

#include <QByteArray>
#include <QByteArrayView>

namespace corvane {

// A name for a temporary beside the file `name` (a bare name): ".<name>.corvane-XXXXXX"
// with six random letters, the name shortened at a character boundary so the result
// stays a legal file name.
QByteArray TemporaryNameFor(const QByteArray& name);

// True for a name made by TemporaryNameFor: a write that was cut off (a crash, a kill)
// leaves such a file behind, and it is never part of a stored copy.
bool IsTemporaryName(QByteArrayView name);

class ReplacingFile {
  public:
    enum class Sync { kNo, kYes };

    ReplacingFile() = default;
    // Removes the temporary unless it was committed.
    ~ReplacingFile();
    ReplacingFile(const ReplacingFile&) = delete;
    ReplacingFile& operator=(const ReplacingFile&) = delete;

    // Creates a new, empty file under a temporary name beside `name` (relative to
    // `folderFd`, or a path with AT_FDCWD) with `mode` less the umask. False with errno
    // set when none could be made.
    [[nodiscard]] bool Create(int folderFd, const QByteArray& name, mode_t mode = 0666);
    // Creates a symbolic link holding `linkText` under a temporary name beside `name`.
    [[nodiscard]] bool CreateLink(int folderFd, const QByteArray& name, const QByteArray& linkText);

    // The temporary's descriptor (-1 for a link or once finished).
    int Fd() const { return m_fd; }
    // The temporary's name as Create got it: relative to the folder, or a path.
    const QByteArray& TemporaryName() const { return m_tempName; }

    // Flushes the file to the disk when asked, then closes it; false with errno set.
    [[nodiscard]] bool Finish(Sync sync = Sync::kNo);
    // Finishes the file when still open and renames the temporary over the name. False
    // with errno set on failure; the temporary is gone then.
    [[nodiscard]] bool Commit(Sync sync = Sync::kNo);
    // Closes and removes the temporary, keeping errno.
    void Discard();

  private:
    template <typename Make>
    bool MakeBeside(int folderFd, const QByteArray& name, Make make);

    int m_folderFd = AT_FDCWD;
    QByteArray m_name;
    QByteArray m_tempName;
    int m_fd = -1;
};

}  // namespace corvane
