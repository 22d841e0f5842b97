#pragma once

// The run queue: tasks never run on the main thread and never two at a time. Start
// commands only add entries; the queue starts its head entry on its one worker thread,
// and when the job has ended it reports the outcome, plays the event sound and starts
// the next entry, or, once the queue is empty after a successful last task, asks the
// front end to shut the computer down. An estimate takes the same worker slot.
//
// Threads: the queue is a QObject of the main thread, and every public method except
// the three atomic readers (StopRequested, LastResult, CurrentTaskIndex) is called on
// that thread. The main thread must run its event loop while a worker runs: the worker
// posts its completion there and asks the restore questions there. The worker and the
// main thread share only atomics (stop flag, current task index, last result), the
// posted calls, and the restore question in flight, handed over under a mutex.
//
// Ownership: the task list and the observer are the caller's and must outlive the
// queue. The queue should be destroyed only while no worker runs (the front end refuses
// to close meanwhile); if one still runs, the destructor sets the stop flag, answers its
// questions with "cancel" and waits until the job returns, without reporting anything.

#include <QObject>
#include <QString>
#include <atomic>
#include <condition_variable>
#include <functional>
#include <future>
#include <mutex>
#include <thread>
#include <vector>

#include "app/RunContext.h"
#include "app/RunObserver.h"
#include "app/RunQueueEntry.h"
#include "model/RestoreItem.h"
#include "model/TaskList.h"

namespace corvane {

class RunQueue : public QObject {
    Q_OBJECT

  public:
    // A backup or restore of the task in `taskIndex`, run on the worker thread; answers
    // the run's result (true = success). A stopped run ends as aborted whatever it
    // answers.
    using Job = std::function<bool(int taskIndex, RunContext& context)>;
    // An estimate, run on the worker thread; its tasks are context.EstimateTasks().
    // Answers the total size in bytes.
    using EstimateJob = std::function<double(RunContext& context)>;

    // Longest wait for a worker to end after it posted its completion, in ms.
    static constexpr int kWorkerJoinTimeoutMs = 2000;

    RunQueue(TaskList& tasks, RunObserver& observer, QObject* parent = nullptr);
    ~RunQueue() override;

    RunQueue(const RunQueue&) = delete;
    RunQueue& operator=(const RunQueue&) = delete;

    // The jobs that later entries run; a run already started keeps its own. Without a
    // job a run fails with an error line.
    void SetBackupJob(Job job) { m_backupJob = std::move(job); }
    void SetRestoreJob(Job job) { m_restoreJob = std::move(job); }

    // Appends an entry for the task (restore or backup) unless the index is already in
    // the queue (waiting or running); then shows the queue status.
    void AddToQueue(int taskIndex, bool restore);
    // Removes that index's entry, keeping the order of the rest; absent: nothing.
    void RemoveFromQueue(int taskIndex);
    // "%d tasks in queue" / "No tasks in queue" to the observer.
    void UpdateQueueStatus();
    // Starts the head entry on the worker unless a worker runs or the queue is empty.
    // A worker that cannot be started is reported with an error line and its entry is
    // dropped; the next entry is tried, so the queue always drains.
    void StartNextInQueue();

    // Start commands of the window, the tray and the command line. Each only queues and
    // then starts the head entry when no worker runs.
    //
    // Start task: a backup of one task; a restore-only task is refused with an error
    // line and a warning; an empty or unknown slot does nothing.
    void StartTask(int taskIndex);
    // Start group: a backup of every live task of the group, in the given order
    // (-1 and empty slots are skipped); the "Add task" line is logged for each, also for
    // a task already queued.
    void StartGroup(const std::vector<int>& taskIndices);
    // Start all tasks: every live slot in slot order.
    void StartAll();
    // Restore: a restore of one task; an empty or unknown slot does nothing.
    void RestoreTask(int taskIndex);
    // A task named on the command line: the first task in slot order whose name equals
    // `name` without regard to case is queued for backup. An empty name does nothing;
    // an unknown one is logged.
    void RunTaskByName(const QString& name);

    // Stop: sets the stop flag when a run or an estimate is active (unless it is set
    // already, when nothing at all happens) and drops every waiting entry. The running
    // entry stays until its completion, which reports it as aborted; the status text
    // changes only then.
    void Stop();

