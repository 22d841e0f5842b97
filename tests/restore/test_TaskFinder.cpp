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

using test::FixturePath;
using test::LogCapture;
using test::TempDir;

// A parameter file as a backup leaves it, named `name`, for a task called `taskName`.
QString WriteTaskFile(const TempDir& dir, const QString& fileName, const QString& taskName) {
    TaskRecord task;
    task.name = taskName;
    task.destination.path = QStringLiteral("/backup/");
    task.items.push_back(MakePathItem("/home/u/Documents/", kItemFolder, "Documents"));
    const QString path = dir.File(fileName);
    QDir().mkpath(QFileInfo(path).path());
    EXPECT_TRUE(SaveTaskParameterFile(task, path));
    return path;
}

TEST(FindStoredTasksTest, ListsNamedTaskFilesOfTheFolderOnlyByFileName) {
    TempDir dir;
    const QString docs = WriteTaskFile(dir, "Docs.tsk", "Docs");
    WriteTaskFile(dir, "b.TSK", "Second");  // the extension in any case
    WriteTaskFile(dir, "C.Tsk", "Third");
    WriteTaskFile(dir, "a.tsk", "First");
    WriteTaskFile(dir, ".hidden.tsk", "Hidden");
    WriteTaskFile(dir, "Nameless.tsk", "");             // no task name: left out
    dir.Write("Broken.tsk", "<programSettings><Task");  // not loadable: left out
    WriteTaskFile(dir, "Docs.tsk.bak", "Backup copy");  // another extension
    WriteTaskFile(dir, "sub/Deeper.tsk", "Deeper");     // sub-folders are not searched
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
    EXPECT_EQ(found[4].path, docs);
    EXPECT_EQ(found[4].folder, dir.Path());
    EXPECT_EQ(found[4].listLine, "Task \"Docs\" in " + dir.Path());
    EXPECT_TRUE(FindStoredTasks(dir.File("missing")).empty());
    // The hostile fixture has a name too: listing it is harmless, building from it is not.
    const std::vector<FoundTask> fixtures = FindStoredTasks(FixturePath("tsk"));
    ASSERT_EQ(fixtures.size(), 2u);
    EXPECT_EQ(fixtures[0].listLine, "Task \"Docs\" in " + FixturePath("tsk"));
    EXPECT_EQ(fixtures[1].name, "../../etc/evil");
}

// --- safety of the places a restore writes to --------------------------------------

TEST(SafeRestorePathTest, AbsoluteWithoutParentComponents) {
    const std::pair<const char*, bool> cases[] = {
        {"/home/u/Documents/", true}, {"/home/u/notes.txt", true}, {"/", true},
        {"/a/..b/c..", true},         {"/a/.../b", true},          {"", false},
        {"home/u/Documents/", false}, {"./notes.txt", false},      {"..", false},
        {"/home/../etc/", false},     {"/home/u/..", false},       {"C:\\Docs", false},
    };
    for (const auto& [path, safe] : cases) {
        EXPECT_EQ(IsSafeRestorePath(path), safe) << path;
    }
}

