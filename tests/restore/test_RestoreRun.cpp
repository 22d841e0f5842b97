#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <filesystem>

#include "engine/BackupRun.h"
#include "model/FileName.h"
#include "restore/RestoreList.h"
#include "restore/RestoreStatus.h"
#include "restore/RestoreTesting.h"
#include "support/HomeTree.h"
#include "support/LogCapture.h"
#include "support/Tools.h"

namespace corvane {
namespace {

using namespace test;

qint64 Mtime(const QString& path) {
    return QFileInfo(path).lastModified().toSecsSinceEpoch();
}

class RestoreRunTest : public ::testing::TestWithParam<qint32> {
  protected:
    void SetUp() override {
        qputenv("CORVANE_HOME", QFile::encodeName(m_dir.File("data")));
        // An odd second: ZIP keeps even seconds only, and the compare must still match.
        WriteDocsTree(m_dir, 1700000001, 5000);
        m_task = m_tasks.NewTask("Docs", kTaskBackup);
        m_task->backupMode = GetParam();
        m_task->destination.path = m_dir.File("backup/#YY");
        m_task->archiveName = "docs.zip";
        m_task->archivePassword = GetParam() == kMethodZip ? "secret" : "";
        m_task->items = DocsItems(m_dir);
        ASSERT_TRUE(RunBackup(m_tasks, 0, StopSignal()));
        ASSERT_EQ(m_task->history.size(), 1u);
    }

    bool Restore() { return RunRestore(m_tasks, 0, m_questions, StopSignal(&m_questions.stop)); }

