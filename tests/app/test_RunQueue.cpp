// The run queue with its worker thread: queue order and status, duplicates, Stop,
// outcome lines and sounds, the shutdown request, the restore questions, the estimate
// in the same worker slot, and the queue's end while a worker runs.
//
// Jobs never sleep: a job that must stay running waits at a gate the test opens. The
// main thread runs its event loop until what it waits for has happened (QueueIdle,
// mostly).

#include <QCoreApplication>
#include <QEventLoop>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <ostream>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "app/RunQueue.h"
#include "log/Log.h"
#include "log/LogList.h"
#include "log/QueuedLogTarget.h"
#include "model/TaskList.h"

namespace corvane {
namespace {

// Runs the main thread's event loop until `done` holds; fails after 30 s instead of
// hanging. A job's arrival posts nothing, so a short tick wakes the loop to look again.
void RunEventsUntil(const std::function<bool()>& done) {
    bool timedOut = false;
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [&timedOut] { timedOut = true; });
    guard.start(30000);
    QTimer tick;
    tick.start(5);
    while (!done() && !timedOut) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    ASSERT_FALSE(timedOut) << "the awaited state was never reached";
}

// A door a job waits at until the test opens it.
class Gate {
  public:
    void Open() {
        {
            std::lock_guard lock(m_mutex);
            m_open = true;
        }
        m_changed.notify_all();
    }
    void Wait() {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [this] { return m_open; });
    }

  private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_open = false;
};

struct JobCall {
    int taskIndex;
    bool restore;
    bool operator==(const JobCall&) const = default;
};

// The backup and restore jobs of a test. Each call is recorded; a job for a held task
// waits at that task's gate; a job for a failing task answers false. Every job counts
// how many jobs run at once. Holds and failures are set before the queue starts.
class Jobs {
  public:
    RunQueue::Job Backup() {
        return [this](int index, RunContext& context) { return Run(index, false, context); };
    }
    RunQueue::Job Restore() {
        return [this](int index, RunContext& context) { return Run(index, true, context); };
    }
    void Hold(int index) { m_gates[index] = std::make_unique<Gate>(); }
    void Release(int index) { m_gates.at(index)->Open(); }
    void Fail(int index) { m_failing.insert(index); }

    // Marks the start of a job of the test's own (an estimate, a restore with
    // questions) with the same bookkeeping: only one job at a time, the arrival is
    // announced to the main thread.
    void Enter() {
        std::lock_guard lock(m_mutex);
        Arrive();
    }
    void Leave() { --m_running; }

    bool Entered(int index) const {
        std::lock_guard lock(m_mutex);
        return std::any_of(m_calls.begin(), m_calls.end(),
                           [index](const JobCall& c) { return c.taskIndex == index; });
    }
    int Arrivals() const { return m_arrived.load(); }
    std::vector<JobCall> Calls() const {
        std::lock_guard lock(m_mutex);
        return m_calls;
    }
    // Whether the held job of `index` saw the stop flag once its gate opened.
    bool SawStop(int index) const {
        std::lock_guard lock(m_mutex);
        return m_sawStop.count(index) > 0;
    }
    int MaxRunning() const { return m_maxRunning.load(); }

  private:
    bool Run(int index, bool restore, RunContext& context) {
        {
            std::lock_guard lock(m_mutex);
            m_calls.push_back({index, restore});
            Arrive();
        }
        const auto gate = m_gates.find(index);
        if (gate != m_gates.end()) {
            gate->second->Wait();
            if (context.StopRequested()) {
                std::lock_guard lock(m_mutex);
                m_sawStop.insert(index);
            }
        }
        Leave();
        // A stopped job answers success, as a run stopped before anything failed does.
        return m_failing.count(index) == 0;
    }

    // Called with m_mutex held.
    void Arrive() {
        const int running = ++m_running;
        int seen = m_maxRunning.load();
        while (running > seen && !m_maxRunning.compare_exchange_weak(seen, running)) {
        }
        m_arrived.fetch_add(1);
    }

    std::map<int, std::unique_ptr<Gate>> m_gates;
    std::set<int> m_failing;
    mutable std::mutex m_mutex;
    std::vector<JobCall> m_calls;
    std::set<int> m_sawStop;
    std::atomic<int> m_running{0};
    std::atomic<int> m_maxRunning{0};
    std::atomic<int> m_arrived{0};
};

