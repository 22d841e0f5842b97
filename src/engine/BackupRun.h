#pragma once

// One backup of one task, from its sources to its destination. Runs on the queue's
// worker thread; everything it has to say goes to the log and the progress indicator,
// and three critical failures are also mailed to the task's notification address.
//
// The task is read and its history appended to; the main thread must not edit or
// delete the task meanwhile (the run queue refuses to).

#include "engine/StopSignal.h"
#include "model/TaskList.h"

namespace corvane {

// Answers the run's result: false when a step failed (or the task cannot be backed
// up), true otherwise, also when the run was stopped before anything failed.
bool RunBackup(TaskList& tasks, int taskIndex, const StopSignal& stop);

}  // namespace corvane
