// Logging and progress from several threads into targets that belong to the main
// thread, through the queued adapters; and the terminal target shared by threads.

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QList>
#include <QThread>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "log/Log.h"
#include "log/LogList.h"
#include "log/ProgressModel.h"
#include "log/QueuedLogTarget.h"
#include "log/QueuedProgressTarget.h"
#include "log/TerminalLogTarget.h"
#include "support/TempDir.h"

namespace corvane {
namespace {

constexpr int kThreads = 4;
constexpr int kLinesPerThread = 500;
// Fails a test whose queued calls never arrive instead of hanging it.
constexpr int kDeliveryTimeoutMs = 60000;

// Starts the workers, each logging its numbered lines.
std::vector<std::thread> StartLoggingWorkers() {
    std::vector<std::thread> workers;
    for (int t = 0; t < kThreads; ++t) {
        workers.emplace_back([t] {
            for (int i = 0; i < kLinesPerThread; ++i) {
                Log("  worker %d line %d", t, i);
            }
        });
    }
    return workers;
}

void Join(std::vector<std::thread>& workers) {
    for (std::thread& worker : workers) {
        worker.join();
    }
}

// Every worker's lines arrived exactly once each, in the order it logged them; `format`
// reads thread and line number out of one line.
void ExpectEveryWorkerLineOnceInOrder(const QList<QByteArray>& lines, const char* format) {
    ASSERT_EQ(lines.size(), kThreads * kLinesPerThread);
    std::vector<int> next(kThreads, 0);
    for (const QByteArray& line : lines) {
        int thread = -1;
        int number = -1;
        ASSERT_EQ(std::sscanf(line.constData(), format, &thread, &number), 2) << line.constData();
        ASSERT_TRUE(thread >= 0 && thread < kThreads) << line.constData();
        ASSERT_EQ(number, next[thread]) << line.constData();
        next[thread] = number + 1;
    }
}

// A log target that fails on a call from a thread other than the main one.
class OwnerOnlyList : public LogList {
  public:
    void AppendLine(const LogLine& line) override {
        EXPECT_EQ(QThread::currentThread(), QCoreApplication::instance()->thread());
        LogList::AppendLine(line);
    }
};

class LogThreadsTest : public testing::Test {
  protected:
    static void SetUpTestSuite() {
        static int argc = 1;
        static char name[] = "test_LogThreads";
        static char* argv[] = {name, nullptr};
        s_app = std::make_unique<QCoreApplication>(argc, argv);
    }
    static void TearDownTestSuite() { s_app.reset(); }

    void TearDown() override {
        SetLogTarget(nullptr);
        SetProgressTarget(nullptr);
    }

    // Takes queued calls until `done` holds, failing the test if that takes too long.
    static void DeliverUntil(const std::function<bool()>& done) {
        QElapsedTimer timer;
        timer.start();
        while (!done() && timer.elapsed() < kDeliveryTimeoutMs) {
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        }
        EXPECT_TRUE(done()) << "queued calls did not all arrive";
    }

    static inline std::unique_ptr<QCoreApplication> s_app;
};

TEST_F(LogThreadsTest, EveryLineFromEveryThreadArrivesOnceAndInOrder) {
    OwnerOnlyList list;
    QueuedLogTarget queued(list);
    SetLogTarget(&queued);

    // On the owner thread the line arrives at once, without the event loop.
    Log("  main thread line");
    ASSERT_EQ(list.Count(), 1);

    std::vector<std::thread> workers = StartLoggingWorkers();
    DeliverUntil([&list] { return list.Count() == 1 + kThreads * kLinesPerThread; });
    Join(workers);
    queued.DeliverPending();  // nothing more may arrive
    ASSERT_EQ(list.Count(), 1 + kThreads * kLinesPerThread);
    EXPECT_EQ(list.Line(0).text, "  main thread line");
    QList<QByteArray> lines;
    for (int row = 1; row < list.Count(); ++row) {
        lines << list.Line(row).text.toUtf8();
        EXPECT_EQ(list.Line(row).textColour, kLogBlue);
    }
    ExpectEveryWorkerLineOnceInOrder(lines, "  worker %d line %d");
}

// A clear from a worker is queued behind its lines; an owner line never overtakes the
// worker lines queued before it (the worker's end can reach the main thread first).
TEST_F(LogThreadsTest, ClearAndOwnerLinesKeepTheWorkersOrder) {
    LogList list;
    QueuedLogTarget queued(list);
    SetLogTarget(&queued);
    std::thread worker([] {
        Log("  before clear");
        ClearLog();
        Log("  copied a");
        Log("  copied b");
    });
    worker.join();
    EXPECT_EQ(list.Count(), 0);  // nothing arrives while the owner thread does not take it
    Log("  Task completed");
    EXPECT_EQ(list.CopyText(), "  copied a\r\n  copied b\r\n  Task completed\r\n");
}

// A main-thread target that answers one line with a line of its own, logged while the
// first is being delivered, after another thread has queued a line meanwhile.
class EchoTarget : public LogTarget {
  public:
    explicit EchoTarget(LogList& list) : m_list(list) {}
    void AppendLine(const LogLine& line) override {
        m_list.AppendLine(line);
        if (line.text == "  ping") {
            std::thread([] { Log("  queued during delivery"); }).join();
            Log("  echo");
        }
    }
    void Clear() override { m_list.Clear(); }

