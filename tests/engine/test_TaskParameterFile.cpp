#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSet>

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

// ---- Writing -----------------------------------------------------------------------

TEST(WriteTaskParameterFile, WritesIntoTheResolvedFolderWithThePatternKept) {
    TempDir dir;
    const QString dest = dir.File("Backup/#YY_#MM/");
    ASSERT_TRUE(QDir().mkpath(dir.File("Backup/2005_03")));
    const TaskRecord task = FullTask(dest, kMethodZip);

    LogCapture log;
    ASSERT_TRUE(WriteTaskParameterFile(task, At(2005, 3, 7, 9, 5)));
    EXPECT_TRUE(log.Texts().isEmpty());
    const QString path = dir.File("Backup/2005_03/Docs.TSK");
    ASSERT_TRUE(QFileInfo::exists(path));
    EXPECT_EQ(ReadTaskNameFromFile(path), "Docs");

    PropertyStore store;
    ASSERT_TRUE(store.LoadXml(path));
    EXPECT_EQ(store.ReadText(kSection, "backupDestPath"), dest);
    EXPECT_EQ(store.ReadText(kSection, "archiveName"), "Docs_#YY#MM.zip");
    EXPECT_TRUE(ReadAll(path).startsWith("<programSettings>"));
}

TEST(WriteTaskParameterFile, CreatesAMissingDestinationFolder) {
    TempDir dir;
    const TaskRecord task = FullTask(dir.File("Backup/#YY_#MM/"), kMethodCopy);
    ASSERT_TRUE(WriteTaskParameterFile(task, At(2005, 3, 7, 9, 5)));
    EXPECT_EQ(ReadTaskNameFromFile(dir.File("Backup/2005_03/Docs.TSK")), "Docs");
}

TEST(WriteTaskParameterFile, HoldsExactlyTheDocumentedKeys) {
    const PropertyStore store = TaskParameterStore(FullTask("/backup/#YY_#MM/", kMethodZip));
    ASSERT_EQ(store.AllSections().size(), 1u);
    const PropertyStore::Section* section = store.FindSection(kSection);
    ASSERT_NE(section, nullptr);
    QSet<QString> keys;
    for (const auto& [key, value] : *section) {
        keys.insert(key);
    }
    const QSet<QString> expected = {"taskName",
                                    "itemsCount",
                                    "archiveName",
                                    "backupMode",
                                    "backupDestType",
                                    "backupDestPath",
                                    "SrcDataType1",
                                    "SrcFolder1",
                                    "DstFolderName1",
                                    "SrcDataType2",
                                    "SrcFolder2",
                                    "DstFolderName2",
                                    "SrcDataType3",
                                    "SrcDataType4",
                                    "SrcFN4",
                                    "SrcMN4",
                                    "SrcLN4",
                                    "SrcDataType5",
                                    "SrcFolder5",
                                    "DstFolderName5",
                                    "PrevBackupsNmb",
                                    "PrevBackup1DestFld",
                                    "PrevBackup1ArchName",
                                    "PrevBackup1TimeLo",
                                    "PrevBackup1TimeHi",
                                    "PrevBackup2DestFld",
                                    "PrevBackup2ArchName",
                                    "PrevBackup2TimeLo",
                                    "PrevBackup2TimeHi"};
    EXPECT_EQ(keys, expected);
}

TEST(WriteTaskParameterFile, MatchesTheStoredExample) {
    // The exact bytes of doc/formats/task-parameter-file.md's example.
    TempDir dir;
    const QString path = dir.File("Docs.TSK");
    ASSERT_TRUE(SaveTaskParameterFile(FullTask("/backup/#YY_#MM/", kMethodZip), path));
    const QByteArray expected = ReadAll(FixturePath("tsk/Docs.TSK"));
    ASSERT_FALSE(expected.isEmpty());
    EXPECT_EQ(QString::fromUtf8(ReadAll(path)).trimmed(), QString::fromUtf8(expected).trimmed());
}

TEST(WriteTaskParameterFile, ArchiveNamesOfTheHistoryOnlyForZip) {
    for (const qint32 method : {kMethodCopy, kMethodZip, kMethodThird}) {
        const PropertyStore store = TaskParameterStore(FullTask("/backup/", method));
        EXPECT_EQ(store.HasText(kSection, "PrevBackup1ArchName"), method == kMethodZip) << method;
        EXPECT_EQ(store.HasText(kSection, "PrevBackup2DestFld"), true) << method;
        // The task's own archive name is always there: a reader requires the key.
        EXPECT_TRUE(store.HasText(kSection, "archiveName")) << method;
    }
}

TEST(WriteTaskParameterFile, CarriesNoSecretAndNoSettingOfThisComputer) {
    TempDir dir;
    const TaskRecord task = FullTask(dir.Path(), kMethodZip);
    ASSERT_TRUE(WriteTaskParameterFile(task, At(2005, 3, 7, 9, 5)));
    const QByteArray bytes = ReadAll(dir.File("Docs.TSK"));
    ASSERT_FALSE(bytes.isEmpty());
    EXPECT_FALSE(bytes.contains("secret")) << bytes.constData();
    EXPECT_FALSE(bytes.contains("2121"));
    EXPECT_FALSE(bytes.contains("Recur"));
    EXPECT_FALSE(bytes.contains("taskOID"));
}

