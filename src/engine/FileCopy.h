#pragma once

// The "copy as is" method into a folder: copies only new and changed files, and never
// damages or deletes what the destination already holds.
//
// A file is unchanged when the destination holds a regular file of the same size and
// the same modification time, to the nanosecond (IsSameFile); such a file is not copied
// again. A copy is written to a temporary file beside the destination, given the
// source's permission bits and times (nanoseconds included), and renamed over the earlier copy only
// when every byte has arrived; a failed copy removes its temporary file and leaves the earlier copy
// as it was.
//
// Thread safety: the functions keep no state between calls; they run on the worker
// thread of a run (or any one thread). CopyFileList looks the destination up ahead on a
// thread of its own when ArchiveThreads() allows more than one (DestinationLookahead.h);
// the source is always looked up when a file's turn comes.

#include <QString>

#include "engine/FileList.h"
#include "engine/StopSignal.h"

namespace corvane {

// True when both paths name regular files (a link followed at the source, never at the
// destination, where a link is no copy of a file) of the same size and the
// same modification time to the nanosecond. Where the destination's file system keeps
// coarser times (FAT, exFAT, NTFS, ext3) the destination's time matches when it is the
// source's time cut down to that precision. Costs one stat of each, no open.
bool IsSameFile(const QString& source, const QString& destination);

// Copies every file and link entry of `list` with a non-empty path below `sourceBase`
// to `targetFolder` followed by its path relative to `sourceBase` (missing folders are
// made), skipping files IsSameFile finds unchanged; a link is made again as a link
// (CopyLink). Folder entries and paths outside `sourceBase` are passed over. At the first
// failure logs "  Error: cannot save file %s" with the destination and a line with the
// reason, and answers false. When `stop` is set during an entry, returns true after that
// entry. Progress: range 0..entries, position = number of entries done.
bool CopyFileList(const QString& sourceBase, const FileList& list, const QString& targetFolder,
                  const StopSignal& stop);

// Recreates under `target` every folder of `list`, a walk of `source` with folders and
// full paths (so every subfolder at any depth, empty ones too; linked folders are links,
// not folders). Folders that exist are kept, opened to their owner for the run; a folder
// that cannot be made is passed over silently (the copy into it reports the failure).
void MakeListedFolders(const QString& source, const FileList& list, const QString& target);

// After the copy: gives every folder of `list` made by MakeListedFolders, and `target`
// itself, the permission bits and times of its source folder.
void FinishListedFolders(const QString& source, const FileList& list, const QString& target);

}  // namespace corvane
