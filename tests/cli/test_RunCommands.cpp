// The commands of corvane-cli that go through the run queue (run, estimate, compare,
// restore), end to end through the built program, whose standard input is never a
// terminal.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <csignal>

#include "cli/CliTestSupport.h"
#include "model/FileName.h"
#include "model/PropertyStore.h"
#include "platform/DataFolderLock.h"
#include "support/ScopedEnv.h"
#include "support/TempDir.h"
#include "support/Times.h"
#include "support/Tools.h"

namespace corvane {
namespace {

using test::CliResult;
using test::ReadAll;

class RunCommandsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        QDir().mkpath(m_dir.File("run"));
        for (const char* name : {"same", "changed", "gone"}) {
            test::SetMtime(m_dir.Write(QString("src/Docs/%1.txt").arg(name), name), 1600000000);
        }
        // "Broken" fails, after its notification mail; "Dated" has two backups.
        const QString tasks =
            "<TasksList><Main TasksCount=\"4\"/>"
            "<Task0 taskName=\"My Docs\" taskOID=\"1\" %1\"%2\" backupMode=\"1\" "
            "destPath=\"%3/copy/\"/><Task1 taskName=\"Zipped\" taskOID=\"2\" %1\"%2\" "
            "backupMode=\"2\" archiveName=\"d.zip\" destPath=\"%3/zip/\"/>"
            "<Task2 taskName=\"Broken\" taskOID=\"3\" %1\"%4\" destPath=\"%3/broken/\" "
            "destArea=\"ann\" MailAddress=\"ann@example.org\"/><Task3 taskName=\"Dated\" "
            "taskOID=\"4\" %1\"%2\" backupMode=\"1\" destPath=\"%3/#YY#MM#DD/\" "
            "PrevBackupsNmb=\"2\" PrevBackup1DestFld=\"/nowhere/1/\" PrevBackup1TimeLo=\"0\" "
            "PrevBackup1TimeHi=\"0\" PrevBackup2DestFld=\"/nowhere/2/\" PrevBackup2TimeLo=\"0\" "
            "PrevBackup2TimeHi=\"0\"/></TasksList>";
        const QString item =
            "itemsCount=\"1\" SrcDataType1=\"1\" DstFolderName1=\"Docs\" SrcFolder1=";
        m_dir.Write(
            "data/CorvTasks.bin",
            tasks.arg(item, m_dir.File("src/Docs"), m_dir.File("dst"), m_dir.File("nowhere"))
                .toUtf8());
        m_env.insert("CORVANE_SENDMAIL", m_dir.File("no-sendmail"));
    }

    CliResult Cli(const QStringList& args) {
        return test::RunProgram(m_dir.File("data"), args, m_env);
    }

    // Starts corvane-cli and waits until "Broken" is held in its notification mail (a
    // sendmail stand-in that waits for a line on a FIFO); answers the FIFO to write to.
    int StartHeld(QProcess& process, const QStringList& args) {
        const QByteArray fifo = FileNameToBytes(m_dir.File("hold"));
        EXPECT_EQ(::mkfifo(fifo.constData(), 0600), 0);
        const QString sendmail =
            m_dir.Write("sendmail", "#!/bin/sh\ncat > /dev/null\nread line < '" + fifo + "'\n");
        QFile::setPermissions(sendmail, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
        m_env.insert("CORVANE_SENDMAIL", sendmail);
        process.setStandardInputFile(QProcess::nullDevice());
        test::StartProgram(process, m_dir.File("data"), args, m_env);
        EXPECT_TRUE(process.waitForStarted());
        // Opening the FIFO waits until the stand-in reads it.
        return ::open(fifo.constData(), O_WRONLY);
    }

    static void Release(int hold) {
        ASSERT_EQ(::write(hold, "go\n", 3), 3);
        ::close(hold);
    }

    test::TempDir m_dir;
    // Channels of these tests only, never those of a Corvane the user runs.
    test::ScopedEnv m_runtime{"XDG_RUNTIME_DIR", FileNameToBytes(m_dir.File("run"))};
    QProcessEnvironment m_env;
};

// A holder of the task list that takes no names (a delete, an older program) gives 3.
TEST_F(RunCommandsTest, RunsTasksSavesTheirHistoryAndTellsFailuresByStatus) {
    CliResult run = Cli({"run", "my docs", "ZIPPED"});
    ASSERT_EQ(run.status, 0) << run.out.toStdString() << run.err.toStdString();
    EXPECT_EQ(ReadAll(m_dir.File("dst/copy/Docs/same.txt")), "same");
    EXPECT_EQ(run.out.count("  Task completed\n"), 2);
    EXPECT_TRUE(run.err.isEmpty()) << run.err.toStdString();  // no terminal: no progress
    PropertyStore saved;
    ASSERT_TRUE(saved.LoadXml(m_dir.File("data/CorvTasks.bin")));
    EXPECT_EQ(saved.ReadNumber("Task0", "PrevBackupsNmb", 0), 1);
    EXPECT_EQ(saved.ReadText("Task1", "PrevBackup1ArchName"), "d.zip");
    EXPECT_TRUE(Cli({"estimate", "My Docs", "Zipped"})
                    .out.endsWith("  Unpacked size of selected task(s) data: 30 bytes\n"));

    run = Cli({"run", "--all"});
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(run.out.contains("  Warning: Send mail to 'ann@example.org' failed\n"));
    EXPECT_TRUE(run.out.contains("  Error: task failed\n"));
    run = Cli({"run", "My Docs", "Nope"});
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.err, "Error: task 'Nope' not found\n");
    EXPECT_FALSE(run.out.contains("Starting task"));
    DataFolderLock lock;
    ASSERT_TRUE(lock.TryLock(m_dir.File("data")));
    for (const QStringList& args : {QStringList{"run", "My Docs"}, QStringList{"delete", "x"}}) {
        run = Cli(args);
        EXPECT_EQ(run.status, 3);
        EXPECT_TRUE(run.err.contains("in use by another Corvane process")) << run.err.toStdString();
    }
}