// Records what the queue shows the user, as "kind text" events, and checks that every
// call arrives on the main thread.
class RecordingObserver : public RunObserver {
  public:
    void SetQueueStatusText(const QString& text) override { Note("status " + text); }
    void SetTrayBusy() override { Note("busy"); }
    void SetTrayIdle() override { Note("idle"); }
    void PlayEventSound(int event) override { Note(QString("sound %1").arg(event)); }
    void ShowWarning(const QString& text) override { Note("warning " + text); }
    void RequestShutdown() override { Note("shutdown"); }
    void RunFinished(int taskIndex, RunOutcome outcome) override {
        Note(QString("finished %1 %2").arg(taskIndex).arg(static_cast<int>(outcome)));
    }
    void EstimateFinished(const QString& sizeText) override { Note("estimate" + sizeText); }
    int ChooseBackupCopy(const TaskRecord& task) override {
        Note("choose copy");
        return chooseCopy ? chooseCopy(task) : -1;
    }
    bool ChooseRestoreItems(std::vector<RestoreItem>& items) override {
        Note("choose items");
        return chooseItems ? chooseItems(items) : false;
    }

    // The events of one kind, without the kind.
    QStringList Of(const QString& kind) const {
        QStringList texts;
        for (const QString& event : events) {
            if (event.startsWith(kind)) {
                texts << event.mid(kind.size()).trimmed();
            }
        }
        return texts;
    }

    std::thread::id mainThread = std::this_thread::get_id();
    int callsOffMainThread = 0;
    QStringList events;
    std::function<int(const TaskRecord&)> chooseCopy;
    std::function<bool(std::vector<RestoreItem>&)> chooseItems;

  private:
    void Note(const QString& event) {
        if (std::this_thread::get_id() != mainThread) {
            ++callsOffMainThread;
        }
        events << event;
    }
};

class RunQueueTest : public testing::Test {
  protected:
    RunQueueTest() {
        SetLogTarget(&m_queuedLog);
        queue = std::make_unique<RunQueue>(tasks, observer);
        queue->SetBackupJob(jobs.Backup());
        queue->SetRestoreJob(jobs.Restore());
        QObject::connect(queue.get(), &RunQueue::QueueIdle, queue.get(), [this] { ++idleSignals; });
    }
    ~RunQueueTest() override {
        queue.reset();
        SetLogTarget(nullptr);
        EXPECT_LE(jobs.MaxRunning(), 1) << "two jobs ran at once";
        EXPECT_EQ(observer.callsOffMainThread, 0) << "the observer was called off the main thread";
    }

    void AddTasks(const std::vector<QString>& names) {
        for (const QString& name : names) {
            tasks.NewTask(name, kTaskBackup);
        }
    }

    // Waits for the n-th QueueIdle since the test began; then nothing may run.
    void WaitForIdle(int n) {
        RunEventsUntil([&] { return idleSignals >= n; });
        EXPECT_EQ(idleSignals, n);
        EXPECT_FALSE(queue->IsRunning());
        EXPECT_TRUE(queue->Entries().empty());
    }

    // The logged texts, without the time stamps of lines that start an action (a stamp
    // ends with the first ": " of the line).
    QStringList Lines() const {
        QStringList lines;
        for (int i = 0; i < m_log.Count(); ++i) {
            QString text = m_log.Line(i).text;
            if (!text.startsWith(QLatin1Char(' '))) {
                text = text.mid(text.indexOf(QLatin1String(": ")) + 2);
            }
            lines.append(text);
        }
        return lines;
    }

    TaskList tasks;
    RecordingObserver observer;
    Jobs jobs;
    int idleSignals = 0;

  private:
    LogList m_log;
    QueuedLogTarget m_queuedLog{m_log};

  protected:
    std::unique_ptr<RunQueue> queue;
};