TEST(WriteTaskParameterFile, OnADiscGoesToTheStagingFolder) {
    TempDir dir;
    const QByteArray savedHome = qgetenv("CORVANE_HOME");
    const bool hadHome = qEnvironmentVariableIsSet("CORVANE_HOME");
    qputenv("CORVANE_HOME", QFile::encodeName(dir.File("data")));
    SetMountTableFile(dir.Write("mounts", QStringLiteral("/dev/sda1 / ext4 rw 0 0\n"
                                                         "/dev/sr0 %1 iso9660 ro 0 0\n")
                                              .arg(dir.File("cd"))
                                              .toUtf8()));
    ASSERT_TRUE(QDir().mkpath(dir.File("data/cd-burn/Backup/2005_03")));
    ASSERT_TRUE(QDir().mkpath(dir.File("cd/Backup/2005_03")));

    TaskRecord task = FullTask(dir.File("cd/Backup/#YY_#MM/"), kMethodZip);
    task.destination.useXPBurn = true;
    EXPECT_TRUE(WriteTaskParameterFile(task, At(2005, 3, 7, 9, 5)));
    EXPECT_TRUE(QFileInfo::exists(dir.File("data/cd-burn/Backup/2005_03/Docs.TSK")));
    EXPECT_FALSE(QFileInfo::exists(dir.File("cd/Backup/2005_03/Docs.TSK")));

    // Without burning the disc folder itself is the target.
    task.destination.useXPBurn = false;
    EXPECT_EQ(TaskParameterFilePath(task, At(2005, 3, 7, 9, 5)),
              dir.File("cd/Backup/2005_03/Docs.TSK"));

    SetMountTableFile(QString());
    if (hadHome) {
        qputenv("CORVANE_HOME", savedHome);
    } else {
        qunsetenv("CORVANE_HOME");
    }
}

TEST(WriteTaskParameterFile, SlashInTheTaskNameStaysInTheFolder) {
    TempDir dir;
    TaskRecord task = FullTask(dir.Path(), kMethodCopy);
    task.name = "../Docs/x";
    ASSERT_TRUE(WriteTaskParameterFile(task, At(2005, 3, 7, 9, 5)));
    EXPECT_EQ(QDir(dir.Path()).entryList(QDir::Files | QDir::Hidden), QStringList{".._Docs_x.TSK"});
    EXPECT_EQ(ReadTaskNameFromFile(dir.File(".._Docs_x.TSK")), "../Docs/x");
}

TEST(WriteTaskParameterFile, ReplacesAnEarlierFile) {
    TempDir dir;
    const QString path = dir.Write("Docs.TSK", "an earlier file");
    ASSERT_TRUE(WriteTaskParameterFile(FullTask(dir.Path(), kMethodCopy), At(2005, 3, 7, 9, 5)));
    EXPECT_EQ(ReadTaskNameFromFile(path), "Docs");
    EXPECT_EQ(QDir(dir.Path()).entryList(QDir::Files | QDir::Hidden), QStringList{"Docs.TSK"});
}

TEST(WriteTaskParameterFile, FailuresAreLoggedAndAnswerFalse) {
    TempDir dir;
    const QString cwdBefore = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(dir.Path()));
    dir.Write("file", "a file where the destination folder would be");
    const struct {
        const char* label;
        TaskRecord task;
    } cases[] = {
        {"folder below a file", FullTask(dir.File("file/#YY/"), kMethodCopy)},
        {"no destination", FullTask(QString(), kMethodCopy)},
        {"ftp destination",
         [&] {
             TaskRecord task = FullTask(dir.Path(), kMethodCopy);
             task.destination.type = kDestFtp;
             return task;
         }()},
    };
    for (const auto& c : cases) {
        LogCapture log;
        EXPECT_FALSE(WriteTaskParameterFile(c.task, At(2005, 3, 7, 9, 5))) << c.label;
        EXPECT_EQ(log.Texts().size(), 1) << c.label;
        EXPECT_EQ(log.CountEndingWith(kSaveError), 1) << c.label;
    }
    // Nothing landed in the current folder or anywhere else below it.
    EXPECT_EQ(QDir(dir.Path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
              QStringList{"file"});
    QDir::setCurrent(cwdBefore);
}

// ---- Reading -----------------------------------------------------------------------

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
    EXPECT_TRUE(restore.destination.password.isEmpty());
    EXPECT_TRUE(restore.archivePassword.isEmpty());
}

// A parameter file with the keys given; the value nullptr leaves a key out.
using KeyOverrides = std::vector<std::pair<const char*, const char*>>;

