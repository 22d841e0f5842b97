#include "restore/RestoreRun.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <QHash>
#include <QSet>
#include <atomic>
#include <memory>
#include <optional>

#include "engine/ArchiveThreads.h"
#include "engine/DatesFile.h"
#include "engine/FolderWalk.h"
#include "engine/FtpCopy.h"
#include "engine/FtpTaskSession.h"
#include "engine/ItemStages.h"
#include "engine/LocalPath.h"
#include "engine/NetworkConnection.h"
#include "engine/RunTemporary.h"
#include "log/Log.h"
#include "model/FileName.h"
#include "restore/ContactRestore.h"
#include "restore/RegistryRestore.h"
#include "restore/RestoreList.h"
#include "restore/RestoreTarget.h"
#include "restore/RestoreWorkers.h"
#include "restore/SafePath.h"
#include "restore/ZipEntryWriter.h"
#include "restore/ZipReader.h"

namespace corvane {
namespace {

QString Shown(const QString& path) {
    return FileNameForDisplay(path);
}

// Sets the last-access and last-write times of a file from file times (the creation
// time cannot be set on Linux).
bool SetFileTimes(const QString& path, quint64 accessTime, quint64 writeTime) {
    auto toSpec = [](quint64 fileTime) {
        struct timespec spec {};
        spec.tv_sec = static_cast<time_t>(FileTimeToUnixSeconds(fileTime));
        spec.tv_nsec = static_cast<long>(fileTime % 10000000) * 100;
        return spec;
    };
    const struct timespec times[2] = {toSpec(accessTime), toSpec(writeTime)};
    return ::utimensat(AT_FDCWD, FileNameToBytes(path).constData(), times, AT_SYMLINK_NOFOLLOW) ==
           0;
}

// The stored folder's permission bits and times, for the folder `relative` of `target`.
void KeepStoredFolderLook(RestoreTarget& target, const QString& stored, const QString& relative) {
    struct stat info {};
    if (::lstat(FileNameToBytes(stored).constData(), &info) == 0 && S_ISDIR(info.st_mode)) {
        target.KeepFolderLook(relative, info.st_mode, info.st_atim, info.st_mtim);
    }
}

class Restorer {
  public:
    Restorer(TaskRecord& task, RestoreQuestions& questions, const StopSignal& stop)
        : m_task(task), m_questions(questions), m_stop(stop) {}

    bool Run();

  private:
    bool ChooseBackup();
    bool BuildList();
    bool AskWhatToRestore();
    void RestoreItems();
    bool IsUnchecked(const QString& archiveKey) const;
    void RestoreFiles(const SourceItem& item);
    void RestoreFromArchive(const SourceItem& item);
    QString DownloadArchive(RunTemporary& downloaded);
    int UnpackEntries(ZipReader& zip, RestoreTarget& target, const SourceItem& item,
                      const QString& prefix, RestoreWorkers* workers);
    bool ExtractEntry(ZipReader& zip, RestoreTarget& target, const QString& relative);
    void HandOverEntry(ZipReader& zip, RestoreTarget& target, RestoreWorkers& workers,
                       const QString& relative, std::atomic<int>& unpacked);
    void ExtractFailed(bool passwordMayBeWrong, const QString& path);
    void RestoreCopies(const SourceItem& item);
    void RestoreFtpCopies(const SourceItem& item);
    QString RelativeOfListed(const SourceItem& item, const QString& name);
    int FetchFtpFiles(const SourceItem& item, const QStringList& names, RestoreTarget& target,
                      QHash<QString, QString>& localOf);
    void RestoreFtpDates(const SourceItem& item, const QHash<QString, QString>& localOf);
    bool ReachDestination();
    void ReleaseDestination();

