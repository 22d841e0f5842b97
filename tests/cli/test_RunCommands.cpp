#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <csignal>

#include "cli/CliTestSupport.h"
#include "model/PropertyStore.h"
#include "platform/DataFolderLock.h"
#include "support/TempDir.h"

namespace corvane {
namespace {

using test::ReadAll;
using test::TempDir;

// corvane-cli run and estimate, end to end through the built program.
class RunCommandsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        m_dir.Write("src/Docs/a.txt", "alpha");
        m_dir.Write("src/Docs/sub/b.txt", QByteArray(2000, 'b'));
        const QString src = m_dir.File("src/Docs");
        const QString dst = m_dir.File("dst");
        m_dir.Write(
            "data/CorvTasks.bin",
            ("<TasksList><Main TasksCount=\"3\"/>"
             "<Task0 taskName=\"Docs\" taskOID=\"1\" backupMode=\"1\" destPath=\"" +
             dst + "/copy/\" itemsCount=\"1\" SrcDataType1=\"1\" SrcFolder1=\"" + src +
             "\" DstFolderName1=\"Docs\"/>"
             "<Task1 taskName=\"Zipped\" taskOID=\"2\" backupMode=\"2\" archiveName=\"d.zip\" "
             "destPath=\"" +
             dst + "/zip/\" itemsCount=\"1\" SrcDataType1=\"1\" SrcFolder1=\"" + src +
             "\" DstFolderName1=\"Docs\"/>"
             "<Task2 taskName=\"Broken\" taskOID=\"3\" destPath=\"" +
             dst + "/broken/\" itemsCount=\"1\" SrcDataType1=\"1\" SrcFolder1=\"" +
             m_dir.File("nowhere") +
             "\" DstFolderName1=\"X\" destArea=\"ann\" "
             "MailAddress=\"ann@example.org\"/>"
             "</TasksList>")
                .toUtf8());
    }

    int Cli(const QStringList& args, QByteArray* out = nullptr, QByteArray* err = nullptr) {
        QProcessEnvironment env;
        env.insert("CORVANE_SENDMAIL", m_dir.File("no-sendmail"));
        return test::RunProgram(m_dir.File("data"), args, out, err, env);
    }

    TempDir m_dir;
};

TEST_F(RunCommandsTest, RunsTasksAndSavesTheirHistory) {
    QByteArray out;
    QByteArray err;
    ASSERT_EQ(Cli({"run", "docs", "ZIPPED"}, &out, &err), 0) << out.constData() << err.constData();
    EXPECT_EQ(ReadAll(m_dir.File("dst/copy/Docs/a.txt")), "alpha");
    EXPECT_TRUE(QFileInfo::exists(m_dir.File("dst/zip/d.zip")));
    EXPECT_EQ(out.count("Starting task...\n"), 2);
    EXPECT_EQ(out.count("  Task completed\n"), 2);
    EXPECT_TRUE(err.isEmpty()) << err.constData();  // no terminal: no progress line

    PropertyStore saved;
    ASSERT_TRUE(saved.LoadXml(m_dir.File("data/CorvTasks.bin")));
    EXPECT_EQ(saved.ReadNumber("Task0", "PrevBackupsNmb", 0), 1);
    EXPECT_EQ(saved.ReadText("Task1", "PrevBackup1ArchName"), "d.zip");
}

TEST_F(RunCommandsTest, ExitStatusTellsFailuresAndUnknownNames) {
    QByteArray out;
    QByteArray err;
    EXPECT_EQ(Cli({"run", "Docs", "Broken"}, &out, &err), 1);
    EXPECT_TRUE(out.contains("  Task completed\n"));
    EXPECT_TRUE(out.contains("  Error: task failed\n"));
    EXPECT_TRUE(out.contains("  Warning: Send mail to 'ann@example.org' failed\n"));

    EXPECT_EQ(Cli({"run", "Docs", "Nope"}, &out, &err), 2);
    EXPECT_EQ(err, "Error: task 'Nope' not found\n");
    EXPECT_FALSE(out.contains("Starting task"));
    EXPECT_EQ(Cli({"run"}, &out, &err), 2);
}

TEST_F(RunCommandsTest, RunAllStartsEveryTask) {
    QByteArray out;
    EXPECT_EQ(Cli({"run", "--all"}, &out), 1);
    EXPECT_TRUE(out.contains("Starting all task...\n"));
    EXPECT_EQ(out.count("  Add task '"), 3);
    EXPECT_EQ(out.count("  Task completed\n"), 2);
}

TEST_F(RunCommandsTest, AnotherOwnerOfTheTaskListIsReported) {
    DataFolderLock lock;
    ASSERT_TRUE(lock.TryLock(m_dir.File("data")));
    QByteArray err;
    EXPECT_EQ(Cli({"run", "Docs"}, nullptr, &err), 3);
    EXPECT_TRUE(err.contains("in use by another Corvane process")) << err.constData();
    EXPECT_EQ(Cli({"delete", "Docs"}, nullptr, &err), 3);
    lock.Unlock();
    EXPECT_EQ(Cli({"run", "Docs"}), 0);
}

TEST_F(RunCommandsTest, EstimatePrintsTheSize) {
    QByteArray out;
    EXPECT_EQ(Cli({"estimate", "Docs", "Zipped"}, &out), 0);
    EXPECT_EQ(out.count("Estimating task...\n"), 2);
    EXPECT_TRUE(out.endsWith("  Unpacked size of selected task(s) data: 3 KBytes\n"))
        << out.constData();
}

// SIGINT presses Stop: the running task is aborted and the queue is emptied. The first
// task is held in its notification mail (a sendmail stand-in that waits on a FIFO), so
// the signal arrives while it runs.
TEST_F(RunCommandsTest, InterruptStopsTheRun) {
    const QString fifo = m_dir.File("hold");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const QString sendmail = m_dir.Write(
        "sendmail", ("#!/bin/sh\ncat > /dev/null\nread line < '" + fifo + "'\n").toUtf8());
    QFile::setPermissions(sendmail, QFileDevice::ReadOwner | QFileDevice::ExeOwner);

    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("CORVANE_HOME", m_dir.File("data"));
    env.insert("CORVANE_SENDMAIL", sendmail);
    process.setProcessEnvironment(env);
    process.start(CORVANE_CLI_PATH, {"run", "Broken", "Docs"});
    ASSERT_TRUE(process.waitForStarted());

    // Opening the FIFO waits until the stand-in reads it: the first task is then running.
    const int hold = ::open(QFile::encodeName(fifo).constData(), O_WRONLY);
    ASSERT_GE(hold, 0);
    ::kill(static_cast<pid_t>(process.processId()), SIGINT);
    // The program's main thread is idle in its event loop and takes the signal at once;
    // the mail returns only after the stand-in has read the line below.
    ASSERT_EQ(::write(hold, "go\n", 3), 3);
    ::close(hold);

    ASSERT_TRUE(process.waitForFinished(120000));
    const QByteArray out = process.readAllStandardOutput();
    EXPECT_EQ(process.exitCode(), 130) << out.constData();
    EXPECT_TRUE(out.contains("  Task has been aborted\n")) << out.constData();
    EXPECT_FALSE(QFileInfo::exists(m_dir.File("dst/copy")));  // the second task never ran
}

}  // namespace
}  // namespace corvane
