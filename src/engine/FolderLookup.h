#pragma once

// Looks files up relative to open folders: the figures a copy run compares (type, size,
// modification time) and nothing the kernel would have to fetch for the rest.
//
// A walk lists a folder's files with the contents of its subfolders in between, so the
// few folders on the way down are looked up again and again; relative to an open folder
// the kernel resolves only the file's own name instead of the whole path.
//
// Thread safety: one FolderLookup belongs to one thread; separate ones may run at once.

#include <QByteArray>

#include <sys/stat.h>
#include <list>

#include "io/DescriptorIo.h"

namespace corvane {

class FolderLookup {
  public:
    // Fills `info` with the type, size and modification time of `path` (in the file
    // system's encoding). `flags` is AT_SYMLINK_NOFOLLOW where a link must be seen as
    // itself. False when the path cannot be looked up or the file system gives no such
    // figures.
    [[nodiscard]] bool LookUp(const QByteArray& path, int flags, struct statx& info);

  private:
    // The folder's descriptor for `path` (AT_FDCWD for a bare name, -1 when the folder
    // cannot be opened); `name` points at the last part of `path`.
    int FolderOf(const QByteArray& path, const char*& name);

    // Deeper than any tree a walk usually goes down at once.
    static constexpr size_t kKept = 16;
    struct OpenFolder {
        QByteArray path;
        FileDescriptor fd;
    };
    std::list<OpenFolder> m_open;  // the most recent first
};

}  // namespace corvane
