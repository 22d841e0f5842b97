#include <gtest/gtest.h>

#include <sys/stat.h>
#include <QFileInfo>

#include "model/PropertyStore.h"
#include "model/TaskListFile.h"
#include "support/TempDir.h"
#include "support/Times.h"

namespace corvane {
namespace {

using test::ReadAll;
using test::TempDir;

CalendarTime Normalised(int y, int mo, int d, int h, int mi, int s) {
    return *FromFileTime(
        ToFileTime(test::MakeTime(y, mo, d, h, mi, s)));  // fills the day of the week
}

TaskRecord FullTask() {
    TaskRecord task;
    task.taskType = kTaskBackup;
    task.oid = 4242;
    task.name = QString::fromUtf8("Docs & <Mail> \"2005\" – 日本");
    task.items.push_back(MakePathItem(QString::fromUtf8("/home/zoë/Fotos 😀"), kItemFolder,
                                      QString::fromUtf8("Fotos 😀")));
    task.items.push_back(MakePathItem("/home/ann/.bashrc", kItemFile, ".bashrc"));
    task.items.push_back(MakeAllContactsItem());
    task.items.push_back(MakeContactItem("Ann", "B.", "Cole"));
    task.items.push_back(MakeRegistryItem("HKEY_CURRENT_USER\\Software\\Tarnis", "Tarnis"));
    task.destination.path = "/media/backup/#YY_#MM/";
    task.destination.type = kDestFtp;
    task.destination.useXPBurn = false;
    task.destination.userName = "ann";
    task.destination.password = "s3cret";
    task.destination.ftpPort = 2121;
    task.backupMode = kMethodZip;
    task.archiveName = "docs #YY.zip";
    task.compressionLevel = 4;
    task.archivePassword = "zip-pass";
    task.includeFilter = "*.doc;*.txt";
    task.excludeFilter = "~*";
    task.history.push_back(
        {"/media/backup/2005_03/", "docs 2005.zip", Normalised(2005, 3, 7, 9, 5, 1)});
    task.history.push_back(
        {"/media/backup/2006_01/", "docs 2006.zip", Normalised(2006, 1, 2, 23, 0, 0)});
    task.desktopShortcut = "/home/ann/Desktop/Backup - Docs.desktop";
    task.mailAddress = "ann@example.org";
    task.mailAccount = "work";
    task.scheduleMode = kScheduleWeekly;
    task.schedulePattern = 0x22;
    task.scheduleDay = 0;
    task.scheduleStart = Normalised(2026, 12, 6, 21, 30, 0);
    task.schedulerAccount = "ann";
    task.schedulerPassword = "login-pass";
    return task;
}

// The file holds passwords: owner only, and in the exact XML form.
TEST(TaskListFile, FullTaskRoundTripsThroughAnOwnerOnlyFile) {
    TempDir dir;
    TaskList tasks;
    tasks.Append(std::make_unique<TaskRecord>(FullTask()));
    const QString path = dir.File("CorvTasks.bin");
    ASSERT_TRUE(SaveTaskList(tasks, path));
    struct stat info {};
    ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0600u);
    EXPECT_TRUE(ReadAll(path).startsWith("<TasksList><Main TasksCount=\"1\"/><Task0 "));

