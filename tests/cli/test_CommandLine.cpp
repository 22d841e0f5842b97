#include <gtest/gtest.h>

#include <QFile>
#include <QRegularExpression>

#include "cli/CliTestSupport.h"
#include "cli/CommandLine.h"
#include "model/PropertyStore.h"
#include "support/TempDir.h"

namespace corvane {
namespace {

using test::CliResult;
using test::FixturePath;
using test::TempDir;

class CommandLineTest : public ::testing::Test {
  protected:
    void SetUp() override { test::CopyTaskFixture(m_dir.Path()); }

    CliResult RunHere(const QStringList& arguments) {
        return test::RunCli(m_dir.Path(), arguments);
    }

    TempDir m_dir;
};

// The tree in display order; after a delete both files are saved with the slots closed
// up, so the listing's slot numbers move.
TEST_F(CommandLineTest, ListShowsTheTreeAndDeleteSavesItCompacted) {
    const QString tree =
        "group: Home\n"
        "  task %1: Mail archive. Backup and compress items to ftp://backup.example.org/ann/"
        " in mail #YY_#MM_#DD.zip\n"
        "    item: All contacts\n"
        "    item: Ann Cole\n"
        "%2"
        "task %3: Restore old. Restore items from /srv/old/\n"
        "  item: HKEY_CURRENT_USER\\Software\\Tarnis\n"
        "group: Empty\n"
        "task %4: Loose. Backup items to /tmp/loose/\n";
    const QString docs =
        "  task 0: Docs. Backup items to /media/usb/Backup/#YY_#MM/\n"
        "    item: /home/ann/Documents\n"
        "    item: /home/ann/.bashrc\n";
    EXPECT_EQ(RunHere({"list"}).out, tree.arg("1", docs, "2", "3"));
    const CliResult result = RunHere({"delete", "docs"});
    EXPECT_EQ(result.status, 0) << result.err.toStdString();
    EXPECT_TRUE(result.out.endsWith(": Task was deleted\n")) << result.out.toStdString();
    EXPECT_EQ(RunHere({"list"}).out, tree.arg("0", "", "1", "2"));
}

TEST_F(CommandLineTest, ShowPrintsTheFieldsWithPasswordsHidden) {
    const CliResult result = RunHere({"show", "MAIL ARCHIVE"});
    EXPECT_EQ(result.status, 0) << result.err.toStdString();
    EXPECT_TRUE(result.out.startsWith("taskType=1\ntaskOID=12\ntaskName=Mail archive\n"));
    EXPECT_TRUE(result.out.contains("\ndestBurn=***\n"));
    EXPECT_TRUE(result.out.contains("\narchBurn=***\n"));
    EXPECT_TRUE(result.out.contains("\nRecurTime=2005-03-07 09:05:00\n"));
    EXPECT_FALSE(result.out.contains("pass"));
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

TEST_F(CommandLineTest, UsageErrorsAndUnknownTasks) {
    for (const char* line :
         {"", "frobnicate", "show", "list x", "show a b", "--data-dir", "--bogus list", "run",
          "run a --all", "compare Docs --backup 0", "restore", "show Nope", "delete Nope"}) {
        const CliResult result = RunHere(QString(line).split(' ', Qt::SkipEmptyParts));
        EXPECT_EQ(result.status, 2) << line;
        EXPECT_FALSE(result.err.isEmpty()) << line;
        EXPECT_TRUE(result.out.isEmpty()) << line;
    }
    EXPECT_EQ(RunHere({"show", "Nope"}).err, "Error: task 'Nope' not found\n");
}

TEST_F(CommandLineTest, HelpAndVersionAnswerOnStandardOutput) {
    const CliResult version = RunHere({"--version"});
    EXPECT_EQ(version.status, 0);
    const QRegularExpression form("^corvane-cli \\d+\\.\\d+\\.\\d+( \\(commit [0-9a-f]+\\))?\n$");
    EXPECT_TRUE(form.match(version.out).hasMatch()) << version.out.toStdString();
    EXPECT_TRUE(RunHere({"--help"}).out.contains("\n  --version "));
}

}  // namespace
}  // namespace corvane
