#include "engine/FolderWalk.h"

#include <QByteArray>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "model/FileName.h"

namespace corvane {

namespace {

enum class EntryClass { Skip, File, Folder };

// Sorts one directory entry. The type from the directory entry itself spares a stat
// call for nearly every entry; only links and file systems that leave the type open
// cost one. Hidden entries (and "." and "..") are skipped before this.
EntryClass Classify(int folderFd, const dirent* entry) {
    struct stat info {};
    switch (entry->d_type) {
        case DT_REG:
            return EntryClass::File;
        case DT_DIR:
            return EntryClass::Folder;
        case DT_LNK:
            // A link to a regular file is saved as that file; a link to a folder is
            // never followed; a dangling link is skipped like any system entry.
            if (::fstatat(folderFd, entry->d_name, &info, 0) != 0) {
                return EntryClass::Skip;
            }
            return S_ISREG(info.st_mode) ? EntryClass::File : EntryClass::Skip;
        case DT_UNKNOWN:
            if (::fstatat(folderFd, entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0) {
                return EntryClass::Skip;
            }
            if (S_ISREG(info.st_mode)) {
                return EntryClass::File;
            }
            if (S_ISDIR(info.st_mode)) {
                return EntryClass::Folder;
            }
            if (S_ISLNK(info.st_mode) && ::fstatat(folderFd, entry->d_name, &info, 0) == 0 &&
                S_ISREG(info.st_mode)) {
                return EntryClass::File;
            }
            return EntryClass::Skip;
        default:  // FIFO, socket, character or block device
            return EntryClass::Skip;
    }
}

bool IsHidden(const dirent* entry) {
    return entry->d_name[0] == '.';
}

// Opens a subfolder of an open folder. O_NOFOLLOW refuses a folder that was replaced
// by a link after it was listed, so the walk never leaves the tree through a link.
DIR* OpenSubfolder(int parentFd, const char* name) {
    const int fd = ::openat(parentFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        return nullptr;
    }
    DIR* folder = ::fdopendir(fd);
    if (folder == nullptr) {
        ::close(fd);
    }
    return folder;
}

DIR* OpenFolder(const QString& path) {
    return ::opendir(FileNameToBytes(path).constData());
}

// Reads an open folder up to its first visible entry and closes it.
bool HasVisibleEntries(DIR* folder) {
    if (folder == nullptr) {
        return false;
    }
    const int fd = ::dirfd(folder);
    bool visible = false;
    while (const dirent* entry = ::readdir(folder)) {
        if (!IsHidden(entry) && Classify(fd, entry) != EntryClass::Skip) {
            visible = true;
            break;
        }
    }
    ::closedir(folder);
    return visible;
}

class Walker {
  public:
    Walker(FileList& list, int what, bool recursive, bool fullPaths)
        : m_list(list), m_what(what), m_recursive(recursive), m_fullPaths(fullPaths) {}

    // Lists the open folder `folder` (closed on return), whose path followed by "/" is
    // `prefix`. Answers whether it held a visible entry, which for a walked subfolder
    // spares a second reading to learn its kind.
    bool Walk(DIR* folder, const QString& prefix) {
        const int fd = ::dirfd(folder);
        bool visible = false;
        while (const dirent* entry = ::readdir(folder)) {
            if (IsHidden(entry)) {
                continue;
            }
            const EntryClass entryClass = Classify(fd, entry);
            if (entryClass == EntryClass::Skip) {
                continue;
            }
            // Any bytes are a name: one that is not UTF-8 keeps them as escapes.
            const QString name = FileNameFromBytes(entry->d_name);
            visible = true;
            if (entryClass == EntryClass::File) {
                if (m_what & kListFiles) {
                    m_list.push_back({m_fullPaths ? prefix + name : name, kListFile});
                }
                continue;
            }
            // A folder: its contents first, then its own record.
            bool folderVisible = false;
            if (m_recursive) {
                if (DIR* subfolder = OpenSubfolder(fd, entry->d_name)) {
                    folderVisible = Walk(subfolder, prefix + name + u'/');
                }
            } else if (m_what & kListFolders) {
                folderVisible = HasVisibleEntries(OpenSubfolder(fd, entry->d_name));
            }
            if (m_what & kListFolders) {
                m_list.push_back({m_fullPaths ? prefix + name : name,
                                  folderVisible ? kListFolder : kListEmptyFolder});
            }
        }
        ::closedir(folder);
        return visible;
    }

  private:
    FileList& m_list;
    int m_what;
    bool m_recursive;
    bool m_fullPaths;
};

}  // namespace

void ListFolder(const QString& folder, FileList& list, int what, bool recursive, bool fullPaths) {
    if (folder.isEmpty()) {
        return;
    }
    DIR* opened = OpenFolder(folder);
    if (opened == nullptr) {
        return;
    }
    const QString prefix = folder.endsWith(u'/') ? folder : folder + u'/';
    Walker(list, what, recursive, fullPaths).Walk(opened, prefix);
}

bool FolderHasVisibleEntries(const QString& folder) {
    return !folder.isEmpty() && HasVisibleEntries(OpenFolder(folder));
}

}  // namespace corvane
