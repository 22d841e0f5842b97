#include "engine/FileCopy.h"

#include <QByteArray>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <iterator>
#include <memory>

#include "engine/ArchiveThreads.h"
#include "engine/DestinationLookahead.h"
#include "engine/FolderLookup.h"
#include "engine/FolderPath.h"
#include "engine/FolderWalk.h"
#include "engine/LinkCopy.h"
#include "engine/LocalPath.h"
#include "engine/StoredFiles.h"
#include "io/DescriptorIo.h"
#include "io/ReplacingFile.h"
#include "log/Log.h"
#include "model/FileName.h"

namespace corvane {

namespace {

// The read/write path's buffer; allocated once per file list and reused for every file,
// since fresh memory is slow to touch the first time.
constexpr size_t kBufferSize = 128 * 1024;
// One kernel-side copy call moves at most this much; the loop repeats until the end.
constexpr size_t kKernelChunk = size_t{1} << 30;

QString SystemText(int error) {
    return qt_error_string(error);
}

// Errors with which the kernel-side copy declines a pair of files (another file
// system, an old kernel, a file system without support); the read/write path takes
// over from the current offsets.
bool KernelCopyDeclined(int error) {
    return error == EXDEV || error == ENOSYS || error == EINVAL || error == EOPNOTSUPP ||
           error == ENOTSUP || error == EBADF || error == EPERM || error == ETXTBSY;
}

class FileCopier {
  public:
    // Copies one file; on failure `reason` says what went wrong and the destination is
    // untouched.
    bool Copy(const QString& source, const QString& destination, QString& reason);

  private:
    bool CopyBytes(int in, int out, off_t expected, QString& reason);
    bool ReadWrite(int in, int out, off_t& total, QString& reason);

