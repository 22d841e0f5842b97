#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

#include "cli/CliTestSupport.h"
#include "support/TempDir.h"
#include "support/Times.h"

namespace corvane {
namespace {

using test::SetMtime;

using test::ReadAll;
using test::TempDir;

// corvane-cli compare and restore, end to end through the built program (no terminal:
// the tests' standard input is not one).
class RestoreCommandsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        m_dir.Write("live/Docs/same.txt", "same");
        m_dir.Write("live/Docs/changed.txt", "original");
        m_dir.Write("live/Docs/gone.txt", "gone");
        for (const char* name : {"same.txt", "changed.txt", "gone.txt"}) {
            SetMtime(m_dir.File(QString("live/Docs/") + name), 1600000000);
        }
        const QString live = m_dir.File("live/Docs");
        const QString backup = m_dir.File("backup");
        m_dir.Write(
            "data/CorvTasks.bin",
            ("<TasksList><Main TasksCount=\"2\"/>"
             "<Task0 taskName=\"Zip\" taskOID=\"1\" backupMode=\"2\" archiveName=\"d.zip\" "
             "destPath=\"" +
             backup +
             "/zip/\" itemsCount=\"1\" SrcDataType1=\"1\" "
             "SrcFolder1=\"" +
             live +
             "\" DstFolderName1=\"Docs\"/>"
             "<Task1 taskName=\"Dated\" taskOID=\"2\" backupMode=\"1\" destPath=\"" +
             backup + "/#YY#MM#DD#HH#MIN/\" itemsCount=\"1\" SrcDataType1=\"1\" SrcFolder1=\"" +
             live +
             "\" DstFolderName1=\"Docs\" PrevBackupsNmb=\"2\" "
             "PrevBackup1DestFld=\"/nowhere/1/\" PrevBackup1TimeLo=\"0\" PrevBackup1TimeHi=\"0\" "
             "PrevBackup2DestFld=\"/nowhere/2/\" PrevBackup2TimeLo=\"0\" PrevBackup2TimeHi=\"0\"/>"
             "</TasksList>")
                .toUtf8());
        ASSERT_EQ(Cli({"run", "Zip"}), 0);
        m_dir.Write("live/Docs/changed.txt", "CHANGED!");
        SetMtime(m_dir.File("live/Docs/changed.txt"), 1700000000);
        ASSERT_TRUE(QFile::remove(m_dir.File("live/Docs/gone.txt")));
    }

    int Cli(const QStringList& args, QByteArray* out = nullptr, QByteArray* err = nullptr) {
        return test::RunProgram(m_dir.File("data"), args, out, err);
    }

    TempDir m_dir;
};

TEST_F(RestoreCommandsTest, CompareShowsTheStatusOfEveryStoredFile) {
    QByteArray out;
    ASSERT_EQ(Cli({"compare", "zip"}, &out), 0);
    const QStringList lines = QString::fromUtf8(out).split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 3) << out.constData();
    QStringList statuses;
    for (const QString& line : lines) {
        const QStringList columns = line.split('\t');
        ASSERT_EQ(columns.size(), 5) << line.toStdString();
        statuses << columns[0] + " " + columns[2].section('/', -1);
    }
    statuses.sort();
    EXPECT_EQ(statuses,
              (QStringList{"deleted gone.txt", "identical same.txt", "newer changed.txt"}));
    EXPECT_TRUE(out.contains("\tfile not found\td.zip:Docs/gone.txt\t"));
}

TEST_F(RestoreCommandsTest, CompareOfAMissingArchiveExitedZero) {
    ASSERT_TRUE(QFile::remove(m_dir.File("backup/zip/d.zip")));
    QByteArray out;
    QByteArray err;
    EXPECT_EQ(Cli({"compare", "Zip"}, &out, &err), 1);
    EXPECT_TRUE(err.contains("  Error: cannot open ZIP file\n")) << err.constData();
    EXPECT_TRUE(out.isEmpty()) << out.constData();
}

TEST_F(RestoreCommandsTest, RestoreUncheckingIdenticalBringsBackChangedAndDeletedFiles) {
    SetMtime(m_dir.File("live/Docs/same.txt"), 1600000000);
    QByteArray out;
    ASSERT_EQ(Cli({"restore", "Zip", "--uncheck-identical", "--yes"}, &out), 0) << out.constData();
    EXPECT_EQ(ReadAll(m_dir.File("live/Docs/changed.txt")), "original");
    EXPECT_EQ(ReadAll(m_dir.File("live/Docs/gone.txt")), "gone");
    EXPECT_TRUE(out.contains("  ...2 items unpacked.\n")) << out.constData();
    EXPECT_TRUE(out.contains("  Task completed\n"));
}

