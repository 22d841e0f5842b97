#pragma once

// The jobs the run queue runs for the program's tasks, made in one place for every
// front end: a backup and a restore of one task slot, and an estimate of several.

#include <vector>

#include "app/RunQueue.h"
#include "model/TaskList.h"

namespace corvane {

// Gives the queue the backup and the restore job on `tasks`, which must outlive it. The
// end of every backup run is reported for the data folder `dataFolder` (RunEndReport.h).
void SetTaskJobs(RunQueue& queue, TaskList& tasks, const QString& dataFolder);

// Starts an estimate of the tasks in `taskIndices` on the queue's worker; answers as
// RunQueue::StartEstimate does.
bool StartTaskEstimate(RunQueue& queue, const TaskList& tasks, std::vector<int> taskIndices);

}  // namespace corvane
