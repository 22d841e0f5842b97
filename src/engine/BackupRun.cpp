#include "engine/BackupRun.h"

#include <memory>

#include "engine/ArchiveList.h"
#include "engine/ArchiveWriter.h"
#include "engine/BackupHistory.h"
#include "engine/CdBurnArea.h"
#include "engine/ContactStage.h"
#include "engine/FileCopy.h"
#include "engine/FileFilter.h"
#include "engine/FolderPath.h"
#include "engine/FolderWalk.h"
#include "engine/FtpCopy.h"
#include "engine/FtpTaskSession.h"
#include "engine/ItemStages.h"
#include "engine/LocalPath.h"
#include "engine/NetworkConnection.h"
#include "engine/RegistryStage.h"
#include "engine/Retention.h"
#include "engine/RunTemporary.h"
#include "engine/RunTemporaryFolder.h"
#include "engine/TaskParameterFile.h"
#include "log/Log.h"
#include "model/DatePattern.h"
#include "model/FileName.h"
#include "platform/CdBurner.h"
#include "platform/Mailer.h"
#include "platform/NetworkShare.h"

namespace corvane {
namespace {

const QString kMailSubject = QStringLiteral("Corvane message");

// The state of one run: what the stages share.
class BackupRunner {
  public:
    BackupRunner(TaskRecord& task, const StopSignal& stop, const LocalClock& clock)
        : m_task(task), m_stop(stop), m_clock(clock) {}

    bool Run();

  private:
    bool CanBeBackedUp() const;
    bool ReachDestination();
    void ReleaseDestination();
    void StoreData();
    void RecordTheBackup();
    void Mail(const QString& text) const;
    bool StagesMayGoOn() const { return m_runOk && !m_stop.IsSet(); }
    void FilesStage(const SourceItem& item);
    void RegistryStage(const SourceItem& item);
    void ContactsStage(const SourceItem& item);
    // A stage that could not export fails the run; a failed upload lets it go on.
    void CountStageResult(StageResult result);
    void CollectForArchive(const SourceItem& item);
    void CopyToFolder(const SourceItem& item);
    void WriteArchiveToFolder();
    void WriteArchiveToFtp();
    bool IsFtp() const { return m_task.destination.type == kDestFtp; }
    // The destination folder of this run, moved to the CD staging area when it lies on
    // an optical disc and the task burns CDs.
    QString DestinationFolder() const;

