// Registry items of a real dconf database backed up to every place, wiped, restored and
// compared with `dconf dump`; keys that cannot be exported, lines the user unchecked.

#include "engine/BackupRun.h"
#include "restore/RestoreTesting.h"
#include "support/DconfSandbox.h"
#include "support/FtpServerTest.h"
#include "support/Tools.h"

namespace corvane {
namespace {

const char* const kKeys[][2] = {
    {"/corvtest/app/clock", "'24h'"},         {"/corvtest/app/path", R"('C:\\Data "q"')"},
    {"/corvtest/app/count", "uint32 7"},      {"/corvtest/app/on", "true"},
    {"/corvtest/app/list", "['a', 'b']"},     {"/corvtest/app/bytes", "[byte 0x01, 0xff]"},
    {"/corvtest/app/deep/er/name", "'Grüße'"}};

struct Place {
    const char* name;
    qint32 method;
    bool ftp;
};

class RegistryItemTest : public test::FtpServerTest, public ::testing::WithParamInterface<Place> {
  protected:
    void SetUp() override {
        ASSERT_TRUE(m_dconf.IsRunning()) << m_dconf.Problem().toStdString();
        FtpServerTest::SetUp();
        ASSERT_TRUE(m_dconf.Reset("/corvtest/"));
        for (const auto& [key, value] : kKeys) {
            ASSERT_TRUE(m_dconf.Write(key, value)) << key;
        }
    }

    TaskRecord* NewTask(const QString& key) {
        const Place& place = GetParam();
        TaskRecord* task = m_tasks.NewTask(place.name, kTaskBackup);
        task->backupMode = place.method;
        task->destination.path = m_dir.File(QString("dest/") + place.name);
        if (place.ftp) {
            task->destination = m_server.Destination(QString("ftp://127.0.0.1/") + place.name);
        }
        task->archiveName = "settings.zip";
        task->archivePassword = "s3cret pw";
        task->items.push_back(MakeRegistryItem(key, "AppSettings"));
        return task;
    }

    // The .reg file of a copy, or the archive.
    QString StoredPath() const {
        const Place& place = GetParam();
        const QString folder = place.ftp ? Remote(place.name) : m_dir.File("dest/") + place.name;
        return folder + (place.method == kMethodCopy ? "/AppSettings.reg" : "/settings.zip");
    }

    test::DconfSandbox& m_dconf = test::DconfSandbox::Get();
    TaskList m_tasks;
    test::ScriptedQuestions m_questions;
};

TEST_P(RegistryItemTest, KeysSurviveBackupWipeAndRestoreExactly) {
    const QString before = m_dconf.Dump("/corvtest/");
    NewTask("HKEY_CURRENT_USER\\corvtest\\app");
    ASSERT_TRUE(RunBackup(m_tasks, 0, StopSignal()));
    const QString stored =
        GetParam().method == kMethodCopy
            ? QString::fromUtf8(test::ReadAll(StoredPath()))
            : test::RunTool("unzip", {"-p", "-P", "s3cret pw", StoredPath(), "AppSettings.reg"})
                  .output;
    EXPECT_TRUE(stored.startsWith("REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\corvtest\\app]\r\n"))
        << stored.toStdString();

    ASSERT_TRUE(m_dconf.Reset("/corvtest/"));
    ASSERT_TRUE(RunRestore(m_tasks, 0, m_questions, StopSignal()));
    EXPECT_EQ(m_log.CountEndingWith("  Registry data imported"), 1);
    EXPECT_EQ(m_dconf.Dump("/corvtest/"), before);
    ExpectNoTemporaries();
    ExpectNoPasswordInLog();
}

// Once, the run logged a warning for such an item and reported success.
TEST_P(RegistryItemTest, KeyThatCannotBeExportedFailsTheRun) {
    const TaskRecord* task = NewTask("HKEY_CURRENT_USER\\corvtest\\missing");
    EXPECT_FALSE(RunBackup(m_tasks, 0, StopSignal()));
    EXPECT_EQ(m_log.CountEndingWith("  Error: cannot save registry items"), 1);
    EXPECT_TRUE(task->history.empty());
    EXPECT_FALSE(QFileInfo::exists(StoredPath()));
}

TEST_P(RegistryItemTest, UncheckedLineIsSkippedAndAFileThatIsGoneFailsTheRestore) {
    NewTask("HKEY_CURRENT_USER\\corvtest\\app");
    ASSERT_TRUE(RunBackup(m_tasks, 0, StopSignal()));
    ASSERT_TRUE(m_dconf.Reset("/corvtest/"));
    m_questions.edit = [](std::vector<RestoreItem>& items) { items.at(0).checked = false; };
    ASSERT_TRUE(RunRestore(m_tasks, 0, m_questions, StopSignal()));
    EXPECT_EQ(m_questions.seen.at(0).sourceName, "HKEY_CURRENT_USER\\corvtest\\app");
    EXPECT_EQ(m_log.CountEndingWith("  Skip resistry file 'AppSettings.reg'..."), 1);
    EXPECT_EQ(m_dconf.Dump("/corvtest/"), "");
    ASSERT_TRUE(QFile::remove(StoredPath()));
    m_questions.edit = nullptr;
    EXPECT_FALSE(RunRestore(m_tasks, 0, m_questions, StopSignal()));
    EXPECT_EQ(m_log.CountEndingWith("  Registry data imported"), 0);
}

INSTANTIATE_TEST_SUITE_P(Places, RegistryItemTest,
                         ::testing::Values(Place{"CopyToFolder", kMethodCopy, false},
                                           Place{"ZipInFolder", kMethodZip, false},
                                           Place{"CopyToFtp", kMethodCopy, true},
                                           Place{"ZipOnFtp", kMethodZip, true}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace corvane
