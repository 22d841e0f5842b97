#include "restore/CompareList.h"

#include <memory>

#include "restore/RestoreList.h"
#include "restore/RestoreRun.h"
#include "transport/RemoteSession.h"

namespace corvane {

bool BuildCompareList(const TaskRecord& task, int chosen, std::vector<RestoreItem>& list) {
    TaskDestination destination = task.destination;
    QString archiveName = task.archiveName;
    if (IsDatedTask(task)) {
        UseHistoryEntry(task, chosen, destination, archiveName);
    }
    // Reached as a restore reaches it: one FTP connection for every item, and a share
    // through its connection (without it every stored file would look missing).
    std::unique_ptr<RemoteSession> ftp;
    if (!ReachBackupPlace(task, destination, ftp)) {
        return false;  // the reason is logged
    }
    bool complete = true;
    for (const SourceItem& item : task.items) {
        if (!BuildRestoreList(list, item, destination, task.backupMode, archiveName, ftp.get())) {
            complete = false;  // the reason is logged
        }
    }
    ReleaseBackupPlace(task, destination, ftp);
    return complete;
}

}  // namespace corvane
