#include "app/TaskJobs.h"

#include "app/Estimate.h"
#include "app/RunEndReport.h"
#include "app/TaskSecrets.h"
#include "engine/BackupRun.h"
#include "engine/StoredFiles.h"
#include "log/Log.h"
#include "restore/RestoreRun.h"

namespace corvane {
namespace {

// A password kept in the keyring that could not be read fails the run: never a run
// with an empty password in its place.
bool PasswordsAtHand(const TaskList& tasks, int taskIndex) {
    const TaskRecord* task =
        taskIndex >= 0 && taskIndex < tasks.TaskCount() ? tasks.TaskAt(taskIndex) : nullptr;
    for (TaskPasswordField field : kPasswordFields) {
        if (task != nullptr && (task->unreadPasswords & PasswordsARunNeeds(*task) & field) != 0) {
            Log("  Error: cannot run task %s: its %s password is in the keyring, which is locked "
                "or not available",
                qUtf8Printable(task->name), qUtf8Printable(PasswordFieldName(field)));
            return false;
        }
    }
    return true;
}

}  // namespace

void SetTaskJobs(RunQueue& queue, TaskList& tasks, const QString& dataFolder) {
    queue.SetBackupJob([&tasks, dataFolder](int taskIndex, RunContext& context) {
        const StoredFileCount stored;
        const bool succeeded =
            PasswordsAtHand(tasks, taskIndex) && RunBackup(tasks, taskIndex, context.Stop());
        const TaskRecord* task =
            taskIndex >= 0 && taskIndex < tasks.TaskCount() ? tasks.TaskAt(taskIndex) : nullptr;
        if (task != nullptr) {
            ReportRunEnd(dataFolder, *task,
                         ClassifyRun(*task, succeeded, context.StopRequested(), stored.Count()));
        }
        return succeeded;
    });
    queue.SetRestoreJob([&tasks](int taskIndex, RunContext& context) {
        return PasswordsAtHand(tasks, taskIndex) &&
               RunRestore(tasks, taskIndex, context, context.Stop());
    });
}

bool StartTaskEstimate(RunQueue& queue, const TaskList& tasks, std::vector<int> taskIndices) {
    return queue.StartEstimate(std::move(taskIndices), [&tasks](RunContext& context) {
        return EstimateTasks(tasks, context.EstimateTasks(), context.Stop());
    });
}

}  // namespace corvane
