#include "engine/FolderWalk.h"

#include <QByteArray>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
#include <cstring>
#include <iterator>
#include <string>
#include <vector>

#include "io/DescriptorIo.h"
#include "io/ReplacingFile.h"
#include "log/Log.h"
#include "model/FileName.h"

namespace corvane {

namespace {

enum class EntryClass { System, File, Folder, Link };

// Sorts one directory entry. The type from the directory entry itself spares a stat
// call for nearly every entry; only file systems that leave the type open cost one.
// Links are never followed: a link is listed as itself, whatever it points to.
EntryClass Classify(int folderFd, const char* name, unsigned char type) {
    switch (type) {
        case DT_REG:
            return EntryClass::File;
        case DT_DIR:
            return EntryClass::Folder;
        case DT_LNK:
            return EntryClass::Link;
        case DT_UNKNOWN: {
            struct stat info {};
            if (::fstatat(folderFd, name, &info, AT_SYMLINK_NOFOLLOW) != 0) {
                return EntryClass::System;  // gone since it was read
            }
            if (S_ISREG(info.st_mode)) {
                return EntryClass::File;
            }
            if (S_ISDIR(info.st_mode)) {
                return EntryClass::Folder;
            }
            return S_ISLNK(info.st_mode) ? EntryClass::Link : EntryClass::System;
        }
        default:  // FIFO, socket, character or block device: nothing a backup can hold
            return EntryClass::System;
    }
}

bool IsDotOrDotDot(const char* name) {
    return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

constexpr char kCacheTagName[] = "CACHEDIR.TAG";

// A folder that holds a regular file CACHEDIR.TAG starting with the signature of the
// Cache Directory Tagging standard keeps data that can be made again.
bool HoldsCacheTag(int folderFd) {
    static constexpr char kSignature[] = "Signature: 8a477f597d28d172789f06886806bc55";
    constexpr size_t kLength = sizeof kSignature - 1;
    const int fd = ::openat(folderFd, kCacheTagName,
                            O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        return false;
    }
    struct stat info {};
    char head[kLength];
    const bool valid = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) &&
                       ReadAllAt(fd, head, kLength, 0) &&
                       std::memcmp(head, kSignature, kLength) == 0;
    ::close(fd);
    return valid;
}

// The entries of one folder, read in one go before any is listed, so that the cache tag
// is known from the names alone: a folder without one costs no look for it.
class FolderEntries {
  public:
    explicit FolderEntries(DIR* folder) {
        while (const dirent* entry = ::readdir(folder)) {
            if (!IsDotOrDotDot(entry->d_name)) {
                m_entries.push_back({m_names.size(), entry->d_type});
                m_names.append(entry->d_name).push_back('\0');
            }
        }
    }

    size_t Count() const { return m_entries.size(); }
    const char* Name(size_t i) const { return m_names.c_str() + m_entries[i].offset; }
    unsigned char Type(size_t i) const { return m_entries[i].type; }

    // Whether an entry named CACHEDIR.TAG may be a regular file (only then can it be a tag).
    bool MayHoldCacheTag() const {
        for (size_t i = 0; i < Count(); ++i) {
            if ((Type(i) == DT_REG || Type(i) == DT_UNKNOWN) &&
                std::strcmp(Name(i), kCacheTagName) == 0) {
                return true;
            }
        }
        return false;
    }

  private:
    struct Entry {
        size_t offset;
        unsigned char type;
    };
    std::string m_names;  // every name followed by its NUL
    std::vector<Entry> m_entries;
};

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

// Reads an open folder up to its first entry the walk lists and closes it.
bool HasVisibleEntries(DIR* folder) {
    if (folder == nullptr) {
        return false;
    }
    const int fd = ::dirfd(folder);
    bool visible = false;
    while (const dirent* entry = ::readdir(folder)) {
        if (!IsDotOrDotDot(entry->d_name) &&
            Classify(fd, entry->d_name, entry->d_type) != EntryClass::System) {
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
    // `prefix`. Answers whether it held a listed entry, which for a walked subfolder
    // spares a second reading to learn its kind.
    bool Walk(DIR* folder, const QString& prefix) {
        const int fd = ::dirfd(folder);
        const FolderEntries entries(folder);
        if (m_recursive && !(m_what & kListStoredCopy) && entries.MayHoldCacheTag() &&
            HoldsCacheTag(fd)) {
            ::closedir(folder);
            return ListCacheTag(prefix);
        }
        bool visible = false;
        for (size_t i = 0; i < entries.Count(); ++i) {
            const char* entryName = entries.Name(i);
            // A stored copy may hold the temporary of a write that a kill cut off: it is
            // no part of the backup.
            if ((m_what & kListStoredCopy) && IsTemporaryName(entryName)) {
                continue;
            }
            const EntryClass entryClass = Classify(fd, entryName, entries.Type(i));
            // Any bytes are a name: one that is not UTF-8 keeps them as escapes.
            const QString name = FileNameFromBytes(entryName);
            if (entryClass == EntryClass::System) {
                if ((m_what & kListFiles) && !(m_what & (kListStoredCopy | kListQuiet))) {
                    Log("  Warning: '%s' is not a regular file, folder or link, skipped",
                        qUtf8Printable(FileNameForDisplay(prefix + name)));
                }
                continue;
            }
            visible = true;
            if (entryClass != EntryClass::Folder) {
                if (m_what & kListFiles) {
                    m_list.push_back({m_fullPaths ? prefix + name : name,
                                      entryClass == EntryClass::Link ? kListLink : kListFile});
                }
                continue;
            }
            // A folder: its contents first, then its own record.
            bool folderVisible = false;
            if (m_recursive) {
                if (DIR* subfolder = OpenSubfolder(fd, entryName)) {
                    folderVisible = Walk(subfolder, prefix + name + u'/');
                }
            } else if (m_what & kListFolders) {
                folderVisible = HasVisibleEntries(OpenSubfolder(fd, entryName));
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
    // A cache folder is saved with its tag file alone, as tar --exclude-caches does.
    bool ListCacheTag(const QString& prefix) {
        const QString folder = prefix.size() > 1 ? prefix.chopped(1) : prefix;
        Log("  Cache folder %s: only its CACHEDIR.TAG is saved",
            qUtf8Printable(FileNameForDisplay(folder)));
        if (m_what & kListFiles) {
            const QString tag = QLatin1String(kCacheTagName);
            m_list.push_back({m_fullPaths ? prefix + tag : tag, kListFile});
        }
        return true;
    }

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

void PutFoldersFirst(FileList& list) {
    for (auto folder = list.begin(); folder != list.end(); ++folder) {
        if (!IsFolderKind(folder->kind)) {
            continue;
        }
        // The folder's contents are the entries right before it that lie below it
        // (entries emptied by the filters go along; every consumer skips them).
        const QString below = folder->path + u'/';
        auto first = folder;
        while (first != list.begin() &&
               (std::prev(first)->path.isEmpty() || std::prev(first)->path.startsWith(below))) {
            --first;
        }
        std::rotate(first, folder, std::next(folder));
    }
}

}  // namespace corvane
