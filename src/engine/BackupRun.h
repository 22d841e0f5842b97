#pragma once

// One backup of one task, from its sources to its destination. Runs on the queue's
// worker thread; everything it has to say goes to the log and the progress indicator,
// and three critical failures are also mailed to the task's notification address.
//
// The task is read and its history appended to; the main thread must not edit or
// delete the task meanwhile (the run queue refuses to).

#include <functional>

#include "engine/StopSignal.h"
#include "model/CalendarTime.h"
#include "model/TaskList.h"

namespace corvane {

// The local time as a run reads it: once at its start (the date patterns of its places)
// and once at its end (the time of its history entry). Tests hand in a clock of their own.
using LocalClock = std::function<CalendarTime()>;

// Answers the run's result: false when a step failed (or the task cannot be backed
// up), true otherwise, also when the run was stopped before anything failed.
bool RunBackup(TaskList& tasks, int taskIndex, const StopSignal& stop,
               const LocalClock& clock = CurrentLocalTime);

}  // namespace corvane
