#include "restore/RestoreRun.h"

#include <QDir>
#include <QFileInfo>
#include <QSet>

#include "engine/FileCopy.h"
#include "engine/FolderPath.h"
#include "engine/FolderWalk.h"
#include "engine/NetworkConnection.h"
#include "log/Log.h"
#include "restore/RestoreList.h"
#include "restore/ZipReader.h"

namespace corvane {
namespace {

QString WithSlash(const QString& path) {
    return path.endsWith(QLatin1Char('/')) ? path : path + QLatin1Char('/');
}

QString WithoutSlash(QString path) {
    while (path.size() > 1 && path.endsWith(QLatin1Char('/'))) {
        path.chop(1);
    }
    return path;
}

QString FolderOf(const QString& path) {
    return QFileInfo(path).path();
}

// A live path a restore may write to: absolute and without "..", so that what a task
// file names cannot lead the restore elsewhere.
bool IsSafeLivePath(const QString& path) {
    return QDir::isAbsolutePath(path) &&
           !path.split(QLatin1Char('/')).contains(QStringLiteral(".."));
}

bool RefuseUnsafe(const QString& path) {
    Log("  Error: unsafe path '%s' skipped", qUtf8Printable(path));
    return false;
}

class Restorer {
  public:
    Restorer(TaskRecord& task, RestoreQuestions& questions, const StopSignal& stop)
        : m_task(task), m_questions(questions), m_stop(stop) {}

    bool Run();

  private:
    bool ChooseBackup();
    bool IsUnchecked(const QString& archiveKey) const;
    void RestoreFiles(const SourceItem& item);
    void RestoreFromArchive(const SourceItem& item);
    void RestoreCopies(const SourceItem& item);

