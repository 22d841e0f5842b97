#include "engine/FolderPath.h"

#include <QByteArray>

#include <sys/stat.h>
#include <cerrno>

#include "model/FileName.h"

namespace corvane {

namespace {

bool IsFolder(const char* path) {
    struct stat info {};
    return ::stat(path, &info) == 0 && S_ISDIR(info.st_mode);
}

// Tries the deepest folder first: when only the last part is missing (the usual case)
// that is a single call; the parents are made only after the system reports them
// missing.
bool MakeFolders(QByteArray& path) {
    if (::mkdir(path.constData(), 0777) == 0) {
        return true;
    }
    if (errno == EEXIST) {
        return IsFolder(path.constData());
    }
    if (errno != ENOENT) {
        return false;
    }
    const qsizetype slash = path.lastIndexOf('/');
    if (slash <= 0) {
        return false;  // the root or a bare name cannot be missing for a parent reason
    }
    QByteArray parent = path.left(slash);
    while (parent.size() > 1 && parent.endsWith('/')) {
        parent.chop(1);
    }
    if (!MakeFolders(parent)) {
        return false;
    }
    return ::mkdir(path.constData(), 0777) == 0 || (errno == EEXIST && IsFolder(path.constData()));
}

}  // namespace

bool CreateFolderPath(const QString& path) {
    QByteArray bytes = FileNameToBytes(path);
    while (bytes.size() > 1 && bytes.endsWith('/')) {
        bytes.chop(1);
    }
    if (bytes.isEmpty()) {
        return false;
    }
    return MakeFolders(bytes);
}

bool CreateInFolderPath(const QByteArray& target, const std::function<bool()>& create) {
    if (create()) {
        return true;
    }
    if (errno != ENOENT) {
        return false;
    }
    // The folder copy makes the walked folders; anything else is made here.
    const qsizetype slash = target.lastIndexOf('/');
    if (slash <= 0 || !CreateFolderPath(FileNameFromBytes(target.left(slash)))) {
        errno = ENOENT;
        return false;
    }
    return create();
}

}  // namespace corvane
