#include "engine/RegistryStage.h"

#include "engine/ArchiveList.h"
#include "engine/FolderPath.h"
#include "engine/LocalPath.h"
#include "engine/RunTemporary.h"
#include "engine/StageProgress.h"
#include "log/Log.h"
#include "sources/RegistryFile.h"
#include "transport/RemoteSession.h"

namespace corvane {
namespace {

// Exports the item's key into the run temporary `exported`; the reasons are logged.
bool ExportToTemporary(const SourceItem& item, RunTemporary& exported) {
    if (!exported.Create(QStringLiteral("reg")) ||
        !ExportRegistryItem(item.path, exported.Path())) {
        Log("  Error: cannot save registry items");
        return false;
    }
    return true;
}

}  // namespace

QString RegistryFileName(const SourceItem& item) {
    return item.nameInArchive + QStringLiteral(".reg");
}

StageResult CopyRegistryToFolder(const SourceItem& item, const QString& folder) {
    StageProgress progress;
    CreateFolderPath(folder);
    Log("  Copy registry...");
    if (!ExportRegistryItem(item.path, WithSlash(folder) + RegistryFileName(item))) {
        Log("  Error: cannot save registry items");
        return StageResult::kNotExported;
    }
    return StageResult::kStored;
}

StageResult CopyRegistryToFtp(const SourceItem& item, RemoteSession& ftp) {
    StageProgress progress;
    Log("  Create folders on FTP...");
    ftp.CreateFolders(QString());
    Log("  Copy registry...");
    RunTemporary exported;
    if (!ExportToTemporary(item, exported)) {
        return StageResult::kNotExported;
    }
    if (!ftp.Upload(exported.Path(), RegistryFileName(item))) {
        Log("  Error: cannot upload file");
        return StageResult::kNotUploaded;
    }
    return StageResult::kStored;
}

StageResult AddRegistryToArchive(const SourceItem& item, ArchiveList& archive,
                                 RunTemporary& exported) {
    StageProgress progress;
    if (!ExportToTemporary(item, exported)) {
        return StageResult::kNotExported;
    }
    archive.Add(exported.Path(), RegistryFileName(item), true);
    return StageResult::kStored;
}

}  // namespace corvane
