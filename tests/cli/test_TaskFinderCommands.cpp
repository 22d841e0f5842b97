#include <gtest/gtest.h>

#include <tuple>
#include <vector>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>

#include "app/TaskFiles.h"
#include "cli/CliTestSupport.h"
#include "cli/CommandLine.h"
#include "cli/TaskFinderCommands.h"
#include "engine/TaskParameterFile.h"
#include "model/TaskList.h"
#include "model/TaskListFile.h"
#include "model/TimeText.h"
#include "platform/DataFolderLock.h"
#include "support/TempDir.h"
#include "support/Times.h"

namespace corvane {
namespace {

using test::FixturePath;
using test::MakeTime;
using test::TempDir;

using Result = test::CliResult;
using test::Capture;

Result FindTasks(const QString& folder) {
    return Capture(
        [&](std::FILE* out, std::FILE* err) { return FindTasksCommand(folder, out, err); });
}

// --- find-tasks -------------------------------------------------------------------------

TEST(FindTasksCommandTest, PrintsOneLinePerNamedTaskFile) {
    TempDir dir;
    TaskRecord task;
    task.name = "Docs";
    ASSERT_TRUE(SaveTaskParameterFile(task, dir.File("Docs.TSK")));
    task.name.clear();
    ASSERT_TRUE(SaveTaskParameterFile(task, dir.File("nameless.tsk")));

    const Result result = FindTasks(dir.Path());
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, "Task \"Docs\" in " + dir.Path() + "\n");
    EXPECT_TRUE(result.err.isEmpty());
}

TEST(FindTasksCommandTest, NamesTheFolderAbsolutely) {
    TempDir dir;
    TaskRecord task;
    task.name = "Docs";
    ASSERT_TRUE(QDir().mkpath(dir.File("sub")));
    ASSERT_TRUE(SaveTaskParameterFile(task, dir.File("sub/Docs.tsk")));
    const QString current = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(dir.Path()));
    const Result result = FindTasks("./sub/");
    QDir::setCurrent(current);
    EXPECT_EQ(result.out, "Task \"Docs\" in " + dir.File("sub") + "\n");
}

TEST(FindTasksCommandTest, NothingFoundAndMissingFolder) {
    TempDir dir;
    dir.Write("notes.txt", "no tasks here");
    Result result = FindTasks(dir.Path());
    EXPECT_EQ(result.status, 0);
    EXPECT_TRUE(result.out.isEmpty());
    EXPECT_TRUE(result.err.isEmpty());

    result = FindTasks(dir.File("missing"));
    EXPECT_EQ(result.status, 2);
    EXPECT_TRUE(result.out.isEmpty());
    EXPECT_EQ(result.err, "Error: folder '" + dir.File("missing") + "' not found\n");
    // A file is not a folder to search either.
    EXPECT_EQ(FindTasks(dir.File("notes.txt")).status, 2);
}

TEST(FindTasksCommandTest, ControlCharactersOfANameCannotForgeLines) {
    TempDir dir;
    dir.Write("evil.tsk",
              "<programSettings><TaskParameters taskName=\"A&#10;Task &quot;B&quot; in /x\"/>"
              "</programSettings>");
    const Result result = FindTasks(dir.Path());
    EXPECT_EQ(result.out, "Task \"A?Task \"B\" in /x\" in " + dir.Path() + "\n");
}

// --- add-restore-task -----------------------------------------------------------------