QByteArray ParameterFile(const KeyOverrides& overrides) {
    std::map<QString, QString> keys = {
        {"taskName", "Docs"},
        {"itemsCount", "1"},
        {"backupMode", "1"},
        {"archiveName", "Docs.zip"},
        {"backupDestType", "1"},
        {"backupDestPath", "/backup/#YY/"},
        {"SrcDataType1", "1"},
        {"SrcFolder1", "/home/u/Documents/"},
        {"DstFolderName1", "Documents"},
    };
    for (const auto& [key, value] : overrides) {
        if (value == nullptr) {
            keys.erase(QString::fromLatin1(key));
        } else {
            keys[QString::fromLatin1(key)] = QString::fromUtf8(value);
        }
    }
    PropertyStore store;
    for (const auto& [key, value] : keys) {
        store.SetText(kSection, key, value);
    }
    return store.ToXml("programSettings");
}

struct ReadCase {
    const char* label;
    std::vector<std::pair<const char*, const char*>> overrides;
    bool accepted;
    qint32 method;
    QString archiveName;
    qint32 destType;
};

class ReadTaskParameterCases : public ::testing::TestWithParam<ReadCase> {};

TEST_P(ReadTaskParameterCases, FollowsTheRulesOfTheFile) {
    const ReadCase& c = GetParam();
    TempDir dir;
    const QString path = dir.Write("t.tsk", ParameterFile(c.overrides));
    TaskRecord restore;
    restore.items = {MakeAllContactsItem()};
    ASSERT_EQ(ReadTaskParameterFile(restore, path), c.accepted);
    // The restore task is emptied and marked as such whatever the file holds.
    EXPECT_EQ(restore.taskType, kTaskRestore);
    if (!c.accepted) {
        EXPECT_TRUE(restore.items.empty());
        return;
    }
    EXPECT_EQ(restore.backupMode, c.method);
    EXPECT_EQ(restore.archiveName, c.archiveName);
    EXPECT_EQ(restore.destination.type, c.destType);
    ASSERT_EQ(restore.items.size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Files, ReadTaskParameterCases,
    ::testing::Values(
        ReadCase{"Copy", {}, true, kMethodCopy, QString(), kDestFolder},
        ReadCase{"Zip", {{"backupMode", "2"}}, true, kMethodZip, "Docs.zip", kDestFolder},
        ReadCase{"Third", {{"backupMode", "3"}}, true, kMethodThird, "Docs.zip", kDestFolder},
        ReadCase{"Ftp", {{"backupDestType", "2"}}, true, kMethodCopy, QString(), kDestFtp},
        ReadCase{
            "DestTypeFive", {{"backupDestType", "5"}}, true, kMethodCopy, QString(), kDestFolder},
        ReadCase{"DestTypeAbsent",
                 {{"backupDestType", nullptr}},
                 true,
                 kMethodCopy,
                 QString(),
                 kDestFolder},
        ReadCase{
            "EmptyArchiveName", {{"archiveName", ""}}, true, kMethodCopy, QString(), kDestFolder},
        ReadCase{"NoTaskName", {{"taskName", nullptr}}, false, 0, QString(), 0},
        ReadCase{"NoItemsCount", {{"itemsCount", nullptr}}, false, 0, QString(), 0},
        ReadCase{"NoBackupMode", {{"backupMode", nullptr}}, false, 0, QString(), 0},
        ReadCase{"NoArchiveNameEvenForCopy", {{"archiveName", nullptr}}, false, 0, QString(), 0},
        ReadCase{"MethodZero", {{"backupMode", "0"}}, false, 0, QString(), 0},
        ReadCase{"MethodFour", {{"backupMode", "4"}}, false, 0, QString(), 0},
        ReadCase{"MethodText", {{"backupMode", "zip"}}, false, 0, QString(), 0}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(ReadTaskParameterFile, RefusesWhatIsNoParameterFile) {
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
    EXPECT_EQ(restore.items[0].path, "../../../etc/passwd");
    EXPECT_EQ(restore.items[0].nameInArchive, "../../outside");
    EXPECT_EQ(restore.items[1].path, "/etc/shadow");
    EXPECT_EQ(restore.items[1].nameInArchive, "/abs");
    EXPECT_EQ(restore.items[2].kind, kItemFile);
    ASSERT_EQ(restore.history.size(), 1u);
    EXPECT_EQ(restore.history[0].folder, "/../../x/");
}

TEST(ReadTaskNameFromFile, GivesTheNameOrNothing) {
    TempDir dir;
    const QString named = dir.Write("a.tsk", ParameterFile({{"taskName", "My Docs"}}));
    const QString unnamed = dir.Write("b.tsk", ParameterFile({{"taskName", nullptr}}));
    EXPECT_EQ(ReadTaskNameFromFile(named), "My Docs");
    EXPECT_EQ(ReadTaskNameFromFile(unnamed), QString());
    // The name alone counts: a file the restore refuses still shows its name.
    const QString refused = dir.Write("c.tsk", ParameterFile({{"backupMode", "9"}}));
    EXPECT_EQ(ReadTaskNameFromFile(refused), "Docs");
}

}  // namespace
}  // namespace corvane
