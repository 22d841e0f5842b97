#include "engine/BackupHistory.h"

#include "model/DatePattern.h"

namespace corvane {

int RecordBackupHistory(TaskRecord& task, const CalendarTime& runTime) {
    return RecordBackupHistory(task, runTime, CurrentLocalTime());
}

int RecordBackupHistory(TaskRecord& task, const CalendarTime& runTime,
                        const CalendarTime& entryTime) {
    const QString folder = ResolvedDestFolder(task, runTime);
    const QString archive =
        task.backupMode == kMethodCopy ? QString() : ResolvedArchiveName(task, runTime);
    for (size_t i = 0; i < task.history.size(); ++i) {
        BackupHistoryEntry& entry = task.history[i];
        if (entry.folder == folder && entry.archiveName == archive) {
            entry.time = entryTime;
            return static_cast<int>(i);
        }
    }
    task.history.push_back({folder, archive, entryTime});
    return static_cast<int>(task.history.size()) - 1;
}

}  // namespace corvane
