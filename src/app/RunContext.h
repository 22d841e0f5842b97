#pragma once

// What a job running on the queue's worker thread may use: the stop flag and the two
// restore questions that must be answered on the main thread.
//
// The run queue makes one context per run or estimate, on the worker thread, and hands
// it to the job; it lives until the job returns. Every method is meant for the worker
// thread. The questions block the worker until the main thread has answered them, so
// the main thread must be running its event loop (as it does while a run is active).

#include <vector>

#include "engine/StopSignal.h"
#include "model/RestoreItem.h"
#include "model/TaskRecord.h"
#include "restore/RestoreRun.h"

namespace corvane {

class RunQueue;

class RunContext : public RestoreQuestions {
  public:
    RunContext(const RunContext&) = delete;
    RunContext& operator=(const RunContext&) = delete;

    // The task slot being backed up or restored; -1 in an estimate.
    int TaskIndex() const { return m_taskIndex; }
    // The tasks of an estimate, in the order given to StartEstimate; empty in a run.
    const std::vector<int>& EstimateTasks() const { return m_estimateTasks; }

    // True once the user pressed Stop (or cancelled the backup copy choice). Long loops
    // of a job poll it, finish their current step and return.
    bool StopRequested() const;
    // The same flag for the engine's loops.
    StopSignal Stop() const;
    // Sets the stop flag from the job, e.g. after the user cancelled the choice of what
    // to restore; the run then ends as aborted.
    void RequestStop() override;

    // "Several backups found": asks the front end which of the task's backups to
    // restore. Answers the index into the task's history, or -1 when the user cancelled;
    // then "  Restore canceled by user" is logged and the stop flag is set. The task
    // must stay unchanged until the answer is back.
    int AskBackupCopy(const TaskRecord& task);
    // "Restore data": the front end shows the items and the user checks what to
    // restore (the items are changed in place). Answers false when the user cancelled;
    // then "  Restore canceled by user" is logged and the job decides how to end (it
    // sets the stop flag itself when the run is to end as aborted).
    bool AskRestoreItems(std::vector<RestoreItem>& items);

    // The restore run's questions are these.
    int ChooseBackupCopy(const TaskRecord& task) override { return AskBackupCopy(task); }
    bool ChooseRestoreItems(std::vector<RestoreItem>& items) override {
        return AskRestoreItems(items);
    }

  private:
    friend class RunQueue;
    RunContext(RunQueue& queue, int taskIndex, std::vector<int> estimateTasks);

    RunQueue& m_queue;
    const int m_taskIndex;
    const std::vector<int> m_estimateTasks;
};

}  // namespace corvane