TEST_F(RunQueueTest, StartAllQueuesLiveSlotsInOrderAndCountsDown) {
    AddTasks({"A", "B", "C", "D"});
    tasks.DeleteTask(1);

    queue->StartAll();
    WaitForIdle(1);

    EXPECT_EQ(jobs.Calls(), (std::vector<JobCall>{{0, false}, {2, false}, {3, false}}));
    EXPECT_EQ(Lines(), (QStringList{"Starting all task...", "  Add task 'A' to queue",
                                    "  Add task 'C' to queue", "  Add task 'D' to queue",
                                    "Starting task...", "  Task completed", "Starting task...",
                                    "  Task completed", "Starting task...", "  Task completed"}));
    EXPECT_EQ(observer.Of("status"),
              (QStringList{"1 tasks in queue", "2 tasks in queue", "3 tasks in queue",
                           "2 tasks in queue", "1 tasks in queue", "No tasks in queue"}));
    EXPECT_EQ(observer.Of("idle").size(), 3);
    EXPECT_EQ(queue->CurrentTaskIndex(), -1);
}

TEST_F(RunQueueTest, QueuedOrRunningTaskIsNotAddedTwiceButGroupStillLogsIt) {
    AddTasks({"A", "B"});
    jobs.Hold(0);

    queue->StartTask(0);
    ASSERT_TRUE(queue->IsRunning());
    EXPECT_EQ(queue->CurrentTaskIndex(), 0);
    queue->StartTask(0);
    queue->StartTask(1);
    queue->StartTask(1);
    queue->RestoreTask(1);
    queue->StartGroup({0, -1, 1});

    EXPECT_EQ(queue->Entries(),
              (std::vector<RunQueueEntry>{{0, kRunStarted}, {1, kRunBackupWaiting}}));
    EXPECT_EQ(Lines(), (QStringList{"Starting task...", "Starting group of tasks...",
                                    "  Add task 'A' to queue", "  Add task 'B' to queue"}));

    jobs.Release(0);
    WaitForIdle(1);
    EXPECT_EQ(jobs.Calls(), (std::vector<JobCall>{{0, false}, {1, false}}));
}

TEST_F(RunQueueTest, StopWithNothingRunningEmptiesTheQueueWithoutTheFlag) {
    AddTasks({"A", "B"});
    queue->AddToQueue(0, false);
    queue->AddToQueue(1, true);

    queue->Stop();

    EXPECT_TRUE(queue->Entries().empty());
    EXPECT_FALSE(queue->StopRequested());
    EXPECT_EQ(idleSignals, 1);
    EXPECT_TRUE(jobs.Calls().empty());

    // The next run is not taken for stopped.
    queue->StartTask(0);
    WaitForIdle(2);
    EXPECT_EQ(Lines(), (QStringList{"Starting task...", "  Task completed"}));
}

TEST_F(RunQueueTest, StopDuringTheSecondOfThreeAbortsItAndDropsTheThird) {
    AddTasks({"A", "B", "C"});
    jobs.Hold(1);

    queue->StartAll();
    RunEventsUntil([&] { return jobs.Entered(1); });
    queue->Stop();

    EXPECT_TRUE(queue->StopRequested());
    // The running entry stays until its completion, and so does the status text.
    EXPECT_EQ(queue->Entries(), (std::vector<RunQueueEntry>{{1, kRunStarted}}));
    EXPECT_EQ(observer.Of("status").back(), "2 tasks in queue");

    jobs.Release(1);
    WaitForIdle(1);

    EXPECT_TRUE(jobs.SawStop(1));
    EXPECT_EQ(jobs.Calls(), (std::vector<JobCall>{{0, false}, {1, false}}));
    EXPECT_EQ(Lines().mid(4), (QStringList{"Starting task...", "  Task completed",
                                           "Starting task...", "  Task has been aborted"}));
    EXPECT_EQ(observer.Of("sound"), QStringList{"3"});
    EXPECT_EQ(observer.Of("finished"), (QStringList{"0 0", "1 2"}));  // completed, aborted
    EXPECT_EQ(observer.Of("status").back(), "No tasks in queue");
    EXPECT_FALSE(queue->StopRequested());
}

TEST_F(RunQueueTest, SecondStopWhileTheFlagIsSetDoesNothing) {
    AddTasks({"A", "B"});
    jobs.Hold(0);

    queue->StartTask(0);
    queue->Stop();
    ASSERT_TRUE(queue->StopRequested());
    // Started again while it is still stopping: the running entry is still there.
    queue->StartTask(0);
    queue->StartTask(1);
    queue->Stop();

    EXPECT_TRUE(queue->StopRequested());
    EXPECT_EQ(queue->Entries(),
              (std::vector<RunQueueEntry>{{0, kRunStarted}, {1, kRunBackupWaiting}}));

    jobs.Release(0);
    WaitForIdle(1);
    EXPECT_TRUE(jobs.SawStop(0));
    EXPECT_EQ(Lines(), (QStringList{"Starting task...", "  Task has been aborted",
                                    "Starting task...", "  Task completed"}));
    EXPECT_FALSE(queue->StopRequested());
}

