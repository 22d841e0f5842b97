#pragma once

// The estimate: how much data a task would save before compression. Runs on the
// queue's worker thread and polls the stop flag.

#include <QString>

#include "engine/StopSignal.h"
#include "model/TaskList.h"

namespace corvane {

// "%d bytes" below 1024; "%d KBytes" (whole bytes / 1024) below 1024000; else
// "%.1f MBytes" of bytes / 1048576.
QString FormatSize(double bytes);

// The size of the files a folder or file item would copy, after the task's filters
// (which log their lines as in a backup); 0 when stopped.
double EstimateFiles(const SourceItem& item, const QString& includeFilter,
                     const QString& excludeFilter, const StopSignal& stop);

// The size of the REGEDIT4 file a backup of the registry item stores: the key exported
// once into a run temporary, deleted afterwards. 0 when the key cannot be exported (the
// export logs why). Progress 0..10.
double EstimateRegistry(const SourceItem& item);

// The size of the vCard files a backup of the contact item stores: the contacts exported
// once into a run temporary folder, deleted afterwards. 0 when they cannot be exported
// (the export logs why). Progress 0..10.
double EstimateContacts(const SourceItem& item);

// The size of every item of the task; progress labelled "Task estimate, stage %d/%d".
double EstimateTask(const TaskList& tasks, int taskIndex, const StopSignal& stop);

// The estimate of several tasks: "Estimating task..." and EstimateTask for each, until
// stopped.
double EstimateTasks(const TaskList& tasks, const std::vector<int>& taskIndices,
                     const StopSignal& stop);

}  // namespace corvane
