#include "engine/LocalTreeRemoval.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "io/DescriptorIo.h"

namespace corvane {
namespace {

// Each level holds one open descriptor; this keeps a hostile tree from using them up.
const int kMaxDepth = 256;

bool IsDotName(const char* name) {
    return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

RemovalResult RemoveBelow(int parentFd, const QByteArray& name, dev_t device, int depth,
                          int& error) {
    struct stat info {};
    if (::fstatat(parentFd, name.constData(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
        error = errno;
        return error == ENOENT ? RemovalResult::kAbsent : RemovalResult::kFailed;
    }
    if (!S_ISDIR(info.st_mode)) {
        if (::unlinkat(parentFd, name.constData(), 0) != 0) {
            error = errno;
            return RemovalResult::kFailed;
        }
        return RemovalResult::kRemoved;
    }
    if (info.st_dev != device || depth >= kMaxDepth) {
        error = info.st_dev != device ? EXDEV : ELOOP;
        return RemovalResult::kFailed;
    }
    const FileDescriptor folder(OpenFolderAt(parentFd, name));
    std::vector<QByteArray> names;
    if (!folder.IsOpen() || !ReadFolderNames(folder.Get(), names)) {
        error = errno;
        return RemovalResult::kFailed;
    }
    bool complete = true;
    for (const QByteArray& child : names) {
        if (RemoveBelow(folder.Get(), child, device, depth + 1, error) == RemovalResult::kFailed) {
            complete = false;
        }
    }
    if (!complete) {
        return RemovalResult::kFailed;
    }
    if (::unlinkat(parentFd, name.constData(), AT_REMOVEDIR) != 0) {
        error = errno;
        return RemovalResult::kFailed;
    }
    return RemovalResult::kRemoved;
}

}  // namespace

bool ReadFolderNames(int folderFd, std::vector<QByteArray>& names) {
    const int listFd = ::dup(folderFd);
    if (listFd < 0) {
        return false;
    }
    DIR* dir = ::fdopendir(listFd);
    if (dir == nullptr) {
        ::close(listFd);
        return false;
    }
    errno = 0;
    while (const dirent* entry = ::readdir(dir)) {
        if (!IsDotName(entry->d_name)) {
            names.emplace_back(entry->d_name);
        }
    }
    const bool ok = errno == 0;
    ::closedir(dir);
    return ok;
}

RemovalResult RemoveTreeAt(int parentFd, const QByteArray& name, int& error) {
    struct stat parent {};
    if (name.isEmpty() || name.contains('/') || IsDotName(name.constData()) ||
        ::fstat(parentFd, &parent) != 0) {
        error = EINVAL;
        return RemovalResult::kFailed;
    }
    return RemoveBelow(parentFd, name, parent.st_dev, 0, error);
}

int OpenFolder(const QByteArray& path, bool noFollowLast) {
    return ::open(path.constData(),
                  O_RDONLY | O_DIRECTORY | O_CLOEXEC | (noFollowLast ? O_NOFOLLOW : 0));
}

int OpenFolderAt(int parentFd, const QByteArray& name) {
    return ::openat(parentFd, name.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOFOLLOW);
}

}  // namespace corvane
