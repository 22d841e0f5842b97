#include "restore/CompareList.h"

#include <memory>

#include "engine/FtpTaskSession.h"
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
    bool complete = true;
    for (const SourceItem& item : task.items) {
        if (!BuildRestoreList(list, item, destination, task.backupMode, archiveName, ftp.get())) {
            complete = false;  // the reason is logged
        }
    }
    CloseFtpSession(ftp);
    return complete;
}

}  // namespace corvane