    TempDir m_dir;
    TaskList m_tasks;
    TaskRecord* m_task = nullptr;
    ScriptedQuestions m_questions;
    LogCapture m_log;
};

// Back up, damage the live tree, compare, restore: every byte and time comes back.
TEST_P(RestoreRunTest, DamagedTreeIsBroughtBackAndHostileItemPathsAreRefused) {
    ASSERT_TRUE(QFile::remove(m_dir.File("live/Docs/sub/b.txt")));
    m_dir.Write("live/Docs/a.txt", "ALPHA!");   // changed, newer
    m_dir.Write("live/Docs/added.txt", "new");  // not in the backup: left alone
    ASSERT_TRUE(QFile::remove(m_dir.File("live/single.cfg")));

    // A cancelled list restores nothing and stops the run.
    m_questions.accept = false;
    EXPECT_FALSE(Restore());
    EXPECT_TRUE(m_questions.stop.load());
    EXPECT_EQ(ReadAll(m_dir.File("live/Docs/a.txt")), "ALPHA!");

    // A dated task with one history entry is restored from it without asking.
    m_questions.accept = true;
    m_questions.stop = false;
    ASSERT_TRUE(Restore());
    EXPECT_EQ(m_questions.copyQuestions, 0);

    // Copies keep the second; ZIP entries hold even seconds. (Every byte and time of a
    // whole tree: the home folder's round trip below.)
    const qint64 expected = GetParam() == kMethodZip ? 1700000000 : 1700000001;
    for (const auto& [name, content] : {std::pair("Docs/a.txt", "alpha"),
                                        {"Docs/sub/b.txt", "beta"},
                                        {"single.cfg", "setting=1"}}) {
        EXPECT_EQ(ReadAll(m_dir.File(QString("live/") + name)), content) << name;
        EXPECT_EQ(Mtime(m_dir.File(QString("live/") + name)), expected) << name;
    }
    EXPECT_EQ(ReadAll(m_dir.File("live/Docs/added.txt")), "new");
    EXPECT_TRUE(QFileInfo(m_dir.File("live/Docs/nothing")).isDir());

    // An item whose path climbs out of its folder is refused.
    m_task->items.front().path = m_dir.File("live/../outside/");
    m_dir.Write("live/Docs/a.txt", "changed");
    EXPECT_FALSE(Restore());
    EXPECT_FALSE(QFileInfo::exists(m_dir.File("outside")));
    EXPECT_GE(m_log.CountEndingWith("skipped"), 1);
}

TEST_P(RestoreRunTest, SeveralBackupsAskWhichOne) {
    m_task->destination.path = m_dir.File("backup/#MIN#HH#DD#MM#YY");
    // A second, different backup recorded by hand in another place.
    ASSERT_TRUE(QDir().rename(m_dir.File("backup"), m_dir.File("first")));
    m_task->history.front().folder.replace(m_dir.File("backup"), m_dir.File("first"));
    m_dir.Write("live/Docs/a.txt", "second version");
    ASSERT_TRUE(RunBackup(m_tasks, 0, StopSignal()));
    ASSERT_EQ(m_task->history.size(), 2u);
    m_dir.Write("live/Docs/a.txt", "damaged");

    m_questions.copyAnswer = 0;  // the first backup
    ASSERT_TRUE(Restore());
    EXPECT_EQ(m_questions.copyQuestions, 1);
    EXPECT_EQ(ReadAll(m_dir.File("live/Docs/a.txt")), "alpha");

    m_questions.copyAnswer = -1;  // cancelled: nothing happens
    m_dir.Write("live/Docs/a.txt", "damaged");
    EXPECT_FALSE(Restore());
    EXPECT_EQ(ReadAll(m_dir.File("live/Docs/a.txt")), "damaged");
}

INSTANTIATE_TEST_SUITE_P(Methods, RestoreRunTest, ::testing::Values(kMethodCopy, kMethodZip),
                         [](const ::testing::TestParamInfo<qint32>& info) {
                             return info.param == kMethodZip ? "Zip" : "Copy";
                         });

// Regression: a copy restore made each link an empty folder, ZIP folders lost their
// modes, a stored link compared by its times.
class HomeRestore : public ::testing::TestWithParam<qint32> {};

TEST_P(HomeRestore, ComparesIdenticalAndComesBackEqual) {
    TempDir dir;
    qputenv("CORVANE_HOME", QFile::encodeName(dir.File("data")));
    const QString home = MakeHomeTree(dir, "home");
    ASSERT_FALSE(home.isEmpty());
    TaskList tasks;
    TaskRecord* task = tasks.NewTask("Home", kTaskBackup);
    task->backupMode = GetParam();
    task->destination.path = dir.File("dst");
    task->archiveName = "home.zip";
    task->archivePassword = "secret";  // a ZIP's link entries are encrypted too
    task->items.push_back(MakePathItem(home + "/", kItemFolder, "Home"));
    ASSERT_TRUE(RunBackup(tasks, 0, StopSignal()));
    std::vector<RestoreItem> list;
    ASSERT_TRUE(BuildRestoreList(list, task->items[0], task->destination, GetParam(), "home.zip"));
    EXPECT_EQ(list.size(), 9u);  // five files, four links
    for (const RestoreItem& item : list) {
        EXPECT_EQ(StatusOf(item), RestoreStatus::kIdentical) << item.archiveName.toStdString();
    }
    // Into an empty folder, first with a link unchecked, then whole.
    task->items[0].path = dir.File("restored/");
    ScriptedQuestions questions;
    questions.edit = [](std::vector<RestoreItem>& items) {
        for (RestoreItem& item : items) {
            item.checked = !item.archiveName.endsWith("/cfg");
        }
    };
    EXPECT_TRUE(RunRestore(tasks, 0, questions, StopSignal()));
    EXPECT_FALSE(QFileInfo(dir.File("restored/cfg")).isSymLink());
    questions.edit = nullptr;
    EXPECT_TRUE(RunRestore(tasks, 0, questions, StopSignal()));
    EXPECT_EQ(HomeDifferences(home, dir.File("restored")), "");
}

INSTANTIATE_TEST_SUITE_P(Methods, HomeRestore, ::testing::Values(kMethodCopy, kMethodZip));

// The crafted archives (tests/fixtures/make_fault_archives.py), made once.
const QString& FaultArchives() {
    static TempDir dir;
    static const ToolResult made =
        RunTool("/usr/bin/python3", {FixturePath("make_fault_archives.py"), dir.Path()});
    EXPECT_EQ(made.exitCode, 0) << made.output.toStdString();
    return dir.Path();
}

struct ArchiveFaultCase {
    const char* name;
    const char* archive;  // in the crafted folder: a ZIP archive, or the copies' folder
    qint32 kind;
    const char* nameInArchive;
    bool succeeds;
    QStringList tree;         // the target folder afterwards
    const char* logLine;      // part of a line the log must hold
    const char* link = "";    // "path->target": a link put in the target before the restore
    const char* absent = "";  // part of a line the log must not hold
    const char* live = "";    // the item's path below the target, when not its name
};

class ArchiveFaultTest : public ::testing::TestWithParam<ArchiveFaultCase> {};

TEST_P(ArchiveFaultTest, RestoresExactlyWhatTheBackupHolds) {
    const ArchiveFaultCase& c = GetParam();
    TempDir dir;
    qputenv("CORVANE_HOME", FileNameToBytes(dir.File("data")));
    const QString target = dir.File("t");
    QDir().mkpath(target);
    QDir().mkpath(dir.File("elsewhere"));
    if (*c.link != '\0') {
        const QStringList link = QString(c.link).split("->");
        QDir().mkpath(QFileInfo(target + '/' + link[0]).path());
        ASSERT_TRUE(QFile::link(link[1], target + '/' + link[0]));
    }
    TaskList tasks;
    TaskRecord* task = tasks.NewTask("Faults", kTaskRestore);
    const bool zip = QString(c.archive).endsWith(".zip");
    task->backupMode = zip ? kMethodZip : kMethodCopy;
    task->destination.path = zip ? FaultArchives() : FaultArchives() + '/' + c.archive;
    task->archiveName = c.archive;
    const QString live = *c.live != '\0' ? c.live : c.nameInArchive;
    task->items.push_back(MakePathItem(target + '/' + live, c.kind, c.nameInArchive));
    ScriptedQuestions questions;
    LogCapture log;

    EXPECT_EQ(RunRestore(tasks, 0, questions, StopSignal()), c.succeeds);
    EXPECT_EQ(TreeOf(target), c.tree);
    EXPECT_EQ(TreeOf(dir.File("elsewhere")), QStringList());
    EXPECT_FALSE(QFileInfo::exists(dir.File("outside")));
    const QString lines = log.Texts().join('\n');
    EXPECT_TRUE(lines.contains(c.logLine)) << lines.toStdString();
    if (*c.absent != '\0') {
        EXPECT_FALSE(lines.contains(c.absent)) << lines.toStdString();
    }
    // QTemporaryDir cannot remove a name that is not UTF-8.
    std::filesystem::remove_all(FileNameToBytes(target).toStdString());
}

// clang-format off
const ArchiveFaultCase kFaults[] = {
    // A file item is its own entry alone, not every name that begins with it.
    {"FileItemTookEntriesSharingItsPrefix", "notes.zip", kItemFile, "notes.txt", true,
        {"notes.txt=mine"}, "notes.txt unpacked"},
    {"FileItemWrittenUnderItsArchiveName", "notes.zip", kItemFile, "notes.txt", true,
        {"renamed.txt=mine"}, "/t/renamed.txt unpacked", "", "", "renamed.txt"},
    {"MissingEntryReportedAsCompleted", "notes.zip", kItemFile, "absent.txt", false, {},
        "  Error: the archive holds no absent.txt"},
    {"ShortEntryCountRestoredPartially", "count.zip", kItemFile, "a.txt", false, {},
        "the end record counts 1 entries, the central directory holds 2"},
    {"LocalHeaderMatchedByNameLengthOnly", "localname.zip", kItemFile, "a.txt", false, {},
        "the local header of b.txt names another entry"},
    {"OverlappingRecordsAccepted", "overlap.zip", kItemFile, "a.txt", false, {},
        "the records of a.txt and b.txt overlap"},
    {"DuplicateNameLastWinsSilently", "dup.zip", kItemFile, "dup.txt", true, {"dup.txt=first"},
        "  Warning: the archive holds dup.txt more than once, the first copy is restored"},
    {"SymlinkBecameARegularFile", "filelink.zip", kItemFile, "shortcut", true,
        {"shortcut->notes.txt"}, "shortcut unpacked"},
    {"SymlinkLeadingOutsideWasWritten", "filelink.zip", kItemFile, "escape", false, {},
        "  Error: the symbolic link "},
    {"SymlinksOfAFolderItem", "links.zip", kItemFolder, "Docs", false,
        {"Docs/", "Docs/a.txt=alpha", "Docs/link->a.txt", "Docs/sub/", "Docs/sub/up->../a.txt"},
        "/t/Docs/evil leads outside"},
    {"ZipWroteThroughALinkedFolder", "tree.zip", kItemFolder, "Docs", false,
        {"Docs/", "Docs/g.txt=g", "Docs/sub->../../elsewhere"},
        "/t/Docs/sub is a symbolic link, nothing is restored through it", "Docs/sub->../../elsewhere"},
    // The first failed copy ends the item (the walk lists sub/f.txt before g.txt).
    {"CopyWroteThroughALinkedFolder", "copy", kItemFolder, "Docs", false,
        {"Docs/", "Docs/sub->../../elsewhere"},
        "/t/Docs/sub is a symbolic link, nothing is restored through it", "Docs/sub->../../elsewhere"},
    {"CrcFailureBlamedOnEncryption", "crc.zip", kItemFile, "bad.txt", false, {},
        "  Error: cannot extract file ", "", "maybe archive is encrypted"},
    {"RawUnixNameDecodedAsCp437", "raw.zip", kItemFolder, "Docs", true,
        {"Docs/", "Docs/caf\\xE9.txt=latin"}, "1 items unpacked"},
    {"RawNameOfZipDecodedAsCp437", "zipraw.zip", kItemFolder, "Docs", true,
        {"Docs/", "Docs/caf\\xE9.txt=latin"}, "1 items unpacked"},
};
INSTANTIATE_TEST_SUITE_P(Faults, ArchiveFaultTest, ::testing::ValuesIn(kFaults),
    [](const ::testing::TestParamInfo<ArchiveFaultCase>& info) { return info.param.name; });
// clang-format on

}  // namespace
}  // namespace corvane