    // Starts an estimate of the tasks on the worker. Answers false (and does nothing)
    // when a worker runs or the list is empty. While it runs, started tasks only queue
    // and Stop stops it. When it has ended: a stopped estimate logs
    // "  Estimate aborted by user" and empties the queue; otherwise the size line
    // "  Unpacked size of selected task(s) data: %s" is logged and handed to the
    // observer's EstimateFinished(), and the queued tasks start.
    bool StartEstimate(std::vector<int> taskIndices, EstimateJob job);
    // The tasks of the running estimate; empty when none runs.
    const std::vector<int>& EstimateTasks() const { return m_estimateTasks; }

    // "Shutdown PC when backup complete". A stopped run never leads to a shutdown
    // request, whatever its job answered: the user who stops a run is still at the
    // computer.
    bool ShutdownWhenComplete() const { return m_shutdownWhenComplete; }
    void SetShutdownWhenComplete(bool on) { m_shutdownWhenComplete = on; }

    // True from the start of a run or estimate until its completion has been handled.
    bool IsRunning() const { return m_worker.joinable(); }
    const std::vector<RunQueueEntry>& Entries() const { return m_entries; }

    // Shared with the worker; any thread.
    bool StopRequested() const { return m_stop.load(); }
    // Result of the last finished run (true before the first).
    bool LastResult() const { return m_lastResult.load(); }
    // Task of the running entry; -1 when no run is active (also during an estimate).
    int CurrentTaskIndex() const { return m_currentTask.load(); }

  signals:
    // The queue is empty and no worker runs: emitted when a run or an estimate has been
    // handled and nothing more starts, and when Stop empties the queue while no worker
    // runs. A caller that starts something checks IsRunning() before waiting for it.
    void QueueIdle();

  private:
    friend class RunContext;

    enum class WorkerKind { kNone, kTask, kEstimate };

    // Starts the worker thread on `body`; false when the thread cannot be created.
    bool LaunchWorker(WorkerKind kind, int taskIndex, std::vector<int> estimateTasks,
                      std::function<bool(RunContext&)> body);
    // Waits for the ended worker (at most kWorkerJoinTimeoutMs) and clears the slot.
    void ReleaseWorker();
    bool IsQueued(int taskIndex) const;
    // The task in a live slot; null for an empty slot or an index outside the list.
    const TaskRecord* LiveTask(int taskIndex) const;
    void QueueAndLog(int taskIndex);
    void EmitIdleIfIdle();
    void OnTaskFinished();
    void OnEstimateFinished();

    // Posted by name to this object's event loop: by the worker when it has ended, and
    // when it has asked a restore question (see RunQueue.cpp).
    Q_INVOKABLE void HandleWorkerEnded();
    Q_INVOKABLE void ServeQuestion();

    // Asked by RunContext on the worker thread; they block until the main thread has
    // answered.
    int AskBackupCopy(const TaskRecord& task);
    bool AskRestoreItems(std::vector<RestoreItem>& items);

    TaskList& m_tasks;
    RunObserver& m_observer;
    Job m_backupJob;
    Job m_restoreJob;

    // Main thread only.
    std::vector<RunQueueEntry> m_entries;
    std::vector<int> m_estimateTasks;
    bool m_shutdownWhenComplete = false;
    std::thread m_worker;
    std::future<void> m_workerEnded;  // ready once the worker thread has ended
    WorkerKind m_workerKind = WorkerKind::kNone;

    // Shared with the worker.
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_currentTask{-1};
    std::atomic<bool> m_lastResult{true};
    std::atomic<double> m_estimateTotal{0.0};

    // The restore question in flight (one at most: the worker waits for its answer).
    enum class Question { kNone, kBackupCopy, kRestoreItems };
    std::mutex m_questionMutex;
    std::condition_variable m_questionAnswered;
    // Guarded by m_questionMutex.
    Question m_question = Question::kNone;
    const TaskRecord* m_copyTask = nullptr;
    std::vector<RestoreItem>* m_restoreItems = nullptr;
    bool m_answered = false;
    int m_copyAnswer = -1;
    bool m_itemsAnswer = false;
    bool m_closing = false;  // set by the destructor: questions are answered "cancel"
};

}  // namespace corvane