TEST_F(RunQueueTest, RestoreOnlyTaskIsRefusedAndUnknownSlotsDoNothing) {
    AddTasks({"Backup", "Gone"});
    tasks.NewTask("Restore only", kTaskRestore);
    tasks.DeleteTask(1);

    queue->StartTask(2);
    queue->StartTask(1);
    queue->StartTask(-1);
    queue->StartTask(3);
    queue->RestoreTask(1);
    queue->RestoreTask(7);

    EXPECT_EQ(Lines(), QStringList{"  Error: this task can be used only for data restore"});
    EXPECT_EQ(observer.Of("warning"), QStringList{"This task can be used only for data restore."});
    EXPECT_TRUE(queue->Entries().empty());
    EXPECT_FALSE(queue->IsRunning());

    // It can still be restored; a restore logs no "Starting task..." line.
    queue->RestoreTask(2);
    WaitForIdle(1);
    EXPECT_EQ(jobs.Calls(), (std::vector<JobCall>{{2, true}}));
    EXPECT_EQ(Lines().back(), "  Task completed");
    EXPECT_FALSE(Lines().contains("Starting task..."));
}

TEST_F(RunQueueTest, RunTaskByNameIgnoresCaseAndLogsUnknownNames) {
    AddTasks({"Other", "Docs", "DOCS"});

    queue->RunTaskByName("");
    queue->RunTaskByName("100%s done");
    queue->RunTaskByName("dOCs");
    WaitForIdle(1);

    EXPECT_EQ(jobs.Calls(), (std::vector<JobCall>{{1, false}}));
    EXPECT_EQ(Lines(), (QStringList{"Error: task '100%s done' not found", "Starting task...",
                                    "  Task completed"}));
}

// Outcome lines, sounds and the shutdown request after the queue has run.
struct ShutdownCase {
    const char* name;
    std::vector<bool> results;  // one task per entry
    bool stopLast;              // Stop is pressed while the last task runs
    bool shutdownOn;
    QStringList outcomes;
    QStringList sounds;
    int shutdownRequests;
};

class RunQueueShutdownTest : public RunQueueTest,
                             public testing::WithParamInterface<ShutdownCase> {};

TEST_P(RunQueueShutdownTest, ShutdownOnlyAfterAFinalUnstoppedSuccess) {
    const ShutdownCase& c = GetParam();
    const int last = static_cast<int>(c.results.size()) - 1;
    for (int i = 0; i <= last; ++i) {
        tasks.NewTask(QStringLiteral("T%1").arg(i), kTaskBackup);
        if (!c.results[static_cast<size_t>(i)]) {
            jobs.Fail(i);
        }
    }
    if (c.stopLast) {
        jobs.Hold(last);
    }
    queue->SetShutdownWhenComplete(c.shutdownOn);

    queue->StartAll();
    if (c.stopLast) {
        RunEventsUntil([&] { return jobs.Entered(last); });
        queue->Stop();
        jobs.Release(last);
    }
    WaitForIdle(1);

    QStringList outcomes;
    for (const QString& line : Lines()) {
        if (line.startsWith(QLatin1String("  "))) {
            outcomes.append(line);
        }
    }
    EXPECT_EQ(outcomes.mid(static_cast<int>(c.results.size())), c.outcomes);
    EXPECT_EQ(observer.Of("sound"), c.sounds);
    EXPECT_EQ(observer.Of("shutdown").size(), c.shutdownRequests);
    if (c.shutdownRequests > 0) {
        // Only after the last task has been reported.
        EXPECT_EQ(observer.events.back(), "shutdown");
        EXPECT_EQ(observer.Of("busy").size(), static_cast<qsizetype>(c.results.size()));
    }
}

