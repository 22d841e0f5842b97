#pragma once

// Turning picks of the source tree (and paths named on the command line or dropped on
// the window) into the source items of a task: each item gets a name in the archive
// that no other item of its kind has ("Docs", "Docs~1", "report~1.doc"), the same place
// is never added twice, and the first item names a task that has no name yet.
//
// Plain functions on a task record; no shared state.

#include <QString>

#include "app/TaskDraft.h"
#include "model/TaskRecord.h"
#include "sources/WellKnownSources.h"

namespace corvane {

// The base of a folder's name in the archive: its last component ("/home/ann/Docs/" ->
// "Docs"); "Root" for "/" itself.
QString FolderBaseName(const QString& folderPath);

// Adds a folder (kItemFolder, `path` ending in "/"), file (kItemFile) or registry key
// (kItemRegistryKey) with the name in archive made unique from `baseName` among the
// items of the same kind ("%s~%d"; for files "%s~%d%s" of stem, count and extension).
// An item of the same kind with exactly the same path is refused with "This item was
// allready added." titled "Information" (focus kSourceTree). A task without a name
// takes the new item's name in archive. Answers the new item's index, or -1.
int AddPathSource(TaskRecord& task, qint32 kind, const QString& path, const QString& baseName,
                  DraftProblem* problem);

// Adds a folder or file named by a path as it lies on disk: an existing folder becomes
// a folder item (path with a final "/", FolderBaseName), anything else a file item
// named by its file name. The path is made absolute first. -1 and the problem as
// AddPathSource, or "Cannot find %s" (focus kSourceTree) for a path that does not
// exist.
int AddFileSystemSource(TaskRecord& task, const QString& path, DraftProblem* problem);

// Adds the settings key `keyPath` ("HKEY_CURRENT_USER\org\gnome", a final "\" dropped)
// as a registry item named after its last component (the hive's name for a hive), with
// the rules of AddPathSource. Refused (focus kSourceTree, -1) when the path does not
// begin with a known hive, names one that no item may name (HKEY_PERFORMANCE_DATA,
// HKEY_DYN_DATA) or holds an empty component. The key need not exist yet.
int AddRegistrySource(TaskRecord& task, const QString& keyPath, DraftProblem* problem);

// The index of the registry item whose key path is `keyPath` (a final "\" ignored), or -1.
int FindRegistrySource(const TaskRecord& task, const QString& keyPath);

// Adds all contacts (never a duplicate; an unnamed task is called "Contacts") or one
// contact (an unnamed task takes the contact's display name). Answer the new index.
int AddAllContactsSource(TaskRecord& task);
int AddContactSource(TaskRecord& task, const QString& firstName, const QString& middleName,
                     const QString& lastName);

// Adds the item a well-known data set resolves to, with the row's fixed name in archive
// (never numbered). The same path of the same kind is refused with "This item was
// allready added." ("Information"); data that is not there with the row's "Cannot find
// ..." titled "Warning". An unnamed task takes the row's task name. -1 when refused.
int AddWellKnownSource(TaskRecord& task, const WellKnownSource& source,
                       const WellKnownPlaces& places, DraftProblem* problem);

// Where this user's data sets lie: the home folder and the configured contact store.
WellKnownPlaces UserWellKnownPlaces();

// Removes the item at `index`; the later items move down by one. False for an index
// outside the list.
bool RemoveSource(TaskRecord& task, int index);

// The index of the first folder or file item whose path is `path` (a folder compared
// with and without its final "/"), or -1.
int FindPathSource(const TaskRecord& task, const QString& path);

}  // namespace corvane
