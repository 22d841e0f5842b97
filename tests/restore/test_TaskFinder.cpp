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

TEST(FindStoredTasksTest, ListsNamedTaskFilesOfTheFolderOnly) {
    TempDir dir;
    const QString docs = WriteTaskFile(dir, "Docs.tsk", "Docs");
    WriteTaskFile(dir, "Nameless.tsk", "");             // no task name: left out
    dir.Write("Broken.tsk", "<programSettings><Task");  // not loadable: left out
    WriteTaskFile(dir, "Docs.tsk.bak", "Backup copy");  // another extension
    WriteTaskFile(dir, "sub/Deeper.tsk", "Deeper");     // sub-folders are not searched
    QDir().mkpath(dir.File("Folder.tsk"));

    const std::vector<FoundTask> found = FindStoredTasks(dir.Path());
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].path, docs);
    EXPECT_EQ(found[0].folder, dir.Path());
    EXPECT_EQ(found[0].name, "Docs");
    EXPECT_EQ(found[0].listLine, "Task \"Docs\" in " + dir.Path());
}

TEST(FindStoredTasksTest, MatchesTheExtensionWithoutCaseAndOrdersByFileName) {
    TempDir dir;
    WriteTaskFile(dir, "b.TSK", "Second");
    WriteTaskFile(dir, "C.Tsk", "Third");
    WriteTaskFile(dir, "a.tsk", "First");
    WriteTaskFile(dir, ".hidden.tsk", "Hidden");

    QStringList names;
    for (const FoundTask& task : FindStoredTasks(dir.Path())) {
        names << task.name;
    }
    EXPECT_EQ(names, QStringList({"Hidden", "First", "Second", "Third"}));
}

TEST(FindStoredTasksTest, MissingFolderAndSpecialFilesGiveNothing) {
    TempDir dir;
    EXPECT_TRUE(FindStoredTasks(dir.File("missing")).empty());
    // A FIFO would block the reader forever: only regular files are opened.
    ASSERT_EQ(::mkfifo(QFile::encodeName(dir.File("pipe.tsk")).constData(), 0600), 0);
    EXPECT_TRUE(FindStoredTasks(dir.Path()).empty());
}

TEST(FindStoredTasksTest, ReadsTheFixtureOfABackup) {
    const std::vector<FoundTask> found = FindStoredTasks(FixturePath("tsk"));
    // The hostile file has a name too: listing it is harmless, building from it is not.
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[0].listLine, "Task \"Docs\" in " + FixturePath("tsk"));
    EXPECT_EQ(found[1].name, "../../etc/evil");
}

// --- safety of the places a restore writes to --------------------------------------

struct PathCase {
    const char* path;
    bool safe;
};
void PrintTo(const PathCase& c, std::ostream* os) {
    *os << '"' << c.path << '"';
}

class SafeRestorePathTest : public ::testing::TestWithParam<PathCase> {};

TEST_P(SafeRestorePathTest, AbsoluteWithoutParentComponents) {
    EXPECT_EQ(IsSafeRestorePath(GetParam().path), GetParam().safe) << GetParam().path;
}

INSTANTIATE_TEST_SUITE_P(
    Paths, SafeRestorePathTest,
    ::testing::Values(PathCase{"/home/u/Documents/", true}, PathCase{"/home/u/notes.txt", true},
                      PathCase{"/", true}, PathCase{"/a/..b/c..", true}, PathCase{"/a/.../b", true},
                      PathCase{"", false}, PathCase{"home/u/Documents/", false},
                      PathCase{"./notes.txt", false}, PathCase{"..", false},
                      PathCase{"/home/../etc/", false}, PathCase{"/home/u/..", false},
                      PathCase{"C:\\Docs", false}));

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

TEST(ReadRestoreTaskTest, BuildsARestoreTaskFromAGoodFile) {
    LogCapture log;
    TaskRecord task;
    ASSERT_TRUE(ReadRestoreTask(task, FixturePath("tsk/Docs.TSK")));
    EXPECT_EQ(task.taskType, kTaskRestore);
    EXPECT_EQ(task.name, "Docs");
    EXPECT_EQ(task.items.size(), 5u);
    EXPECT_TRUE(log.Texts().isEmpty());
}

