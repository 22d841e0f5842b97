// The run queue with its worker thread: queue order and status, duplicates, Stop,
// outcome lines and sounds, the shutdown request, the restore questions, the estimate
// in the same worker slot, and the queue's end while a worker runs.
//
// Jobs never sleep: a job that must stay running waits at a latch the test opens. The
// main thread serves its events until what it waits for has happened.

#include <QtCore/qtestsupport_core.h>
#include <QCoreApplication>
#include <QRegularExpression>
#include <QString>
#include <QStringList>
#include <algorithm>
#include <atomic>
#include <functional>
#include <latch>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "app/RunQueue.h"
#include "log/Log.h"
#include "log/LogList.h"
#include "log/QueuedLogTarget.h"
#include "model/TaskList.h"
#include "support/TempDir.h"

namespace corvane {
namespace {

// Fails after 30 s instead of hanging.
void ServeEventsUntil(const std::function<bool()>& done) {
    ASSERT_TRUE(QTest::qWaitFor(done, 30000)) << "the awaited state was never reached";
}

struct JobCall {
    int taskIndex;
    bool restore;
    bool operator==(const JobCall&) const = default;
};

// What the jobs of a test did, copied out under the lock.
struct JobLog {
    std::vector<JobCall> calls;
    std::set<int> sawStop;  // held jobs that saw the stop flag once their latch opened
    int arrivals = 0;       // every job, the test's own estimates and restores too
    int running = 0;
    int maxRunning = 0;
};

// The backup and restore jobs of a test: a held task's job waits at its latch, a failing
// task's job answers false (both set before the queue starts). Jobs of the test's own go
// through Enter/Leave, so that two jobs running at once are always seen.
class Jobs {
  public:
    RunQueue::Job Job(bool restore) {
        return [this, restore](int index, RunContext& context) {
            return Run(index, restore, context);
        };
    }
    void Hold(int index) { m_gates.try_emplace(index, 1); }
    void Release(int index) { m_gates.at(index).count_down(); }
    void Fail(int index) { m_failing.insert(index); }
    void Enter() { Note(nullptr); }
    void Leave() {
        std::lock_guard lock(m_mutex);
        --m_log.running;
    }
    JobLog Now() const {
        std::lock_guard lock(m_mutex);
        return m_log;
    }

  private:
    bool Run(int index, bool restore, RunContext& context) {
        const JobCall call{index, restore};
        Note(&call);
        if (const auto gate = m_gates.find(index); gate != m_gates.end()) {
            gate->second.wait();
            std::lock_guard lock(m_mutex);
            if (context.StopRequested()) {
                m_log.sawStop.insert(index);
            }
        }
        Leave();
        // A stopped job answers success, as a run stopped before anything failed does.
        return m_failing.count(index) == 0;
    }
    void Note(const JobCall* call) {
        std::lock_guard lock(m_mutex);
        if (call != nullptr) {
            m_log.calls.push_back(*call);
        }
        m_log.maxRunning = std::max(m_log.maxRunning, ++m_log.running);
        ++m_log.arrivals;
    }

    std::map<int, std::latch> m_gates;
    std::set<int> m_failing;
    mutable std::mutex m_mutex;
    JobLog m_log;
};

// Records what the queue shows the user, as "kind text" events, and counts calls that
// arrive off the main thread.
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

    int callsOffMainThread = 0;
    QStringList events;
    std::function<int(const TaskRecord&)> chooseCopy;
    std::function<bool(std::vector<RestoreItem>&)> chooseItems;

