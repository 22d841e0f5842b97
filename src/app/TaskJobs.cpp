#include "app/TaskJobs.h"

#include "app/Estimate.h"
#include "app/RunEndReport.h"
#include "engine/BackupRun.h"
#include "engine/StoredFiles.h"
#include "restore/RestoreRun.h"

namespace corvane {

void SetTaskJobs(RunQueue& queue, TaskList& tasks, const QString& dataFolder) {
    queue.SetBackupJob([&tasks, dataFolder](int taskIndex, RunContext& context) {
        const StoredFileCount stored;
        const bool succeeded = RunBackup(tasks, taskIndex, context.Stop());
        const TaskRecord* task =
            taskIndex >= 0 && taskIndex < tasks.TaskCount() ? tasks.TaskAt(taskIndex) : nullptr;
        if (task != nullptr) {
            ReportRunEnd(dataFolder, *task,
                         ClassifyRun(*task, succeeded, context.StopRequested(), stored.Count()));
        }
        return succeeded;
    });
    queue.SetRestoreJob([&tasks](int taskIndex, RunContext& context) {
        return RunRestore(tasks, taskIndex, context, context.Stop());
    });
}

bool StartTaskEstimate(RunQueue& queue, const TaskList& tasks, std::vector<int> taskIndices) {
    return queue.StartEstimate(std::move(taskIndices), [&tasks](RunContext& context) {
        return EstimateTasks(tasks, context.EstimateTasks(), context.Stop());
    });
}

}  // namespace corvane