  private:
    LogList& m_list;
};

TEST_F(LogThreadsTest, LineLoggedDuringDeliveryComesAfterLinesQueuedBeforeIt) {
    LogList list;
    EchoTarget echo(list);
    QueuedLogTarget queued(echo);
    SetLogTarget(&queued);

    std::thread([] {
        Log("  ping");
        Log("  after ping");
    }).join();
    queued.DeliverPending();
    EXPECT_EQ(list.CopyText(), "  ping\r\n  after ping\r\n  queued during delivery\r\n  echo\r\n");
}

TEST_F(LogThreadsTest, DestroyedAdapterDropsLinesStillQueued) {
    LogList list;
    {
        QueuedLogTarget queued(list);
        SetLogTarget(&queued);
        std::thread([] { Log("  queued"); }).join();
        SetLogTarget(nullptr);
    }
    QCoreApplication::processEvents();
    EXPECT_EQ(list.Count(), 0);
}

// Records the positions it is given.
class RecordingProgress : public ProgressModel {
  public:
    void SetPosition(int position) override {
        ProgressModel::SetPosition(position);
        positions.append(position);
    }
    QList<int> positions;
};

TEST_F(LogThreadsTest, ProgressFromAWorkerArrivesInOrder) {
    constexpr int kSteps = 1000;
    RecordingProgress progress;
    QueuedProgressTarget queued(progress);
    SetProgressTarget(&queued);

    std::thread worker([] {
        ShowProgress();
        SetProgressLabel("Copying");
        SetProgressRange(0, kSteps);
        for (int i = 1; i <= kSteps; ++i) {
            SetProgressPos(i);
        }
    });
    DeliverUntil([&progress] { return progress.Position() == kSteps; });
    worker.join();

    // Positions may be coalesced (and the latest one delivered twice), but they never
    // go back and the last one always arrives.
    const QList<int>& positions = progress.positions;
    ASSERT_LE(positions.size(), kSteps);
    EXPECT_TRUE(std::is_sorted(positions.begin(), positions.end()));
    EXPECT_TRUE(progress.IsVisible());
    EXPECT_EQ(progress.Text(), "Copying: 100%");

    // On the owner thread the call takes effect at once.
    HideProgress();
    EXPECT_FALSE(progress.IsVisible());
}

TEST_F(LogThreadsTest, TerminalLinesFromThreadsNeverInterleave) {
    test::TempDir dir;
    const QString path = dir.File("log.txt");
    std::FILE* stream = std::fopen(QFile::encodeName(path).constData(), "w");
    ASSERT_NE(stream, nullptr);
    {
        TerminalLogTarget terminal(stream, TerminalLogTarget::Colours::Always);
        SetLogTarget(&terminal);
        std::vector<std::thread> workers = StartLoggingWorkers();
        Join(workers);
        SetLogTarget(nullptr);
    }
    std::fclose(stream);

    QList<QByteArray> lines = test::ReadAll(path).split('\n');
    ASSERT_EQ(lines.takeLast(), QByteArray());
    for (const QByteArray& line : lines) {
        ASSERT_TRUE(line.endsWith("\x1b[0m")) << line.constData();
    }
    ExpectEveryWorkerLineOnceInOrder(lines, "\x1b[94m  worker %d line %d\x1b[0m");
}

}  // namespace
}  // namespace corvane