TEST(UnsafeItemPathTest, FindsTheFirstPlaceARestoreMustNotTrust) {
    TaskRecord task;
    task.items.push_back(MakeAllContactsItem());
    task.items.push_back(MakeContactItem("Ann", "", "../Smith"));  // a name, not a path
    task.items.push_back(MakeRegistryItem("HKEY_CURRENT_USER\\Software", "Settings"));
    task.items.push_back(MakePathItem("/home/u/a.txt", kItemFile, "a.txt"));
    EXPECT_TRUE(UnsafeItemPath(task).isNull());

    const struct {
        SourceItem item;
        const char* unsafe;
    } cases[] = {
        {MakePathItem("home/u/Documents/", kItemFolder, "Documents"), "home/u/Documents/"},
        {MakePathItem("/home/../etc/", kItemFolder, "etc"), "/home/../etc/"},
        {MakePathItem("", kItemFile, "a.txt"), ""},
        {MakePathItem("/home/u/a.txt", kItemFile, "../a.txt"), "../a.txt"},
        {MakePathItem("/home/u/", kItemFolder, "/abs"), "/abs"},
        {MakeRegistryItem("HKEY_CURRENT_USER\\Software", "x/../../y"), "x/../../y"},
    };
    for (const auto& c : cases) {
        TaskRecord bad = task;
        bad.items.push_back(c.item);
        bad.items.push_back(MakePathItem("relative-but-later", kItemFolder, "later"));
        const QString unsafe = UnsafeItemPath(bad);
        EXPECT_FALSE(unsafe.isNull()) << c.unsafe;
        EXPECT_EQ(unsafe, c.unsafe);
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

    TempDir dir;
    TaskRecord climbing;
    climbing.name = "Climb";
    climbing.items.push_back(MakePathItem("/home/u/../../etc/", kItemFolder, "etc"));
    ASSERT_TRUE(SaveTaskParameterFile(climbing, dir.File("Climb.tsk")));
    EXPECT_FALSE(ReadRestoreTask(task, dir.File("Climb.tsk")));
    EXPECT_EQ(log.CountEndingWith("unsafe path '/home/u/../../etc/' in task file " +
                                  dir.File("Climb.tsk")),
              1);

    // Unreadable files are refused without a word, as the wizard closes its step.
    EXPECT_FALSE(ReadRestoreTask(task, dir.File("missing.tsk")));
    EXPECT_EQ(log.Texts().size(), 2);
}

// --- redirecting items ---------------------------------------------------------------

TaskRecord EveryKindTask() {
    TaskRecord task;
    task.items.push_back(MakePathItem("/home/u/Documents/", kItemFolder, "Documents"));
    task.items.push_back(MakePathItem("/home/u/notes.txt", kItemFile, "notes.txt"));
    task.items.push_back(MakeAllContactsItem());
    task.items.push_back(MakeContactItem("Ann", "B.", "Smith"));
    task.items.push_back(MakeRegistryItem("HKEY_CURRENT_USER\\Software\\Corvane", "Settings"));
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

TEST(RedirectAllItemsTest, MovesEveryFolderAndFileItem) {
    TaskRecord task = EveryKindTask();
    task.items.push_back(MakePathItem("/srv/data/", kItemFolder, "data"));
    const TaskRecord before = task;
    ASSERT_TRUE(RedirectAllItems(task, "/restore"));
    QStringList paths;
    for (const SourceItem& item : task.items) {
        paths << DescribeItem(item);
    }
    EXPECT_EQ(paths,
              QStringList({"/restore/", "/restore/notes.txt", "All Outlook contacts",
                           "Ann B. Smith", "HKEY_CURRENT_USER\\Software\\Corvane", "/restore/"}));

    // A refusal changes nothing, not even the items before the one that failed.
    task = before;
    task.items.push_back(MakePathItem("/home/u/", kItemFile, "u"));
    const TaskRecord withBadFile = task;
    EXPECT_FALSE(RedirectAllItems(task, "/restore"));
    EXPECT_EQ(task, withBadFile);
    EXPECT_FALSE(RedirectAllItems(task, "relative"));
    EXPECT_EQ(task, withBadFile);
}

// --- the item list of the second step ------------------------------------------------

TEST(StepTwoLinesTest, OneLinePerKnownItemWithColumnsAndIcon) {
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
        lines << QString("%1 %2 | %3 | %4")
                     .arg(line.itemIndex)
                     .arg(line.icon)
                     .arg(line.pathInArchive, line.sourcePath);
    }
    EXPECT_EQ(
        lines,
        QStringList(
            {"0 " + QString::number(kStepIconFolder) + " | Documents | /home/u/Documents/",
             "2 " + QString::number(kStepIconFile) + " | notes.txt | /home/u/notes.txt",
             "3 " + QString::number(kStepIconAllContacts) + " | *.vcf files | All Outlook contacts",
             "4 " + QString::number(kStepIconContact) + " | Ann B. Smith.vcf | Ann B. Smith",
             "5 " + QString::number(kStepIconRegistryKey) +
                 " | Settings.reg | HKEY_CURRENT_USER\\Software\\Corvane"}));
    // After a redirection the line shows the new place.
    ASSERT_TRUE(RedirectItem(task, 2, "/restore"));
    EXPECT_EQ(StepTwoLines(task)[1].sourcePath, "/restore/notes.txt");
}

}  // namespace
}  // namespace corvane