    TaskRecord& m_task;
    RestoreQuestions& m_questions;
    const StopSignal& m_stop;
    TaskDestination m_destination;
    QString m_archiveName;
    std::vector<RestoreItem> m_list;
    // The keys of the items the user unchecked, looked up once per stored file.
    QSet<QString> m_unchecked;
    bool m_allRestored = true;
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
    if (!ChooseBackup()) {
        return false;
    }
    Log("Building files list for restore...");
    if (m_destination.type == kDestFtp) {
        Log("  Error: FTP destinations are not supported by this version");
        return false;
    }
    if (!ApplyNetworkConnection(m_task)) {
        return false;
    }
    m_list.clear();
    for (const SourceItem& item : m_task.items) {
        BuildRestoreList(m_list, item, m_destination, m_task.backupMode, m_archiveName);
        if (m_stop.IsSet()) {
            break;
        }
    }
    bool accepted = true;
    if (m_list.empty() && !m_stop.IsSet()) {
        Log("  Error: nothing to restore");
        CancelNetworkConnection(m_task);
        return false;
    }
    if (!m_list.empty() && !m_stop.IsSet() && !m_questions.ChooseRestoreItems(m_list)) {
        accepted = false;
        m_questions.RequestStop();
    }
    for (const RestoreItem& record : m_list) {
        if (!record.checked) {
            m_unchecked.insert(record.archiveName);
        }
    }
    if (!m_stop.IsSet()) {
        Log("Restore task data...");
        SetProgressLabel(QStringLiteral("Restore data"));
        ShowProgress();
        const int count = static_cast<int>(m_task.items.size());
        int stage = 0;
        for (const SourceItem& item : m_task.items) {
            ++stage;
            switch (item.kind) {
                case kItemFolder:
                case kItemFile:
                    SetProgressLabel(
                        QStringLiteral("Stage %1/%2, restore files").arg(stage).arg(count));
                    RestoreFiles(item);
                    break;
                case kItemAllContacts:
                case kItemContact:
                    SetProgressLabel(
                        QStringLiteral("Stage %1/%2, restore contacts").arg(stage).arg(count));
                    Log("  Warning: contacts are not supported by this version, item '%s' skipped",
                        qUtf8Printable(DescribeItem(item)));
                    break;
                case kItemRegistryKey:
                    SetProgressLabel(
                        QStringLiteral("Stage %1/%2, restore registry").arg(stage).arg(count));
                    Log("  Warning: registry keys are not supported by this version, item '%s' "
                        "skipped",
                        qUtf8Printable(item.path));
                    break;
                default:
                    break;
            }
            if (m_stop.IsSet()) {
                break;
            }
        }
        HideProgress();
    }
    CancelNetworkConnection(m_task);
    m_list.clear();
    return accepted && m_allRestored;
}

void Restorer::RestoreFiles(const SourceItem& item) {
    if (!IsSafeLivePath(item.path) || !IsSafeEntryName(item.nameInArchive)) {
        m_allRestored = RefuseUnsafe(item.path + QLatin1Char(':') + item.nameInArchive);
        return;
    }
    if (m_task.backupMode == kMethodZip) {
        RestoreFromArchive(item);
    } else {
        RestoreCopies(item);
    }
}

void Restorer::RestoreFromArchive(const SourceItem& item) {
    const bool folderItem = item.kind == kItemFolder;
    const QString prefix = folderItem ? WithSlash(item.nameInArchive) : item.nameInArchive;
    const QString itemFolder = WithoutSlash(item.path);
    if (folderItem) {
        Log("  Unpacking files from %s:/%s to %s...", qUtf8Printable(m_archiveName),
            qUtf8Printable(prefix), qUtf8Printable(item.path));
    }
    ZipReader zip;
    int restored = 0;
    if (zip.Open(ArchivePathOf(m_destination, m_archiveName)) && zip.First()) {
        SetProgressRange(0, static_cast<int>(std::min<quint64>(zip.Count(), 65535)));
        do {
            const ZipEntryInfo& entry = zip.Info();
            if (!entry.name.startsWith(prefix)) {
                continue;
            }
            const QString key = m_archiveName + QLatin1Char(':') + entry.name;
            if (folderItem) {
                const QString rest = entry.name.section(QLatin1Char('/'), 1);
                if (rest.isEmpty()) {
                    continue;  // the item's own folder entry
                }
                if (!IsSafeEntryName(rest)) {
                    m_allRestored = RefuseUnsafe(entry.name);
                    continue;
                }
                const QString target = itemFolder + QLatin1Char('/') + rest;
                if (entry.isFolder) {
                    CreateFolderPath(target);
                } else if (!IsUnchecked(key)) {
                    if (zip.Extract(FolderOf(target), true, m_task.archivePassword)) {
                        ++restored;
                    } else {
                        Log("  Error: cannot extract file, maybe archive is encrypted");
                        m_allRestored = false;
                    }
                }
            } else if (!entry.isFolder) {
                if (IsUnchecked(key)) {
                    Log("  %s missed", qUtf8Printable(item.path));
                } else if (zip.Extract(FolderOf(item.path), true, m_task.archivePassword)) {
                    Log("  %s unpacked", qUtf8Printable(item.path));
                    ++restored;
                } else {
                    Log("  Error: cannot extract file, maybe archive is encrypted");
                    m_allRestored = false;
                }
            }
            SetProgressPos(restored);
        } while (!m_stop.IsSet() && zip.Next());
    }
    zip.Close();
    if (folderItem) {
        Log("  ...%d items unpacked.", restored);
    }
}

void Restorer::RestoreCopies(const SourceItem& item) {
    const QString destination = WithSlash(m_destination.path);
    FileList list;
    if (item.kind == kItemFolder) {
        const QString stored = WithoutSlash(destination + item.nameInArchive);
        const QString target = WithoutSlash(item.path);
        CreateFolderPath(target);
        // One walk of the stored copy makes every folder under the target (empty ones
        // too) and lists the files to copy.
        ListFolder(stored, list, kListFolders | kListFiles, true, true);
        MakeListedFolders(stored, list, target);
        int count = 0;
        for (FileListEntry& entry : list) {
            if (entry.kind != kListFile) {
                continue;
            }
            if (IsUnchecked(entry.path)) {
                entry.path.clear();
            } else {
                ++count;
            }
        }
        Log("  Restore %d items to %s...", count, qUtf8Printable(item.path));
        if (!CopyFileList(stored, list, target, m_stop)) {
            m_allRestored = false;
        }
        return;
    }
    const QString stored = destination + item.nameInArchive;
    if (IsUnchecked(stored)) {
        Log("  File %s was skipped", qUtf8Printable(item.nameInArchive));
        return;
    }
    list.push_back({stored, kListFile});
    const QString targetFolder = FolderOf(item.path);
    Log("  Restore file %s to %s", qUtf8Printable(item.nameInArchive),
        qUtf8Printable(targetFolder));
    CreateFolderPath(targetFolder);
    if (!CopyFileList(FolderOf(stored), list, targetFolder, m_stop)) {
        m_allRestored = false;
    }
}

}  // namespace

bool IsDatedTask(const TaskRecord& task) {
    return task.destination.path.contains(QLatin1Char('#')) ||
           (task.backupMode == kMethodZip && task.archiveName.contains(QLatin1Char('#')));
}

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

bool RunRestore(TaskList& tasks, int taskIndex, RestoreQuestions& questions,
                const StopSignal& stop) {
    if (taskIndex < 0 || taskIndex >= tasks.TaskCount() || tasks.TaskAt(taskIndex) == nullptr) {
        return false;
    }
    Restorer restorer(*tasks.TaskAt(taskIndex), questions, stop);
    return restorer.Run();
}

}  // namespace corvane
