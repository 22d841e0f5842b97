#include "app/HeadlessRun.h"

#include <QThread>

#include "app/ExitCode.h"
#include "app/HeadlessQueue.h"
#include "app/InstanceChannel.h"
#include "app/TaskArgument.h"
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

// The hand-over record carries a task name only, so a thread count chosen for this
// process cannot travel with it: the serving program compresses with its own count.
// Says so once, with where that count is set, instead of dropping the option silently.
void NoteThreadsNotPassedOn(int& threads, InstanceChannel::Owner owner, std::FILE* err) {
    if (threads <= 0) {
        return;
    }
    std::fprintf(err,
                 "Note: --threads %d applies only to tasks this program runs itself; the running "
                 "%s compresses with its own thread count (Options > \"Archive threads...\" "
                 "in the window, also used by corvane-cli without --threads)\n",
                 threads,
                 owner == InstanceChannel::Owner::kWindow ? "Corvane window" : "corvane-cli run");
    threads = 0;
}

// Hands the names, in order, to the program that serves the data folder. Removes each
// name that program answered for from `pending`; stops at the first name nobody
// answers for. A refused name is reported on `err` and sets `refused`. `threads` is
// the count of --threads still to be noted as not passed on (0: none).
void HandOver(const QString& dataFolder, QStringList& pending, bool& refused, int& threads,
              std::FILE* out, std::FILE* err) {
    while (!pending.isEmpty()) {
        QString reply;
        InstanceChannel::Owner owner = InstanceChannel::Owner::kWindow;
        if (InstanceChannel::SendToRunning(dataFolder, &pending.front(), &reply, &owner)) {
            std::fprintf(
                out, "Task '%s' handed over to the running %s\n", qUtf8Printable(pending.front()),
                owner == InstanceChannel::Owner::kWindow ? "Corvane window" : "corvane-cli run");
            NoteThreadsNotPassedOn(threads, owner, err);
        } else if (reply.isEmpty()) {
            return;  // nobody serves the folder (any more)
        } else {
            std::fprintf(err, "%s\n", qUtf8Printable(reply));
            refused = true;
        }
        pending.removeFirst();
    }
}

// Takes the task list for this run, or hands the pending names to its owner. Answers
// -1 when this run holds the lock and runs the names left in `pending`; otherwise the
// exit status of a run that is done.
int TakeTaskListOrHandOver(DataFolderLock& lock, const QString& dataFolder, bool all,
                           QStringList& pending, bool& refused, int threads, std::FILE* out,
                           std::FILE* err) {
    if (all) {
        return LockDataFolder(lock, dataFolder, err) ? -1 : kExitLocked;
    }
    if (!EnsureFolder(dataFolder)) {
        ReportLocked(dataFolder, err);
        return kExitLocked;
    }
    for (int attempt = 1; !lock.TryLock(dataFolder); ++attempt) {
        HandOver(dataFolder, pending, refused, threads, out, err);
        if (pending.isEmpty()) {
            return refused ? kExitFailed : kExitOk;
        }
        if (attempt == kOwnerAttempts) {
            ReportLocked(dataFolder, err);
            return kExitLocked;
        }
        QThread::msleep(kOwnerPauseMs);
    }
    return -1;
}

// While this run owns the task list, a second program hands its names over to it
// instead of failing; they join the queue.
void ServeHandOvers(InstanceChannel& channel, HeadlessQueue& run, const QString& dataFolder) {
    const TaskList& tasks = run.Session().tasks;
    channel.SetTaskCheck([&tasks](const QString& argument) {
        const QString name = TrimTaskArgument(argument);
        if (tasks.FindTaskByName(name) < 0) {
            return QStringLiteral("Error: task '%1' not found").arg(name);
        }
        return QString();
    });
    RunQueue& queue = run.Queue();
    QObject::connect(
        &channel, &InstanceChannel::TaskNameReceived, &queue,
        [&queue](const QString& argument) { queue.RunTaskByName(TrimTaskArgument(argument)); });
    channel.Listen(dataFolder);  // without it the run still works, alone
}

}  // namespace

bool LockDataFolder(DataFolderLock& lock, const QString& dataFolder, std::FILE* err) {
    if (EnsureFolder(dataFolder) && lock.TryLock(dataFolder)) {
        return true;
    }
    ReportLocked(dataFolder, err);
    return false;
}

int RunTasksHeadless(const QString& dataFolder, const QStringList& names, bool all, std::FILE* out,
                     std::FILE* err, int threads) {
    if (!CheckTaskFiles(dataFolder, err)) {
        return kExitFailed;
    }
    DataFolderLock lock;
    QStringList pending = names;
    bool refused = false;
    const int done =
        TakeTaskListOrHandOver(lock, dataFolder, all, pending, refused, threads, out, err);
    if (done >= 0) {
        return done;
    }

    HeadlessQueue run(dataFolder, out, err);
    std::vector<int> indices;
    if (!run.Resolve(pending, indices)) {
        return kExitUsage;
    }
    run.AskForUnreadPasswords(all ? std::vector<int>() : indices);
    InstanceChannel channel(InstanceChannel::Owner::kCommandLine);
    ServeHandOvers(channel, run, dataFolder);
    if (all) {
        run.Queue().StartAll();
    } else {
        for (const QString& name : pending) {
            run.Queue().RunTaskByName(name);
        }
    }
    // A name handed over just as the queue went idle may have started another run
    // before the event loop returned.
    while (run.Queue().IsRunning()) {
        run.Wait();
    }
    // Senders still waiting hear no answer and take the task list themselves.
    channel.Close();
    const int status = run.ExitStatus();
    return status == kExitOk && refused ? kExitFailed : status;
}

}  // namespace corvane
