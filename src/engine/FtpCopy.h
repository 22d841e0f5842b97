#pragma once

// The files stage of a "copy as is" run to an FTP server, and its dates file.
//
// A folder item is sent to "<name in archive>/<path below the item's folder>" in the
// session folder, its folder tree made first (empty folders too); a file item is sent
// as "<name in archive>". A server holds no links: a link to a regular file is sent as
// that file; a link to a folder is named in "  Warning: '%s' is a link to a folder, not
// followed", any other link in "  Warning: '%s' is a link to no regular file, skipped",
// and left out. The transfer loses the files' own times, so every item that
// listed a file also leaves a dates file beside its data ("<name>/file.dates" for a
// folder item, "<name>.dates" for a file item): one 552-byte record per listed file,
// in upload order, with the file's times, its size and its remote name; a file that
// could not be read, and one whose remote name is longer than a record holds, leaves a
// blank record at the end (never a cut name).
//
// Runs on the worker thread of the run that holds the session.

#include "engine/StopSignal.h"
#include "model/TaskRecord.h"

namespace corvane {

class RemoteSession;

// The remote name of a dates file: "<name in archive>/file.dates" for a folder item,
// "<name in archive>.dates" for a file item.
QString DatesFileRemoteName(const SourceItem& item);

// Uploads one folder or file item of `task` (its filters apply to a folder item)
// through the connected session. Logs "  Create folders on FTP...", "  Upload file
// %s..." per file and "  Upload file dates info file..."; a file that cannot be sent
// logs "  Error: cannot upload file %s" with its remote name (a dates file: "  Error:
// cannot upload file") and the stage goes on with the next file. Answers false when anything could
// not be sent or the dates file could not be written locally, true otherwise. A stop returns after
// the current file, without a dates file, and answers true unless a failure came before it.
// Progress: range 0..listed entries, position = entries done.
bool CopyItemToFtp(RemoteSession& ftp, const TaskRecord& task, const SourceItem& item,
                   const StopSignal& stop);

}  // namespace corvane
