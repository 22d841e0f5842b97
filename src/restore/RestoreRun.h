#pragma once

// One restore of one task's backup: choose the dated backup, build the restore list,
// let the user check what to restore, then put the files back item by item. Runs on the
// queue's worker thread; the two questions are answered on the main thread.

#include <memory>
#include <vector>

#include "engine/StopSignal.h"
#include "model/DatePattern.h"  // IsDatedTask
#include "model/RestoreItem.h"
#include "model/TaskList.h"

namespace corvane {

class RemoteSession;

// The questions a restore asks its user.
class RestoreQuestions {
  public:
    virtual ~RestoreQuestions() = default;
    // "Several backups found": the chosen index into the task's history, -1 when the
    // user cancelled.
    virtual int ChooseBackupCopy(const TaskRecord& task) = 0;
    // "Restore data": the user checks the items to restore; false when cancelled.
    virtual bool ChooseRestoreItems(std::vector<RestoreItem>& items) = 0;
    // Ends the run as aborted (after a cancelled question).
    virtual void RequestStop() = 0;
};

// The destination and archive name of the history entry `chosen` (an index outside the
// history counts as 0); false for an empty history.
bool UseHistoryEntry(const TaskRecord& task, int chosen, TaskDestination& destination,
                     QString& archiveName);

// Reaches the place of the chosen backup for a restore or a compare: an FTP destination
// through one session for every item (`ftp`; its address used as stored, no date pattern
// filled), any other through the network connection its share may need. False when it
// cannot be reached (the reason is logged).
bool ReachBackupPlace(const TaskRecord& task, const TaskDestination& destination,
                      std::unique_ptr<RemoteSession>& ftp);
// Closes what ReachBackupPlace opened.
void ReleaseBackupPlace(const TaskRecord& task, const TaskDestination& destination,
                        std::unique_ptr<RemoteSession>& ftp);

// Answers true when the user went through both questions and every checked item was
// restored; false when a question was cancelled, the FTP server of an FTP destination
// could not be reached, nothing could be listed, or a file could not be restored or
// downloaded (the log says which). An FTP destination is reached with one session for
// the whole run (logged "  Connect to %s via FTP..." and "  Disconnect").
bool RunRestore(TaskList& tasks, int taskIndex, RestoreQuestions& questions,
                const StopSignal& stop);

}  // namespace corvane
