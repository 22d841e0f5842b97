#pragma once

// The backup stage of a registry item: the key with its values and every sub-key
// exported as a REGEDIT4 file "<name in archive>.reg" (sources/RegistryFile.h), written
// to the destination folder, uploaded to the FTP session folder, or handed to the
// archive of a ZIP run. Exports for FTP and ZIP go through a run temporary
// (engine/RunTemporary.h), never a fixed name two runs could share.
//
// Each call sets the progress range 0..10, at 0 on entry and 10 on exit. Runs on the
// worker thread of the run.

#include <QString>

#include "engine/StageProgress.h"
#include "model/TaskRecord.h"

namespace corvane {

class ArchiveList;
class RemoteSession;
class RunTemporary;

// "<name in archive>.reg": the file name a backup stores a registry item under.
QString RegistryFileName(const SourceItem& item);

// Copy as is to a folder: makes `folder` (the run's destination folder, its date
// patterns filled) and its parents, logs "  Copy registry..." and exports into it.
[[nodiscard]] StageResult CopyRegistryToFolder(const SourceItem& item, const QString& folder);

// Copy as is to FTP: logs "  Create folders on FTP...", makes the session folder, exports
// into a run temporary ("  Copy registry...") and uploads it as "<name>.reg".
[[nodiscard]] StageResult CopyRegistryToFtp(const SourceItem& item, RemoteSession& ftp);

// ZIP: exports into `exported` (created here) and adds it to `archive` as "<name>.reg",
// marked as a temporary the archive step deletes. The caller keeps `exported` until the
// archive is written; it deletes the file at the latest when it dies.
[[nodiscard]] StageResult AddRegistryToArchive(const SourceItem& item, ArchiveList& archive,
                                               RunTemporary& exported);

}  // namespace corvane
