#include "restore/RestoreTarget.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QScopeGuard>
#include <QStringList>
#include <algorithm>
#include <cerrno>

#include "engine/FolderPath.h"
#include "engine/LocalPath.h"
#include "io/DescriptorIo.h"
#include "io/ReplacingFile.h"
#include "log/Log.h"
#include "model/FileName.h"

namespace corvane {

namespace {

void CloseIfOpen(int& fd) {
    if (fd >= 0) {
        ::close(fd);
        fd = -1;
    }
}

QByteArrayList PartsOf(const QByteArray& path) {
    QByteArrayList parts;
    for (const QByteArray& part : path.split('/')) {
        if (!part.isEmpty() && part != ".") {
            parts << part;
        }
    }
    return parts;
}

QString Shown(const QString& path) {
    return FileNameForDisplay(path);
}

}  // namespace

void SplitRelative(const QString& relative, QString& folder, QString& name) {
    const qsizetype slash = relative.lastIndexOf(u'/');
    folder = slash < 0 ? QString() : relative.left(slash);
    name = relative.mid(slash + 1);
}

RestoreTarget::RestoreTarget(const QString& root) : m_root(root) {}

RestoreTarget::~RestoreTarget() {
    if (m_folderFd != m_rootFd) {
        CloseIfOpen(m_folderFd);
    }
    CloseIfOpen(m_rootFd);
}

QString RestoreTarget::PathOf(const QString& relative) const {
    if (relative.isEmpty()) {
        return m_root;
    }
    return WithSlashOrRoot(m_root) + relative;
}

int RestoreTarget::OpenBelow(int parent, const QByteArray& name, const QString& shown) {
    constexpr int kFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
    int fd = ::openat(parent, name.constData(), kFlags);
    if (fd < 0 && errno == ENOENT) {
        if (::mkdirat(parent, name.constData(), 0777) != 0 && errno != EEXIST) {
            Log("  Error: cannot create folder %s: %s", qUtf8Printable(Shown(shown)),
                qUtf8Printable(qt_error_string(errno)));
            return -1;
        }
        fd = ::openat(parent, name.constData(), kFlags);
    }
    if (fd >= 0) {
        return fd;
    }
    const int error = errno;
    struct stat info {};
    if (::fstatat(parent, name.constData(), &info, AT_SYMLINK_NOFOLLOW) == 0 &&
        S_ISLNK(info.st_mode)) {
        Log("  Error: %s is a symbolic link, nothing is restored through it",
            qUtf8Printable(Shown(shown)));
    } else {
        Log("  Error: cannot restore into the folder %s: %s", qUtf8Printable(Shown(shown)),
            qUtf8Printable(qt_error_string(error)));
    }
    return -1;
}

int RestoreTarget::Folder(const QString& relative) {
    if (m_folderFd >= 0 && relative == m_folderRelative) {
        return m_folderFd;
    }
    if (m_folderFd != m_rootFd) {
        CloseIfOpen(m_folderFd);
    }
    m_folderFd = -1;
    if (m_rootFd < 0) {
        // The root as the task names it; made when missing.
        if (!CreateFolderPath(m_root)) {
            Log("  Error: cannot create folder %s", qUtf8Printable(Shown(m_root)));
            return -1;
        }
        m_rootFd = ::open(FileNameToBytes(m_root).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (m_rootFd < 0) {
            Log("  Error: cannot open folder %s: %s", qUtf8Printable(Shown(m_root)),
                qUtf8Printable(qt_error_string(errno)));
            return -1;
        }
    }
    int current = m_rootFd;
    QString walked;
    for (const QByteArray& part : PartsOf(FileNameToBytes(relative))) {
        walked =
            walked.isEmpty() ? FileNameFromBytes(part) : walked + u'/' + FileNameFromBytes(part);
        const int next = part == ".." ? -1 : OpenBelow(current, part, PathOf(walked));
        if (current != m_rootFd) {
            ::close(current);
        }
        if (next < 0) {
            return -1;
        }
        current = next;
    }
    m_folderFd = current;
    m_folderRelative = relative;
    return current;
}

bool RestoreTarget::LinkStaysInside(const QString& relative, const QByteArray& linkTarget) {
    if (linkTarget.isEmpty() || linkTarget.startsWith('/') || linkTarget.contains('\0')) {
        return false;
    }
    QByteArrayList where = PartsOf(FileNameToBytes(relative));
    if (where.isEmpty()) {
        return false;
    }
    where.removeLast();  // the link's own name: resolution starts in its folder
    for (const QByteArray& part : PartsOf(linkTarget)) {
        if (part != "..") {
            where << part;
        } else if (where.isEmpty()) {
            return false;
        } else {
            where.removeLast();
        }
    }
    return true;
}

bool RestoreTarget::MakeLink(const QString& relative, const QByteArray& linkTarget) {
    if (!LinkStaysInside(relative, linkTarget)) {
        Log("  Error: the symbolic link %s leads outside %s, not restored",
            qUtf8Printable(Shown(PathOf(relative))), qUtf8Printable(Shown(m_root)));
        return false;
    }
    QString folder;
    QString name;
    SplitRelative(relative, folder, name);
    const int fd = Folder(folder);
    if (fd < 0) {
        return false;
    }
    ReplacingFile link;
    if (link.CreateLink(fd, FileNameToBytes(name), linkTarget) && link.Commit()) {
        return true;
    }
    Log("  Error: cannot create the symbolic link %s: %s", qUtf8Printable(Shown(PathOf(relative))),
        qUtf8Printable(qt_error_string(errno)));
    return false;
}

bool RestoreTarget::CopyIn(const QString& source, const QString& relative) {
    QByteArray linkText;
    if (ReadLinkText(source, linkText)) {
        return MakeLink(relative, linkText);
    }
    QString reason;
    if (CopyFileIn(source, relative, reason)) {
        return true;
    }
    if (Stopped()) {
        return false;
    }
    Log("  Error: cannot save file %s", qUtf8Printable(Shown(PathOf(relative))));
    if (!reason.isEmpty()) {
        Log("  ...%s", qUtf8Printable(reason));
    }
    return false;
}

bool RestoreTarget::CopyFileIn(const QString& source, const QString& relative, QString& reason) {
    QString folder;
    QString name;
    SplitRelative(relative, folder, name);
    const int folderFd = Folder(folder);
    if (folderFd < 0) {
        return false;  // logged
    }
    // Non-blocking, so that a stored file that has become a FIFO cannot hang the run.
    const int in =
        ::open(FileNameToBytes(source).constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    struct stat info {};
    if (in < 0 || ::fstat(in, &info) != 0 || !S_ISREG(info.st_mode)) {
        reason = QStringLiteral("cannot read the stored copy %1: %2")
                     .arg(Shown(source),
                          in < 0 ? qt_error_string(errno) : QStringLiteral("no regular file"));
        if (in >= 0) {
            ::close(in);
        }
        return false;
    }
    const int inFd = in;
    auto closeIn = qScopeGuard([inFd] { ::close(inFd); });
    const QByteArray nameBytes = FileNameToBytes(name);
    struct stat live {};
    if (::fstatat(folderFd, nameBytes.constData(), &live, AT_SYMLINK_NOFOLLOW) == 0 &&
        S_ISREG(live.st_mode) && live.st_size == info.st_size &&
        live.st_mtim.tv_sec == info.st_mtim.tv_sec) {
        return true;  // unchanged since the backup
    }
    ReplacingFile out;
    if (!out.Create(folderFd, nameBytes)) {
        reason = qt_error_string(errno);
        return false;
    }
    constexpr size_t kBufferSize = 128 * 1024;
    if (!m_buffer) {
        m_buffer = std::make_unique_for_overwrite<char[]>(kBufferSize);
    }
    for (;;) {
        if (Stopped()) {
            return false;
        }
        const ssize_t got = ReadSome(in, m_buffer.get(), kBufferSize);
        if (got < 0 || !WriteAll(out.Fd(), m_buffer.get(), size_t(std::max<ssize_t>(got, 0)))) {
            reason = qt_error_string(errno);
            return false;
        }
        if (got == 0) {
            break;
        }
    }
    // Permission bits are a courtesy: file systems without them (FAT) may refuse.
    ::fchmod(out.Fd(), info.st_mode & 07777);
    const struct timespec times[2] = {info.st_atim, info.st_mtim};
    if (::futimens(out.Fd(), times) != 0 || !out.Commit()) {
        reason = qt_error_string(errno);
        return false;
    }
    return true;
}

void RestoreTarget::KeepFolderLook(const QString& relative, mode_t mode, const timespec& access,
                                   const timespec& modified) {
    m_folderLooks.push_back({relative, mode, {access, modified}});
}

void RestoreTarget::FinishFolders() {
    auto depth = [](const QString& relative) {
        return relative.isEmpty() ? 0 : relative.count(u'/') + 1;
    };
    std::stable_sort(m_folderLooks.begin(), m_folderLooks.end(),
                     [&](const FolderLook& a, const FolderLook& b) {
                         return depth(a.relative) > depth(b.relative);
                     });
    for (const FolderLook& look : m_folderLooks) {
        const int fd = Folder(look.relative);
        if (fd >= 0) {
            ::fchmod(fd, look.mode & 07777);
            ::futimens(fd, look.times);
        }
    }
    m_folderLooks.clear();
}

}  // namespace corvane
