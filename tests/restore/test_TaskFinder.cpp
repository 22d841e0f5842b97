#include <gtest/gtest.h>

#include <sys/stat.h>
#include <QDir>
#include <QFile>

#include "engine/TaskParameterFile.h"
#include "restore/TaskFinder.h"
#include "support/LogCapture.h"
#include "support/TempDir.h"

namespace corvane {
namespace {

using namespace test;

// A parameter file as a backup leaves it, named `name`, for a task called `taskName`.
void WriteTaskFile(const TempDir& dir, const QString& fileName, const QString& taskName) {
    TaskRecord task;
    task.name = taskName;
    task.destination.path = QStringLiteral("/backup/");
    task.items.push_back(MakePathItem("/home/u/Documents/", kItemFolder, "Documents"));
    QDir().mkpath(QFileInfo(dir.File(fileName)).path());
    EXPECT_TRUE(SaveTaskParameterFile(task, dir.File(fileName)));
}

TEST(FindStoredTasksTest, ListsNamedTaskFilesOfTheFolderOnlyByFileName) {
    TempDir dir;
    // The extension in any case; left out: no task name, another extension, a file that
    // does not load, a sub-folder's file and a folder.
    for (const QString& file : QStringList{
             "Docs.tsk=Docs", "b.TSK=Second", "C.Tsk=Third", "a.tsk=First", ".hidden.tsk=Hidden",
             "Nameless.tsk=", "Docs.tsk.bak=Backup copy", "sub/Deeper.tsk=Deeper"}) {
        WriteTaskFile(dir, file.section('=', 0, 0), file.section('=', 1));
    }
    dir.Write("Broken.tsk", "<programSettings><Task");
    QDir().mkpath(dir.File("Folder.tsk"));
    // A FIFO would block the reader forever: only regular files are opened.
    ASSERT_EQ(::mkfifo(QFile::encodeName(dir.File("pipe.tsk")).constData(), 0600), 0);

    const std::vector<FoundTask> found = FindStoredTasks(dir.Path());
    QStringList names;
    for (const FoundTask& task : found) {
        names << task.name;
    }
    EXPECT_EQ(names, QStringList({"Hidden", "First", "Second", "Third", "Docs"}));
    ASSERT_EQ(found.size(), 5u);
    EXPECT_EQ(found[4].path, dir.File("Docs.tsk"));
    EXPECT_EQ(found[4].folder, dir.Path());
    EXPECT_EQ(found[4].listLine, "Task \"Docs\" in " + dir.Path());
    EXPECT_TRUE(FindStoredTasks(dir.File("missing")).empty());
}

TEST(UnsafeItemPathTest, FindsTheFirstPlaceARestoreMustNotTrust) {
    // Contacts name no place; a folder or file item's path must be absolute without a ".."
    // component, its name in archive relative without one.
    TaskRecord task;
    task.items = {MakeAllContactsItem(), MakeContactItem("Ann", "", "../Smith"),
                  MakeRegistryItem("HKEY_CURRENT_USER\\Software", "Settings")};
    for (const char* path :
         {"/home/u/Documents/", "/home/u/a.txt", "/", "/a/..b/c..", "/a/.../b"}) {
        task.items.push_back(MakePathItem(path, kItemFile, "a..b/c.txt"));
    }
    EXPECT_TRUE(UnsafeItemPath(task).isNull());
    const std::pair<SourceItem, const char*> cases[] = {
        {MakePathItem("home/u/Documents/", kItemFolder, "Documents"), "home/u/Documents/"},
        {MakePathItem("./notes.txt", kItemFile, "notes.txt"), "./notes.txt"},
        {MakePathItem("..", kItemFolder, "up"), ".."},
        {MakePathItem("/home/../etc/", kItemFolder, "etc"), "/home/../etc/"},
        {MakePathItem("/home/u/..", kItemFolder, "u"), "/home/u/.."},
        {MakePathItem("C:\\Docs", kItemFolder, "Docs"), "C:\\Docs"},
        {MakePathItem("", kItemFile, "a.txt"), ""},
        {MakePathItem("/home/u/a.txt", kItemFile, "../a.txt"), "../a.txt"},
        {MakePathItem("/home/u/", kItemFolder, "/abs"), "/abs"},
        {MakeRegistryItem("HKEY_CURRENT_USER\\Software", "x/../../y"), "x/../../y"},
    };
    for (const auto& [item, unsafe] : cases) {
        TaskRecord bad = task;
        bad.items.push_back(item);
        bad.items.push_back(MakePathItem("relative-but-later", kItemFolder, "later"));
        EXPECT_FALSE(UnsafeItemPath(bad).isNull()) << unsafe;
        EXPECT_EQ(UnsafeItemPath(bad), unsafe);
    }
}

TEST(ReadRestoreTaskTest, BuildsFromAGoodFileAndRefusesHostileAndUnreadableOnes) {
    LogCapture log;
    TaskRecord task;
    ASSERT_TRUE(ReadRestoreTask(task, FixturePath("tsk/Docs.TSK")));
    EXPECT_EQ(task.taskType, kTaskRestore);
    EXPECT_EQ(task.name, "Docs");
    EXPECT_EQ(task.items.size(), 5u);
    EXPECT_TRUE(log.Texts().isEmpty());

    const QString hostile = FixturePath("tsk/hostile.tsk");
    EXPECT_FALSE(ReadRestoreTask(task, hostile));
    EXPECT_EQ(log.Texts(),
              QStringList({"  Error: unsafe path '../../../etc/passwd' in task file " + hostile}));

    // Unreadable files are refused without a word, as the wizard closes its step.
    EXPECT_FALSE(ReadRestoreTask(task, FixturePath("tsk/missing.tsk")));
    EXPECT_EQ(log.Texts().size(), 1);
}

TaskRecord EveryKindTask() {
    TaskRecord task;
    task.items = {MakePathItem("/home/u/Documents/", kItemFolder, "Documents"),
                  MakePathItem("/home/u/notes.txt", kItemFile, "notes.txt"), MakeAllContactsItem(),
                  MakeContactItem("Ann", "B.", "Smith"),
                  MakeRegistryItem("HKEY_CURRENT_USER\\Software\\Corvane", "Settings")};
    return task;
}

TEST(RedirectItemTest, MovesFoldersAndFilesOnly) {
    TaskRecord before = EveryKindTask();
    before.items.push_back(MakePathItem("/home/u/", kItemFile, "u"));  // files without a name
    before.items.push_back(MakePathItem("/home/u/..", kItemFile, "u"));
    // A file keeps its name; a folder item becomes the folder itself. Contacts and registry
    // keys go back where they came from; relative or empty folders and missing items fail.
    // clang-format off
    const std::tuple<int, const char*, const char*> cases[] = {  // item, folder, new path
        {1, "/restore", "/restore/notes.txt"}, {1, "/restore/", "/restore/notes.txt"},
        {1, "/", "/notes.txt"}, {0, "/restore", "/restore/"}, {0, "/restore//", "/restore/"},
        {0, "/", "/"}, {0, "/a/./b/../c", "/a/c/"},
        {2, "/restore", nullptr}, {3, "/restore", nullptr}, {4, "/restore", nullptr},
        {0, "restore", nullptr}, {1, "", nullptr}, {5, "/restore", nullptr},
        {6, "/restore", nullptr}, {7, "/restore", nullptr}, {-1, "/restore", nullptr},
    };
    // clang-format on
    for (const auto& [index, folder, newPath] : cases) {
        SCOPED_TRACE(std::to_string(index) + " to " + folder);
        TaskRecord task = before;
        EXPECT_EQ(RedirectItem(task, index, folder), newPath != nullptr);
        if (newPath != nullptr) {
            EXPECT_EQ(task.items[index].path, newPath);
            task.items[index].path = before.items[index].path;  // only that path changes
        }
        EXPECT_EQ(task, before);
    }
}

TEST(RedirectAllItemsTest, MovesEveryFolderAndFileItemOrNone) {
    TaskRecord task = EveryKindTask();
    task.items.push_back(MakePathItem("/srv/data/", kItemFolder, "data"));
    const TaskRecord before = task;
    ASSERT_TRUE(RedirectAllItems(task, "/restore"));
    TaskRecord expected = before;
    expected.items[0].path = expected.items[5].path = "/restore/";
    expected.items[1].path = "/restore/notes.txt";
    EXPECT_EQ(task, expected);
    // A refusal changes nothing, not even the items before the one that failed.
    task = before;
    task.items.push_back(MakePathItem("/home/u/", kItemFile, "u"));
    const TaskRecord withBadFile = task;
    for (const char* folder : {"/restore", "relative"}) {
        EXPECT_FALSE(RedirectAllItems(task, folder));
        EXPECT_EQ(task, withBadFile);
    }
}

TEST(StepTwoLinesTest, OneLinePerKnownItemWithItsColumns) {
    TaskRecord task;
    ASSERT_TRUE(ReadRestoreTask(task, FixturePath("tsk/Docs.TSK")));
    // An item of a kind the program does not know (only a record built in memory can
    // hold one) gets no line; the lines after it keep their item index.
    SourceItem unknown;
    unknown.kind = 2;
    unknown.path = "/x";
    task.items.insert(task.items.begin() + 1, unknown);
    QStringList lines;
    for (const StepTwoLine& line : StepTwoLines(task)) {
        lines << QString("%1 %2 | %3").arg(line.itemIndex).arg(line.pathInArchive, line.sourcePath);
    }
    EXPECT_EQ(lines,
              QStringList({"0 Documents | /home/u/Documents/", "2 notes.txt | /home/u/notes.txt",
                           "3 *.vcf files | All contacts", "4 Ann B. Smith.vcf | Ann B. Smith",
                           "5 Settings.reg | HKEY_CURRENT_USER\\Software\\Corvane"}));
    // After a redirection the line shows the new place.
    ASSERT_TRUE(RedirectItem(task, 2, "/restore"));
    EXPECT_EQ(StepTwoLines(task)[1].sourcePath, "/restore/notes.txt");
}

}  // namespace
}  // namespace corvane
