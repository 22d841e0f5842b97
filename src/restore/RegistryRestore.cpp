#include "restore/RegistryRestore.h"

#include "engine/LocalPath.h"
#include "engine/RegistryStage.h"
#include "engine/RunTemporary.h"
#include "log/Log.h"
#include "model/FileName.h"
#include "restore/RestoreList.h"
#include "restore/RestoreTarget.h"
#include "restore/SafePath.h"
#include "restore/ZipReader.h"
#include "sources/RegistryFile.h"
#include "transport/RemoteSession.h"

namespace corvane {
namespace {

bool IsLeftOut(const std::vector<RestoreItem>& list, const SourceItem& item,
               const QString& stored) {
    for (const RestoreItem& record : list) {
        if (record.sourceName == item.path && record.archiveName == stored && !record.checked) {
            return true;
        }
    }
    return false;
}

// `shownPath`: the path named in the error line (a folder's file), or none for a
// temporary copy.
bool Import(const QString& path, const QString& shownPath) {
    if (ImportRegFile(path)) {
        Log("  Registry data imported");
        return true;
    }
    if (shownPath.isEmpty()) {
        Log("  Error: cannot import registry file");
    } else {
        Log("  Error: cannot import registry file '%s'",
            qUtf8Printable(FileNameForDisplay(shownPath)));
    }
    return false;
}

bool Download(RemoteSession& ftp, const QString& name, RunTemporary& local, const char* prefix) {
    return local.Create(QLatin1String(prefix)) && ftp.Download(name, local.Path());
}

// The entry of the stored file: its exact name first, else the first file entry whose
// name holds it. False when the archive has none (the reader then stands nowhere).
bool FindStoredEntry(ZipReader& zip, const QString& stored) {
    for (bool more = zip.First(); more; more = zip.Next()) {
        if (!zip.Info().isFolder && zip.Info().name == stored) {
            return true;
        }
    }
    for (bool more = zip.First(); more; more = zip.Next()) {
        if (!zip.Info().isFolder && zip.Info().name.contains(stored)) {
            return true;
        }
    }
    return false;
}

// `shownArchive`: the archive as the user knows it (a downloaded copy's name is ours).
bool ImportFromArchive(const QString& archivePath, const QString& shownArchive,
                       const QString& stored, const QString& password) {
    Log("  Unpacking '%s' from %s...", qUtf8Printable(stored), qUtf8Printable(shownArchive));
    ZipReader zip;
    if (!zip.Open(archivePath)) {
        Log("  Error: cannot open ZIP file");
        Log("  ...%s", qUtf8Printable(zip.OpenFailure()));
        return false;
    }
    if (!FindStoredEntry(zip, stored)) {
        Log("  Error: the archive holds no %s", qUtf8Printable(stored));
        return false;
    }
    // The entry replaces an empty run temporary: its name is ours, not the archive's.
    RunTemporary extracted;
    if (!extracted.Create(QStringLiteral("reg"))) {
        return false;
    }
    RestoreTarget target(FolderOfFile(extracted.Path()));
    if (!zip.ExtractTo(target, extracted.Path().section(QLatin1Char('/'), -1), password)) {
        Log("  Error: cannot extract file from ZIP, maybe archive is encrypted");
        return false;
    }
    return Import(extracted.Path(), QString());
}

bool ImportStored(const SourceItem& item, const TaskDestination& destination, qint32 method,
                  const QString& archiveName, const QString& archivePassword, RemoteSession* ftp) {
    const QString stored = RegistryFileName(item);
    if (method == kMethodZip) {
        if (ftp == nullptr) {
            const QString archivePath = ArchivePathOf(destination, archiveName);
            return ImportFromArchive(archivePath, FileNameForDisplay(archivePath), stored,
                                     archivePassword);
        }
        Log("  Download %s from FTP...", qUtf8Printable(archiveName));
        RunTemporary downloaded;
        if (!Download(*ftp, archiveName, downloaded, "tmp_name")) {
            Log("  Error: cannot download file %s", qUtf8Printable(archiveName));
            return false;
        }
        return ImportFromArchive(downloaded.Path(), archiveName, stored, archivePassword);
    }
    if (!IsSafeEntryName(stored)) {
        // The name comes from the task: it must not reach outside the backup.
        LogUnsafePath(stored);
        return false;
    }
    if (ftp != nullptr) {
        Log("  Download '%s' from FTP...", qUtf8Printable(stored));
        RunTemporary downloaded;
        if (!Download(*ftp, stored, downloaded, "tmp_data")) {
            Log("  Error: cannot download file");
            return false;
        }
        return Import(downloaded.Path(), QString());
    }
    const QString path = ArchivePathOf(destination, stored);
    return Import(path, path);
}

}  // namespace

bool RestoreRegistryItem(const std::vector<RestoreItem>& list, const SourceItem& item,
                         const TaskDestination& destination, qint32 method,
                         const QString& archiveName, const QString& archivePassword,
                         RemoteSession* ftp) {
    SetProgressRange(0, 10);
    SetProgressPos(0);
    if (IsLeftOut(list, item, RegistryFileName(item))) {
        Log("  Skip resistry file '%s'...", qUtf8Printable(RegistryFileName(item)));
        return true;
    }
    const bool imported =
        ImportStored(item, destination, method, archiveName, archivePassword, ftp);
    SetProgressPos(10);
    return imported;
}

}  // namespace corvane