// Sounds: 3 completed, 4 failed.
INSTANTIATE_TEST_SUITE_P(
    Cases, RunQueueShutdownTest,
    testing::Values(ShutdownCase{"AllSucceeded",
                                 {true, true},
                                 false,
                                 true,
                                 {"  Task completed", "  Task completed"},
                                 {"3", "3"},
                                 1},
                    ShutdownCase{"LastFailed",
                                 {true, false},
                                 false,
                                 true,
                                 {"  Task completed", "  Error: task failed"},
                                 {"3", "4"},
                                 0},
                    ShutdownCase{"FirstFailedLastSucceeded",
                                 {false, true},
                                 false,
                                 true,
                                 {"  Error: task failed", "  Task completed"},
                                 {"4", "3"},
                                 1},
                    ShutdownCase{"LastStopped",
                                 {true, true},
                                 true,
                                 true,
                                 {"  Task completed", "  Task has been aborted"},
                                 {"3"},
                                 0}),
    [](const testing::TestParamInfo<ShutdownCase>& info) { return info.param.name; });

TEST_F(RunQueueTest, RestoreQuestionsAreAnsweredOnTheMainThreadWhileTheWorkerWaits) {
    AddTasks({"Docs"});
    std::atomic<bool> asking{false};
    int copyAnswer = -2;
    bool itemsAnswer = false;
    std::vector<RestoreItem> itemsAfter;
    queue->SetRestoreJob([&](int index, RunContext& context) {
        jobs.Enter();
        asking = true;
        copyAnswer = context.AskBackupCopy(*tasks.TaskAt(index));
        std::vector<RestoreItem> items(2);
        items[0].archiveName = "a.txt";
        items[1].archiveName = "b.txt";
        itemsAnswer = context.AskRestoreItems(items);
        asking = false;
        itemsAfter = items;
        jobs.Leave();
        return true;
    });
    observer.chooseCopy = [&](const TaskRecord& task) {
        EXPECT_TRUE(asking.load());
        EXPECT_EQ(task.name, "Docs");
        return 1;
    };
    observer.chooseItems = [&](std::vector<RestoreItem>& items) {
        EXPECT_TRUE(asking.load());
        EXPECT_EQ(items.size(), 2u);
        items[1].checked = false;
        return true;
    };

    queue->RestoreTask(0);
    WaitForIdle(1);

    // The worker's values are read after the join that QueueIdle follows.
    EXPECT_EQ(copyAnswer, 1);
    EXPECT_TRUE(itemsAnswer);
    ASSERT_EQ(itemsAfter.size(), 2u);
    EXPECT_TRUE(itemsAfter[0].checked);
    EXPECT_FALSE(itemsAfter[1].checked);
    EXPECT_EQ(observer.Of("choose copy").size(), 1);
    EXPECT_EQ(observer.Of("choose items").size(), 1);
    EXPECT_EQ(Lines(), QStringList{"  Task completed"});
}

TEST_F(RunQueueTest, CancelledCopyChoiceStopsTheRestore) {
    AddTasks({"Docs"});
    int copyAnswer = -2;
    bool stopSeen = false;
    queue->SetRestoreJob([&](int index, RunContext& context) {
        copyAnswer = context.AskBackupCopy(*tasks.TaskAt(index));
        stopSeen = context.StopRequested();
        return true;
    });
    observer.chooseCopy = [](const TaskRecord&) { return -1; };

    queue->RestoreTask(0);
    WaitForIdle(1);

    EXPECT_EQ(copyAnswer, -1);
    EXPECT_TRUE(stopSeen);
    EXPECT_EQ(Lines(), (QStringList{"  Restore canceled by user", "  Task has been aborted"}));
    EXPECT_TRUE(observer.Of("sound").isEmpty());
    EXPECT_FALSE(queue->StopRequested());
}

TEST_F(RunQueueTest, CancelledItemsChoiceLeavesTheEndToTheJob) {
    AddTasks({"Docs"});
    bool itemsAnswer = true;
    bool stopSeen = true;
    queue->SetRestoreJob([&](int, RunContext& context) {
        std::vector<RestoreItem> items(1);
        itemsAnswer = context.AskRestoreItems(items);
        stopSeen = context.StopRequested();
        if (!itemsAnswer) {
            context.RequestStop();
        }
        return true;
    });
    observer.chooseItems = [](std::vector<RestoreItem>&) { return false; };

    queue->RestoreTask(0);
    WaitForIdle(1);

    EXPECT_FALSE(itemsAnswer);
    EXPECT_FALSE(stopSeen);
    EXPECT_EQ(Lines(), (QStringList{"  Restore canceled by user", "  Task has been aborted"}));
}

