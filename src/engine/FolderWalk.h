#pragma once

// The folder walk: turns a source folder into a flat list of files and folders.
//
// What the walk sees: every directory entry except "." and "..", hidden entries (a name
// starting with ".") and system entries (anything that is neither a regular file nor a
// folder: FIFO, socket, device, dangling link), which are skipped with their whole
// content. A symbolic link to a regular file counts as a file (its content is saved); a
// symbolic link to a folder is never descended and never listed. A name that is not
// valid UTF-8 is listed like any other, decoded by FileNameFromBytes (model/FileName.h),
// so FileNameToBytes gives its exact bytes back.
//
// Entries come in the order the file system enumerates them; nothing is sorted. A
// folder's own record follows the records of its contents.
//
// Thread safety: the functions keep no state; they may run on any thread.

#include <QString>
#include <QStringList>

#include "engine/FileList.h"

namespace corvane {

// Bits of the `what` argument of ListFolder.
enum ListWhat : int { kListFolders = 1, kListFiles = 2 };

// Appends the entries of `folder` to `list`. `what` is a set of ListWhat bits; with
// `recursive` the subfolders are walked too; with `fullPaths` each path is the folder
// path, "/" and the name (one "/" also when `folder` ends in "/"), else the bare name.
// Folder records have the kind kListFolder when the folder holds a visible entry, else
// kListEmptyFolder. An empty path or a folder that cannot be opened adds nothing.
void ListFolder(const QString& folder, FileList& list, int what, bool recursive, bool fullPaths);

// True when the folder holds at least one entry the walk would list (see above); false
// when it holds none or cannot be opened.
bool FolderHasVisibleEntries(const QString& folder);

}  // namespace corvane
