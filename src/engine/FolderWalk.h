#pragma once

// The folder walk: turns a source folder into a flat list of files and folders.
//
// What the walk lists: every directory entry except "." and "..", names starting with
// "." included. A symbolic link is listed as a link (kListLink), whatever it points to,
// and never followed, so a walk neither loops nor leaves the tree. Entries that are
// neither a regular file, a folder nor a link (FIFO, socket, device) are left out, each
// with the log line "  Warning: '%s' is not a regular file, folder or link, skipped"
// when files are wanted. A recursive walk lists a folder holding a valid CACHEDIR.TAG
// (Cache Directory Tagging standard) with that tag file alone and logs "  Cache folder
// %s: only its CACHEDIR.TAG is saved". A name that is not valid UTF-8 is listed like any
// other, decoded by FileNameFromBytes (model/FileName.h), so FileNameToBytes gives its
// exact bytes back.
//
// Entries come in the order the file system enumerates them; nothing is sorted. A
// folder's own record follows the records of its contents.
//
// Thread safety: the functions keep no state; they may run on any thread.

#include <QString>
#include <QStringList>

#include "engine/FileList.h"

namespace corvane {

// Bits of the `what` argument of ListFolder. kListStoredCopy walks a copy that a backup
// made: every entry as it lies there, without the cache-folder rule and without log lines
// (they describe what a backup leaves out, which a stored copy no longer holds), and
// without the temporaries of writes that were cut off (io/ReplacingFile.h). kListQuiet
// lists for a person browsing the disk: no log lines, since nothing is being saved.
enum ListWhat : int { kListFolders = 1, kListFiles = 2, kListStoredCopy = 4, kListQuiet = 8 };

// Appends the entries of `folder` to `list`. `what` is a set of ListWhat bits; with
// `recursive` the subfolders are walked too; with `fullPaths` each path is the folder
// path, "/" and the name (one "/" also when `folder` ends in "/"), else the bare name.
// Links come with the files (kListFiles). Folder records have the kind kListFolder when
// the folder holds an entry the walk lists, else kListEmptyFolder. An empty path or a folder that
// cannot be opened adds nothing.
void ListFolder(const QString& folder, FileList& list, int what, bool recursive, bool fullPaths);

// True when the folder holds at least one entry the walk would list (see above: system
// entries do not count); logs nothing; false
// when it holds none or cannot be opened.
bool FolderHasVisibleEntries(const QString& folder);

// Reorders a walk with full paths so that every folder's record comes before the records
// of its contents (the walk puts it after them), keeping the order otherwise. An archive
// needs this order: unzip gives a folder the mode of its entry only when that entry
// makes the folder, not when a file inside made it first.
void PutFoldersFirst(FileList& list);

}  // namespace corvane