  private:
    void Note(const QString& event) {
        callsOffMainThread += std::this_thread::get_id() != m_mainThread ? 1 : 0;
        events << event;
    }
    const std::thread::id m_mainThread = std::this_thread::get_id();
};

class RunQueueTest : public testing::Test {
  protected:
    RunQueueTest() {
        SetLogTarget(&m_queuedLog);
        queue->SetBackupJob(jobs.Job(false));
        queue->SetRestoreJob(jobs.Job(true));
        QObject::connect(queue.get(), &RunQueue::QueueIdle, queue.get(), [this] { ++idleSignals; });
    }
    ~RunQueueTest() override {
        queue.reset();
        SetLogTarget(nullptr);
        EXPECT_LE(jobs.Now().maxRunning, 1) << "two jobs ran at once";
        EXPECT_EQ(observer.callsOffMainThread, 0) << "the observer was called off the main thread";
    }

    void AddTasks(const QStringList& names) {
        for (const QString& name : names) {
            tasks.NewTask(name, kTaskBackup);
        }
    }

    // Waits for the n-th QueueIdle since the test began; then nothing may run.
    void WaitForIdle(int n) {
        ServeEventsUntil([&] { return idleSignals >= n; });
        EXPECT_EQ(idleSignals, n);
        EXPECT_FALSE(queue->IsRunning());
        EXPECT_TRUE(queue->Entries().empty());
    }
    void WaitForArrivals(int n) {
        ServeEventsUntil([&] { return jobs.Now().arrivals >= n; });
    }

    // The logged texts, without the time stamps of lines that start an action (a stamp
    // ends with the first ": " of the line).
    QStringList Lines() const {
        QStringList lines;
        for (int i = 0; i < m_log.Count(); ++i) {
            const QString text = m_log.Line(i).text;
            lines << (text.startsWith(' ') ? text : text.mid(text.indexOf(": ") + 2));
        }
        return lines;
    }

    // An estimate of the test's own that waits at `estimateGate`, then reports 3000 bytes.
    struct EstimateSeen {
        std::vector<int> tasks;
        int taskIndex = 0;
        bool stop = false;
    };
    RunQueue::EstimateJob HeldEstimate(EstimateSeen& seen) {
        return [this, &seen](RunContext& context) {
            jobs.Enter();
            seen.tasks = context.EstimateTasks();
            seen.taskIndex = context.TaskIndex();
            estimateGate.wait();
            seen.stop = context.StopRequested();
            jobs.Leave();
            return 3000.0;
        };
    }

