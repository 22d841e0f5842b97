#pragma once

// The backup stage of a contact item (all contacts, or one): each contact of the store
// as a vCard 2.1 file "<display text>.vcf" (sources/ContactExport.h), written into the
// destination folder, uploaded to the FTP session folder, or handed to the archive of a
// ZIP run. Exports for FTP and ZIP go through a run temporary folder
// (engine/RunTemporaryFolder.h), never a fixed place two runs could share.
//
// Each call sets the progress range 0..10, at 0 on entry and 10 on exit. Runs on the
// worker thread of the run.

#include <QString>

#include "engine/StageProgress.h"
#include "model/TaskRecord.h"

namespace corvane {

class ArchiveList;
class RemoteSession;
class RunTemporaryFolder;

// The file a backup stores a one-contact item under: "<display text>.vcf" of its names,
// made safe as a file name.
QString ContactItemFileName(const SourceItem& item);

// Copy as is to a folder: makes `folder` (the run's destination folder, its date
// patterns filled) and its parents and exports into it ("  Copy all contacts from the
// contact store:" first for all contacts).
[[nodiscard]] StageResult CopyContactsToFolder(const SourceItem& item, const QString& folder);

// Copy as is to FTP: "  Create folders on FTP...", the session folder made, "  Copy
// contacts...", the export into a run temporary folder and every card uploaded under its
// file name.
[[nodiscard]] StageResult CopyContactsToFtp(const SourceItem& item, RemoteSession& ftp);

// ZIP: "  Copy contacts...", the export into `exported` (created here) and each card
// added to `archive` under its file name, marked as a temporary the archive step
// deletes. The caller keeps `exported` until the archive is written.
[[nodiscard]] StageResult AddContactsToArchive(const SourceItem& item, ArchiveList& archive,
                                               RunTemporaryFolder& exported);

}  // namespace corvane