    std::unique_ptr<char[]> m_buffer;
};

bool FileCopier::Copy(const QString& source, const QString& destination, QString& reason) {
    const QByteArray sourceBytes = FileNameToBytes(source);
    const QByteArray destinationBytes = FileNameToBytes(destination);

    // Non-blocking, so that a source that has become a FIFO cannot hang the run before
    // the type check turns it down; regular files ignore the flag.
    FileDescriptor in(
        ::open(sourceBytes.constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (!in.IsOpen()) {
        reason = QStringLiteral("cannot open the source file: ") + SystemText(errno);
        return false;
    }
    struct stat info {};
    if (::fstat(in.Get(), &info) != 0) {
        reason = QStringLiteral("cannot read the source file's attributes: ") + SystemText(errno);
        return false;
    }
    if (!S_ISREG(info.st_mode)) {
        reason = QStringLiteral("the source is not a regular file");
        return false;
    }

    ReplacingFile out;
    const bool created = CreateInFolderPath(destinationBytes,
                                            [&] { return out.Create(AT_FDCWD, destinationBytes); });
    if (!created) {
        reason = QStringLiteral("cannot create a temporary file in the destination folder: ") +
                 SystemText(errno);
        return false;
    }
    // From here on every failure removes the temporary file (out's destructor).
    if (!CopyBytes(in.Get(), out.Fd(), info.st_size, reason)) {
        return false;
    }
    // Permission bits are a courtesy: file systems without them (FAT) may refuse.
    ::fchmod(out.Fd(), info.st_mode & 07777);
    // The modification time is what tells an unchanged file on the next run.
    const struct timespec times[2] = {info.st_atim, info.st_mtim};
    if (::futimens(out.Fd(), times) != 0) {
        reason = QStringLiteral("cannot set the file time: ") + SystemText(errno);
        return false;
    }
    if (!out.Finish()) {
        reason = QStringLiteral("cannot finish writing: ") + SystemText(errno);
        return false;
    }
    if (!out.Commit()) {
        reason = QStringLiteral("cannot replace the earlier copy: ") + SystemText(errno);
        return false;
    }
    return true;
}

// Copies from the current offsets to the end of the source. The kernel-side copy moves
// the data without passing it through user memory (and clones extents where the file
// system can); when it declines, or reports the end early, the read/write path goes on
// from where it stopped. A source shorter than it was when opened fails the copy.
bool FileCopier::CopyBytes(int in, int out, off_t expected, QString& reason) {
    off_t total = 0;
    for (;;) {
        const ssize_t copied = ::copy_file_range(in, nullptr, out, nullptr, kKernelChunk, 0);
        if (copied > 0) {
            total += copied;
            if (total >= expected) {
                break;  // the read below confirms the end without another round
            }
            continue;
        }
        if (copied < 0 && errno == EINTR) {
            continue;
        }
        if (copied < 0 && !KernelCopyDeclined(errno)) {
            reason = QStringLiteral("cannot copy the data: ") + SystemText(errno);
            return false;
        }
        // Declined, or the end as the kernel sees it: some file systems report an early
        // end here, so the read/write path confirms it (one empty read for most files).
        break;
    }
    if (!ReadWrite(in, out, total, reason)) {
        return false;
    }
    if (total < expected) {
        reason = QStringLiteral("the source file became shorter while it was copied");
        return false;
    }
    return true;
}

bool FileCopier::ReadWrite(int in, int out, off_t& total, QString& reason) {
    if (!m_buffer) {
        m_buffer = std::make_unique_for_overwrite<char[]>(kBufferSize);
    }
    char* buffer = m_buffer.get();
    for (;;) {
        const ssize_t got = ReadSome(in, buffer, kBufferSize);
        if (got < 0) {
            reason = QStringLiteral("cannot read the source file: ") + SystemText(errno);
            return false;
        }
        if (got == 0) {
            return true;
        }
        if (!WriteAll(out, buffer, static_cast<size_t>(got))) {
            reason = QStringLiteral("cannot write the copy: ") + SystemText(errno);
            return false;
        }
        total += got;
    }
}

bool SameTime(const struct timespec& a, const struct timespec& b) {
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

bool SameModificationTime(const struct timespec& source, const struct timespec& copy) {
    if (source.tv_sec != copy.tv_sec) {
        return false;
    }
    // A file system that keeps coarser times (whole seconds on FAT or ext3, 10 ms on
    // exFAT, 100 ns on NTFS and SMB) stores the source's time cut down to its step; the
    // copy then matches the source cut to that step, never a later time.
    for (long step = 1; step <= 1000000000L; step *= 10) {
        if (copy.tv_nsec % step != 0) {
            break;
        }
        if (copy.tv_nsec == source.tv_nsec - source.tv_nsec % step) {
            return true;
        }
    }
    return false;
}

bool SameFile(const struct statx& source, const DestinationFigures& copy) {
    return S_ISREG(source.stx_mode) && copy.regularFile && source.stx_size == copy.size &&
           SameModificationTime({source.stx_mtime.tv_sec, source.stx_mtime.tv_nsec},
                                {copy.seconds, copy.nanoseconds});
}

// The unchanged test of a run over many files. The destination's figures may come from
// a lookahead; the source is looked up here, at the moment of the decision, so a file
// changed since the walk listed it is copied.
class UnchangedTest {
  public:
    bool IsSame(const QString& source, const DestinationFigures& copy) {
        if (!copy.regularFile) {
            return false;  // nothing to compare with: no need to look at the source
        }
        struct statx info {};
        return m_source.LookUp(FileNameToBytes(source), 0, info) && SameFile(info, copy);
    }

  private:
    FolderLookup m_source;
};

}  // namespace

bool IsSameFile(const QString& source, const QString& destination) {
    FolderLookup lookup;
    return UnchangedTest().IsSame(source, LookUpDestination(lookup, destination));
}

bool CopyFileList(const QString& sourceBase, const FileList& list, const QString& targetFolder,
                  const StopSignal& stop) {
    if (list.empty()) {
        return true;
    }
    const int count = static_cast<int>(list.size());
    SetProgressRange(0, count);
    const QString target = WithSlash(targetFolder);
    FileCopier copier;
    UnchangedTest unchanged;
    // One thread, as for archives, looks the destination up inline.
    DestinationLookahead destinations(sourceBase, list, target, stop, ArchiveThreads());
    for (int i = 0; i < count; ++i) {
        const FileListEntry& entry = list[static_cast<size_t>(i)];
        const DestinationFigures there = destinations.Next();
        const QString relative =
            !IsFolderKind(entry.kind) ? PathBelow(sourceBase, entry.path) : QString();
        if (!relative.isEmpty()) {
            const QString& source = entry.path;
            const QString destination = target + relative;
            QString reason;
            bool saved = true;
            if (entry.kind == kListLink || !unchanged.IsSame(source, there)) {
                saved = entry.kind == kListLink ? CopyLink(source, destination, reason)
                                                : copier.Copy(source, destination, reason);
                if (saved) {
                    CountStoredFile();
                }
            }
            if (!saved) {
                Log("  Error: cannot save file %s",
                    qUtf8Printable(FileNameForDisplay(destination)));
                Log("  ...%s", qUtf8Printable(reason));
                SetProgressPos(i + 1);
                return false;
            }
        }
        SetProgressPos(i + 1);
        if (stop.IsSet()) {
            break;
        }
    }
    return true;
}

void MakeListedFolders(const QString& source, const FileList& list, const QString& target) {
    const QString to = WithSlash(target);
    for (const FileListEntry& entry : list) {
        const QString relative =
            IsFolderKind(entry.kind) ? PathBelow(source, entry.path) : QString();
        if (relative.isEmpty()) {
            continue;
        }
        // On a later run the folders are there: one look at each, nothing made.
        const QByteArray folder = FileNameToBytes(to + relative);
        struct stat info {};
        if (::stat(folder.constData(), &info) != 0 || !S_ISDIR(info.st_mode)) {
            if (!CreateFolderPath(to + relative) || ::stat(folder.constData(), &info) != 0) {
                continue;
            }
        }
        // A copy of a read-only folder must still take its files; FinishListedFolders
        // gives it the source's bits at the end.
        if ((info.st_mode & S_IRWXU) != S_IRWXU) {
            ::chmod(folder.constData(), (info.st_mode & 07777) | S_IRWXU);
        }
    }
}

void FinishListedFolders(const QString& source, const FileList& list, const QString& target) {
    const QString to = WithSlash(target);
    auto finish = [](const QString& from, const QString& onto) {
        struct stat info {};
        struct stat copy {};
        const QByteArray folder = FileNameToBytes(onto);
        if (::lstat(FileNameToBytes(from).constData(), &info) != 0 || !S_ISDIR(info.st_mode)) {
            return;
        }
        // A folder that already has the bits and times is left alone: setting them again
        // would write its inode (a new change time) on every run over an unchanged tree.
        const bool hasStat = ::lstat(folder.constData(), &copy) == 0 && S_ISDIR(copy.st_mode);
        if (!hasStat || (copy.st_mode & 07777) != (info.st_mode & 07777)) {
            // Courtesies, as for files: file systems without them (FAT) may refuse.
            ::chmod(folder.constData(), info.st_mode & 07777);
        }
        if (!hasStat || !SameTime(copy.st_atim, info.st_atim) ||
            !SameTime(copy.st_mtim, info.st_mtim)) {
            const struct timespec times[2] = {info.st_atim, info.st_mtim};
            ::utimensat(AT_FDCWD, folder.constData(), times, AT_SYMLINK_NOFOLLOW);
        }
    };
    // The walk lists a folder after its contents, so a folder's time is set after
    // everything that is made in it.
    for (const FileListEntry& entry : list) {
        const QString relative =
            IsFolderKind(entry.kind) ? PathBelow(source, entry.path) : QString();
        if (!relative.isEmpty()) {
            finish(entry.path, to + relative);
        }
    }
    finish(source, target);
}

}  // namespace corvane