// SIGINT presses Stop: the running task is aborted and the queue is emptied.
TEST_F(RunCommandsTest, InterruptStopsTheRun) {
    QProcess process;
    const int hold = StartHeld(process, {"run", "Broken", "My Docs"});
    ASSERT_GE(hold, 0);
    // The end of the held task may reach the main thread before the signal's pipe does;
    // the next task must not start either way.
    ::kill(static_cast<pid_t>(process.processId()), SIGINT);
    Release(hold);
    ASSERT_TRUE(process.waitForFinished(120000));
    const QByteArray out = process.readAllStandardOutput();
    EXPECT_EQ(process.exitCode(), 130) << out.constData();
    EXPECT_TRUE(out.contains("  Task has been aborted\n")) << out.constData();
    EXPECT_FALSE(QFileInfo::exists(m_dir.File("dst/copy")));  // the second task never ran
}

// The hand-over record holds only the name, so the running program compresses with its
// own count: --threads must say so instead of being dropped without a word.
TEST_F(RunCommandsTest, ThreadsOfAHandedOverNameAreNotDroppedSilently) {
    QProcess owner;
    const int hold = StartHeld(owner, {"run", "Broken"});
    ASSERT_GE(hold, 0);
    const CliResult handed = Cli({"--threads", "2", "run", "My Docs", "Zipped"});
    Release(hold);
    ASSERT_TRUE(owner.waitForFinished(120000));
    EXPECT_EQ(handed.status, 0) << handed.err.toStdString();
    EXPECT_EQ(handed.out.count("handed over to the running corvane-cli run\n"), 2);
    EXPECT_EQ(handed.err.count("Note: --threads 2 applies only to tasks this program runs"), 1)
        << handed.err.toStdString();
    EXPECT_EQ(ReadAll(m_dir.File("dst/copy/Docs/same.txt")), "same");  // the owner ran it
}

// Compare prints one line per stored file: status, live name, archive name and both
// times, by tabs. Restore without --yes and without a terminal restores nothing.
TEST_F(RunCommandsTest, CompareAndRestoreAfterChanges) {
    ASSERT_EQ(Cli({"run", "Zipped"}).status, 0);
    test::SetMtime(m_dir.Write("src/Docs/changed.txt", "CHANGED!"), 1700000000);
    ASSERT_TRUE(QFile::remove(m_dir.File("src/Docs/gone.txt")));
    CliResult result = Cli({"compare", "zipped"});
    ASSERT_EQ(result.status, 0) << result.err.toStdString();
    EXPECT_EQ(result.out.count('\n'), 3);
    EXPECT_EQ(result.out.count('\t'), 12);
    EXPECT_TRUE(result.out.contains("newer\t" + m_dir.File("src/Docs/changed.txt") + "\td.zip:"));
    EXPECT_TRUE(result.out.contains("\tfile not found\td.zip:Docs/gone.txt\t"));

    result = Cli({"restore", "Zipped"});
    EXPECT_EQ(result.status, 2);
    EXPECT_TRUE(result.out.contains("3 items checked")) << result.out.toStdString();
    EXPECT_TRUE(result.err.contains("--yes"));
    EXPECT_EQ(ReadAll(m_dir.File("src/Docs/changed.txt")), "CHANGED!");
    result = Cli({"restore", "Zipped", "--uncheck-identical", "--yes"});
    ASSERT_EQ(result.status, 0) << result.out.toStdString();
    EXPECT_EQ(ReadAll(m_dir.File("src/Docs/changed.txt")), "changed");
    EXPECT_EQ(ReadAll(m_dir.File("src/Docs/gone.txt")), "gone");
    EXPECT_TRUE(result.out.contains("  ...2 items unpacked.\n")) << result.out.toStdString();

    // A compare of a missing archive exited with 0.
    ASSERT_TRUE(QFile::remove(m_dir.File("dst/zip/d.zip")));
    result = Cli({"compare", "Zipped"});
    EXPECT_EQ(result.status, 1);
    EXPECT_TRUE(result.err.contains("  Error: cannot open ZIP file\n")) << result.err.toStdString();
    EXPECT_TRUE(result.out.isEmpty());

    // A share that cannot be reached failed the compare instead of showing every file missing.
    result = Cli({"compare", "Broken"});
    EXPECT_EQ(result.status, 1);
    EXPECT_TRUE(result.err.contains("  ...Error: ")) << result.err.toStdString();
    EXPECT_TRUE(result.out.isEmpty()) << result.out.toStdString();
}

