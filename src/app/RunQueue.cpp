#include "app/RunQueue.h"

#include "app/Estimate.h"

#include <QMetaObject>
#include <algorithm>
#include <chrono>
#include <system_error>

#include "log/Log.h"

// How the two threads meet. The worker is a std::thread: it runs the job, stores the
// result, arranges for its "ended" future to become ready when the thread is gone, and
// posts HandleWorkerEnded by name. The main thread joins it there, which orders
// everything the worker did (the posted call included) before anything the main thread
// does afterwards.
//
// A restore question is handed over under m_questionMutex: the worker stores the
// question and posts ServeQuestion while it holds the mutex, then waits on the
// condition variable, which releases it. ServeQuestion takes the mutex before it reads
// the question, calls the observer without it (a dialog may run an event loop), and
// stores the answer under it. Every hand-over is thus ordered by the mutex, which
// ThreadSanitizer can follow; Qt's blocking queued call would order them through Qt's
// internal semaphore, which it cannot see in the system's Qt build.

namespace corvane {

RunQueue::RunQueue(TaskList& tasks, RunObserver& observer, QObject* parent)
    : QObject(parent), m_tasks(tasks), m_observer(observer) {}

RunQueue::~RunQueue() {
    if (!m_worker.joinable()) {
        return;
    }
    m_stop.store(true);
    m_entries.clear();
    {
        std::lock_guard lock(m_questionMutex);
        m_closing = true;
    }
    m_questionAnswered.notify_all();
    // The job returns at its next check of the stop flag. Its completion call, still
    // posted, goes with this object.
    m_worker.join();
}

void RunQueue::AddToQueue(int taskIndex, bool restore) {
    if (IsQueued(taskIndex)) {
        return;
    }
    m_entries.push_back({taskIndex, restore ? kRunRestoreWaiting : kRunBackupWaiting});
    UpdateQueueStatus();
}

void RunQueue::RemoveFromQueue(int taskIndex) {
    const auto it =
        std::find_if(m_entries.begin(), m_entries.end(),
                     [taskIndex](const RunQueueEntry& e) { return e.taskIndex == taskIndex; });
    if (it != m_entries.end()) {
        m_entries.erase(it);
    }
}

void RunQueue::UpdateQueueStatus() {
    if (m_entries.empty()) {
        m_observer.SetQueueStatusText(QStringLiteral("No tasks in queue"));
    } else {
        m_observer.SetQueueStatusText(
            QStringLiteral("%1 tasks in queue").arg(static_cast<int>(m_entries.size())));
    }
}

void RunQueue::StartNextInQueue() {
    bool dropped = false;
    while (!m_worker.joinable() && !m_entries.empty()) {
        m_observer.SetTrayBusy();
        RunQueueEntry& head = m_entries.front();
        const int index = head.taskIndex;
        const bool restore = head.mode == kRunRestoreWaiting;
        m_currentTask.store(index);
        if (!restore) {
            Log("Starting task...");
        }
        head.mode = kRunStarted;

        Job job = restore ? m_restoreJob : m_backupJob;
        auto body = [job = std::move(job), index, restore](RunContext& context) {
            if (!job) {
                Log(restore ? "  Error: restore is not available in this program"
                            : "  Error: backup is not available in this program");
                return false;
            }
            return job(index, context);
        };
        if (LaunchWorker(WorkerKind::kTask, index, {}, std::move(body))) {
            return;
        }
        // The entry cannot run: drop it, so that the queue does not stall behind it, and
        // go on with the next one.
        m_currentTask.store(-1);
        RemoveFromQueue(index);
        UpdateQueueStatus();
        m_observer.SetTrayIdle();
        dropped = true;
    }
    if (dropped) {
        EmitIdleIfIdle();
    }
}

void RunQueue::StartTask(int taskIndex) {
    const TaskRecord* task = LiveTask(taskIndex);
    if (task == nullptr) {
        return;
    }
    if (task->taskType == kTaskRestore) {
        Log("  Error: this task can be used only for data restore");
        m_observer.ShowWarning(QStringLiteral("This task can be used only for data restore."));
        return;
    }
    AddToQueue(taskIndex, false);
    StartNextInQueue();
}

void RunQueue::StartGroup(const std::vector<int>& taskIndices) {
    Log("Starting group of tasks...");
    for (const int index : taskIndices) {
        if (index != -1 && LiveTask(index) != nullptr) {
            QueueAndLog(index);
        }
    }
    StartNextInQueue();
}

void RunQueue::StartAll() {
    Log("Starting all task...");
    for (int index = 0; index < m_tasks.TaskCount(); ++index) {
        if (LiveTask(index) != nullptr) {
            QueueAndLog(index);
        }
    }
    StartNextInQueue();
}

void RunQueue::RestoreTask(int taskIndex) {
    if (LiveTask(taskIndex) == nullptr) {
        return;
    }
    AddToQueue(taskIndex, true);
    StartNextInQueue();
}

void RunQueue::RunTaskByName(const QString& name) {
    if (name.isEmpty()) {
        return;
    }
    const int index = m_tasks.FindTaskByName(name);
    if (index == -1) {
        Log("Error: task '%s' not found", name.toUtf8().constData());
        return;
    }
    AddToQueue(index, false);
    StartNextInQueue();
}

void RunQueue::Stop() {
    if (m_stop.load()) {
        return;
    }
    if (m_currentTask.load() != -1 || !m_estimateTasks.empty()) {
        m_stop.store(true);
    }
    // The running entry keeps its place until its completion removes it: while it is
    // there the same task cannot be queued a second time behind itself, and the
    // completion cannot remove an entry the user added after pressing Stop.
    const auto removed =
        std::erase_if(m_entries, [](const RunQueueEntry& e) { return e.mode != kRunStarted; });
    if (removed > 0 && !m_worker.joinable()) {
        emit QueueIdle();
    }
}

bool RunQueue::StartEstimate(std::vector<int> taskIndices, EstimateJob job) {
    if (m_worker.joinable() || taskIndices.empty()) {
        return false;
    }
    m_estimateTasks = taskIndices;
    m_observer.SetTrayBusy();
    m_stop.store(false);
    m_estimateTotal.store(0.0);
    auto body = [this, job = std::move(job)](RunContext& context) {
        m_estimateTotal.store(job ? job(context) : 0.0);
        return true;
    };
    if (!LaunchWorker(WorkerKind::kEstimate, -1, std::move(taskIndices), std::move(body))) {
        m_estimateTasks.clear();
        m_observer.SetTrayIdle();
        return false;
    }
    return true;
}

bool RunQueue::LaunchWorker(WorkerKind kind, int taskIndex, std::vector<int> estimateTasks,
                            std::function<bool(RunContext&)> body) {
    std::promise<void> ended;
    std::future<void> endedFuture = ended.get_future();
    const bool storesResult = kind == WorkerKind::kTask;
    try {
        m_worker =
            std::thread([this, taskIndex, storesResult, estimateTasks = std::move(estimateTasks),
                         body = std::move(body), ended = std::move(ended)]() mutable {
                bool result = true;
                {
                    RunContext context(*this, taskIndex, std::move(estimateTasks));
                    result = body(context);
                }
                ended.set_value_at_thread_exit();
                if (storesResult) {
                    m_lastResult.store(result);
                }
                // The last touch of the queue by this thread.
                QMetaObject::invokeMethod(this, "HandleWorkerEnded", Qt::QueuedConnection);
            });
    } catch (const std::system_error& error) {
        Log("  Error: cannot start the worker thread (%s)", error.what());
        return false;
    }
    m_workerEnded = std::move(endedFuture);
    m_workerKind = kind;
    return true;
}

void RunQueue::ReleaseWorker() {
    if (!m_worker.joinable()) {
        return;
    }
    // The worker posted its completion as its last step, so it normally ends at once; one
    // that does not end in time is left to end on its own.
    if (m_workerEnded.wait_for(std::chrono::milliseconds(kWorkerJoinTimeoutMs)) ==
        std::future_status::ready) {
        m_worker.join();
    } else {
        m_worker.detach();
    }
    m_workerEnded = {};
    m_workerKind = WorkerKind::kNone;
}

bool RunQueue::IsQueued(int taskIndex) const {
    return std::any_of(m_entries.begin(), m_entries.end(),
                       [taskIndex](const RunQueueEntry& e) { return e.taskIndex == taskIndex; });
}

const TaskRecord* RunQueue::LiveTask(int taskIndex) const {
    if (taskIndex < 0 || taskIndex >= m_tasks.TaskCount()) {
        return nullptr;
    }
    return m_tasks.TaskAt(taskIndex);
}

void RunQueue::QueueAndLog(int taskIndex) {
    AddToQueue(taskIndex, false);
    Log("  Add task '%s' to queue", LiveTask(taskIndex)->name.toUtf8().constData());
}

void RunQueue::EmitIdleIfIdle() {
    // An observer call may have started something meanwhile (a modal dialog runs the
    // event loop); then the queue is not idle.
    if (!m_worker.joinable() && m_entries.empty()) {
        emit QueueIdle();
    }
}

void RunQueue::HandleWorkerEnded() {
    switch (m_workerKind) {
        case WorkerKind::kTask:
            OnTaskFinished();
            break;
        case WorkerKind::kEstimate:
            OnEstimateFinished();
            break;
        case WorkerKind::kNone:
            break;
    }
}

void RunQueue::OnTaskFinished() {
    ReleaseWorker();
    const int finished = m_currentTask.exchange(-1);
    if (finished != -1) {
        RemoveFromQueue(finished);
    }

    const bool stopped = m_stop.load();
    const bool succeeded = m_lastResult.load();
    RunOutcome outcome = RunOutcome::kCompleted;
    if (stopped) {
        Log("  Task has been aborted");
        outcome = RunOutcome::kAborted;
    } else if (succeeded) {
        Log("  Task completed");
        m_observer.PlayEventSound(kSoundTaskCompleted);
    } else {
        Log("  Error: task failed");
        m_observer.PlayEventSound(kSoundTaskFailed);
        outcome = RunOutcome::kFailed;
    }
    m_stop.store(false);
    if (finished != -1) {
        m_observer.RunFinished(finished, outcome);
    }
    UpdateQueueStatus();
    m_observer.SetTrayIdle();

    if (!m_entries.empty()) {
        StartNextInQueue();
        return;
    }
    // A stopped run may answer success (it stopped before anything failed), but the user
    // who pressed Stop is at the computer and does not want it switched off.
    if (succeeded && !stopped && m_shutdownWhenComplete) {
        m_observer.RequestShutdown();
    }
    EmitIdleIfIdle();
}

void RunQueue::OnEstimateFinished() {
    ReleaseWorker();
    m_estimateTasks.clear();
    m_observer.SetTrayIdle();

    const bool stopped = m_stop.load();
    if (stopped) {
        m_entries.clear();
        UpdateQueueStatus();
        Log("  Estimate aborted by user");
    } else {
        const QString text = QStringLiteral("  Unpacked size of selected task(s) data: %1")
                                 .arg(FormatSize(m_estimateTotal.load()));
        Log("%s", qUtf8Printable(text));
        m_observer.EstimateFinished(text);
    }
    m_stop.store(false);
    if (!stopped) {
        // Tasks started while the estimate ran start now.
        StartNextInQueue();
    }
    EmitIdleIfIdle();
}

int RunQueue::AskBackupCopy(const TaskRecord& task) {
    std::unique_lock lock(m_questionMutex);
    if (m_closing) {
        return -1;
    }
    m_question = Question::kBackupCopy;
    m_copyTask = &task;
    m_copyAnswer = -1;
    m_answered = false;
    QMetaObject::invokeMethod(this, "ServeQuestion", Qt::QueuedConnection);
    m_questionAnswered.wait(lock, [this] { return m_answered || m_closing; });
    m_question = Question::kNone;
    m_copyTask = nullptr;
    return m_answered ? m_copyAnswer : -1;
}

bool RunQueue::AskRestoreItems(std::vector<RestoreItem>& items) {
    std::unique_lock lock(m_questionMutex);
    if (m_closing) {
        return false;
    }
    m_question = Question::kRestoreItems;
    m_restoreItems = &items;
    m_itemsAnswer = false;
    m_answered = false;
    QMetaObject::invokeMethod(this, "ServeQuestion", Qt::QueuedConnection);
    m_questionAnswered.wait(lock, [this] { return m_answered || m_closing; });
    m_question = Question::kNone;
    m_restoreItems = nullptr;
    return m_answered && m_itemsAnswer;
}

void RunQueue::ServeQuestion() {
    std::unique_lock lock(m_questionMutex);
    if (m_question == Question::kNone || m_answered || m_closing) {
        return;
    }
    const Question question = m_question;
    const TaskRecord* task = m_copyTask;
    std::vector<RestoreItem>* items = m_restoreItems;
    lock.unlock();

    // The worker waits for the answer, so the task and the items are ours meanwhile.
    int copy = -1;
    bool accepted = false;
    if (question == Question::kBackupCopy) {
        copy = m_observer.ChooseBackupCopy(*task);
        if (copy < 0) {
            Log("  Restore canceled by user");
            m_stop.store(true);
            copy = -1;
        }
    } else {
        accepted = m_observer.ChooseRestoreItems(*items);
        if (!accepted) {
            Log("  Restore canceled by user");
        }
    }

    lock.lock();
    m_copyAnswer = copy;
    m_itemsAnswer = accepted;
    m_answered = true;
    lock.unlock();
    m_questionAnswered.notify_all();
}

}  // namespace corvane