class AddRestoreTaskTest : public ::testing::Test {
  protected:
    void SetUp() override {
        m_data = m_dir.File("data");
        ASSERT_TRUE(QDir().mkpath(m_data));
        for (const char* name : {"CorvTasks.bin", "CorvGroups.bin"}) {
            ASSERT_TRUE(QFile::copy(FixturePath(QString("cli/") + name), m_data + "/" + name));
            QFile::setPermissions(m_data + "/" + name,
                                  QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        }
        ASSERT_TRUE(QDir().mkpath(m_dir.File("restore")));
    }

    Result Add(const QString& file, const QString& to = QString()) {
        return Capture([&](std::FILE* out, std::FILE* err) {
            return AddRestoreTaskCommand(m_data, file, to, out, err);
        });
    }

    Result Cli(QStringList arguments) {
        arguments.prepend(m_data);
        arguments.prepend("--data-dir");
        return Capture(
            [&](std::FILE* out, std::FILE* err) { return RunCommandLine(arguments, out, err); });
    }

    TempDir m_dir;
    QString m_data;
};

TEST_F(AddRestoreTaskTest, AddsTheRedirectedTaskToAFreshList) {
    ASSERT_TRUE(QFile::remove(TaskListPath(m_data)));
    const QString to = m_dir.File("restore");
    const Result result = Add(FixturePath("tsk/Docs.TSK"), to);
    ASSERT_EQ(result.status, 0) << result.err.toStdString();
    EXPECT_EQ(result.out, "New task added\n");
    EXPECT_TRUE(result.err.isEmpty());

    // The groups of the old tree stay (emptied of their lost tasks); the new task sits
    // at the top level with its items, folders and files now below the chosen folder.
    const Result list = Cli({"list"});
    EXPECT_EQ(list.status, 0);
    EXPECT_EQ(list.out,
              "group: Home\n"
              "group: Empty\n"
              "task 0: Docs. Restore items from /backup/#YY_#MM/ in Docs_#YY#MM.zip\n"
              "  item: " +
                  to +
                  "/\n"
                  "  item: " +
                  to +
                  "/notes.txt\n"
                  "  item: All Outlook contacts\n"
                  "  item: Ann B. Smith\n"
                  "  item: HKEY_CURRENT_USER\\Software\\Corvane\n");

    const Result show = Cli({"show", "docs"});
    EXPECT_TRUE(show.out.startsWith("taskType=2\n")) << show.out.toStdString();
    EXPECT_TRUE(show.out.contains("\nSrcFolder2=" + to + "/notes.txt\n"));
    EXPECT_TRUE(show.out.contains("\nDstFolderName2=notes.txt\n"));
    EXPECT_TRUE(show.out.contains("\nPrevBackupsNmb=2\n"));
    EXPECT_TRUE(QFileInfo::exists(GroupListPath(m_data)));
}

TEST_F(AddRestoreTaskTest, AppendsWithANewOidAndKeepsPlacesWithoutTo) {
    TaskList before;
    ASSERT_TRUE(LoadTaskList(before, TaskListPath(m_data)));
    ASSERT_EQ(Add(FixturePath("tsk/Docs.TSK")).status, 0);
    ASSERT_EQ(Add(FixturePath("tsk/Docs.TSK")).status, 0);

    TaskList after;
    ASSERT_TRUE(LoadTaskList(after, TaskListPath(m_data)));
    ASSERT_EQ(after.TaskCount(), before.TaskCount() + 2);
    for (int i = 0; i < before.TaskCount(); ++i) {
        EXPECT_EQ(*after.TaskAt(i), *before.TaskAt(i)) << i;
    }
    const TaskRecord& first = *after.TaskAt(before.TaskCount());
    const TaskRecord& second = *after.TaskAt(before.TaskCount() + 1);
    EXPECT_EQ(first.taskType, kTaskRestore);
    EXPECT_EQ(first.items[0].path, "/home/u/Documents/");
    EXPECT_EQ(first.items[1].path, "/home/u/notes.txt");
    // The defaults of a new task for what the file does not hold.
    EXPECT_EQ(first.compressionLevel, TaskRecord().compressionLevel);
    EXPECT_TRUE(first.archivePassword.isEmpty());
    // Every task has its own OID.
    std::vector<qint32> oids;
    for (int i = 0; i < after.TaskCount(); ++i) {
        oids.push_back(after.TaskAt(i)->oid);
    }
    std::sort(oids.begin(), oids.end());
    EXPECT_EQ(std::adjacent_find(oids.begin(), oids.end()), oids.end());
    EXPECT_NE(first.oid, second.oid);

    // In the tree the new tasks follow the old ones at the top level.
    const Result list = Cli({"list"});
    EXPECT_TRUE(
        list.out.contains("task 3: Loose. Backup items to /tmp/loose/\n"
                          "task 4: Docs. Restore items from"))
        << list.out.toStdString();
}

TEST_F(AddRestoreTaskTest, RefusesHostileAndUnreadableFiles) {
    const QByteArray before = test::ReadAll(TaskListPath(m_data));

    Result result = Add(FixturePath("tsk/hostile.tsk"), m_dir.File("restore"));
    EXPECT_EQ(result.status, 1);
    EXPECT_TRUE(result.out.isEmpty());
    EXPECT_EQ(result.err, "Error: task file '" + FixturePath("tsk/hostile.tsk") +
                              "' refused: unsafe path '../../../etc/passwd'\n");

    const QString missing = m_dir.File("missing.tsk");
    result = Add(missing);
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, "Error: cannot read task file '" + missing + "'\n");
    const QString garbage = m_dir.Write("garbage.tsk", "not a task file");
    EXPECT_EQ(Add(garbage).err, "Error: cannot read task file '" + garbage + "'\n");

    EXPECT_EQ(test::ReadAll(TaskListPath(m_data)), before);
}

