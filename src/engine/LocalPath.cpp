#include "engine/LocalPath.h"

#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>

#include "model/FileName.h"

namespace corvane {

QString WithSlash(const QString& folder) {
    return folder.isEmpty() || folder.endsWith(u'/') ? folder : folder + u'/';
}

QString WithSlashOrRoot(const QString& folder) {
    return folder.endsWith(u'/') ? folder : folder + u'/';
}

QString WithoutTrailingSlash(const QString& folder) {
    QString path = folder;
    while (path.size() > 1 && path.endsWith(u'/')) {
        path.chop(1);
    }
    return path;
}

QString PathBelow(QStringView base, const QString& path) {
    // Compared with its slash, so "/srcx" never passes for a child of "/src"; the root
    // keeps its single slash.
    while (base.size() > 1 && base.endsWith(u'/')) {
        base.chop(1);
    }
    if (path == base) {
        return QStringLiteral("");
    }
    const qsizetype prefix = base.endsWith(u'/') ? base.size() : base.size() + 1;
    if (base.isEmpty() || path.size() <= prefix || !path.startsWith(base) ||
        path.at(prefix - 1) != u'/') {
        return QString();
    }
    return path.mid(prefix);
}

QString FolderOfFile(const QString& path) {
    const qsizetype slash = path.lastIndexOf(u'/');
    if (slash < 0) {
        return QString();
    }
    return slash == 0 ? QStringLiteral("/") : path.left(slash);
}

bool LocalPathExists(const QString& path) {
    struct stat info {};
    return !path.isEmpty() && ::stat(FileNameToBytes(path).constData(), &info) == 0;
}

bool ReadLinkText(const QString& path, QByteArray& text) {
    const QByteArray native = FileNameToBytes(path);
    // The size lstat gives may be 0 (/proc) or stale: grow until the text fits.
    for (qsizetype size = 256; size <= 65536; size *= 4) {
        text.resize(size);
        const ssize_t got = ::readlink(native.constData(), text.data(), size_t(size));
        if (got < 0) {
            return false;
        }
        if (got < size) {
            text.truncate(got);
            return true;
        }
    }
    errno = ENAMETOOLONG;
    return false;
}

}  // namespace corvane
