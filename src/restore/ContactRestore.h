#pragma once

// The restore stage of a contact item: the stored vCard 2.1 files read back into the
// contact store (sources/ContactExport.h), each updating the matching contact or adding
// a new one, so a backup restored twice duplicates nothing.
//
//   ZIP                 the archive of the folder, or downloaded from FTP ("  Download %s
//                       from FTP..."); "  Unpacking files from %s..."; the ".vcf" entries
//                       (one contact: the first whose name holds the stored name), each
//                       extracted with the archive password into a run temporary and
//                       imported ("  Restore '%s' to the contact store...")
//   copy as is, folder  the "*.vcf" files of the destination folder ("  Restore item '%s'
//                       to the contact store..."), or the one contact's file
//   copy as is, FTP     the ".vcf" names of the session folder (or the one contact's),
//                       each downloaded into a run temporary ("  Restore item to the
//                       contact store...")
//
// A card whose line of the restore list the user unchecked logs "  Skip contact '%s'..."
// and is not imported. An entry name that would lead outside the backup is refused
// ("  Error: unsafe path '%s' skipped"); nothing is written anywhere but run temporaries
// and the store. Progress: range 0..10, 10 at the end. Runs on the restore run's worker
// thread; every temporary is gone when the call returns.

#include <QString>
#include <vector>

#include "model/RestoreItem.h"
#include "model/TaskRecord.h"

namespace corvane {

class RemoteSession;

// `list` is the run's restore list with the user's checks; `ftp` the run's connected
// session for an FTP destination. False when a stored card could not be had or
// imported (logged); true when every card that was not left out was imported.
[[nodiscard]] bool RestoreContactItem(const std::vector<RestoreItem>& list, const SourceItem& item,
                                      const TaskDestination& destination, qint32 method,
                                      const QString& archiveName, const QString& archivePassword,
                                      RemoteSession* ftp);

}  // namespace corvane
