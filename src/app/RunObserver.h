#pragma once

// How the run queue reaches its front end (the window, or the terminal of the
// command-line tool). Every call is made on the thread that owns the queue (the main
// thread); calls that a job on the worker thread needs (the restore questions) are
// carried over by the queue, and the worker waits for the answer.

#include <QString>
#include <vector>

#include "model/RestoreItem.h"
#include "model/TaskRecord.h"

namespace corvane {

// Sound events of the program.
enum SoundEvent : int {
    kSoundProgramStarted = 1,
    kSoundTaskAdded = 2,
    kSoundTaskCompleted = 3,
    kSoundTaskFailed = 4,
    kSoundShutdownNow = 5,
};

enum class RunOutcome { kCompleted, kFailed, kAborted };

class RunObserver {
  public:
    virtual ~RunObserver() = default;

    // "%d tasks in queue" / "No tasks in queue".
    virtual void SetQueueStatusText(const QString& text) = 0;
    virtual void SetTrayBusy() = 0;
    virtual void SetTrayIdle() = 0;
    // Plays an event sound when the user enabled it.
    virtual void PlayEventSound(int event) = 0;
    // A refusal or notice to the user: a message box titled "Warning" with the
    // information icon in the window.
    virtual void ShowWarning(const QString& text) = 0;
    // The queue has emptied after a successful last task while "Shutdown PC when
    // backup complete" is on: show the main window and the shutdown countdown.
    virtual void RequestShutdown() = 0;
    // A run has ended and its outcome line is in the log. The task may have changed
    // (its history): the front end saves the task list.
    virtual void RunFinished(int taskIndex, RunOutcome outcome) = 0;
    // An estimate has ended without a stop: `sizeText` is the size line the log shows;
    // the window shows it in a message box titled "Task info".
    virtual void EstimateFinished(const QString& sizeText) = 0;

    // Restore questions. "Several backups found": answers the chosen index into the
    // task's history, or -1 when the user cancelled.
    virtual int ChooseBackupCopy(const TaskRecord& task) = 0;
    // "Restore data": the user checks what to restore; false when cancelled.
    virtual bool ChooseRestoreItems(std::vector<RestoreItem>& items) = 0;
};

}  // namespace corvane