    TaskList tasks;
    RecordingObserver observer;
    Jobs jobs;
    std::latch estimateGate{1};
    int idleSignals = 0;
    LogList m_log;
    QueuedLogTarget m_queuedLog{m_log};
    std::unique_ptr<RunQueue> queue = std::make_unique<RunQueue>(tasks, observer);
};

TEST_F(RunQueueTest, StartAllQueuesLiveSlotsInOrderAndCountsDown) {
    AddTasks({"A", "B", "C", "D"});
    tasks.DeleteTask(1);

    queue->StartAll();
    WaitForIdle(1);

    EXPECT_EQ(jobs.Now().calls, (std::vector<JobCall>{{0, false}, {2, false}, {3, false}}));
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
    EXPECT_EQ(jobs.Now().calls, (std::vector<JobCall>{{0, false}, {1, false}}));
}

TEST_F(RunQueueTest, StopWithNothingRunningEmptiesTheQueueWithoutTheFlag) {
    AddTasks({"A", "B"});
    queue->AddToQueue(0, false);
    queue->AddToQueue(1, true);

    queue->Stop();

    EXPECT_TRUE(queue->Entries().empty());
    EXPECT_FALSE(queue->StopRequested());
    EXPECT_EQ(idleSignals, 1);
    // The next run is not taken for stopped.
    queue->StartTask(0);
    WaitForIdle(2);
    EXPECT_EQ(jobs.Now().calls, (std::vector<JobCall>{{0, false}}));
    EXPECT_EQ(Lines(), (QStringList{"Starting task...", "  Task completed"}));
}

// Stop aborts the running task and drops the waiting ones; the running entry and the
// status text stay until its completion. A task started while it stops is queued, and a
// second Stop meanwhile does nothing at all.
TEST_F(RunQueueTest, StopAbortsTheRunningTaskDropsTheRestAndASecondStopDoesNothing) {
    AddTasks({"A", "B", "C"});
    jobs.Hold(1);

    queue->StartAll();
    WaitForArrivals(2);
    queue->Stop();
    ASSERT_TRUE(queue->StopRequested());
    EXPECT_EQ(queue->Entries(), (std::vector<RunQueueEntry>{{1, kRunStarted}}));
    EXPECT_EQ(observer.Of("status").back(), "2 tasks in queue");
    queue->StartTask(1);
    queue->StartTask(0);
    queue->Stop();
    EXPECT_TRUE(queue->StopRequested());
    EXPECT_EQ(queue->Entries(),
              (std::vector<RunQueueEntry>{{1, kRunStarted}, {0, kRunBackupWaiting}}));

    jobs.Release(1);
    WaitForIdle(1);

    EXPECT_EQ(jobs.Now().sawStop, std::set<int>{1});
    EXPECT_EQ(jobs.Now().calls, (std::vector<JobCall>{{0, false}, {1, false}, {0, false}}));
    EXPECT_EQ(Lines().mid(4),
              (QStringList{"Starting task...", "  Task completed", "Starting task...",
                           "  Task has been aborted", "Starting task...", "  Task completed"}));
    EXPECT_EQ(observer.Of("sound"), (QStringList{"3", "3"}));
    EXPECT_EQ(observer.Of("finished"), (QStringList{"0 0", "1 2", "0 0"}));  // 2: aborted
    EXPECT_EQ(observer.Of("status").back(), "No tasks in queue");
    EXPECT_FALSE(queue->StopRequested());
}

TEST_F(RunQueueTest, RestoreOnlyTaskIsRefusedAndUnknownSlotsDoNothing) {
    AddTasks({"Backup", "Gone"});
    tasks.NewTask("Restore only", kTaskRestore);
    tasks.DeleteTask(1);

    for (const int slot : {2, 1, -1, 3}) {
        queue->StartTask(slot);
    }
    queue->RestoreTask(1);
    queue->RestoreTask(7);

    EXPECT_EQ(Lines(), QStringList{"  Error: this task can be used only for data restore"});
    EXPECT_EQ(observer.Of("warning"), QStringList{"This task can be used only for data restore."});
    EXPECT_TRUE(queue->Entries().empty());
    EXPECT_FALSE(queue->IsRunning());

    // It can still be restored; a restore logs no "Starting task..." line.
    queue->RestoreTask(2);
    WaitForIdle(1);
    EXPECT_EQ(jobs.Now().calls, (std::vector<JobCall>{{2, true}}));
    EXPECT_EQ(Lines().mid(1), QStringList{"  Task completed"});
}

TEST_F(RunQueueTest, RunTaskByNameIgnoresCaseAndLogsUnknownNames) {
    AddTasks({"Other", "Docs", "DOCS"});

    queue->RunTaskByName("");
    queue->RunTaskByName("100%s done");
    queue->RunTaskByName("dOCs");
    WaitForIdle(1);

    EXPECT_EQ(jobs.Now().calls, (std::vector<JobCall>{{1, false}}));
    EXPECT_EQ(Lines(), (QStringList{"Error: task '100%s done' not found", "Starting task...",
                                    "  Task completed"}));
}

// Outcome lines, sounds (3 completed, 4 failed) and the shutdown request after the
// queue has run with "shut down when complete" on.
struct ShutdownCase {
    const char* name;
    std::vector<bool> results;  // one task per entry
    bool stopLast;              // Stop is pressed while the last task runs
    QStringList outcomes;
    QStringList sounds;
    int shutdownRequests;
};

class RunQueueShutdownTest : public RunQueueTest,
                             public testing::WithParamInterface<ShutdownCase> {};

TEST_P(RunQueueShutdownTest, ShutdownOnlyAfterAFinalUnstoppedSuccess) {
    const ShutdownCase& c = GetParam();
    const int count = static_cast<int>(c.results.size());
    for (int i = 0; i < count; ++i) {
        tasks.NewTask(QStringLiteral("T%1").arg(i), kTaskBackup);
        if (!c.results[static_cast<size_t>(i)]) {
            jobs.Fail(i);
        }
    }
    if (c.stopLast) {
        jobs.Hold(count - 1);
    }
    queue->SetShutdownWhenComplete(true);

    queue->StartAll();
    if (c.stopLast) {
        WaitForArrivals(count);
        queue->Stop();
        jobs.Release(count - 1);
    }
    WaitForIdle(1);

    EXPECT_EQ(Lines().filter(QRegularExpression("^  (Task|Error)")), c.outcomes);
    EXPECT_EQ(observer.Of("sound"), c.sounds);
    EXPECT_EQ(observer.Of("shutdown").size(), c.shutdownRequests);
    if (c.shutdownRequests > 0) {
        // Only after the last task has been reported.
        EXPECT_EQ(observer.events.back(), "shutdown");
        EXPECT_EQ(observer.Of("busy").size(), count);
    }
}

const QString kDone = "  Task completed";
const QString kFailed = "  Error: task failed";
const QString kAborted = "  Task has been aborted";

INSTANTIATE_TEST_SUITE_P(
    Cases, RunQueueShutdownTest,
    testing::Values(
        ShutdownCase{"AllSucceeded", {true, true}, false, {kDone, kDone}, {"3", "3"}, 1},
        ShutdownCase{"LastFailed", {true, false}, false, {kDone, kFailed}, {"3", "4"}, 0},
        ShutdownCase{"FirstFailed", {false, true}, false, {kFailed, kDone}, {"4", "3"}, 1},
        ShutdownCase{"LastStopped", {true, true}, true, {kDone, kAborted}, {"3"}, 0}),
    [](const testing::TestParamInfo<ShutdownCase>& info) { return info.param.name; });

// The restore questions are asked on the worker and answered on the main thread while
// the worker waits. A cancelled copy choice stops the restore; a cancelled item choice
// leaves the end to the job.
struct QuestionCase {
    const char* name;
    int copyChoice;
    bool itemsChoice;
    bool stoppedByCopy;
    QStringList lines;
    QStringList sounds;
};

class RunQueueQuestionTest : public RunQueueTest,
                             public testing::WithParamInterface<QuestionCase> {};

TEST_P(RunQueueQuestionTest, AnswersReachTheWaitingWorker) {
    const QuestionCase& c = GetParam();
    AddTasks({"Docs"});
    std::atomic<bool> asking{false};
    int copyAnswer = -2;
    bool stoppedByCopy = false;
    bool itemsAnswer = !c.itemsChoice;
    bool stoppedByItems = false;
    std::vector<RestoreItem> items(2);
    queue->SetRestoreJob([&](int index, RunContext& context) {
        jobs.Enter();
        asking = true;
        copyAnswer = context.AskBackupCopy(*tasks.TaskAt(index));
        stoppedByCopy = context.StopRequested();
        if (!stoppedByCopy) {
            itemsAnswer = context.AskRestoreItems(items);
            stoppedByItems = context.StopRequested();
            if (!itemsAnswer) {
                context.RequestStop();
            }
        }
        asking = false;
        jobs.Leave();
        return true;
    });
    observer.chooseCopy = [&](const TaskRecord& task) {
        EXPECT_TRUE(asking.load());
        EXPECT_EQ(task.name, "Docs");
        return c.copyChoice;
    };
    observer.chooseItems = [&](std::vector<RestoreItem>& shown) {
        EXPECT_TRUE(asking.load());
        EXPECT_EQ(shown.size(), 2u);
        shown[1].checked = false;
        return c.itemsChoice;
    };

    queue->RestoreTask(0);
    WaitForIdle(1);

    // The worker's values are read after the join that QueueIdle follows.
    EXPECT_EQ(copyAnswer, c.copyChoice);
    EXPECT_EQ(stoppedByCopy, c.stoppedByCopy);
    EXPECT_FALSE(stoppedByItems);
    EXPECT_EQ(observer.Of("choose items").size(), c.stoppedByCopy ? 0 : 1);
    if (c.itemsChoice && !c.stoppedByCopy) {
        EXPECT_TRUE(itemsAnswer);
        EXPECT_TRUE(items[0].checked);
        EXPECT_FALSE(items[1].checked);
    }
    EXPECT_EQ(Lines(), c.lines);
    EXPECT_EQ(observer.Of("sound"), c.sounds);
    EXPECT_FALSE(queue->StopRequested());
}

const QStringList kCancelled = {"  Restore canceled by user", kAborted};

INSTANTIATE_TEST_SUITE_P(
    Answers, RunQueueQuestionTest,
    testing::Values(QuestionCase{"Answered", 1, true, false, {kDone}, {"3"}},
                    QuestionCase{"CopyCancelled", -1, true, true, kCancelled, {}},
                    QuestionCase{"ItemsCancelled", 0, false, false, kCancelled, {}}),
    [](const testing::TestParamInfo<QuestionCase>& info) { return info.param.name; });

TEST_F(RunQueueTest, EstimateSharesTheWorkerSlot) {
    AddTasks({"A", "B"});
    jobs.Hold(0);
    EstimateSeen seen;

    queue->StartTask(0);
    EXPECT_FALSE(queue->StartEstimate({0}, HeldEstimate(seen)));
    EXPECT_TRUE(queue->EstimateTasks().empty());
    jobs.Release(0);
    WaitForIdle(1);

    EXPECT_FALSE(queue->StartEstimate({}, HeldEstimate(seen)));
    ASSERT_TRUE(queue->StartEstimate({1, 0}, HeldEstimate(seen)));
    EXPECT_TRUE(queue->IsRunning());
    EXPECT_EQ(queue->EstimateTasks(), (std::vector<int>{1, 0}));
    EXPECT_FALSE(queue->StartEstimate({0}, HeldEstimate(seen)));
    queue->StartTask(1);
    EXPECT_EQ(queue->Entries(), (std::vector<RunQueueEntry>{{1, kRunBackupWaiting}}));
    EXPECT_EQ(queue->CurrentTaskIndex(), -1);

    estimateGate.count_down();
    WaitForIdle(2);

    EXPECT_EQ(seen.tasks, (std::vector<int>{1, 0}));
    EXPECT_EQ(seen.taskIndex, -1);
    EXPECT_EQ(observer.Of("estimate"),
              QStringList{"Unpacked size of selected task(s) data: 2 KBytes"});
    EXPECT_TRUE(Lines().contains("  Unpacked size of selected task(s) data: 2 KBytes"));
    // The task started during the estimate ran after it.
    EXPECT_EQ(jobs.Now().calls, (std::vector<JobCall>{{0, false}, {1, false}}));
    EXPECT_TRUE(queue->EstimateTasks().empty());
}

TEST_F(RunQueueTest, StopDuringAnEstimateAbortsItAndEmptiesTheQueue) {
    AddTasks({"A", "B"});
    EstimateSeen seen;

    ASSERT_TRUE(queue->StartEstimate({0, 1}, HeldEstimate(seen)));
    queue->StartTask(1);
    WaitForArrivals(1);
    queue->Stop();
    EXPECT_TRUE(queue->StopRequested());
    EXPECT_TRUE(queue->Entries().empty());

    estimateGate.count_down();
    WaitForIdle(1);

    EXPECT_TRUE(seen.stop);
    EXPECT_TRUE(observer.Of("estimate").isEmpty());  // no size and no message box
    EXPECT_TRUE(jobs.Now().calls.empty());
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