TEST_F(RunQueueTest, EstimateSharesTheWorkerSlot) {
    AddTasks({"A", "B"});
    jobs.Hold(0);
    Gate estimateGate;
    std::vector<int> estimated;
    int estimateTaskIndex = 0;
    const auto estimate = [&](RunContext& context) {
        jobs.Enter();
        estimated = context.EstimateTasks();
        estimateTaskIndex = context.TaskIndex();
        estimateGate.Wait();
        jobs.Leave();
        return 3000.0;
    };

    queue->StartTask(0);
    EXPECT_FALSE(queue->StartEstimate({0}, estimate));
    EXPECT_TRUE(queue->EstimateTasks().empty());
    jobs.Release(0);
    WaitForIdle(1);

    EXPECT_FALSE(queue->StartEstimate({}, estimate));
    ASSERT_TRUE(queue->StartEstimate({1, 0}, estimate));
    EXPECT_TRUE(queue->IsRunning());
    EXPECT_EQ(queue->EstimateTasks(), (std::vector<int>{1, 0}));
    EXPECT_FALSE(queue->StartEstimate({0}, estimate));
    queue->StartTask(1);
    EXPECT_EQ(queue->Entries(), (std::vector<RunQueueEntry>{{1, kRunBackupWaiting}}));
    EXPECT_EQ(queue->CurrentTaskIndex(), -1);

    estimateGate.Open();
    WaitForIdle(2);

    EXPECT_EQ(estimated, (std::vector<int>{1, 0}));
    EXPECT_EQ(estimateTaskIndex, -1);
    EXPECT_EQ(observer.Of("estimate"),
              QStringList{"Unpacked size of selected task(s) data: 2 KBytes"});
    EXPECT_TRUE(Lines().contains("  Unpacked size of selected task(s) data: 2 KBytes"));
    // The task started during the estimate ran after it.
    EXPECT_EQ(jobs.Calls(), (std::vector<JobCall>{{0, false}, {1, false}}));
    EXPECT_TRUE(queue->EstimateTasks().empty());
}

TEST_F(RunQueueTest, StopDuringAnEstimateAbortsItAndEmptiesTheQueue) {
    AddTasks({"A", "B"});
    Gate estimateGate;
    bool stopSeen = false;

    ASSERT_TRUE(queue->StartEstimate({0, 1}, [&](RunContext& context) {
        jobs.Enter();
        estimateGate.Wait();
        stopSeen = context.StopRequested();
        jobs.Leave();
        return 1.0;
    }));
    queue->StartTask(1);
    RunEventsUntil([&] { return jobs.Arrivals() == 1; });
    queue->Stop();
    EXPECT_TRUE(queue->StopRequested());
    EXPECT_TRUE(queue->Entries().empty());

    estimateGate.Open();
    WaitForIdle(1);

    EXPECT_TRUE(stopSeen);
    EXPECT_TRUE(observer.Of("estimate").isEmpty());  // no size and no message box
    EXPECT_TRUE(jobs.Calls().empty());
    EXPECT_EQ(Lines(), QStringList{"  Estimate aborted by user"});
    EXPECT_EQ(observer.Of("status").back(), "No tasks in queue");
    EXPECT_FALSE(queue->StopRequested());
}

TEST_F(RunQueueTest, DestroyingTheQueueStopsItsWorkerAndCancelsItsQuestion) {
    AddTasks({"Docs"});
    std::atomic<int> copyAnswer{-2};
    std::atomic<bool> stopSeen{false};
    queue->SetRestoreJob([&](int index, RunContext& context) {
        copyAnswer = context.AskBackupCopy(*tasks.TaskAt(index));
        // A long loop that polls the flag.
        while (!context.StopRequested()) {
            std::this_thread::yield();
        }
        stopSeen = true;
        return true;
    });
    observer.chooseCopy = [](const TaskRecord&) { return 0; };

    queue->RestoreTask(0);
    queue.reset();

    EXPECT_EQ(copyAnswer.load(), -1);
    EXPECT_TRUE(stopSeen.load());
    EXPECT_TRUE(observer.Of("choose copy").isEmpty());
    EXPECT_TRUE(Lines().isEmpty());
}

}  // namespace
}  // namespace corvane

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
