#include <gtest/gtest.h>

#include <utility>

#include <QDir>

#include "app/Estimate.h"
#include "platform/ContactStore.h"
#include "sources/RegistryFile.h"
#include "sources/VCard21.h"
#include "support/DconfSandbox.h"
#include "support/LogCapture.h"
#include "support/ScopedEnv.h"
#include "support/TempDir.h"

namespace corvane {
namespace {

using test::LogCapture;
using test::TempDir;

TEST(FormatSizeTest, UsesTheThresholds) {
    const std::pair<double, const char*> cases[] = {{1023.9, "1023 bytes"},
                                                    {1024, "1 KBytes"},
                                                    {1023999, "999 KBytes"},
                                                    {1024000, "1.0 MBytes"},
                                                    {6e12, "5722045.9 MBytes"}};
    for (const auto& [bytes, text] : cases) {
        EXPECT_EQ(FormatSize(bytes), text) << bytes;
    }
}

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

// What a backup would save: a dot-file counts, a filtered file does not; a stopped
// estimate ends before the next task.
TEST_F(EstimateTest, SumsTheFilesABackupWouldSaveUntilStopped) {
    TaskRecord* task = m_tasks.NewTask("Docs", kTaskBackup);
    task->items.push_back(MakePathItem(m_dir.File("src"), kItemFolder, "src"));
    task->items.push_back(MakePathItem(m_dir.File("single.bin"), kItemFile, "single.bin"));
    m_tasks.NewTask("Copy", kTaskBackup)->items = task->items;
    EXPECT_EQ(EstimateTasks(m_tasks, {0}, StopSignal()), 8123);
    EXPECT_EQ(m_log.CountEndingWith(": Estimating task..."), 1);
    EXPECT_EQ(EstimateTask(m_tasks, 7, StopSignal()), 0);

    std::atomic<bool> stop{true};
    EXPECT_EQ(EstimateTasks(m_tasks, {0, 1}, StopSignal(&stop)), 0);
    EXPECT_EQ(m_log.Texts().size(), 2);
    EXPECT_EQ(m_log.CountEndingWith(": Estimating task..."), 2);

    task->excludeFilter = "*.doc";
    EXPECT_EQ(EstimateTask(m_tasks, 0, StopSignal()), 7123);
    EXPECT_TRUE(m_log.Texts().contains("    Warning: 'c.doc' - ignored with exclude filter"));
}

// A registry item counts the .reg file its backup stores; a missing key counts nothing.
TEST_F(EstimateTest, RegistryItemCountsTheFileItsBackupStores) {
    test::DconfSandbox& dconf = test::DconfSandbox::Get();
    ASSERT_TRUE(dconf.IsRunning()) << dconf.Problem().toStdString();
    const test::ScopedEnv home("CORVANE_HOME", m_dir.File("data").toUtf8());
    ASSERT_TRUE(dconf.Write("/corvest/app/deep/clock", "'24h'"));
    const SourceItem item = MakeRegistryItem("HKEY_CURRENT_USER\\corvest\\app", "App");
    ASSERT_TRUE(ExportRegistryItem(item.path, m_dir.File("app.reg")));
    EXPECT_EQ(EstimateRegistry(item), QFileInfo(m_dir.File("app.reg")).size());
    EXPECT_EQ(EstimateRegistry(MakeRegistryItem("HKEY_CURRENT_USER\\corvest\\none", "N")), 0);
    EXPECT_TRUE(QDir(m_dir.File("data/tmp")).isEmpty());
}

// A contact item counts the vCard files its backup stores; a missing contact nothing.
TEST_F(EstimateTest, ContactItemCountsTheCardsItsBackupStores) {
    const test::ScopedEnv config("XDG_CONFIG_HOME", m_dir.File("config").toUtf8());
    const test::ScopedEnv home("CORVANE_HOME", m_dir.File("data").toUtf8());
    ContactStore::SetConfiguredFolder(m_dir.File("book"));
    Contact ann;
    ann.firstName = "Ann";
    ann.lastName = "Lee";
    ann.company = "Acme";
    Contact bob;
    bob.firstName = "Bob";
    bob.lastName = "Stone";
    bob.note = "A note";
    ContactStore store(m_dir.File("book"));
    ASSERT_TRUE(store.Save(ann) && store.Save(bob));
    const std::pair<SourceItem, qsizetype> cases[] = {
        {MakeAllContactsItem(), VCard21Text(ann).size() + VCard21Text(bob).size()},
        {MakeContactItem("Bob", "", "Stone"), VCard21Text(bob).size()},
        {MakeContactItem("Cy", "", "Dee"), 0}};
    for (const auto& [item, size] : cases) {
        EXPECT_EQ(EstimateContacts(item), size) << DescribeItem(item).toStdString();
    }
    EXPECT_TRUE(QDir(m_dir.File("data/tmp")).isEmpty());
}

}  // namespace
}  // namespace corvane
