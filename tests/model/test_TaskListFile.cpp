#include <gtest/gtest.h>

#include <sys/stat.h>
#include <QFileInfo>

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
    task.history.push_back({"/media/b/2005_03/", "docs 2005.zip", Normalised(2005, 3, 7, 9, 5, 1)});
    task.history.push_back(
        {"/media/b/2006_01/", "docs 2006.zip", Normalised(2006, 1, 2, 23, 0, 0)});
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

QStringList Names(const TaskList& tasks) {
    QStringList names;
    for (int i = 0; i < tasks.TaskCount(); ++i) {
        names << tasks.TaskAt(i)->name;
    }
    return names;
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

// Unscheduled tasks store no schedule keys, so no scheduler password either.
TEST(TaskListFile, EmptySlotsAreCompactedAndUnscheduledTasksStoreNoScheduleKeys) {
    TempDir dir;
    TaskList tasks;
    for (int i = 0; i < 5; ++i) {
        tasks.NewTask(QString("T%1").arg(i), kTaskBackup);
    }
    tasks.TaskAt(0)->schedulerAccount = "ann";
    tasks.TaskAt(0)->schedulerPassword = "pw";
    tasks.DeleteTask(1);
    const QString path = dir.File("CorvTasks.bin");
    ASSERT_TRUE(SaveTaskList(tasks, path));
    const QByteArray bytes = ReadAll(path);
    EXPECT_TRUE(bytes.contains("<Main TasksCount=\"4\"/><Task0 ")) << bytes.constData();
    EXPECT_TRUE(bytes.contains("RecurMode=\"0\""));
    for (const char* key : {"RecurTime", "RecurDatePattern", "RecurDayNmb", "destData"}) {
        EXPECT_FALSE(bytes.contains(key)) << key;
    }
    TaskList loaded;
    ASSERT_TRUE(LoadTaskList(loaded, path));
    EXPECT_EQ(Names(loaded), QStringList({"T0", "T2", "T3", "T4"}));
}

// The facts of a loaded task that the reader's rules decide, as "key=value" texts.
QStringList Facts(const TaskRecord& t) {
    QStringList items;
    for (const SourceItem& item : t.items) {
        items << QString("%1:%2:%3").arg(item.kind).arg(DescribeItem(item), item.nameInArchive);
    }
    QStringList history;
    for (const BackupHistoryEntry& h : t.history) {
        const CalendarTime& at = h.time;
        history << h.folder + '|' + h.archiveName +
                       QString::asprintf("|%d-%d-%d %d:%d", at.year, at.month, at.day, at.hour,
                                         at.minute);
    }
    const TaskDestination& d = t.destination;
    return QString::asprintf(
               "type=%d mode=%d dest=%d burn=%d port=%d level=%d schedule=%d pattern=%d "
               "startNow=%d oid=%d oidInRange=%d",
               t.taskType, t.backupMode, d.type, d.useXPBurn, d.ftpPort, t.compressionLevel,
               t.scheduleMode, t.schedulePattern, t.scheduleStart.year >= 2026, t.oid,
               t.oid >= 0 && t.oid <= kMaxOid)
               .split(' ') +
           QStringList{"name=" + t.name,
                       "archive=" + t.archiveName,
                       "archivePw=" + t.archivePassword,
                       "account=" + t.schedulerAccount,
                       "items=" + items.join(','),
                       "history=" + history.join(',')};
}

// Hand-written files: every default, range and "present" rule of the reader.
struct ReadCase {
    const char* name;
    const char* attributes;  // of the Task0 element
    QStringList facts;
};

TEST(TaskListFile, HandWrittenFilesFollowTheReadRules) {
    // clang-format off
    const ReadCase cases[] = {
        {"NothingStoredGivesDefaults", "", {"name=", "type=1", "mode=1", "dest=1", "burn=1",
            "port=21", "level=9", "schedule=0", "pattern=0", "oidInRange=1", "items=", "history="}},
        {"OutOfRangeValuesFallBack",  // the port is not read for a folder
            R"(taskType="7" backupMode="0" destType="3" RecurMode="5" FTPPort="2121")",
            {"type=1", "mode=1", "dest=1", "port=21", "schedule=0"}},
        {"EmptyTextReadsAsZero", R"(taskType="" useXPBurn="" backupMode="2" archiveCmpVal="" )"
            R"(destType="2" FTPPort="" taskOID="")",
            {"type=1", "mode=2", "burn=0", "port=0", "level=0", "oid=0"}},
        {"CopyTasksIgnoreTheArchiveKeys",
            R"(backupMode="1" archiveCmpVal="4" archiveName="a.zip" archBurn="pw")",
            {"level=9", "archive=", "archivePw="}},
        {"ZipTaskWithoutLevelGets9", R"(backupMode="2" archiveName="a.zip")",
            {"level=9", "archive=a.zip"}},
        {"FtpPortReadForFtp", R"(destType="2" FTPPort=" 2121x")", {"port=2121"}},
        {"UseXPBurnPositiveIsOn", R"(useXPBurn="-1")", {"burn=0"}},
        {"ScheduleWithoutStartStartsNow", R"(RecurMode="1" RecurTimeLo="5")",
            {"schedule=1", "pattern=0", "startNow=1"}},
        {"ScheduleKeysIgnoredWithoutMode",
            R"(RecurDatePattern="3" destDataSeg="ann" destDataOffset="pw")",
            {"schedule=0", "pattern=0", "account="}},
        // "SrcDataType07" is not the key of item 7.
        {"ItemsOfUnknownKindsAreDropped",
            R"(itemsCount="7" SrcDataType1="2" SrcDataType2="1" SrcFolder2="/a" )"
            R"(DstFolderName2="a" SrcDataType3="7" SrcDataType4="5" SrcFN4="Ann" SrcLN4="Cole" )"
            R"(SrcDataType5="4" SrcDataType6="3" SrcDataType07="1")",
            {"items=1:/a:a,5:Ann Cole:,4:All contacts:,3::"}},
        {"ItemCountLimitsTheItems",
            R"(itemsCount="2" SrcDataType1="4" SrcDataType2="3" SrcDataType3="4")",
            {"items=4:All contacts:,3::"}},
        {"HistoryNeedsFolderAndBothTimes",
            R"(backupMode="1" PrevBackupsNmb="3" PrevBackup1DestFld="/a/" )"
            R"(PrevBackup1TimeLo="-1112259072" PrevBackup1TimeHi="29696756" )"
            R"(PrevBackup1ArchName="x.zip" PrevBackup2DestFld="/b/" PrevBackup2TimeLo="1" )"
            R"(PrevBackup3TimeLo="1" PrevBackup3TimeHi="1")",
            {"history=/a/||2005-3-7 9:5"}},
        // A count of two thousand million must not make the reader loop that often.
        {"HugeStoredCountsCostNothing",
            R"(itemsCount="2000000000" SrcDataType1="4" PrevBackupsNmb="2000000000" )"
            R"(PrevBackup1DestFld="/a/" PrevBackup1TimeLo="0" PrevBackup1TimeHi="0")",
            {"items=4:All contacts:", "history=/a/||1601-1-1 0:0"}},
    };
    // clang-format on
    TempDir dir;
    for (const ReadCase& c : cases) {
        const QString path =
            dir.Write("CorvTasks.bin", QByteArray("<TasksList><Main TasksCount=\"1\"/><Task0 ") +
                                           c.attributes + "/></TasksList>");
        TaskList tasks;
        ASSERT_TRUE(LoadTaskList(tasks, path)) << c.name;
        ASSERT_EQ(tasks.TaskCount(), 1) << c.name;
        const QStringList facts = Facts(*tasks.TaskAt(0));
        for (const QString& fact : c.facts) {
            EXPECT_TRUE(facts.contains(fact)) << c.name << ": no " << fact.toStdString() << " in "
                                              << facts.join(", ").toStdString();
        }
    }
}

// Sections the count names but the file lacks are default tasks, up to the last stored
// one; a huge count costs nothing.
TEST(TaskListFile, MissingSectionsYieldDefaultTasksUpToTheLastStoredOne) {
    TempDir dir;
    const QString path =
        dir.Write("CorvTasks.bin",
                  "<TasksList><Main TasksCount=\"2000000000\"/><Task0 taskName=\"A\"/>"
                  "<Task2 taskName=\"C\"/></TasksList>");
    TaskList tasks;
    ASSERT_TRUE(LoadTaskList(tasks, path));
    EXPECT_EQ(Names(tasks), QStringList({"A", "", "C"}));
    EXPECT_NE(tasks.TaskAt(0)->oid, tasks.TaskAt(1)->oid);
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
