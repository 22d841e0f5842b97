// corvane-cli with a task whose destination is a real FTP server (pyftpdlib on
// 127.0.0.1): run, compare and restore through the command line, and finding a lost
// task on the server and adding its restore task. The commands run in this process.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <utility>

#include "app/TaskFiles.h"
#include "cli/CliTestSupport.h"
#include "model/TaskList.h"
#include "model/TaskListFile.h"
#include "support/FtpTestServer.h"
#include "support/TempDir.h"
#include "support/Times.h"
#include "transport/FtpAddress.h"

namespace corvane {
namespace {

using test::FtpTestServer;
using test::ReadAll;
using test::SetMtime;
using test::TempDir;

class FtpCommandsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        QString why;
        if (!m_server.Start(&why)) {
            FAIL() << "FTP test server cannot start: " << why.toStdString();
        }
        m_data = m_dir.File("data");
        ASSERT_TRUE(QDir().mkpath(m_data));
        for (const auto& [name, text] :
             {std::pair{"a.txt", "alpha"}, {"sub/b.txt", "beta"}, {"gone.txt", "gone"}}) {
            SetMtime(m_dir.Write(QString("live/Docs/") + name, text), 1600000000);
        }
        TaskList tasks;
        TaskRecord* task = tasks.NewTask("Docs", kTaskBackup);
        task->destination = m_server.Destination("ftp://127.0.0.1/store");
        task->items.push_back(MakePathItem(m_dir.File("live/Docs/"), kItemFolder, "Docs"));
        SetMtime(m_dir.Write("live/More/c.txt", "gamma"), 1600000000);
        task->items.push_back(MakePathItem(m_dir.File("live/More/"), kItemFolder, "More"));
        ASSERT_TRUE(SaveTaskList(tasks, TaskListPath(m_data)));
    }

    test::CliResult Cli(const QStringList& arguments) {
        const test::CliResult result = test::RunCli(m_data, arguments);
        // Nothing a command prints may show a password.
        for (const QString& password : {m_server.Password(), QStringLiteral("s3cret")}) {
            EXPECT_FALSE((result.out + result.err).contains(password))
                << result.out.toStdString() << result.err.toStdString();
        }
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

// Two folder items: the compare lists both over one connection. The displayed address
// carries no password, nor does anything a command prints (see Cli()).
TEST_F(FtpCommandsTest, RunCompareAndRestoreAnFtpTaskOverOneConnection) {
    ASSERT_EQ(Cli({"run", "Docs"}).status, 0);
    EXPECT_EQ(ReadAll(m_server.Home() + "/store/Docs/sub/b.txt"), "beta");
    SetMtime(m_dir.Write("live/Docs/a.txt", "ALPHA!"), 1700000000);
    ASSERT_TRUE(QFile::remove(Live("gone.txt")));
    const int before = m_server.ConnectionCount();
    test::CliResult result = Cli({"compare", "Docs"});
    EXPECT_EQ(m_server.ConnectionCount() - before, 1);
    QStringList lines = result.out.split('\n', Qt::SkipEmptyParts);
    lines.sort();
    ASSERT_EQ(lines.size(), 4) << result.out.toStdString();
    EXPECT_TRUE(lines[0].startsWith("deleted\tfile not found\tftp://127.0.0.1/store:Docs/gone.txt"))
        << lines[0].toStdString();
    EXPECT_TRUE(lines[1].startsWith("identical\t" + Live("sub/b.txt"))) << lines[1].toStdString();
    EXPECT_TRUE(lines[2].startsWith("identical\t" + m_dir.File("live/More/c.txt")));
    EXPECT_TRUE(lines[3].startsWith("newer\t" + Live("a.txt"))) << lines[3].toStdString();

    result = Cli({"restore", "Docs", "--uncheck-newer", "--yes"});
    ASSERT_EQ(result.status, 0) << result.err.toStdString() << result.out.toStdString();
    EXPECT_EQ(ReadAll(Live("gone.txt")), "gone");
    EXPECT_EQ(QFileInfo(Live("gone.txt")).lastModified().toSecsSinceEpoch(), 1600000000);
    EXPECT_EQ(ReadAll(Live("a.txt")), "ALPHA!");  // unchecked: left alone

    result = Cli({"find-tasks", Url("store", "s3cret wrong")});
    EXPECT_EQ(result.status, 1);
    EXPECT_TRUE(result.err.contains(
        QString("Error: cannot search 'ftp://corvane@127.0.0.1:%1/store'").arg(m_server.Port())))
        << result.err.toStdString();
    TaskList tasks;
    ASSERT_TRUE(LoadTaskList(tasks, TaskListPath(m_data)));
    tasks.TaskAt(0)->destination.password = "wrong";
    ASSERT_TRUE(SaveTaskList(tasks, TaskListPath(m_data)));
    result = Cli({"compare", "Docs"});
    EXPECT_EQ(result.status, 1);
    EXPECT_TRUE(result.out.isEmpty()) << result.out.toStdString();
    EXPECT_EQ(result.err.count("FTP connection error"), 1) << result.err.toStdString();

    // An FTP password had to sit in the address, where the process list shows it.
    const auto withInput = [this](const QStringList& args, const QByteArray& input) {
        QProcess process;
        test::StartProgram(process, m_data, args);
        process.write(input);
        process.closeWriteChannel();
        EXPECT_TRUE(process.waitForFinished(120000));
        return process.exitCode();
    };
    const QByteArray password = m_server.Password().toUtf8() + "\n";
    EXPECT_EQ(withInput({"find-tasks", Url("store", ""), "--password-stdin"}, password), 0);
    EXPECT_EQ(withInput({"find-tasks", "--password-stdin", Url("store", "")}, "wrong\n"), 1);
    EXPECT_EQ(withInput({"find-tasks", Url("store", ""), "--password-stdin"}, ""), 2);
    EXPECT_EQ(
        withInput({"add-restore-task", Url("store/Docs.TSK", ""), "--password-stdin"}, password),
        0);
}

}  // namespace
}  // namespace corvane

// The queued commands (run, restore) wait in an event loop.
int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
