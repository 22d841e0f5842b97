#include "app/TaskJobs.h"

#include "app/Estimate.h"
#include "engine/BackupRun.h"
#include "restore/RestoreRun.h"

namespace corvane {

void SetTaskJobs(RunQueue& queue, TaskList& tasks) {
    queue.SetBackupJob([&tasks](int taskIndex, RunContext& context) {
        return RunBackup(tasks, taskIndex, context.Stop());
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