TEST_F(RestoreCommandsTest, WithoutATerminalNothingIsRestored) {
    QByteArray out;
    QByteArray err;
    EXPECT_EQ(Cli({"restore", "Zip"}, &out, &err), 2);
    EXPECT_TRUE(out.contains("2 items checked") || out.contains("3 items checked"))
        << out.constData();
    EXPECT_TRUE(err.contains("--yes"));
    EXPECT_EQ(ReadAll(m_dir.File("live/Docs/changed.txt")), "CHANGED!");
    EXPECT_FALSE(QFileInfo::exists(m_dir.File("live/Docs/gone.txt")));
}

TEST_F(RestoreCommandsTest, DatedTaskWithSeveralBackupsNeedsAChoice) {
    QByteArray out;
    QByteArray err;
    EXPECT_EQ(Cli({"restore", "Dated", "--yes"}, &out, &err), 2);
    EXPECT_TRUE(err.contains("--backup"));
    EXPECT_TRUE(out.startsWith("1. ")) << out.constData();
    EXPECT_TRUE(out.contains("\n2. ")) << out.constData();
    EXPECT_TRUE(out.contains("/nowhere/2/")) << out.constData();
    EXPECT_EQ(Cli({"compare", "Dated", "--backup", "3"}, &out, &err), 2);
    EXPECT_EQ(Cli({"history", "dated"}, &out), 0);
    EXPECT_TRUE(out.contains("/nowhere/1/"));
    // The chosen backup holds nothing: there is nothing to restore.
    EXPECT_EQ(Cli({"restore", "Dated", "--backup", "2", "--yes"}, &out), 1);
    EXPECT_TRUE(out.contains("  Error: nothing to restore\n")) << out.constData();
}

// On a terminal the list is shown and the user is asked. `script` gives the program a
// terminal and hands it the answer.
TEST_F(RestoreCommandsTest, OnATerminalTheUserIsAsked) {
    if (QStandardPaths::findExecutable("script").isEmpty()) {
        GTEST_SKIP() << "script (util-linux) is not installed";
    }
    auto restoreAnswering = [this](const char* answer, QByteArray* out) {
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("CORVANE_HOME", m_dir.File("data"));
        process.setProcessEnvironment(env);
        process.start("script", {"-qec", QString(CORVANE_CLI_PATH) + " restore Zip", "/dev/null"});
        process.write(answer);
        process.closeWriteChannel();
        EXPECT_TRUE(process.waitForFinished(120000));
        *out = process.readAllStandardOutput();
        return process.exitCode();
    };
    QByteArray out;
    EXPECT_EQ(restoreAnswering("n\n", &out), 1);
    EXPECT_TRUE(out.contains("Restore checked items? [y/N]")) << out.constData();
    EXPECT_TRUE(out.contains("3 items checked")) << out.constData();
    EXPECT_EQ(ReadAll(m_dir.File("live/Docs/changed.txt")), "CHANGED!");

    EXPECT_EQ(restoreAnswering("y\n", &out), 0) << out.constData();
    EXPECT_EQ(ReadAll(m_dir.File("live/Docs/changed.txt")), "original");
    EXPECT_EQ(ReadAll(m_dir.File("live/Docs/gone.txt")), "gone");
}

// The task list is lost: the task file the backup left behind is enough to restore.
TEST_F(RestoreCommandsTest, RestoreTaskFromATaskFileAfterTheTaskListWasLost) {
    ASSERT_TRUE(QFile::remove(m_dir.File("data/CorvTasks.bin")));
    ASSERT_TRUE(QFile::remove(m_dir.File("data/CorvGroups.bin")));
    QByteArray out;
    ASSERT_EQ(Cli({"find-tasks", m_dir.File("backup/zip")}, &out), 0);
    EXPECT_EQ(out, "Task \"Zip\" in " + m_dir.File("backup/zip").toUtf8() + "\n");
    ASSERT_EQ(
        Cli({"add-restore-task", m_dir.File("backup/zip/Zip.TSK"), "--to", m_dir.File("restored")},
            &out),
        2)
        << "the --to folder must exist";
    QDir().mkpath(m_dir.File("restored"));
    ASSERT_EQ(
        Cli({"add-restore-task", m_dir.File("backup/zip/Zip.TSK"), "--to", m_dir.File("restored")},
            &out),
        0)
        << out.constData();
    EXPECT_EQ(out, "New task added\n");
    ASSERT_EQ(Cli({"restore", "Zip", "--yes"}, &out), 0) << out.constData();
    EXPECT_EQ(ReadAll(m_dir.File("restored/changed.txt")), "original");
    EXPECT_EQ(ReadAll(m_dir.File("restored/gone.txt")), "gone");
    EXPECT_EQ(ReadAll(m_dir.File("restored/same.txt")), "same");
    // The live tree was not touched.
    EXPECT_EQ(ReadAll(m_dir.File("live/Docs/changed.txt")), "CHANGED!");
}

}  // namespace
}  // namespace corvane
