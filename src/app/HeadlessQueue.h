#pragma once

// The run queue without a window, for the command line and for the window program
// started without a display: the loaded task list, the terminal as log target and
// progress indicator, the queue with a terminal front end, and Stop on SIGINT and
// SIGTERM. Needs a QCoreApplication; main thread only.

#include <QStringList>
#include <cstdio>
#include <functional>
#include <vector>

#include "app/RunQueue.h"
#include "app/StopOnSignal.h"
#include "app/TaskSession.h"
#include "app/TerminalConsole.h"
#include "log/QueuedLogTarget.h"
#include "log/QueuedProgressTarget.h"

namespace corvane {

// The front end of the queue in a terminal: no tray, no sounds, no shutdown, no
// dialogs. Saves the task list after every run.
class TerminalObserver : public RunObserver {
  public:
    TerminalObserver(TaskSession& session, std::FILE* err) : m_session(session), m_err(err) {}

    void SetQueueStatusText(const QString&) override {}
    void SetTrayBusy() override {}
    void SetTrayIdle() override {}
    void PlayEventSound(int) override {}
    void ShowWarning(const QString& text) override;
    void RequestShutdown() override {}
    void RunFinished(int taskIndex, RunOutcome outcome) override;
    void EstimateFinished(const QString&) override {}
    int ChooseBackupCopy(const TaskRecord& task) override;
    bool ChooseRestoreItems(std::vector<RestoreItem>& items) override;

    // How the command answers the restore questions; without an answer they are
    // cancelled.
    std::function<int(const TaskRecord&)> chooseCopy;
    std::function<bool(std::vector<RestoreItem>&)> chooseItems;
    // Called when a run has ended, before the queue starts the next one.
    std::function<void()> afterRun;

    bool AnyFailed() const { return m_anyFailed; }
    bool AnyAborted() const { return m_anyAborted; }

  private:
    TaskSession& m_session;
    std::FILE* m_err;
    bool m_anyFailed = false;
    bool m_anyAborted = false;
};

class HeadlessQueue {
  public:
    // Loads the task list of `dataFolder`, makes the terminal the log target and gives
    // the queue the program's task jobs.
    HeadlessQueue(const QString& dataFolder, std::FILE* out, std::FILE* err);
    ~HeadlessQueue();
    HeadlessQueue(const HeadlessQueue&) = delete;
    HeadlessQueue& operator=(const HeadlessQueue&) = delete;

    // The slot of every name; reports the unknown ones on the error stream.
    [[nodiscard]] bool Resolve(const QStringList& names, std::vector<int>& indices) const;

    // For each task slot in `indices` (-1 and empty slots skipped; empty: every task),
    // asks on the terminal for each password its run needs that the keyring did not
    // give. One typed serves this command's runs and is never saved; without a
    // terminal the run fails on its own.
    void AskForUnreadPasswords(std::vector<int> indices);

    // Runs the event loop until the queue is idle.
    void Wait();

    // The exit status after the queue has run: stopped, failed or ok.
    int ExitStatus() const;

    TaskSession& Session() { return m_session; }
    RunQueue& Queue() { return m_queue; }
    TerminalObserver& Observer() { return m_observer; }
    bool Signalled() const { return m_signals.Signalled(); }

  private:
    std::FILE* m_err;
    TaskSession m_session;
    TerminalConsole m_console;
    QueuedLogTarget m_queuedLog;
    QueuedProgressTarget m_queuedProgress;
    TerminalObserver m_observer;
    RunQueue m_queue;
    StopOnSignal m_signals;
};

}  // namespace corvane
