#include <gtest/gtest.h>

#include "app/Estimate.h"
#include "support/LogCapture.h"
#include "support/TempDir.h"

namespace corvane {
namespace {

using test::LogCapture;
using test::TempDir;

struct SizeCase {
    double bytes;
    const char* text;
};

class FormatSizeTest : public ::testing::TestWithParam<SizeCase> {};

TEST_P(FormatSizeTest, UsesTheThresholds) {
    EXPECT_EQ(FormatSize(GetParam().bytes), QString::fromLatin1(GetParam().text));
}

INSTANTIATE_TEST_SUITE_P(Texts, FormatSizeTest,
                         ::testing::Values(SizeCase{0, "0 bytes"}, SizeCase{500, "500 bytes"},
                                           SizeCase{1023.9, "1023 bytes"},
                                           SizeCase{1024, "1 KBytes"}, SizeCase{3000, "2 KBytes"},
                                           SizeCase{1023999, "999 KBytes"},
                                           SizeCase{1024000, "1.0 MBytes"},
                                           SizeCase{5242880, "5.0 MBytes"},
                                           SizeCase{6e12, "5722045.9 MBytes"}));

class EstimateTest : public ::testing::Test {
  protected:
    void SetUp() override {
        for (const char* name : {"a.txt", "b.txt", "sub/c.doc"}) {
            m_dir.Write(QString("src/") + name, QByteArray(1000, 'x'));
        }
        m_dir.Write("src/.hidden", QByteArray(5000, 'h'));
        m_dir.Write("single.bin", QByteArray(123, 's'));
    }

    TempDir m_dir;
    TaskList m_tasks;
    LogCapture m_log;
};

TEST_F(EstimateTest, SumsTheFilesAnItemWouldSave) {
    TaskRecord* task = m_tasks.NewTask("Docs", kTaskBackup);
    task->items.push_back(MakePathItem(m_dir.File("src"), kItemFolder, "src"));
    // The dot-file counts: a backup saves it.
    EXPECT_EQ(EstimateTask(m_tasks, 0, StopSignal()), 8000);
    EXPECT_EQ(FormatSize(EstimateTasks(m_tasks, {0}, StopSignal())), "7 KBytes");
    EXPECT_EQ(m_log.Texts().size(), 1);
    EXPECT_EQ(m_log.CountEndingWith(": Estimating task..."), 1);

    task->items.push_back(MakePathItem(m_dir.File("single.bin"), kItemFile, "single.bin"));
    task->items.push_back(MakeAllContactsItem());  // adds nothing yet
    EXPECT_EQ(EstimateTask(m_tasks, 0, StopSignal()), 8123);
    EXPECT_EQ(EstimateTask(m_tasks, 7, StopSignal()), 0);
}

TEST_F(EstimateTest, FiltersDropFilesAsInABackup) {
    TaskRecord* task = m_tasks.NewTask("Docs", kTaskBackup);
    task->items.push_back(MakePathItem(m_dir.File("src"), kItemFolder, "src"));
    task->excludeFilter = "*.doc";
    EXPECT_EQ(EstimateTask(m_tasks, 0, StopSignal()), 7000);
    EXPECT_EQ(m_log.Texts(), (QStringList{"  Filter check...",
                                          "    Warning: 'c.doc' - ignored with exclude filter"}));
}

TEST_F(EstimateTest, StopEndsTheEstimate) {
    m_tasks.NewTask("A", kTaskBackup)
        ->items.push_back(MakePathItem(m_dir.File("src"), kItemFolder, "src"));
    m_tasks.NewTask("B", kTaskBackup)
        ->items.push_back(MakePathItem(m_dir.File("src"), kItemFolder, "src"));
    std::atomic<bool> stop{true};
    EXPECT_EQ(EstimateTasks(m_tasks, {0, 1}, StopSignal(&stop)), 0);
    EXPECT_EQ(m_log.Texts().size(), 1);
    EXPECT_EQ(m_log.CountEndingWith(": Estimating task..."), 1);
}

}  // namespace
}  // namespace corvane
