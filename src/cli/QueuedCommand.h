#pragma once

// What the commands of corvane-cli that run jobs share: the loaded task list, the
// terminal as log target and progress indicator, the run queue with a terminal front
// end, and Stop on SIGINT and SIGTERM. Needs a QCoreApplication.

#include <QEventLoop>
#include <cstdio>
#include <functional>

#include "app/RunQueue.h"
#include "cli/CliConsole.h"
#include "cli/CliSession.h"
#include "cli/StopOnSignal.h"
#include "log/Log.h"
#include "log/QueuedLogTarget.h"
#include "log/QueuedProgressTarget.h"
#include "platform/DataFolderLock.h"

namespace corvane {

// The front end of the queue in a terminal: no tray, no sounds, no dialogs.
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
    int ChooseBackupCopy(const TaskRecord& task) override {
        return chooseCopy ? chooseCopy(task) : -1;
    }
    bool ChooseRestoreItems(std::vector<RestoreItem>& items) override {
        return chooseItems ? chooseItems(items) : false;
    }

    // How the command answers the restore questions; without an answer they are
    // cancelled.
    std::function<int(const TaskRecord&)> chooseCopy;
    std::function<bool(std::vector<RestoreItem>&)> chooseItems;

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
    CliObserver& Observer() { return m_observer; }
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

// Takes the data folder's lock; says so on `err` when another process holds it.
bool LockDataFolder(DataFolderLock& lock, const QString& dataFolder, std::FILE* err);

}  // namespace corvane
