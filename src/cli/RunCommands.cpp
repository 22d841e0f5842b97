#include "cli/RunCommands.h"

#include <QEventLoop>

#include "app/Estimate.h"
#include "cli/QueuedCommand.h"
#include "engine/BackupRun.h"
#include "platform/DataFolder.h"

namespace corvane {

bool LockDataFolder(DataFolderLock& lock, const QString& dataFolder, std::FILE* err) {
    if (EnsureFolder(dataFolder) && lock.TryLock(dataFolder)) {
        return true;
    }
    std::fprintf(err,
                 "Error: the task list in %s is in use by another Corvane process; "
                 "try again when it has finished\n",
                 qUtf8Printable(dataFolder));
    return false;
}

int RunTasksCommand(const QString& dataFolder, const QStringList& names, bool all, std::FILE* out,
                    std::FILE* err) {
    DataFolderLock lock;
    if (!LockDataFolder(lock, dataFolder, err)) {
        return kExitLocked;
    }
    QueuedCommand command(dataFolder, out, err);
    std::vector<int> indices;
    if (!command.Resolve(names, indices)) {
        return kExitUsage;
    }
    TaskList& tasks = command.Session().tasks;
    command.Queue().SetBackupJob([&tasks](int index, RunContext& context) {
        return RunBackup(tasks, index, context.Stop());
    });
    if (all) {
        command.Queue().StartAll();
    } else {
        for (const QString& name : names) {
            command.Queue().RunTaskByName(name);
        }
    }
    command.Wait();
    if (command.Signalled() || command.Observer().AnyAborted()) {
        return kExitStopped;
    }
    return command.Observer().AnyFailed() ? kExitFailed : kExitOk;
}

int EstimateCommand(const QString& dataFolder, const QStringList& names, std::FILE* out,
                    std::FILE* err) {
    QueuedCommand command(dataFolder, out, err);
    std::vector<int> indices;
    if (!command.Resolve(names, indices)) {
        return kExitUsage;
    }
    const TaskList& tasks = command.Session().tasks;
    command.Queue().StartEstimate(indices, [&tasks](RunContext& context) {
        return EstimateTasks(tasks, context.EstimateTasks(), context.Stop());
    });
    command.Wait();
    return command.Signalled() ? kExitStopped : kExitOk;
}

}  // namespace corvane
