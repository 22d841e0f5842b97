#pragma once

// The restore list builder: what a backup holds for one source item, each stored file,
// contact or registry key beside the live object it came from.
//
// Every record starts checked. Its archive name is the key by which the restore finds
// the user's choice again:
//   ZIP method               "<archive name>:<entry name>"
//   copy as is, folder       the full path of the stored file
//   copy as is, FTP          "<destination path>:<remote name>" (relative to the session
//                            folder, as the dates file names it)
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
// An FTP destination is read through a connected session: a ZIP archive is downloaded
// to a run temporary ("  Download %s from FTP...") that is deleted after the item; a
// copy's files are described by the item's dates file, whose names, like the names of
// a server listing, are refused as above when they climb out of the item.
//
// Runs on the restore run's worker thread (any one thread); keeps no state.

#include <QString>
#include <QtGlobal>
#include <vector>

#include "model/RestoreItem.h"
#include "model/TaskRecord.h"

namespace corvane {

class RemoteSession;

// Appends the records of one source item to `list`. A file item takes exactly the
// entry named by its name in archive, a folder item every entry below it; an entry
// whose name repeats an earlier one's is listed once. `method` is kMethodCopy or
// kMethodZip (other methods add nothing); `archiveName` is the task's archive name
// after a dated backup was chosen. Logs "  Test files from %s:/%s..." for a ZIP folder
// item and "  Error: cannot open ZIP file" when the archive cannot be opened.
//
// For an FTP destination `ftp` is the run's connected session. Without one (nullptr) a
// session to the destination is opened for this call alone and closed after it.
// A copy's dates file that cannot be downloaded gives "  Warning: cannot download file
// dates info file %s from FTP." and no record.
//
// Answers false when the stored backup of the item could not be read (an archive that
// is missing or damaged, a file item's entry that is not in it ("  Error: the archive
// holds no %s"), a dates file that cannot be had, a refused name); the log
// says why.
[[nodiscard]] bool BuildRestoreList(std::vector<RestoreItem>& list, const SourceItem& item,
                                    const TaskDestination& destination, qint32 method,
                                    const QString& archiveName, RemoteSession* ftp = nullptr);

// The path of a stored name in a folder destination: the destination path (below the
// share's local folder for a mounted share), a "/" when it does not end in one, and the
// name (an archive file name or a name in archive).
QString ArchivePathOf(const TaskDestination& destination, const QString& archiveName);

}  // namespace corvane