// A task file from a backup medium could aim a restore at /etc/passwd or at "/" itself,
// or name its archive "/etc/shadow".
TEST_F(AddRestoreTaskTest, SystemPlacesNeedAChosenFolderAndArchiveNamesArePlain) {
    const QByteArray before = test::ReadAll(TaskListPath(m_data));
    const QString to = m_dir.File("restore");
    const QString system =
        "restores into the system folder '%1'; choose the folder to "
        "restore into with --to FOLDER";
    // Archive name, item kind and path, target folder, refusal (empty: accepted).
    for (const auto& [archive, kind, path, target, refusal] :
         std::vector<std::tuple<QString, int, QString, QString, QString>>{
             {"a.zip", 3, "/etc/passwd", "", system.arg("/etc/passwd")},
             {"a.zip", 1, "/", "", system.arg("/")},
             {"a.zip", 1, "/usr/lib64/", "", system.arg("/usr/lib64/")},
             {"/etc/shadow", 3, "/home/u/a", to, "refused: unsafe path '/etc/shadow'"},
             {"a&#10;b.zip", 3, "/home/u/a", to, "refused: unsafe path 'a?b.zip'"},
             {"a.zip", 3, "/etc/passwd", to, ""},
             {"a.zip", 1, "/home/u/Docs/", "", ""}}) {
        const QString file = m_dir.Write(
            "case.tsk", QString("<programSettings><TaskParameters taskName=\"T\" itemsCount=\"1\" "
                                "backupMode=\"2\" archiveName=\"%1\" SrcDataType1=\"%2\" "
                                "SrcFolder1=\"%3\" DstFolderName1=\"f\"/></programSettings>")
                            .arg(archive)
                            .arg(kind)
                            .arg(path)
                            .toUtf8());
        const Result result = Add(file, target);
        EXPECT_EQ(result.status, refusal.isEmpty() ? 0 : 1) << path.toStdString();
        EXPECT_EQ(result.err,
                  refusal.isEmpty() ? "" : "Error: task file '" + file + "' " + refusal + "\n");
        EXPECT_TRUE(refusal.isEmpty() || test::ReadAll(TaskListPath(m_data)) == before);
    }
}

TEST_F(AddRestoreTaskTest, TargetMustBeAnExistingFolder) {
    const QByteArray before = test::ReadAll(TaskListPath(m_data));
    const Result result = Add(FixturePath("tsk/Docs.TSK"), m_dir.File("nowhere"));
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(result.err, "Error: folder '" + m_dir.File("nowhere") + "' not found\n");
    EXPECT_EQ(test::ReadAll(TaskListPath(m_data)), before);
}

TEST_F(AddRestoreTaskTest, WaitsForNoOtherOwnerOfTheTaskList) {
    DataFolderLock lock;
    ASSERT_TRUE(lock.TryLock(m_data));
    const QByteArray before = test::ReadAll(TaskListPath(m_data));
    const Result result = Add(FixturePath("tsk/Docs.TSK"));
    EXPECT_EQ(result.status, 3);
    EXPECT_TRUE(result.err.contains("in use by another Corvane process"))
        << result.err.toStdString();
    EXPECT_EQ(test::ReadAll(TaskListPath(m_data)), before);
    lock.Unlock();
    EXPECT_EQ(Add(FixturePath("tsk/Docs.TSK")).status, 0);
}

// --- history -----------------------------------------------------------------------------

class HistoryCommandTest : public ::testing::Test {
  protected:
    void SetUp() override {
        TaskList tasks;
        TaskRecord* docs = tasks.NewTask("Docs", kTaskBackup);
        docs->backupMode = kMethodZip;  // history entries keep archive names
        docs->history = {
            {"/backup/2005_02", "Docs.zip", MakeTime(2005, 2, 28, 23, 59, 30)},
            {"/backup/2005_03/", "Docs.zip", MakeTime(2005, 3, 1, 8, 5, 0)},
            {"/media/usb/copy/", "", MakeTime(2005, 3, 2, 12, 0, 0)},
        };
        tasks.NewTask("Empty", kTaskBackup);
        ASSERT_TRUE(SaveTaskList(tasks, TaskListPath(m_dir.Path())));
    }

    Result History(const QString& name) {
        return Capture([&](std::FILE* out, std::FILE* err) {
            return HistoryCommand(m_dir.Path(), name, out, err);
        });
    }

    TempDir m_dir;
};

// The times are shown in the user's short formats, as the choice of dated backups shows them.
TEST_F(HistoryCommandTest, OneNumberedLinePerBackup) {
    const Result result = History("DOCS");
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, "1. " + ShortDateTimeText(MakeTime(2005, 2, 28, 23, 59, 30)) +
                              ", /backup/2005_02/Docs.zip\n"
                              "2. " +
                              ShortDateTimeText(MakeTime(2005, 3, 1, 8, 5, 0)) +
                              ", /backup/2005_03/Docs.zip\n"
                              "3. " +
                              ShortDateTimeText(MakeTime(2005, 3, 2, 12, 0, 0)) +
                              ", /media/usb/copy/\n");
    EXPECT_TRUE(result.err.isEmpty());
}

TEST_F(HistoryCommandTest, EmptyHistoryAndUnknownTask) {
    Result result = History("Empty");
    EXPECT_EQ(result.status, 0);
    EXPECT_TRUE(result.out.isEmpty());

    result = History("Nope");
    EXPECT_EQ(result.status, 2);
    EXPECT_TRUE(result.out.isEmpty());
    EXPECT_EQ(result.err, "Error: task 'Nope' not found\n");
}

}  // namespace
}  // namespace corvane