TEST_F(RunCommandsTest, DatedTaskWithSeveralBackupsNeedsAChoice) {
    CliResult result = Cli({"restore", "Dated", "--yes"});
    EXPECT_EQ(result.status, 2);
    EXPECT_TRUE(result.err.contains("--backup"));
    EXPECT_TRUE(result.out.startsWith("1. ") && result.out.contains("/nowhere/2/\n"));
    EXPECT_EQ(Cli({"compare", "Dated", "--backup", "3"}).status, 2);
    // The chosen backup holds nothing: there is nothing to restore.
    result = Cli({"restore", "Dated", "--backup", "2", "--yes"});
    EXPECT_EQ(result.status, 1);
    EXPECT_TRUE(result.out.contains("  Error: nothing to restore\n")) << result.out.toStdString();
}

// Runs corvane-cli with the arguments argv[4:] on a pseudo-terminal, answers its
// password question with argv[3] and prints the prompt seen and the exit status.
const char kRunOnTerminal[] = R"py(import os, pty, sys
pid, fd = pty.fork()
if pid == 0:
    os.environ["CORVANE_HOME"] = sys.argv[2]
    os.environ["DBUS_SESSION_BUS_ADDRESS"] = ""
    os.execv(sys.argv[1], [sys.argv[1]] + sys.argv[4:])
seen = b""
while b": " not in seen:
    seen += os.read(fd, 1024)
os.write(fd, sys.argv[3].encode() + b"\n")
try:
    while os.read(fd, 1024):
        pass
except OSError:
    pass
print(seen.decode().strip())
print(os.waitstatus_to_exitcode(os.waitpid(pid, 0)[1]))
)py";

// A task whose archive password is in a keyring this run cannot reach: on a terminal
// the run and the restore ask for it and the archive opens with what was typed, which is
// never saved; without a terminal the task fails instead of running with an empty
// password.
TEST_F(RunCommandsTest, PasswordInAnUnreachableKeyringIsAskedOnATerminalOnly) {
    m_dir.Write("data/CorvTasks.bin",
                QString("<TasksList><Main TasksCount=\"1\"/><Task0 taskName=\"Docs\" taskOID=\"1\" "
                        "backupMode=\"2\" archiveName=\"d.zip\" archCipher=\"0\" "
                        "PassInKeyring=\"2\" destPath=\"%1/\" itemsCount=\"1\" SrcDataType1=\"1\" "
                        "DstFolderName1=\"Docs\" SrcFolder1=\"%2\"/></TasksList>")
                    .arg(m_dir.File("zip"), m_dir.File("src/Docs"))
                    .toUtf8());
    m_env.insert("DBUS_SESSION_BUS_ADDRESS", "");
    const CliResult refused = Cli({"run", "Docs"});
    EXPECT_NE(refused.status, 0);
    EXPECT_TRUE((refused.out + refused.err).contains("its archive password is in the keyring"))
        << refused.out.toStdString();
    EXPECT_FALSE(QFileInfo::exists(m_dir.File("zip/d.zip")));

    const test::ToolResult asked = test::RunPython(
        kRunOnTerminal, {CORVANE_CLI_PATH, m_dir.File("data"), "typed s3cret", "run", "Docs"});
    EXPECT_EQ(asked.output.trimmed(), "Password for Docs (archive):\n0")
        << asked.output.toStdString();
    const test::ToolResult opened = test::RunPython(
        "import sys, zipfile\nprint(zipfile.ZipFile(sys.argv[1]).read('Docs/same.txt', "
        "pwd=b'typed s3cret').decode())",
        {m_dir.File("zip/d.zip")});
    EXPECT_EQ(opened.output.trimmed(), "same") << opened.output.toStdString();
    EXPECT_FALSE(ReadAll(m_dir.File("data/CorvTasks.bin")).contains("typed s3cret"));

    ASSERT_TRUE(QFile::remove(m_dir.File("src/Docs/same.txt")));
    const test::ToolResult restored = test::RunPython(
        kRunOnTerminal,
        {CORVANE_CLI_PATH, m_dir.File("data"), "typed s3cret", "restore", "Docs", "--yes"});
    EXPECT_EQ(restored.output.trimmed(), "Password for Docs (archive):\n0")
        << restored.output.toStdString();
    EXPECT_EQ(ReadAll(m_dir.File("src/Docs/same.txt")), "same");
}

}  // namespace
}  // namespace corvane
