#pragma once

// One entry of the run queue: which task runs and how.

namespace corvane {

// What an entry waits for. An entry keeps its place at the head with kRunStarted while
// its worker runs and leaves the queue when the completion has been handled.
enum RunQueueMode : int {
    kRunStarted = 0,
    kRunBackupWaiting = 1,
    kRunRestoreWaiting = 2,
};

struct RunQueueEntry {
    int taskIndex = -1;  // slot in the task list
    int mode = kRunBackupWaiting;

    bool operator==(const RunQueueEntry&) const = default;
};

}  // namespace corvane
