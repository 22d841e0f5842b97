// corvane-cli with a task whose destination is a real FTP server (pyftpdlib on
// 127.0.0.1): run, compare and restore through the command line, and finding a lost
// task on the server and adding its restore task. The commands run in this process.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include "app/TaskFiles.h"
#include "cli/CliTestSupport.h"
#include "cli/CommandLine.h"
#include "model/TaskList.h"
#include "model/TaskListFile.h"
#include "support/FtpTestServer.h"
#include "support/TempDir.h"
#include "support/Times.h"
#include "transport/FtpAddress.h"

namespace corvane {
namespace {

using test::SetMtime;

using test::FtpTestServer;
using test::ReadAll;
using test::TempDir;

// The queued commands (run, restore) wait in an event loop.
void EnsureApplication() {
    static int argc = 1;
    static char name[] = "cli_test_FtpCommands";
    static char* argv[] = {name, nullptr};
    static QCoreApplication* app =
        QCoreApplication::instance() != nullptr ? nullptr : new QCoreApplication(argc, argv);
    (void)app;
}

class FtpCommandsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        QString why;
        if (!m_server.Start(&why)) {
            FAIL() << "FTP test server cannot start: " << why.toStdString();
        }
        EnsureApplication();
        m_data = m_dir.File("data");
        ASSERT_TRUE(QDir().mkpath(m_data));
        m_dir.Write("live/Docs/a.txt", "alpha");
        m_dir.Write("live/Docs/sub/b.txt", "beta");
        m_dir.Write("live/Docs/gone.txt", "gone");
        for (const char* name : {"a.txt", "sub/b.txt", "gone.txt"}) {
            SetMtime(m_dir.File(QString("live/Docs/") + name), 1600000000);
        }
        TaskList tasks;
        TaskRecord* task = tasks.NewTask("Docs", kTaskBackup);
        task->destination = m_server.Destination("ftp://127.0.0.1/store");
        task->items.push_back(MakePathItem(m_dir.File("live/Docs/"), kItemFolder, "Docs"));
        ASSERT_TRUE(SaveTaskList(tasks, TaskListPath(m_data)));
    }

    test::CliResult Cli(QStringList arguments) {
        arguments.prepend(m_data);
        arguments.prepend("--data-dir");
        const test::CliResult result = test::Capture(
            [&](std::FILE* out, std::FILE* err) { return RunCommandLine(arguments, out, err); });
        // Nothing a command prints may show the server's password.
        EXPECT_FALSE(result.out.contains(m_server.Password())) << result.out.toStdString();
        EXPECT_FALSE(result.err.contains(m_server.Password())) << result.err.toStdString();
        EXPECT_FALSE(result.out.contains("s3cret") || result.err.contains("s3cret"));
        return result;
    }

    QString Url(const QString& path, const QString& password = QString()) const {
        return FtpAddressText({"127.0.0.1", m_server.Port(), m_server.User(),
                               password.isNull() ? m_server.Password() : password, "/" + path});
    }

    QString Live(const QString& name) const { return m_dir.File("live/Docs/" + name); }

    FtpTestServer m_server;
    TempDir m_dir;
    QString m_data;
};

TEST_F(FtpCommandsTest, RunCompareAndRestoreAnFtpTask) {
    test::CliResult result = Cli({"run", "Docs"});
    ASSERT_EQ(result.status, 0) << result.err.toStdString() << result.out.toStdString();
    EXPECT_EQ(ReadAll(m_server.Home() + "/store/Docs/sub/b.txt"), "beta");

    result = Cli({"compare", "Docs"});
    ASSERT_EQ(result.status, 0) << result.err.toStdString();
    QStringList lines = result.out.split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 3) << result.out.toStdString();
    for (const QString& line : lines) {
        EXPECT_TRUE(line.startsWith("identical\t")) << line.toStdString();
    }

    m_dir.Write("live/Docs/a.txt", "ALPHA!");
    SetMtime(Live("a.txt"), 1700000000);
    ASSERT_TRUE(QFile::remove(Live("gone.txt")));
    result = Cli({"compare", "Docs"});
    lines = result.out.split('\n', Qt::SkipEmptyParts);
    lines.sort();
    ASSERT_EQ(lines.size(), 3) << result.out.toStdString();
    EXPECT_TRUE(lines[0].startsWith("deleted\tfile not found\tftp://127.0.0.1/store:Docs/gone.txt"))
        << lines[0].toStdString();
    EXPECT_TRUE(lines[1].startsWith("identical\t" + Live("sub/b.txt"))) << lines[1].toStdString();
    EXPECT_TRUE(lines[2].startsWith("newer\t" + Live("a.txt"))) << lines[2].toStdString();

    result = Cli({"restore", "Docs", "--uncheck-newer", "--yes"});
    ASSERT_EQ(result.status, 0) << result.err.toStdString() << result.out.toStdString();
    EXPECT_EQ(ReadAll(Live("gone.txt")), "gone");
    EXPECT_EQ(QFileInfo(Live("gone.txt")).lastModified().toSecsSinceEpoch(), 1600000000);
    EXPECT_EQ(ReadAll(Live("a.txt")), "ALPHA!");  // unchecked: left alone
}