    TaskRecord& m_task;
    const StopSignal& m_stop;
    const LocalClock& m_clock;
    CalendarTime m_runTime;
    ArchiveList m_archive;
    // Files the stages exported for the archive, kept until it is written.
    std::vector<std::unique_ptr<RunTemporary>> m_exported;
    std::vector<std::unique_ptr<RunTemporaryFolder>> m_exportedFolders;
    // The one FTP session of an FTP run, from the connect to the release.
    std::unique_ptr<RemoteSession> m_ftp;
    bool m_runOk = true;
    // A file of a copy run could not be uploaded: the run goes on (what did arrive is
    // recorded and can be restored) but does not answer success.
    bool m_uploadFailed = false;
};

void BackupRunner::Mail(const QString& text) const {
    if (!m_task.mailAddress.isEmpty()) {
        SendNotification(m_task.mailAccount, m_task.mailAddress, kMailSubject, text);
    }
}

QString BackupRunner::DestinationFolder() const {
    QString folder = ShareLocalPath(ResolvedDestFolder(m_task, m_runTime));
    if (m_task.destination.useXPBurn && IsCdDrivePath(folder)) {
        folder = MapToCdBurnArea(folder);
    }
    return folder;
}

bool BackupRunner::Run() {
    if (!CanBeBackedUp()) {
        return false;
    }
    m_runTime = m_clock();
    if (!ReachDestination()) {
        return false;
    }
    ShowProgress();
    m_runOk = true;
    StoreData();
    if (StagesMayGoOn()) {
        RecordTheBackup();
    }
    HideProgress();
    ReleaseDestination();
    if (StagesMayGoOn() && m_task.destination.useXPBurn && IsCdDrivePath(m_task.destination.path)) {
        StartCdBurning(CdBurnArea());
    }
    return m_runOk && !m_uploadFailed;
}

bool BackupRunner::CanBeBackedUp() const {
    if (m_task.taskType == kTaskRestore) {
        Log("  Error: this task can be used only for data restore");
        return false;
    }
    if (m_task.taskType != kTaskBackup) {
        Log("  Error: this type of tasks is not supported by this version");
        return false;
    }
    if (m_task.backupMode != kMethodCopy && m_task.backupMode != kMethodZip) {
        // No writer exists for the third method; a run that stored nothing must not
        // record a backup.
        Log("  Error: this type of archive is not supported");
        return false;
    }
    return true;
}

bool BackupRunner::ReachDestination() {
    if (IsFtp()) {
        m_ftp = OpenFtpSession(m_task.destination, &m_runTime);
        if (!m_ftp) {
            Mail(QStringLiteral("Cannot connect to FTP site, backup was not complete"));
            return false;
        }
    } else if (!ApplyNetworkConnection(m_task)) {
        Mail(QStringLiteral("Cannot access network folder, backup was not complete"));
        return false;
    }
    return true;
}

void BackupRunner::ReleaseDestination() {
    if (IsFtp()) {
        CloseFtpSession(m_ftp);
    } else {
        CancelNetworkConnection(m_task);
    }
}

// Every item in its stage, then the archive of a ZIP run.
void BackupRunner::StoreData() {
    ItemStageSet stages;
    stages.files = [this](const SourceItem& item) { FilesStage(item); };
    stages.contacts = [this](const SourceItem& item) { ContactsStage(item); };
    stages.registry = [this](const SourceItem& item) { RegistryStage(item); };
    RunItemStages(m_task.items, QStringLiteral("copy"), stages, [this] { return StagesMayGoOn(); });
    if (StagesMayGoOn() && m_task.backupMode == kMethodZip) {
        if (IsFtp()) {
            WriteArchiveToFtp();
        } else {
            WriteArchiveToFolder();
        }
    }
    m_archive.DeleteTemporaries();
    m_exported.clear();
    m_exportedFolders.clear();
}

void BackupRunner::RecordTheBackup() {
    const int written = RecordBackupHistory(m_task, m_runTime, m_clock());
    if (!WriteTaskParameterFile(m_task, m_ftp.get(), m_runTime)) {
        Mail(QStringLiteral("Cannot save task info data, maybe backup was not complete"));
        m_runOk = false;
        return;
    }
    // Old backups go only after a complete one: a run whose uploads failed keeps them.
    // One that cannot be removed is logged and kept; the run stays a success.
    if (m_uploadFailed || m_stop.IsSet()) {
        return;
    }
    const size_t before = m_task.history.size();
    (void)PruneOldBackups(m_task, m_ftp.get(), written);
    // The parameter file beside the new backup lists only backups that still exist.
    if (m_task.history.size() != before &&
        !WriteTaskParameterFile(m_task, m_ftp.get(), m_runTime)) {
        Mail(QStringLiteral("Cannot save task info data, maybe backup was not complete"));
        m_runOk = false;
    }
}

void BackupRunner::FilesStage(const SourceItem& item) {
    if (!LocalPathExists(item.path)) {
        Log("  Error: cannot access folder '%s'", qUtf8Printable(FileNameForDisplay(item.path)));
        m_runOk = false;
        return;
    }
    if (m_task.backupMode == kMethodZip) {
        CollectForArchive(item);
    } else if (IsFtp()) {
        if (!CopyItemToFtp(*m_ftp, m_task, item, m_stop)) {
            m_uploadFailed = true;
        }
    } else {
        CopyToFolder(item);
    }
}

// A key that cannot be exported ends the run as failed: the user must not believe the
// settings were saved. A failed upload lets the other items go on, as for files.
void BackupRunner::RegistryStage(const SourceItem& item) {
    StageResult result;
    if (m_task.backupMode == kMethodZip) {
        m_exported.push_back(std::make_unique<RunTemporary>());
        result = AddRegistryToArchive(item, m_archive, *m_exported.back());
    } else if (IsFtp()) {
        result = CopyRegistryToFtp(item, *m_ftp);
    } else {
        result = CopyRegistryToFolder(item, DestinationFolder());
    }
    CountStageResult(result);
}

// As for registry keys: contacts that cannot be exported fail the run, a failed upload
// lets the other items go on.
void BackupRunner::ContactsStage(const SourceItem& item) {
    StageResult result;
    if (m_task.backupMode == kMethodZip) {
        m_exportedFolders.push_back(std::make_unique<RunTemporaryFolder>());
        result = AddContactsToArchive(item, m_archive, *m_exportedFolders.back());
    } else if (IsFtp()) {
        result = CopyContactsToFtp(item, *m_ftp);
    } else {
        result = CopyContactsToFolder(item, DestinationFolder());
    }
    CountStageResult(result);
}

void BackupRunner::CountStageResult(StageResult result) {
    if (result == StageResult::kNotExported) {
        m_runOk = false;
    } else if (result == StageResult::kNotUploaded) {
        m_uploadFailed = true;
    }
}

void BackupRunner::CollectForArchive(const SourceItem& item) {
    FileList list;
    QString base;
    if (item.kind == kItemFolder) {
        base = WithoutTrailingSlash(item.path);
        Log("  Building list of folder %s", qUtf8Printable(FileNameForDisplay(item.path)));
        ListFolder(base, list, kListFolders | kListFiles, true, true);
        if (list.empty()) {
            list.push_back({base, kListFolder});
        }
        ApplyFilters(list, MakeIncludeFilter(m_task.includeFilter),
                     MakeExcludeFilter(m_task.excludeFilter));
        PutFoldersFirst(list);
    } else {
        list.push_back({item.path, kListFile});
    }
    for (const FileListEntry& entry : list) {
        if (entry.path.isEmpty()) {
            continue;
        }
        QString name = item.nameInArchive;
        if (item.kind == kItemFolder) {
            const QString relative = PathBelow(base, entry.path);
            if (relative.isNull()) {
                continue;  // a walk of `base` lists nothing else
            }
            name += QLatin1Char('/') + relative;
            if (IsFolderKind(entry.kind) && !relative.isEmpty()) {
                name += QLatin1Char('/');
            }
        }
        if (entry.kind == kListLink) {
            m_archive.AddLink(entry.path, name);
        } else {
            m_archive.Add(entry.path, name, false);
        }
        if (m_stop.IsSet()) {
            return;
        }
    }
}

void BackupRunner::CopyToFolder(const SourceItem& item) {
    const QString base = DestinationFolder();
    if (item.kind == kItemFolder) {
        const QString source = WithoutTrailingSlash(item.path);
        const QString target = WithSlash(base + item.nameInArchive);
        CreateFolderPath(target);
        Log("  Building list of folder %s", qUtf8Printable(FileNameForDisplay(item.path)));
        // One walk serves both the folder tree (every listed subfolder is made in the
        // target, empty ones too) and the list of files to copy.
        FileList list;
        ListFolder(source, list, kListFolders | kListFiles, true, true);
        MakeListedFolders(source, list, target);
        ApplyFilters(list, MakeIncludeFilter(m_task.includeFilter),
                     MakeExcludeFilter(m_task.excludeFilter));
        Log("  Copy files...");
        if (!CopyFileList(source, list, target, m_stop)) {
            m_runOk = false;
        }
        FinishListedFolders(source, list, target);
    } else {
        CreateFolderPath(base);
        Log("  Copy file %s to %s", qUtf8Printable(FileNameForDisplay(item.path)),
            qUtf8Printable(FileNameForDisplay(base)));
        const FileList list{{item.path, kListFile}};
        if (!CopyFileList(FolderOfFile(item.path), list, base, m_stop)) {
            m_runOk = false;
        }
    }
}

void BackupRunner::WriteArchiveToFolder() {
    const QString folder = DestinationFolder();
    CreateFolderPath(folder);
    const QString archivePath = folder + ResolvedArchiveName(m_task, m_runTime);
    Log("  Compressing data...");
    SetProgressLabel(QStringLiteral("Final stage, compressing data"));
    // Said only of an archive that is in place: a failed one has logged its reason.
    if (!WriteArchive(m_archive, archivePath, m_task.compressionLevel, m_task.archivePassword,
                      m_stop, 0, ArchiveCipher(m_task.archiveCipher))) {
        m_runOk = false;
        return;
    }
    Log("  File %s was created", qUtf8Printable(FileNameForDisplay(archivePath)));
}

void BackupRunner::WriteArchiveToFtp() {
    // The archive is built locally and sent whole; the temporary goes whatever happens.
    RunTemporary temporary;
    if (!temporary.Create(QStringLiteral("ZIP"))) {
        m_runOk = false;
        return;
    }
    Log("  Compressing data...");
    SetProgressLabel(QStringLiteral("Compressing data"));
    if (!WriteArchive(m_archive, temporary.Path(), m_task.compressionLevel, m_task.archivePassword,
                      m_stop, 0, ArchiveCipher(m_task.archiveCipher))) {
        m_runOk = false;
        return;
    }
    m_ftp->CreateFolders(QString());
    const QString name = ResolvedArchiveName(m_task, m_runTime);
    if (!m_ftp->Upload(temporary.Path(), name)) {
        Log("  Error: cannot upload file %s", qUtf8Printable(FileNameForDisplay(name)));
        // Nothing restorable was stored: no history entry and no parameter file may
        // point at it.
        m_runOk = false;
    }
}

}  // namespace

bool RunBackup(TaskList& tasks, int taskIndex, const StopSignal& stop, const LocalClock& clock) {
    if (taskIndex < 0 || taskIndex >= tasks.TaskCount() || tasks.TaskAt(taskIndex) == nullptr) {
        return false;
    }
    BackupRunner runner(*tasks.TaskAt(taskIndex), stop, clock);
    return runner.Run();
}

}  // namespace corvane