    TaskList loaded;
    ASSERT_TRUE(LoadTaskList(loaded, path));
    ASSERT_EQ(loaded.TaskCount(), 1);
    EXPECT_EQ(*loaded.TaskAt(0), FullTask());
}

TEST(TaskListFile, EmptySlotsAreCompactedOnSave) {
    TempDir dir;
    TaskList tasks;
    for (int i = 0; i < 5; ++i) {
        tasks.NewTask(QString("T%1").arg(i), kTaskBackup);
    }
    tasks.DeleteTask(1);
    const QString path = dir.File("CorvTasks.bin");
    ASSERT_TRUE(SaveTaskList(tasks, path));

    PropertyStore store;
    ASSERT_TRUE(store.LoadXml(path));
    EXPECT_EQ(store.ReadNumber("Main", "TasksCount", -1), 4);
    EXPECT_EQ(store.ReadText("Task1", "taskName"), "T2");
    EXPECT_EQ(store.FindSection("Task4"), nullptr);

    TaskList loaded;
    ASSERT_TRUE(LoadTaskList(loaded, path));
    ASSERT_EQ(loaded.TaskCount(), 4);
    EXPECT_EQ(loaded.TaskAt(0)->name, "T0");
    EXPECT_EQ(loaded.TaskAt(1)->name, "T2");
    EXPECT_EQ(loaded.TaskAt(3)->name, "T4");
}

TEST(TaskListFile, UnscheduledTaskStoresNoScheduleKeys) {
    TempDir dir;
    TaskList tasks;
    TaskRecord* task = tasks.NewTask("Docs", kTaskBackup);
    task->schedulerAccount = "ann";
    task->schedulerPassword = "pw";
    const QString path = dir.File("CorvTasks.bin");
    ASSERT_TRUE(SaveTaskList(tasks, path));
    const QByteArray bytes = ReadAll(path);
    for (const char* key : {"RecurTimeLo", "RecurTimeHi", "RecurDatePattern", "RecurDayNmb",
                            "destDataSeg", "destDataOffset"}) {
        EXPECT_FALSE(bytes.contains(key)) << key;
    }
    EXPECT_TRUE(bytes.contains("RecurMode=\"0\""));

    TaskList loaded;
    ASSERT_TRUE(LoadTaskList(loaded, path));
    EXPECT_TRUE(loaded.TaskAt(0)->schedulerAccount.isEmpty());
}

// Hand-written files: every default, range and "present" rule of the reader.
struct ReadCase {
    const char* name;
    const char* attributes;  // of the Task0 element
    std::function<void(const TaskRecord&)> check;
};

class TaskListReadRules : public ::testing::TestWithParam<ReadCase> {};

TEST_P(TaskListReadRules, Apply) {
    TempDir dir;
    const QString path = dir.Write(
        "CorvTasks.bin", QByteArray("<TasksList>\n  <Main TasksCount=\"1\"/>\n  <Task0 ") +
                             GetParam().attributes + "/>\n</TasksList>\n");
    TaskList tasks;
    ASSERT_TRUE(LoadTaskList(tasks, path));
    ASSERT_EQ(tasks.TaskCount(), 1);
    GetParam().check(*tasks.TaskAt(0));
}

INSTANTIATE_TEST_SUITE_P(
    HandWritten, TaskListReadRules,
    ::testing::Values(
        ReadCase{"NothingStoredGivesDefaults", "",
                 [](const TaskRecord& t) {
                     EXPECT_TRUE(t.name.isEmpty());
                     EXPECT_EQ(t.taskType, kTaskBackup);
                     EXPECT_EQ(t.backupMode, kMethodCopy);
                     EXPECT_EQ(t.destination.type, kDestFolder);
                     EXPECT_TRUE(t.destination.useXPBurn);
                     EXPECT_EQ(t.destination.ftpPort, 21);
                     EXPECT_EQ(t.compressionLevel, 9);
                     EXPECT_EQ(t.scheduleMode, kScheduleNone);
                     EXPECT_GE(t.oid, 0);
                     EXPECT_LE(t.oid, kMaxOid);
                 }},
        ReadCase{"OutOfRangeValuesFallBack",
                 "taskType=\"7\" backupMode=\"0\" destType=\"3\" RecurMode=\"5\" FTPPort=\"2121\"",
                 [](const TaskRecord& t) {
                     EXPECT_EQ(t.taskType, kTaskBackup);
                     EXPECT_EQ(t.backupMode, kMethodCopy);
                     EXPECT_EQ(t.destination.type, kDestFolder);
                     EXPECT_EQ(t.destination.ftpPort, 21);  // not read for a folder
                     EXPECT_EQ(t.scheduleMode, kScheduleNone);
                 }},
        ReadCase{"EmptyTextReadsAsZero",
                 "taskType=\"\" useXPBurn=\"\" backupMode=\"2\" archiveCmpVal=\"\" "
                 "destType=\"2\" FTPPort=\"\" taskOID=\"\"",
                 [](const TaskRecord& t) {
                     EXPECT_EQ(t.taskType, kTaskBackup);  // 0 is out of range
                     EXPECT_FALSE(t.destination.useXPBurn);
                     EXPECT_EQ(t.compressionLevel, 0);
                     EXPECT_EQ(t.destination.ftpPort, 0);
                     EXPECT_EQ(t.oid, 0);
                 }},
        ReadCase{"CopyTasksIgnoreTheArchiveKeys",
                 "backupMode=\"1\" archiveCmpVal=\"4\" archiveName=\"a.zip\" archBurn=\"pw\"",
                 [](const TaskRecord& t) {
                     EXPECT_EQ(t.compressionLevel, 9);
                     EXPECT_TRUE(t.archiveName.isEmpty());
                     EXPECT_TRUE(t.archivePassword.isEmpty());
                 }},
        ReadCase{"ZipTaskWithoutLevelGets9", "backupMode=\"2\" archiveName=\"a.zip\"",
                 [](const TaskRecord& t) {
                     EXPECT_EQ(t.compressionLevel, 9);
                     EXPECT_EQ(t.archiveName, "a.zip");
                 }},
        ReadCase{"FtpPortReadForFtp", "destType=\"2\" FTPPort=\" 2121x\"",
                 [](const TaskRecord& t) { EXPECT_EQ(t.destination.ftpPort, 2121); }},
        ReadCase{"UseXPBurnPositiveIsOn", "useXPBurn=\"-1\"",
                 [](const TaskRecord& t) { EXPECT_FALSE(t.destination.useXPBurn); }},
        ReadCase{"ScheduleWithoutStartStartsNow", "RecurMode=\"1\" RecurTimeLo=\"5\"",
                 [](const TaskRecord& t) {
                     EXPECT_EQ(t.scheduleMode, kScheduleDaily);
                     EXPECT_GE(t.scheduleStart.year, 2026);
                     EXPECT_EQ(t.schedulePattern, 0);
                 }},
        ReadCase{"ScheduleKeysIgnoredWithoutMode",
                 "RecurDatePattern=\"3\" destDataSeg=\"ann\" destDataOffset=\"pw\"",
                 [](const TaskRecord& t) {
                     EXPECT_EQ(t.schedulePattern, 0);
                     EXPECT_TRUE(t.schedulerAccount.isEmpty());
                 }},
        ReadCase{"ItemsOfUnknownKindsAreDropped",
                 "itemsCount=\"7\" SrcDataType1=\"2\" SrcDataType2=\"1\" SrcFolder2=\"/a\" "
                 "DstFolderName2=\"a\" SrcDataType3=\"7\" SrcDataType4=\"5\" SrcFN4=\"Ann\" "
                 "SrcLN4=\"Cole\" SrcDataType5=\"4\" SrcDataType6=\"3\" SrcDataType07=\"1\"",
                 [](const TaskRecord& t) {
                     // "SrcDataType07" is not the key of item 7.
                     ASSERT_EQ(t.items.size(), 4u);
                     EXPECT_EQ(t.items[0], MakePathItem("/a", kItemFolder, "a"));
                     EXPECT_EQ(t.items[1], MakeContactItem("Ann", "", "Cole"));
                     EXPECT_EQ(t.items[2], MakeAllContactsItem());
                     EXPECT_EQ(t.items[3], MakePathItem("", kItemFile, ""));
                 }},
        ReadCase{"ItemCountLimitsTheItems",
                 "itemsCount=\"2\" SrcDataType1=\"4\" SrcDataType2=\"3\" SrcDataType3=\"4\"",
                 [](const TaskRecord& t) {
                     ASSERT_EQ(t.items.size(), 2u);
                     EXPECT_EQ(t.items[1], MakePathItem("", kItemFile, ""));
                 }},
        ReadCase{"HistoryNeedsFolderAndBothTimes",
                 "backupMode=\"1\" PrevBackupsNmb=\"3\" PrevBackup1DestFld=\"/a/\" "
                 "PrevBackup1TimeLo=\"-1112259072\" PrevBackup1TimeHi=\"29696756\" "
                 "PrevBackup1ArchName=\"x.zip\" PrevBackup2DestFld=\"/b/\" "
                 "PrevBackup2TimeLo=\"1\" PrevBackup3TimeLo=\"1\" PrevBackup3TimeHi=\"1\"",
                 [](const TaskRecord& t) {
                     ASSERT_EQ(t.history.size(), 1u);
                     EXPECT_EQ(t.history[0].folder, "/a/");
                     EXPECT_TRUE(t.history[0].archiveName.isEmpty());
                     EXPECT_EQ(t.history[0].time.year, 2005);
                     EXPECT_EQ(t.history[0].time.minute, 5);
                 }}),
    [](const ::testing::TestParamInfo<ReadCase>& info) { return std::string(info.param.name); });

TEST(TaskListFile, MissingSectionsYieldDefaultTasksUpToTheLastStoredOne) {
    TempDir dir;
    const QString path = dir.Write("CorvTasks.bin",
                                   "<TasksList><Main TasksCount=\"5\"/><Task0 taskName=\"A\"/>"
                                   "<Task2 taskName=\"C\"/></TasksList>");
    TaskList tasks;
    ASSERT_TRUE(LoadTaskList(tasks, path));
    ASSERT_EQ(tasks.TaskCount(), 3);
    EXPECT_EQ(tasks.TaskAt(0)->name, "A");
    EXPECT_TRUE(tasks.TaskAt(1)->name.isEmpty());
    EXPECT_EQ(tasks.TaskAt(2)->name, "C");
    EXPECT_NE(tasks.TaskAt(0)->oid, tasks.TaskAt(1)->oid);
}

TEST(TaskListFile, HugeStoredCountsCostNothing) {
    TempDir dir;
    const QString path =
        dir.Write("CorvTasks.bin",
                  "<TasksList><Main TasksCount=\"2000000000\"/><Task0 taskName=\"A\" "
                  "itemsCount=\"2000000000\" SrcDataType1=\"4\" PrevBackupsNmb=\"2000000000\" "
                  "PrevBackup1DestFld=\"/a/\" PrevBackup1TimeLo=\"0\" PrevBackup1TimeHi=\"0\"/>"
                  "</TasksList>");
    TaskList tasks;
    ASSERT_TRUE(LoadTaskList(tasks, path));
    ASSERT_EQ(tasks.TaskCount(), 1);
    EXPECT_EQ(tasks.TaskAt(0)->items.size(), 1u);
    EXPECT_EQ(tasks.TaskAt(0)->history.size(), 1u);
}

TEST(TaskListFile, UnreadableFilesGiveNoTasks) {
    TempDir dir;
    TaskList tasks;
    EXPECT_FALSE(LoadTaskList(tasks, dir.File("missing.bin")));
    EXPECT_FALSE(LoadTaskList(tasks, dir.Write("empty.bin", "")));
    EXPECT_FALSE(LoadTaskList(tasks, dir.Write("broken.bin", "<TasksList><Main")));
    EXPECT_EQ(tasks.TaskCount(), 0);
}

}  // namespace
}  // namespace corvane
