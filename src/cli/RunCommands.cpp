#include "cli/RunCommands.h"

#include <QEventLoop>

#include "app/Estimate.h"
#include "app/RunQueue.h"
#include "cli/CliConsole.h"
#include "cli/CliSession.h"
#include "cli/StopOnSignal.h"
#include "engine/BackupRun.h"
#include "log/Log.h"
#include "log/QueuedLogTarget.h"
#include "log/QueuedProgressTarget.h"
#include "platform/DataFolder.h"
#include "platform/DataFolderLock.h"

namespace corvane {
namespace {

// The front end of the queue in a terminal: no tray, no sounds, no dialogs. Restores
// cannot ask their questions here and are answered "cancel".
class CliObserver : public RunObserver {
  public:
    CliObserver(CliSession& session, std::FILE* err) : m_session(session), m_err(err) {}

    void SetQueueStatusText(const QString&) override {}
    void SetTrayBusy() override {}
    void SetTrayIdle() override {}
    void PlayEventSound(int) override {}
    void ShowWarning(const QString& text) override {
        std::fprintf(m_err, "Warning: %s\n", qUtf8Printable(text));
    }
    void RequestShutdown() override {}
    void RunFinished(int, RunOutcome outcome) override {
        if (outcome == RunOutcome::kFailed) {
            m_anyFailed = true;
        } else if (outcome == RunOutcome::kAborted) {
            m_anyAborted = true;
        }
        // The run may have added to the task's history: keep nothing for later.
        if (!m_session.Save(m_err)) {
            m_anyFailed = true;
        }
    }
    void EstimateFinished(const QString&) override {}
    int ChooseBackupCopy(const TaskRecord&) override { return -1; }
    bool ChooseRestoreItems(std::vector<RestoreItem>&) override { return false; }

    bool AnyFailed() const { return m_anyFailed; }
    bool AnyAborted() const { return m_anyAborted; }

  private:
    CliSession& m_session;
    std::FILE* m_err;
    bool m_anyFailed = false;
    bool m_anyAborted = false;
};

// Everything a queued command needs: the lock, the tasks, the terminal as log target,
// the queue, and Stop on SIGINT and SIGTERM.
class QueuedCommand {
  public:
    QueuedCommand(const QString& dataFolder, std::FILE* out, std::FILE* err)
        : m_err(err),
          m_session(dataFolder),
          m_console(out, err),
          m_queuedLog(m_console),
          m_queuedProgress(m_console),
          m_observer(m_session, err),
          m_queue(m_session.tasks, m_observer),
          m_signals([this] { m_queue.Stop(); }) {
        SetLogTarget(&m_queuedLog);
        SetProgressTarget(&m_queuedProgress);
    }

    ~QueuedCommand() {
        m_queuedLog.DeliverPending();
        m_queuedProgress.DeliverPending();
        SetLogTarget(nullptr);
        SetProgressTarget(nullptr);
    }

    // The slot of every name; reports the unknown ones on the error stream.
    bool Resolve(const QStringList& names, std::vector<int>& indices) const {
        bool ok = true;
        for (const QString& name : names) {
            const int index = m_session.tasks.FindTaskByName(name);
            if (index < 0) {
                std::fprintf(m_err, "Error: task '%s' not found\n", qUtf8Printable(name));
                ok = false;
            }
            indices.push_back(index);
        }
        return ok;
    }

    // Runs the event loop until the queue is idle.
    void Wait() {
        if (!m_queue.IsRunning()) {
            return;
        }
        QEventLoop loop;
        QObject::connect(&m_queue, &RunQueue::QueueIdle, &loop, &QEventLoop::quit);
        loop.exec();
    }

    CliSession& Session() { return m_session; }
    RunQueue& Queue() { return m_queue; }
    const CliObserver& Observer() const { return m_observer; }
    bool Signalled() const { return m_signals.Signalled(); }

  private:
    std::FILE* m_err;
    CliSession m_session;
    CliConsole m_console;
    QueuedLogTarget m_queuedLog;
    QueuedProgressTarget m_queuedProgress;
    CliObserver m_observer;
    RunQueue m_queue;
    StopOnSignal m_signals;
};

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

}  // namespace

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
