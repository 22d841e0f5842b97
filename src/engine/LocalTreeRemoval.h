#pragma once

// Removing what an old backup left on a local disk without ever reaching past it: every
// step works relative to an open folder, no symbolic link is followed (a link is
// removed as a link, its target stays) and no other file system is entered.
//
// Thread safety: free functions; callers keep two of them off the same tree.

#include <QByteArray>
#include <vector>

namespace corvane {

// The outcome of a removal.
enum class RemovalResult {
    kRemoved,  // the entry and everything below it are gone
    kAbsent,   // there was nothing of that name
    kFailed,   // something stayed; the errno value in `error`
};

// Removes the entry `name` (one path component) inside the open folder `parentFd`:
// a file or link is unlinked, a folder removed with all it holds. A folder on another
// file system than `parentFd`, or nested deeper than a sane bound, is left in place.
RemovalResult RemoveTreeAt(int parentFd, const QByteArray& name, int& error);

// Appends the names in the open folder (not "." and ".."), read through a descriptor
// of its own so that `folderFd` stays usable. False with errno set on a read error.
bool ReadFolderNames(int folderFd, std::vector<QByteArray>& names);

// Opens the folder `path` (absolute, as bytes); with `noFollowLast` the last
// component must not be a link. -1 with errno set on failure.
int OpenFolder(const QByteArray& path, bool noFollowLast);

// Opens `name` inside `parentFd` as a folder without following a link. -1 with errno.
int OpenFolderAt(int parentFd, const QByteArray& name);

}  // namespace corvane
