#pragma once

// The restore stage of a registry item: the stored "<name in archive>.reg" read back
// into the registry with our own REGEDIT4 importer (sources/RegistryFile.h).
//
//   copy as is, folder  the file in the destination folder is imported where it lies
//   copy as is, FTP     "  Download '%s' from FTP...", into a run temporary
//   ZIP                 the archive of the folder, or downloaded from FTP ("  Download %s
//                       from FTP..."); "  Unpacking '%s' from %s..."; the entry named
//                       exactly "<name>.reg", else the first file entry whose name
//                       contains it, extracted with the archive password into a run
//                       temporary
//
// Then "  Registry data imported", or "  Error: cannot import registry file '%s'" with
// the path (folder) / "  Error: cannot import registry file" (FTP, ZIP). An item whose
// line of the restore list the user unchecked logs "  Skip resistry file '%s'..." and
// imports nothing. Progress: range 0..10, 10 at the end. Runs on the restore run's
// worker thread; every temporary is gone when the call returns.

#include <QString>
#include <vector>

#include "model/RestoreItem.h"
#include "model/TaskRecord.h"

namespace corvane {

class RemoteSession;

// `list` is the run's restore list with the user's checks; `ftp` the run's connected
// session for an FTP destination. Answers false when the stored file could not be had or
// imported (logged); true when it was imported or the user left it out.
[[nodiscard]] bool RestoreRegistryItem(const std::vector<RestoreItem>& list, const SourceItem& item,
                                       const TaskDestination& destination, qint32 method,
                                       const QString& archiveName, const QString& archivePassword,
                                       RemoteSession* ftp);

}  // namespace corvane