    TaskRecord& m_task;
    RestoreQuestions& m_questions;
    const StopSignal& m_stop;
    TaskDestination m_destination;
    QString m_archiveName;
    std::vector<RestoreItem> m_list;
    // The keys of the items the user unchecked, looked up once per stored file.
    QSet<QString> m_unchecked;
    // The archive password as the cipher takes it, made once for every worker's entries.
    QByteArray m_passwordBytes;
    // The session of a restore from FTP, from the connect to the release.
    std::unique_ptr<RemoteSession> m_ftp;
    // Files are written on this many threads; 1 writes them on the run thread.
    int m_threads = 1;
    // Also cleared by the workers.
    std::atomic<bool> m_allRestored = true;
};

bool Restorer::ChooseBackup() {
    if (!IsDatedTask(m_task)) {
        return true;
    }
    int chosen = 0;
    if (m_task.history.size() != 1) {
        chosen = m_questions.ChooseBackupCopy(m_task);
        if (chosen < 0 || m_stop.IsSet()) {
            return false;
        }
    }
    return UseHistoryEntry(m_task, chosen, m_destination, m_archiveName);
}

bool Restorer::IsUnchecked(const QString& archiveKey) const {
    return m_unchecked.contains(archiveKey);
}

bool Restorer::Run() {
    m_destination = m_task.destination;
    m_archiveName = m_task.archiveName;
    m_passwordBytes = m_task.archivePassword.toUtf8();
    m_threads = ArchiveThreads();
    if (!ChooseBackup()) {
        return false;
    }
    Log("Building files list for restore...");
    if (!ReachDestination()) {
        return false;
    }
    if (!BuildList()) {
        ReleaseDestination();
        return false;
    }
    const bool accepted = AskWhatToRestore();
    if (!m_stop.IsSet()) {
        RestoreItems();
    }
    ReleaseDestination();
    m_list.clear();
    return accepted && m_allRestored;
}

// False when a list that was not stopped holds nothing to restore.
bool Restorer::BuildList() {
    m_list.clear();
    for (const SourceItem& item : m_task.items) {
        if (!BuildRestoreList(m_list, item, m_destination, m_task.backupMode, m_archiveName,
                              m_ftp.get())) {
            m_allRestored = false;
        }
        if (m_stop.IsSet()) {
            break;
        }
    }
    if (m_list.empty() && !m_stop.IsSet()) {
        Log("  Error: nothing to restore");
        return false;
    }
    return true;
}

// The user checks what to restore; false (and the run stopped) when they cancelled.
bool Restorer::AskWhatToRestore() {
    bool accepted = true;
    if (!m_list.empty() && !m_stop.IsSet() && !m_questions.ChooseRestoreItems(m_list)) {
        accepted = false;
        m_questions.RequestStop();
    }
    for (const RestoreItem& record : m_list) {
        if (!record.checked) {
            m_unchecked.insert(record.archiveName);
        }
    }
    return accepted;
}

void Restorer::RestoreItems() {
    Log("Restore task data...");
    SetProgressLabel(QStringLiteral("Restore data"));
    ShowProgress();
    ItemStageSet stages;
    stages.files = [this](const SourceItem& item) { RestoreFiles(item); };
    stages.contacts = [this](const SourceItem& item) {
        if (!RestoreContactItem(m_list, item, m_destination, m_task.backupMode, m_archiveName,
                                m_task.archivePassword, m_ftp.get())) {
            m_allRestored = false;
        }
    };
    stages.registry = [this](const SourceItem& item) {
        if (!RestoreRegistryItem(m_list, item, m_destination, m_task.backupMode, m_archiveName,
                                 m_task.archivePassword, m_ftp.get())) {
            m_allRestored = false;
        }
    };
    RunItemStages(m_task.items, QStringLiteral("restore"), stages,
                  [this] { return !m_stop.IsSet(); });
    HideProgress();
}

bool Restorer::ReachDestination() {
    return ReachBackupPlace(m_task, m_destination, m_ftp);
}

void Restorer::ReleaseDestination() {
    ReleaseBackupPlace(m_task, m_destination, m_ftp);
}

void Restorer::RestoreFiles(const SourceItem& item) {
    if (!IsSafeRestorePath(item.path) || !IsSafeEntryName(item.nameInArchive)) {
        LogUnsafePath(item.path + QLatin1Char(':') + item.nameInArchive);
        m_allRestored = false;
        return;
    }
    if (m_task.backupMode == kMethodZip) {
        RestoreFromArchive(item);
    } else if (m_ftp) {
        RestoreFtpCopies(item);
    } else {
        RestoreCopies(item);
    }
}

void Restorer::RestoreFromArchive(const SourceItem& item) {
    const bool folderItem = item.kind == kItemFolder;
    const QString prefix = folderItem ? WithSlashOrRoot(item.nameInArchive) : item.nameInArchive;
    // An archive on FTP is read from a local copy that goes with the item, also when
    // the extraction fails.
    RunTemporary downloaded;
    const QString archivePath =
        m_ftp ? DownloadArchive(downloaded) : ArchivePathOf(m_destination, m_archiveName);
    if (folderItem) {
        Log("  Unpacking files from %s:/%s to %s...", qUtf8Printable(m_archiveName),
            qUtf8Printable(Shown(prefix)), qUtf8Printable(Shown(item.path)));
    }
    ZipReader zip;
    if (archivePath.isEmpty() || !zip.Open(archivePath)) {
        Log("  Error: cannot open ZIP file");
        Log("  ...%s", qUtf8Printable(zip.OpenFailure()));
        m_allRestored = false;
        if (folderItem) {
            Log("  ...%d items unpacked.", 0);
        }
        return;
    }
    // A folder item fills its folder; a file item is written under its own live name.
    RestoreTarget target(folderItem ? WithoutTrailingSlash(item.path) : FolderOfFile(item.path));
    target.StopOn(m_stop);
    std::optional<RestoreWorkers> workers;
    if (folderItem && m_threads > 1) {
        workers.emplace(target.Root(), m_threads, m_stop);
    }
    const int restored = UnpackEntries(zip, target, item, prefix, workers ? &*workers : nullptr);
    target.FinishFolders();
    zip.Close();
    if (folderItem) {
        Log("  ...%d items unpacked.", restored);
    }
}

QString Restorer::DownloadArchive(RunTemporary& downloaded) {
    Log("  Download %s from FTP...", qUtf8Printable(m_archiveName));
    if (!downloaded.Create(QStringLiteral("tmp_name")) ||
        !m_ftp->Download(m_archiveName, downloaded.Path())) {
        Log("  Error: cannot download file %s", qUtf8Printable(m_archiveName));
        m_allRestored = false;
    }
    return downloaded.Path();
}

// The entries of the item: a file item is exactly its own entry, a folder item
// everything below `prefix`. Answers how many files were unpacked; every worker is done
// by then.
int Restorer::UnpackEntries(ZipReader& zip, RestoreTarget& target, const SourceItem& item,
                            const QString& prefix, RestoreWorkers* workers) {
    const bool folderItem = item.kind == kItemFolder;
    const QString liveName = item.path.section(QLatin1Char('/'), -1);
    int restored = 0;
    std::atomic<int> unpacked = 0;  // files the workers wrote
    SetProgressRange(0, static_cast<int>(std::min<quint64>(zip.Count(), 65535)));
    for (bool more = zip.First(); more && !m_stop.IsSet(); more = zip.Next()) {
        const ZipEntryInfo& entry = zip.Info();
        if (folderItem ? !entry.name.startsWith(prefix) : entry.name != prefix || entry.isFolder) {
            continue;
        }
        if (entry.repeated) {
            Log("  Warning: the archive holds %s more than once, the first copy is restored",
                qUtf8Printable(Shown(entry.name)));
            continue;
        }
        const QString key = m_archiveName + QLatin1Char(':') + entry.name;
        const QString relative = folderItem ? entry.name.mid(prefix.size()) : liveName;
        if (relative.isEmpty()) {
            // The item's own folder: its look comes from its entry.
            ExtractEntry(zip, target, relative);
            continue;
        }
        if (IsUnchecked(key) && !entry.isFolder) {
            if (!folderItem) {
                Log("  %s missed", qUtf8Printable(Shown(item.path)));
            }
        } else if (workers != nullptr && !entry.isFolder) {
            HandOverEntry(zip, target, *workers, relative, unpacked);
        } else if (ExtractEntry(zip, target, relative)) {
            if (!entry.isFolder) {
                ++restored;
            }
            if (!folderItem) {
                Log("  %s unpacked", qUtf8Printable(Shown(item.path)));
            }
        }
        SetProgressPos(restored + unpacked.load(std::memory_order_relaxed));
    }
    if (workers != nullptr) {
        workers->Finish();
    }
    return restored + unpacked.load();
}

bool Restorer::ExtractEntry(ZipReader& zip, RestoreTarget& target, const QString& relative) {
    if (zip.ExtractTo(target, relative, m_task.archivePassword)) {
        return true;
    }
    ExtractFailed(zip.PasswordMayBeWrong(), target.PathOf(relative));
    return false;
}

// The reader's part of the entry happens here, in order; a file's data is written by a
// worker (a link or a failure is done with here).
void Restorer::HandOverEntry(ZipReader& zip, RestoreTarget& target, RestoreWorkers& workers,
                             const QString& relative, std::atomic<int>& unpacked) {
    ZipEntryData data;
    switch (zip.PrepareExtract(target, relative, m_task.archivePassword, data)) {
        case ZipReader::Prepared::kDone:
            ++unpacked;
            return;
        case ZipReader::Prepared::kFailed:
            ExtractFailed(zip.PasswordMayBeWrong(), target.PathOf(relative));
            return;
        case ZipReader::Prepared::kFile:
            break;
    }
    QString folder;
    QString name;
    SplitRelative(relative, folder, name);
    workers.Add(
        [this, &unpacked, data = std::move(data), relative,
         fd = zip.ArchiveFd()](RestoreWorkers::Worker& worker) {
            if (worker.zip.WriteFile(fd, data, m_passwordBytes, worker.target, relative)) {
                ++unpacked;
            } else {
                ExtractFailed(worker.zip.PasswordMayBeWrong(), worker.target.PathOf(relative));
            }
        },
        folder);
}

// Logs a file that could not be extracted, on whichever thread it failed; a file a stop
// cut short is no failure of its own.
void Restorer::ExtractFailed(bool passwordMayBeWrong, const QString& path) {
    if (m_stop.IsSet()) {
        return;
    }
    if (passwordMayBeWrong) {
        Log("  Error: cannot extract file, maybe archive is encrypted");
    } else {
        Log("  Error: cannot extract file %s", qUtf8Printable(Shown(path)));
    }
    m_allRestored = false;
}

void Restorer::RestoreCopies(const SourceItem& item) {
    const QString destination = ArchivePathOf(m_destination, QString());
    if (item.kind != kItemFolder) {
        const QString stored = destination + item.nameInArchive;
        if (IsUnchecked(stored)) {
            Log("  File %s was skipped", qUtf8Printable(Shown(item.nameInArchive)));
            return;
        }
        const QString targetFolder = FolderOfFile(item.path);
        Log("  Restore file %s to %s", qUtf8Printable(Shown(item.nameInArchive)),
            qUtf8Printable(Shown(targetFolder)));
        RestoreTarget target(targetFolder);
        if (!target.CopyIn(stored, item.path.section(QLatin1Char('/'), -1))) {
            m_allRestored = false;
        }
        return;
    }
    const QString stored = WithoutTrailingSlash(destination + item.nameInArchive);
    RestoreTarget target(WithoutTrailingSlash(item.path));
    target.StopOn(m_stop);
    // One walk of the stored copy makes every folder under the target (empty ones too)
    // and lists the files and links to copy.
    FileList list;
    ListFolder(stored, list, kListFolders | kListFiles | kListStoredCopy, true, true);
    const qsizetype skip = stored.size() + 1;
    int count = 0;
    bool foldersMade = target.Folder(QString()) >= 0;
    // Folders that could not be made: a file in one fails on this thread, in list order,
    // so the files after it are never handed to a worker (as with one thread).
    QSet<QString> foldersMissing;
    if (!foldersMade) {
        foldersMissing.insert(QString());
    }
    KeepStoredFolderLook(target, stored, QString());
    for (FileListEntry& entry : list) {
        if (entry.path.isEmpty()) {
            continue;
        }
        if (IsFolderKind(entry.kind)) {
            const QString relative = entry.path.mid(skip);
            if (target.Folder(relative) < 0) {
                foldersMade = false;
                foldersMissing.insert(relative);
            }
            KeepStoredFolderLook(target, entry.path, relative);
        } else if (IsUnchecked(entry.path)) {
            entry.path.clear();
        } else {
            ++count;
        }
    }
    if (!foldersMade) {
        m_allRestored = false;
    }
    Log("  Restore %d items to %s...", count, qUtf8Printable(Shown(item.path)));
    SetProgressRange(0, static_cast<int>(list.size()));
    // The first failed file ends this item's copying; a link refused for leading outside
    // the target leaves the files around it to come back. With workers, the copies
    // already under way when one fails still finish.
    std::atomic<bool> fileFailed = false;
    auto copyIn = [this, &fileFailed](RestoreTarget& into, const FileListEntry& entry,
                                      const QString& relative) {
        if (!into.CopyIn(entry.path, relative) && !m_stop.IsSet()) {
            m_allRestored = false;
            if (entry.kind != kListLink) {
                fileFailed = true;
            }
        }
    };
    std::optional<RestoreWorkers> workers;
    if (m_threads > 1) {
        workers.emplace(target.Root(), m_threads, m_stop);
    }
    int done = 0;
    for (const FileListEntry& entry : list) {
        ++done;
        if (!IsFolderKind(entry.kind) && !entry.path.isEmpty()) {
            const QString relative = entry.path.mid(skip);
            QString folder;
            QString name;
            SplitRelative(relative, folder, name);
            if (!workers || foldersMissing.contains(folder)) {
                copyIn(target, entry, relative);
            } else {
                workers->Add(
                    [&copyIn, &fileFailed, &entry, relative](RestoreWorkers::Worker& worker) {
                        if (!fileFailed) {
                            copyIn(worker.target, entry, relative);
                        }
                    },
                    folder);
            }
        }
        SetProgressPos(done);
        if (fileFailed || m_stop.IsSet()) {
            break;
        }
    }
    if (workers) {
        workers->Finish();
    }
    target.FinishFolders();
}

void Restorer::RestoreFtpCopies(const SourceItem& item) {
    const bool folderItem = item.kind == kItemFolder;
    QStringList names;
    if (folderItem) {
        m_ftp->ListTree(item.nameInArchive, names, true);
    } else {
        names << item.nameInArchive;
    }
    RestoreTarget target(folderItem ? WithoutTrailingSlash(item.path) : FolderOfFile(item.path));
    if (target.Folder(QString()) < 0) {
        m_allRestored = false;
        return;
    }
    for (const QString& name : std::as_const(names)) {
        if (name.endsWith(QLatin1Char('/'))) {
            const QString relative = RelativeOfListed(item, name);
            if (!relative.isEmpty() && target.Folder(relative) < 0) {
                m_allRestored = false;
            }
        }
    }
    QHash<QString, QString> localOf;  // remote name -> local path of each file fetched
    const int restored = FetchFtpFiles(item, names, target, localOf);
    if (folderItem) {
        Log("  %d files restored", restored);
    }
    if (restored > 0 && !m_stop.IsSet()) {
        RestoreFtpDates(item, localOf);
    }
}

// Where a name listed on the server goes below the target; a name that would lead
// outside the item is refused (empty) before anything is written.
QString Restorer::RelativeOfListed(const SourceItem& item, const QString& name) {
    if (item.kind != kItemFolder) {
        return item.path.section(QLatin1Char('/'), -1);
    }
    const QString prefix = WithSlashOrRoot(item.nameInArchive);
    const QString below = WithoutTrailingSlash(name.mid(prefix.size()));
    if (!name.startsWith(prefix) || !IsSafeEntryName(below)) {
        LogUnsafePath(name);
        m_allRestored = false;
        return QString();
    }
    return below;
}

// Fetches the listed files (not the dates file) into the target; answers how many.
int Restorer::FetchFtpFiles(const SourceItem& item, const QStringList& names, RestoreTarget& target,
                            QHash<QString, QString>& localOf) {
    const QString datesName = DatesFileRemoteName(item);
    int restored = 0;
    for (const QString& name : names) {
        if (name.endsWith(QLatin1Char('/')) || name == datesName) {
            continue;
        }
        const QString relative = RelativeOfListed(item, name);
        if (relative.isEmpty()) {
            continue;
        }
        if (IsUnchecked(m_destination.path + QLatin1Char(':') + name)) {
            Log("  File %s was skipped", qUtf8Printable(name));
            continue;
        }
        Log("  Download %s from FTP...", qUtf8Printable(name));
        // The download lands in a run temporary and is copied in through the target, so
        // that no link in the live tree leads it elsewhere.
        RunTemporary fetched;
        if (!fetched.Create(QStringLiteral("download")) || !m_ftp->Download(name, fetched.Path()) ||
            ::chmod(FileNameToBytes(fetched.Path()).constData(), 0644) != 0) {
            Log("  Error: cannot download file %s", qUtf8Printable(name));
            m_allRestored = false;
        } else if (target.CopyIn(fetched.Path(), relative)) {
            ++restored;
            localOf.insert(name, target.PathOf(relative));
        } else {
            m_allRestored = false;
        }
        if (m_stop.IsSet()) {
            break;
        }
    }
    return restored;
}

void Restorer::RestoreFtpDates(const SourceItem& item, const QHash<QString, QString>& localOf) {
    RunTemporary dates;
    std::vector<DatesRecord> records;
    if (!dates.Create(QStringLiteral("dates")) ||
        !m_ftp->Download(DatesFileRemoteName(item), dates.Path()) ||
        !ReadDatesFile(dates.Path(), records)) {
        return;
    }
    // Only the names of files just fetched are looked up, so a record cannot name a
    // place of its own.
    for (const DatesRecord& record : records) {
        const auto it = localOf.constFind(record.name);
        if (record.name.isEmpty() || it == localOf.constEnd()) {
            continue;
        }
        if (!SetFileTimes(it.value(), record.accessTime, record.writeTime)) {
            Log("  Warning: cannot restore file date of '%s'", qUtf8Printable(it.value()));
        }
    }
}

}  // namespace

bool UseHistoryEntry(const TaskRecord& task, int chosen, TaskDestination& destination,
                     QString& archiveName) {
    if (task.history.empty()) {
        return false;
    }
    if (chosen < 0 || chosen >= static_cast<int>(task.history.size())) {
        chosen = 0;
    }
    const BackupHistoryEntry& entry = task.history[static_cast<size_t>(chosen)];
    destination.path = entry.folder;
    archiveName = entry.archiveName;
    return true;
}

bool ReachBackupPlace(const TaskRecord& task, const TaskDestination& destination,
                      std::unique_ptr<RemoteSession>& ftp) {
    if (destination.type != kDestFtp) {
        return ApplyNetworkConnection(task);
    }
    // Reached with the task's user name, password and port; the path is used as stored.
    ftp = OpenFtpSession(destination, nullptr);
    return ftp != nullptr;
}

void ReleaseBackupPlace(const TaskRecord& task, const TaskDestination& destination,
                        std::unique_ptr<RemoteSession>& ftp) {
    if (destination.type == kDestFtp) {
        CloseFtpSession(ftp);
    } else {
        CancelNetworkConnection(task);
    }
}

bool RunRestore(TaskList& tasks, int taskIndex, RestoreQuestions& questions,
                const StopSignal& stop) {
    if (taskIndex < 0 || taskIndex >= tasks.TaskCount() || tasks.TaskAt(taskIndex) == nullptr) {
        return false;
    }
    Restorer restorer(*tasks.TaskAt(taskIndex), questions, stop);
    return restorer.Run();
}

}  // namespace corvane
