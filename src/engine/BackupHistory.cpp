#include "engine/BackupHistory.h"

#include "model/DatePattern.h"

namespace corvane {

void RecordBackupHistory(TaskRecord& task, const CalendarTime& runTime) {
    RecordBackupHistory(task, runTime, CurrentLocalTime());
}

void RecordBackupHistory(TaskRecord& task, const CalendarTime& runTime,
                         const CalendarTime& entryTime) {
    const QString folder = ResolvedDestFolder(task, runTime);
    const QString archive =
        task.backupMode == kMethodCopy ? QString() : ResolvedArchiveName(task, runTime);
    for (BackupHistoryEntry& entry : task.history) {
        if (entry.folder == folder && entry.archiveName == archive) {
            entry.time = entryTime;
            return;
        }
    }
    task.history.push_back({folder, archive, entryTime});
}

}  // namespace corvane
