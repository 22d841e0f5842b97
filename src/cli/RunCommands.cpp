#include "cli/RunCommands.h"

#include <QEventLoop>
#include <QThread>

#include "app/Estimate.h"
#include "app/InstanceChannel.h"
#include "app/TaskArgument.h"
#include "cli/QueuedCommand.h"
#include "engine/BackupRun.h"
#include "platform/DataFolder.h"

namespace corvane {
namespace {

// A run that finds the task list taken looks a little while for its owner's channel:
// the owner may be between taking the lock and listening, or a run whose queue has just
// emptied may be ending, after which the lock is free.
constexpr int kOwnerAttempts = 5;
constexpr int kOwnerPauseMs = 200;

void ReportLocked(const QString& dataFolder, std::FILE* err) {
    std::fprintf(err,
                 "Error: the task list in %s is in use by another Corvane process; "
                 "try again when it has finished\n",
                 qUtf8Printable(dataFolder));
}

// Hands the names, in order, to the program that serves the data folder. Removes each
// name that program answered for from `pending`; stops at the first name nobody
// answers for. A refused name is reported on `err` and sets `refused`.
void HandOver(const QString& dataFolder, QStringList& pending, bool& refused, std::FILE* out,
              std::FILE* err) {
    while (!pending.isEmpty()) {
        QString reply;
        InstanceChannel::Owner owner = InstanceChannel::Owner::kWindow;
        if (InstanceChannel::SendToRunning(dataFolder, &pending.front(), &reply, &owner)) {
            std::fprintf(
                out, "Task '%s' handed over to the running %s\n", qUtf8Printable(pending.front()),
                owner == InstanceChannel::Owner::kWindow ? "Corvane window" : "corvane-cli run");
        } else if (reply.isEmpty()) {
            return;  // nobody serves the folder (any more)
        } else {
            std::fprintf(err, "%s\n", qUtf8Printable(reply));
            refused = true;
        }
        pending.removeFirst();
    }
}

}  // namespace

bool LockDataFolder(DataFolderLock& lock, const QString& dataFolder, std::FILE* err) {
    if (EnsureFolder(dataFolder) && lock.TryLock(dataFolder)) {
        return true;
    }
    ReportLocked(dataFolder, err);
    return false;
}

int RunTasksCommand(const QString& dataFolder, const QStringList& names, bool all, std::FILE* out,
                    std::FILE* err) {
    if (!CheckTaskFiles(dataFolder, err)) {
        return kExitFailed;
    }
    DataFolderLock lock;
    if (all) {
        if (!LockDataFolder(lock, dataFolder, err)) {
            return kExitLocked;
        }
    } else if (!EnsureFolder(dataFolder)) {
        ReportLocked(dataFolder, err);
        return kExitLocked;
    }
    // Names go to the owner of the task list when another program holds it.
    QStringList pending = names;
    bool refused = false;
    for (int attempt = 1; !all && !lock.TryLock(dataFolder); ++attempt) {
        HandOver(dataFolder, pending, refused, out, err);
        if (pending.isEmpty()) {
            return refused ? kExitFailed : kExitOk;
        }
        if (attempt == kOwnerAttempts) {
            ReportLocked(dataFolder, err);
            return kExitLocked;
        }
        QThread::msleep(kOwnerPauseMs);
    }

    QueuedCommand command(dataFolder, out, err);
    std::vector<int> indices;
    if (!command.Resolve(pending, indices)) {
        return kExitUsage;
    }
    TaskList& tasks = command.Session().tasks;
    RunQueue& queue = command.Queue();
    queue.SetBackupJob([&tasks](int index, RunContext& context) {
        return RunBackup(tasks, index, context.Stop());
    });

    // While this run owns the task list, a second program hands its names over to it
    // instead of failing; they join the queue, and the run lasts until it is empty.
    InstanceChannel channel(InstanceChannel::Owner::kCommandLine);
    channel.SetTaskCheck([&tasks](const QString& argument) {
        const QString name = TrimTaskArgument(argument);
        if (tasks.FindTaskByName(name) < 0) {
            return QStringLiteral("Error: task '%1' not found").arg(name);
        }
        return QString();
    });
    QObject::connect(
        &channel, &InstanceChannel::TaskNameReceived, &queue,
        [&queue](const QString& argument) { queue.RunTaskByName(TrimTaskArgument(argument)); });
    channel.Listen(dataFolder);  // without it the run still works, alone

    if (all) {
        queue.StartAll();
    } else {
        for (const QString& name : pending) {
            queue.RunTaskByName(name);
        }
    }
    // A name handed over just as the queue went idle may have started another run
    // before the event loop returned.
    while (queue.IsRunning()) {
        command.Wait();
    }
    // Senders still waiting hear no answer and take the task list themselves.
    channel.Close();
    if (command.Signalled() || command.Observer().AnyAborted()) {
        return kExitStopped;
    }
    return command.Observer().AnyFailed() || refused ? kExitFailed : kExitOk;
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
