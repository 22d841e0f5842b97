#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <cstdio>
#include <cstdlib>

#include "cli/CliTestSupport.h"
#include "cli/CommandLine.h"
#include "model/PropertyStore.h"
#include "support/TempDir.h"

namespace corvane {
namespace {

using test::FixturePath;
using test::TempDir;

using test::CliResult;

// Runs a command line in-process with captured output.
CliResult RunCli(const QStringList& arguments) {
    return test::Capture([&arguments](std::FILE* out, std::FILE* err) {
        return RunCommandLine(arguments, out, err);
    });
}

class CommandLineTest : public ::testing::Test {
  protected:
    void SetUp() override {
        for (const char* name : {"CorvTasks.bin", "CorvGroups.bin"}) {
            ASSERT_TRUE(QFile::copy(FixturePath(QString("cli/") + name), m_dir.File(name)));
            QFile::setPermissions(m_dir.File(name),
                                  QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        }
    }

    CliResult RunHere(QStringList arguments) {
        arguments.prepend(m_dir.Path());
        arguments.prepend("--data-dir");
        return RunCli(arguments);
    }

    TempDir m_dir;
};

TEST_F(CommandLineTest, ListShowsTheTreeInOrder) {
    const CliResult result = RunHere({"list"});
    EXPECT_EQ(result.status, 0) << result.err.toStdString();
    EXPECT_EQ(result.out,
              "group: Home\n"
              "  task 1: Mail archive. Backup and compress items to ftp://backup.example.org/ann/"
              " in mail #YY_#MM_#DD.zip\n"
              "    item: All Outlook contacts\n"
              "    item: Ann Cole\n"
              "  task 0: Docs. Backup items to /media/usb/Backup/#YY_#MM/\n"
              "    item: /home/ann/Documents\n"
              "    item: /home/ann/.bashrc\n"
              "task 2: Restore old. Restore items from /srv/old/\n"
              "  item: HKEY_CURRENT_USER\\Software\\Tarnis\n"
              "group: Empty\n"
              "task 3: Loose. Backup items to /tmp/loose/\n");
    EXPECT_TRUE(result.err.isEmpty());
}

TEST_F(CommandLineTest, ShowPrintsTheFieldsWithPasswordsHidden) {
    const CliResult result = RunHere({"show", "MAIL ARCHIVE"});
    EXPECT_EQ(result.status, 0) << result.err.toStdString();
    EXPECT_EQ(result.out,
              "taskType=1\ntaskOID=12\ntaskName=Mail archive\nitemsCount=2\n"
              "SrcDataType1=4\nSrcDataType2=5\nSrcFN2=Ann\nSrcMN2=\nSrcLN2=Cole\n"
              "destPath=ftp://backup.example.org/ann/\ndestType=2\nuseXPBurn=1\n"
              "destArea=ann\ndestBurn=***\nFTPPort=2121\nbackupMode=2\n"
              "archiveName=mail #YY_#MM_#DD.zip\narchiveCmpVal=6\narchBurn=***\n"
              "InclFilter=\nExclFilter=\nPrevBackupsNmb=0\nDeskShortcut=\nMailAddress=\n"
              "MailAccount=\nRecurMode=2\nRecurDatePattern=34\nRecurDayNmb=0\n"
              "RecurTime=2005-03-07 09:05:00\ndestDataSeg=ann\ndestDataOffset=\n");
    EXPECT_FALSE(result.out.contains("pass"));
}

TEST_F(CommandLineTest, ShowPrintsHistoryTimes) {
    const CliResult result = RunHere({"show", "docs"});
    EXPECT_EQ(result.status, 0);
    EXPECT_TRUE(
        result.out.contains("PrevBackupsNmb=1\n"
                            "PrevBackup1DestFld=/media/usb/Backup/2005_03/\n"
                            "PrevBackup1Time=2005-03-07 09:05:00\n"));
    EXPECT_FALSE(result.out.contains("PrevBackup1ArchName"));  // a copy task has none
    EXPECT_FALSE(result.out.contains("RecurTime"));
}

TEST_F(CommandLineTest, UnknownTaskIsAnError) {
    for (const char* command : {"show", "delete"}) {
        const CliResult result = RunHere({command, "Nope"});
        EXPECT_EQ(result.status, 2);
        EXPECT_EQ(result.err, "Error: task 'Nope' not found\n");
        EXPECT_TRUE(result.out.isEmpty());
    }
}

TEST_F(CommandLineTest, DeleteSavesBothFilesCompacted) {
    const CliResult result = RunHere({"delete", "docs"});
    EXPECT_EQ(result.status, 0) << result.err.toStdString();
    EXPECT_TRUE(result.out.endsWith(": Task was deleted\n")) << result.out.toStdString();

    PropertyStore tasks;
    ASSERT_TRUE(tasks.LoadXml(m_dir.File("CorvTasks.bin")));
    EXPECT_EQ(tasks.ReadNumber("Main", "TasksCount", -1), 3);
    EXPECT_EQ(tasks.ReadText("Task0", "taskName"), "Mail archive");
    EXPECT_EQ(tasks.ReadText("Task2", "taskName"), "Loose");

    const CliResult list = RunHere({"list"});
    EXPECT_EQ(list.out,
              "group: Home\n"
              "  task 0: Mail archive. Backup and compress items to ftp://backup.example.org/ann/"
              " in mail #YY_#MM_#DD.zip\n"
              "    item: All Outlook contacts\n"
              "    item: Ann Cole\n"
              "task 1: Restore old. Restore items from /srv/old/\n"
              "  item: HKEY_CURRENT_USER\\Software\\Tarnis\n"
              "group: Empty\n"
              "task 2: Loose. Backup items to /tmp/loose/\n");
}

// One typo in a hand-edited task list: "list" printed nothing and ended with 0, and the
// next command that saved wrote an empty list over every task. A damaged group list
// only earns a warning and is kept.
TEST_F(CommandLineTest, DamagedListsAreReportedAndKept) {
    const QByteArray tasks = "<TasksList>\n<Main TasksCount=\"1\"/>\n<Task0></Task>\n</TasksList>";
    const QByteArray groups = "<GroupsData><ItemsCount Number=\"1\"></GroupsData>";
    const QByteArray goodTasks = test::ReadAll(m_dir.File("CorvTasks.bin"));
    m_dir.Write("CorvTasks.bin", tasks);
    for (const QStringList& command :
         {QStringList{"list"},
          {"show", "Docs"},
          {"delete", "Docs"},
          {"history", "Docs"},
          {"run", "Docs"},
          {"estimate", "Docs"},
          {"compare", "Docs"},
          {"restore", "Docs", "--yes"},
          {"add-restore-task", FixturePath("tsk/Docs.TSK"), "--to", m_dir.Path()}}) {
        const CliResult result = RunHere(command);
        EXPECT_EQ(result.status, 1) << command.join(' ').toStdString();
        EXPECT_EQ(result.err, "Error: cannot read the task list " + m_dir.File("CorvTasks.bin") +
                                  ": Opening and ending tag mismatch at line 3, column 15\n");
        EXPECT_TRUE(result.out.isEmpty()) << result.out.toStdString();
    }
    EXPECT_EQ(test::ReadAll(m_dir.File("CorvTasks.bin")), tasks);

    m_dir.Write("CorvTasks.bin", goodTasks);
    m_dir.Write("CorvGroups.bin", groups);
    const CliResult result = RunHere({"delete", "Loose"});
    EXPECT_EQ(result.status, 0) << result.err.toStdString();
    EXPECT_TRUE(result.err.startsWith("Warning: cannot read the group list "))
        << result.err.toStdString();
    EXPECT_EQ(test::ReadAll(m_dir.File("CorvGroups.bin")), groups);
    EXPECT_FALSE(test::ReadAll(m_dir.File("CorvTasks.bin")).contains("Loose"));
}

TEST(CommandLine, UsageErrors) {
    TempDir dir;
    for (const QStringList& args : {QStringList{}, QStringList{"frobnicate"}, QStringList{"show"},
                                    QStringList{"list", "x"}, QStringList{"show", "a", "b"},
                                    QStringList{"--data-dir"}, QStringList{"--bogus", "list"}}) {
        const CliResult result = RunCli(args);
        EXPECT_EQ(result.status, 2) << args.join(' ').toStdString();
        EXPECT_FALSE(result.err.isEmpty());
    }
    const CliResult help = RunCli({"--help"});
    EXPECT_EQ(help.status, 0);
    for (const char* word : {"list", "show NAME", "delete NAME", "--data-dir"}) {
        EXPECT_TRUE(help.out.contains(word)) << word;
    }
}

TEST(CommandLine, EmptyDataFolderListsNothing) {
    TempDir dir;
    const CliResult result = RunCli({"--data-dir", dir.File("new"), "list"});
    EXPECT_EQ(result.status, 0);
    EXPECT_TRUE(result.out.isEmpty());
    EXPECT_FALSE(QDir(dir.File("new")).exists());  // listing creates nothing
}

// The built program, with the data folder from the environment.
TEST(CommandLineProgram, RunsWithCorvaneHome) {
    TempDir dir;
    ASSERT_TRUE(QFile::copy(FixturePath("cli/CorvTasks.bin"), dir.File("CorvTasks.bin")));
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("CORVANE_HOME", dir.Path());
    process.setProcessEnvironment(env);
    process.start(CORVANE_CLI_PATH, {"show", "Loose"});
    ASSERT_TRUE(process.waitForFinished(60000));
    EXPECT_EQ(process.exitCode(), 0);
    EXPECT_TRUE(process.readAllStandardOutput().contains("destPath=/tmp/loose/\n"));

    process.start(CORVANE_CLI_PATH, {"show", "Missing"});
    ASSERT_TRUE(process.waitForFinished(60000));
    EXPECT_EQ(process.exitCode(), 2);
    EXPECT_EQ(process.readAllStandardError(), "Error: task 'Missing' not found\n");
}

}  // namespace
}  // namespace corvane
