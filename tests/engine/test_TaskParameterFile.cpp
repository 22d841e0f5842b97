#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>

#include "engine/TaskParameterFile.h"
#include "model/PropertyStore.h"
#include "platform/Volumes.h"
#include "support/LogCapture.h"
#include "support/TempDir.h"

namespace corvane {
namespace {

using test::FixturePath;
using test::LogCapture;
using test::ReadAll;
using test::TempDir;

const QString kSection = QStringLiteral("TaskParameters");
const char kSaveError[] = "  Error: cannot save task info file";

CalendarTime At(int year, int month, int day, int hour, int minute) {
    // Through QDateTime so the day of the week is right, as a file time gives it back.
    return CalendarTimeFromDateTime(QDateTime(QDate(year, month, day), QTime(hour, minute)));
}

// A task with every field set, secrets included, so a test can see which reach the file.
TaskRecord FullTask(const QString& destPath, qint32 method) {
    TaskRecord task;
    task.name = "Docs";
    task.oid = 17;
    task.backupMode = method;
    task.archiveName = "Docs_#YY#MM.zip";
    task.compressionLevel = 4;
    task.archivePassword = "secret-archive-password";
    task.destination.path = destPath;
    task.destination.userName = "secret-user";
    task.destination.password = "secret-share-password";
    task.destination.ftpPort = 2121;
    task.includeFilter = "*.secret-include";
    task.excludeFilter = "*.secret-exclude";
    task.mailAddress = "secret@mail.example";
    task.mailAccount = "secret-mail-account";
    task.desktopShortcut = "/home/u/Desktop/secret-shortcut.desktop";
    task.scheduleMode = kScheduleDaily;
    task.scheduleStart = At(2005, 1, 1, 22, 0);
    task.schedulerAccount = "secret-scheduler-account";
    task.schedulerPassword = "secret-scheduler-password";
    task.items = {MakePathItem("/home/u/Documents/", kItemFolder, "Documents"),
                  MakePathItem("/home/u/notes.txt", kItemFile, "notes.txt"), MakeAllContactsItem(),
                  MakeContactItem("Ann", "B.", "Smith"),
                  MakeRegistryItem("HKEY_CURRENT_USER\\Software\\Corvane", "Settings")};
    task.history = {{"/backup/2005_02/", "Docs_200502.zip", At(2005, 2, 28, 23, 59)},
                    {"/backup/2005_03/", "Docs_200503.zip", At(2005, 3, 7, 9, 5)}};
    return task;
}

// The exact bytes of doc/formats/task-parameter-file.md's example, in the folder the
// pattern names, over an earlier file; no secret and no setting of this computer.
TEST(WriteTaskParameterFile, WritesTheStoredExampleIntoTheResolvedFolder) {
    TempDir dir;
    dir.Write("Backup/2005_03/Docs.TSK", "an earlier file");
    TaskRecord task = FullTask(dir.File("Backup/#YY_#MM/"), kMethodZip);
    LogCapture log;
    ASSERT_TRUE(WriteTaskParameterFile(task, At(2005, 3, 7, 9, 5)));
    EXPECT_TRUE(log.Texts().isEmpty());
    EXPECT_EQ(QDir(dir.File("Backup/2005_03")).entryList(QDir::Files | QDir::Hidden),
              QStringList{"Docs.TSK"});
    const QByteArray written = ReadAll(dir.File("Backup/2005_03/Docs.TSK"));
    const QByteArray expected = ReadAll(FixturePath("tsk/Docs.TSK"));
    ASSERT_FALSE(expected.isEmpty());
    EXPECT_EQ(QString::fromUtf8(written).replace(dir.File("Backup/"), "/backup/").trimmed(),
              QString::fromUtf8(expected).trimmed());
    // The history's archive names are there for ZIP only; the task's own always is.
    for (const qint32 method : {kMethodCopy, kMethodThird}) {
        const PropertyStore store = TaskParameterStore(FullTask("/backup/", method));
        EXPECT_FALSE(store.HasText(kSection, "PrevBackup1ArchName")) << method;
        EXPECT_TRUE(store.HasText(kSection, "archiveName")) << method;
    }
    // A missing folder is made; a "/" in the task name stays in the folder.
    task.name = "../Docs/x";
    ASSERT_TRUE(WriteTaskParameterFile(task, At(2005, 4, 7, 9, 5)));
    EXPECT_EQ(QDir(dir.File("Backup/2005_04")).entryList(QDir::Files | QDir::Hidden),
              QStringList{".._Docs_x.TSK"});
    EXPECT_EQ(ReadTaskNameFromFile(dir.File("Backup/2005_04/.._Docs_x.TSK")), "../Docs/x");
}

TEST(WriteTaskParameterFile, WithoutBurningADiscFolderIsItsOwnTarget) {
    TempDir dir;
    SetMountTableFile(
        dir.Write("mounts", QString("/dev/sr0 %1 iso9660 ro 0 0\n").arg(dir.File("cd")).toUtf8()));
    TaskRecord task = FullTask(dir.File("cd/Backup/#YY_#MM/"), kMethodZip);
    task.destination.useXPBurn = false;
    EXPECT_EQ(TaskParameterFilePath(task, At(2005, 3, 7, 9, 5)),
              dir.File("cd/Backup/2005_03/Docs.TSK"));
    SetMountTableFile(QString());
}

TEST(WriteTaskParameterFile, FailuresAreLoggedAndAnswerFalse) {
    TempDir dir;
    const QString cwdBefore = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(dir.Path()));
    dir.Write("file", "a file where the destination folder would be");
    TaskRecord ftp = FullTask(dir.Path(), kMethodCopy);
    ftp.destination.type = kDestFtp;
    for (const TaskRecord& task :
         {FullTask(dir.File("file/#YY/"), kMethodCopy), FullTask(QString(), kMethodCopy), ftp}) {
        LogCapture log;
        EXPECT_FALSE(WriteTaskParameterFile(task, At(2005, 3, 7, 9, 5)));
        EXPECT_EQ(log.Texts().size(), 1);
        EXPECT_EQ(log.CountEndingWith(kSaveError), 1);
    }
    // Nothing landed in the current folder or anywhere else below it.
    EXPECT_EQ(QDir(dir.Path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
              QStringList{"file"});
    QDir::setCurrent(cwdBefore);
}

TEST(ReadTaskParameterFile, RebuildsTheTaskAsARestoreTask) {
    TempDir dir;
    const TaskRecord written = FullTask(dir.Path(), kMethodZip);
    ASSERT_TRUE(WriteTaskParameterFile(written, At(2005, 3, 7, 9, 5)));
    TaskRecord restore;
    restore.items = {MakePathItem("/stale/", kItemFolder, "stale")};
    restore.history = {{"/stale/", "", At(2000, 1, 1, 0, 0)}};
    ASSERT_TRUE(ReadTaskParameterFile(restore, dir.File("Docs.TSK")));
    EXPECT_EQ(restore.taskType, kTaskRestore);
    EXPECT_EQ(restore.name, "Docs");
    EXPECT_EQ(restore.backupMode, kMethodZip);
    EXPECT_EQ(restore.archiveName, written.archiveName);
    EXPECT_EQ(restore.destination.type, kDestFolder);
    EXPECT_EQ(restore.destination.path, written.destination.path);
    EXPECT_EQ(restore.items, written.items);
    EXPECT_EQ(restore.history, written.history);
    EXPECT_TRUE(restore.destination.password.isEmpty() && restore.archivePassword.isEmpty());
}

// A parameter file of one folder item with one key changed (nullptr: left out).
QByteArray ParameterFile(const char* changedKey, const char* value) {
    PropertyStore store;
    for (const QString& pair :
         QString("taskName=Docs;itemsCount=1;backupMode=1;archiveName=Docs.zip;backupDestType=1;"
                 "backupDestPath=/backup/#YY/;SrcDataType1=1;SrcFolder1=/home/u/Documents/;"
                 "DstFolderName1=Documents")
             .split(';')) {
        if (pair.section('=', 0, 0) != changedKey) {
            store.SetText(kSection, pair.section('=', 0, 0), pair.section('=', 1));
        }
    }
    if (value != nullptr) {
        store.SetText(kSection, changedKey, value);
    }
    return store.ToXml("programSettings");
}

struct ReadCase {
    const char* key;
    const char* value;
    bool accepted;
    qint32 method;
    const char* archiveName;
    qint32 destType;
};

class ReadTaskParameterCases : public ::testing::TestWithParam<ReadCase> {};

TEST_P(ReadTaskParameterCases, FollowsTheRulesOfTheFile) {
    const ReadCase& c = GetParam();
    TempDir dir;
    const QString path = dir.Write("t.tsk", ParameterFile(c.key, c.value));
    TaskRecord restore;
    restore.items = {MakeAllContactsItem()};
    ASSERT_EQ(ReadTaskParameterFile(restore, path), c.accepted) << c.key;
    // The restore task is emptied and marked as such whatever the file holds.
    EXPECT_EQ(restore.taskType, kTaskRestore);
    EXPECT_EQ(restore.items.size(), c.accepted ? 1u : 0u);
    if (c.accepted) {
        EXPECT_EQ(restore.backupMode, c.method);
        EXPECT_EQ(restore.archiveName, c.archiveName);
        EXPECT_EQ(restore.destination.type, c.destType);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Files, ReadTaskParameterCases,
    ::testing::Values(ReadCase{"backupMode", "1", true, kMethodCopy, "", kDestFolder},
                      ReadCase{"backupMode", "2", true, kMethodZip, "Docs.zip", kDestFolder},
                      ReadCase{"backupMode", "3", true, kMethodThird, "Docs.zip", kDestFolder},
                      ReadCase{"backupDestType", "2", true, kMethodCopy, "", kDestFtp},
                      ReadCase{"backupDestType", "5", true, kMethodCopy, "", kDestFolder},
                      ReadCase{"backupDestType", nullptr, true, kMethodCopy, "", kDestFolder},
                      ReadCase{"archiveName", "", true, kMethodCopy, "", kDestFolder},
                      ReadCase{"taskName", nullptr, false, 0, "", 0},
                      ReadCase{"itemsCount", nullptr, false, 0, "", 0},
                      ReadCase{"backupMode", nullptr, false, 0, "", 0},
                      ReadCase{"archiveName", nullptr, false, 0, "", 0},  // even for a copy
                      ReadCase{"backupMode", "0", false, 0, "", 0},
                      ReadCase{"backupMode", "4", false, 0, "", 0},
                      ReadCase{"backupMode", "zip", false, 0, "", 0}));

TEST(ReadTaskParameterFile, RefusesWhatIsNoParameterFileButShowsAName) {
    TempDir dir;
    const QString garbage = dir.Write("garbage.tsk", "\x01\x02 not xml at all");
    const QString otherSection =
        dir.Write("other.tsk",
                  "<programSettings><Main taskName=\"Docs\" itemsCount=\"0\" "
                  "backupMode=\"1\" archiveName=\"\"/></programSettings>");
    for (const QString& path : {dir.File("missing.tsk"), garbage, otherSection}) {
        TaskRecord restore;
        restore.name = "unchanged";
        EXPECT_FALSE(ReadTaskParameterFile(restore, path)) << path.toStdString();
        EXPECT_EQ(restore.name, "unchanged");
        EXPECT_EQ(ReadTaskNameFromFile(path), QString());
    }
    // The name alone counts: a file the restore refuses still shows its name.
    EXPECT_EQ(ReadTaskNameFromFile(dir.Write("c.tsk", ParameterFile("backupMode", "9"))), "Docs");
}

TEST(ReadTaskParameterFile, HostileFileIsTakenAsItStandsAndWritesNothing) {
    // Paths from the backup medium go through as they are (the restore checks them
    // before writing); huge counts cost only the keys present; nothing is written.
    TempDir dir;
    const QString source = FixturePath("tsk/hostile.tsk");
    const QString path = dir.File("hostile.tsk");
    ASSERT_TRUE(QFile::copy(source, path));
    const QStringList before = QDir(dir.Path()).entryList(QDir::AllEntries | QDir::Hidden);

    TaskRecord restore;
    QElapsedTimer timer;
    timer.start();
    ASSERT_TRUE(ReadTaskParameterFile(restore, path));
    EXPECT_LT(timer.elapsed(), 5000);
    EXPECT_EQ(QDir(dir.Path()).entryList(QDir::AllEntries | QDir::Hidden), before);

    EXPECT_EQ(restore.name, "../../etc/evil");
    ASSERT_EQ(restore.items.size(), 3u);
    EXPECT_EQ(restore.items[0].path + " " + restore.items[0].nameInArchive,
              "../../../etc/passwd ../../outside");
    EXPECT_EQ(restore.items[1].path + " " + restore.items[1].nameInArchive, "/etc/shadow /abs");
    EXPECT_EQ(restore.items[2].kind, kItemFile);
    ASSERT_EQ(restore.history.size(), 1u);
    EXPECT_EQ(restore.history[0].folder, "/../../x/");
}

}  // namespace
}  // namespace corvane