TEST_F(FtpCommandsTest, CompareUsesOneConnectionForAllItemsAndFailsWithoutOne) {
    // A second folder item: the compare lists both over the one connection.
    TaskList tasks;
    ASSERT_TRUE(LoadTaskList(tasks, TaskListPath(m_data)));
    TaskRecord* task = tasks.TaskAt(tasks.FindTaskByName("Docs"));
    ASSERT_NE(task, nullptr);
    m_dir.Write("live/More/c.txt", "gamma");
    task->items.push_back(MakePathItem(m_dir.File("live/More/"), kItemFolder, "More"));
    ASSERT_TRUE(SaveTaskList(tasks, TaskListPath(m_data)));
    ASSERT_EQ(Cli({"run", "Docs"}).status, 0);

    const int before = m_server.ConnectionCount();
    test::CliResult result = Cli({"compare", "Docs"});
    ASSERT_EQ(result.status, 0) << result.err.toStdString();
    EXPECT_EQ(result.out.split('\n', Qt::SkipEmptyParts).size(), 4) << result.out.toStdString();
    EXPECT_EQ(m_server.ConnectionCount() - before, 1);

    task->destination.password = "wrong";
    ASSERT_TRUE(SaveTaskList(tasks, TaskListPath(m_data)));
    result = Cli({"compare", "Docs"});
    EXPECT_EQ(result.status, 1);
    EXPECT_TRUE(result.out.isEmpty()) << result.out.toStdString();
    EXPECT_EQ(result.err.count("FTP connection error"), 1) << result.err.toStdString();
}

TEST_F(FtpCommandsTest, WrongPasswordAndMissingTaskFileAreReportedWithoutThePassword) {
    test::CliResult result = Cli({"find-tasks", Url("store", "s3cret wrong")});
    EXPECT_EQ(result.status, 1);
    EXPECT_TRUE(result.out.isEmpty());
    EXPECT_TRUE(result.err.contains("  FTP connection error: ")) << result.err.toStdString();
    EXPECT_TRUE(result.err.contains(
        QString("Error: cannot search 'ftp://corvane@127.0.0.1:%1/store'").arg(m_server.Port())))
        << result.err.toStdString();

    result = Cli({"add-restore-task", Url("store/Missing.TSK")});
    EXPECT_EQ(result.status, 1);
    EXPECT_TRUE(result.err.contains("  Error: Cannot access task data"))
        << result.err.toStdString();
    EXPECT_TRUE(result.err.contains(
        QString("Error: cannot read task file 'ftp://corvane@127.0.0.1:%1/store/Missing.TSK'")
            .arg(m_server.Port())))
        << result.err.toStdString();
}

// An FTP password had to sit in the address, where the process list shows it.
TEST_F(FtpCommandsTest, PasswordCanComeOnStandardInput) {
    ASSERT_EQ(Cli({"run", "Docs"}).status, 0);
    const auto cliWithInput = [this](const QStringList& args, const QByteArray& input) {
        QProcess process;
        process.setProcessEnvironment(QProcessEnvironment::systemEnvironment());
        process.start(CORVANE_CLI_PATH, QStringList{"--data-dir", m_data} + args);
        process.write(input);
        process.closeWriteChannel();
        EXPECT_TRUE(process.waitForFinished(120000));
        return process.exitCode();
    };
    const QByteArray password = m_server.Password().toUtf8() + "\n";
    EXPECT_EQ(cliWithInput({"find-tasks", Url("store", ""), "--password-stdin"}, password), 0);
    EXPECT_EQ(cliWithInput({"find-tasks", "--password-stdin", Url("store", "")}, "wrong\n"), 1);
    EXPECT_EQ(cliWithInput({"find-tasks", Url("store", ""), "--password-stdin"}, ""), 2);
    EXPECT_EQ(
        cliWithInput({"add-restore-task", Url("store/Docs.TSK", ""), "--password-stdin"}, password),
        0);
}

}  // namespace
}  // namespace corvane
