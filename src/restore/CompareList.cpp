#include "restore/CompareList.h"

#include <memory>

#include "engine/FtpTaskSession.h"
#include "engine/NetworkConnection.h"
#include "restore/RestoreList.h"
#include "restore/RestoreRun.h"
#include "transport/FtpSession.h"

namespace corvane {

bool BuildCompareList(const TaskRecord& task, int chosen, std::vector<RestoreItem>& list) {
    TaskDestination destination = task.destination;
    QString archiveName = task.archiveName;
    if (IsDatedTask(task)) {
        UseHistoryEntry(task, chosen, destination, archiveName);
    }
    // One FTP connection serves every item, as in a restore run.
    std::unique_ptr<FtpSession> ftp;
    if (destination.type == kDestFtp) {
        ftp = OpenFtpSession(destination, nullptr);
        if (!ftp) {
            return false;  // the connection error is logged
        }
    }
    // A share that needs a connection is reached the way a restore reaches it: without
    // it every stored file would look missing.
    if (!ftp && !ApplyNetworkConnection(task)) {
        return false;
    }
    bool complete = true;
    for (const SourceItem& item : task.items) {
        if (!BuildRestoreList(list, item, destination, task.backupMode, archiveName, ftp.get())) {
            complete = false;  // the reason is logged
        }
    }
    if (ftp) {
        CloseFtpSession(ftp);
    } else {
        CancelNetworkConnection(task);
    }
    return complete;
}

}  // namespace corvane
