#pragma once

// The restore list builder: what a backup holds for one source item, each stored file,
// contact or registry key beside the live object it came from.
//
// Every record starts checked. Its archive name is the key by which the restore finds
// the user's choice again:
//   ZIP method               "<archive name>:<entry name>"
//   copy as is, folder       the full path of the stored file
//   registry key             "<name in archive>.reg"
//   one contact              "<first middle last>.vcf"
//   all contacts             the ".vcf" entry name (ZIP) or file name (copy as is)
//
// Live and stored times are modification times in whole seconds; for the ZIP method the
// live time is rounded down to an even second, the resolution of ZIP entry times, so an
// unchanged file compares as identical. A live file that does not exist leaves the
// record's source name empty and its time missing.
//
// Archive entries and stored paths that would lead outside the item (absolute, with a
// ".." component) make no record: "  Error: unsafe path '%s' skipped".
//
// Only folder destinations are read so far: for an FTP destination only the registry
// key and one-contact lines (which need no stored data) are made.
//
// Runs on the restore run's worker thread (any one thread); keeps no state.

#include <QString>
#include <QtGlobal>
#include <vector>

#include "model/RestoreItem.h"
#include "model/TaskRecord.h"

namespace corvane {

// Appends the records of one source item to `list`. `method` is kMethodCopy or
// kMethodZip (other methods add nothing); `archiveName` is the task's archive name
// after a dated backup was chosen. Logs "  Test files from %s:/%s..." for a ZIP folder
// item and "  Error: cannot open ZIP file" when the archive cannot be opened.
void BuildRestoreList(std::vector<RestoreItem>& list, const SourceItem& item,
                      const TaskDestination& destination, qint32 method,
                      const QString& archiveName);

// The path of a stored name in a folder destination: the destination path, a "/" when
// it does not end in one, and the name (an archive file name or a name in archive).
QString ArchivePathOf(const TaskDestination& destination, const QString& archiveName);

}  // namespace corvane