TEST(ReadRestoreTaskTest, RefusesHostileAndUnreadableFiles) {
    LogCapture log;
    TaskRecord task;
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

struct RedirectCase {
    int itemIndex;
    const char* folder;
    const char* newPath;  // null: refused, the task unchanged
};
void PrintTo(const RedirectCase& c, std::ostream* os) {
    *os << "item " << c.itemIndex << " to \"" << c.folder << '"';
}

class RedirectItemTest : public ::testing::TestWithParam<RedirectCase> {};

TEST_P(RedirectItemTest, MovesFoldersAndFilesOnly) {
    const RedirectCase& c = GetParam();
    const TaskRecord before = EveryKindTask();
    TaskRecord task = before;
    if (c.newPath == nullptr) {
        EXPECT_FALSE(RedirectItem(task, c.itemIndex, c.folder));
        EXPECT_EQ(task, before);
        return;
    }
    ASSERT_TRUE(RedirectItem(task, c.itemIndex, c.folder));
    EXPECT_EQ(task.items[c.itemIndex].path, c.newPath);
    // Only that item's path changes.
    task.items[c.itemIndex].path = before.items[c.itemIndex].path;
    EXPECT_EQ(task, before);
}

INSTANTIATE_TEST_SUITE_P(
    Items, RedirectItemTest,
    ::testing::Values(
        // A file keeps its name; a folder item becomes the folder itself.
        RedirectCase{1, "/restore", "/restore/notes.txt"},
        RedirectCase{1, "/restore/", "/restore/notes.txt"}, RedirectCase{1, "/", "/notes.txt"},
        RedirectCase{0, "/restore", "/restore/"}, RedirectCase{0, "/restore//", "/restore/"},
        RedirectCase{0, "/", "/"}, RedirectCase{0, "/a/./b/../c", "/a/c/"},
        // Contacts and registry keys go back where they came from.
        RedirectCase{2, "/restore", nullptr}, RedirectCase{3, "/restore", nullptr},
        RedirectCase{4, "/restore", nullptr},
        // Not a folder the user can see: relative or empty; no such item.
        RedirectCase{0, "restore", nullptr}, RedirectCase{1, "", nullptr},
        RedirectCase{5, "/restore", nullptr}, RedirectCase{-1, "/restore", nullptr}));

TEST(RedirectItemTest, FileWithoutNameIsRefused) {
    TaskRecord task;
    task.items.push_back(MakePathItem("/home/u/", kItemFile, "u"));
    task.items.push_back(MakePathItem("/home/u/..", kItemFile, "u"));
    EXPECT_FALSE(RedirectItem(task, 0, "/restore"));
    EXPECT_FALSE(RedirectItem(task, 1, "/restore"));
    EXPECT_EQ(task.items[0].path, "/home/u/");
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

    struct Expected {
        int itemIndex;
        const char* pathInArchive;
        const char* sourcePath;
        int icon;
    };
    const Expected expected[] = {
        {0, "Documents", "/home/u/Documents/", kStepIconFolder},
        {2, "notes.txt", "/home/u/notes.txt", kStepIconFile},
        {3, "*.vcf files", "All Outlook contacts", kStepIconAllContacts},
        {4, "Ann B. Smith.vcf", "Ann B. Smith", kStepIconContact},
        {5, "Settings.reg", "HKEY_CURRENT_USER\\Software\\Corvane", kStepIconRegistryKey},
    };
    const std::vector<StepTwoLine> lines = StepTwoLines(task);
    ASSERT_EQ(lines.size(), std::size(expected));
    for (size_t i = 0; i < lines.size(); ++i) {
        EXPECT_EQ(lines[i].itemIndex, expected[i].itemIndex) << i;
        EXPECT_EQ(lines[i].pathInArchive, expected[i].pathInArchive) << i;
        EXPECT_EQ(lines[i].sourcePath, expected[i].sourcePath) << i;
        EXPECT_EQ(lines[i].icon, expected[i].icon) << i;
    }

    // After a redirection the line shows the new place.
    ASSERT_TRUE(RedirectItem(task, lines[1].itemIndex, "/restore"));
    EXPECT_EQ(StepTwoLines(task)[1].sourcePath, "/restore/notes.txt");
}

}  // namespace
}  // namespace corvane
