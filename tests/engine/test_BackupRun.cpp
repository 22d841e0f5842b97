#include <gtest/gtest.h>

#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QThread>
#include <fstream>

#include "engine/BackupRun.h"
#include "model/DatePattern.h"
#include "model/FileName.h"
#include "model/PropertyStore.h"
#include "support/HomeTree.h"
#include "support/LogCapture.h"
#include "support/ScopedEnv.h"
#include "support/TempDir.h"
#include "support/Tools.h"

namespace corvane {
namespace {

using test::LogCapture;
using test::ReadAll;
using test::ScopedEnv;
using test::TempDir;

class BackupRunTest : public ::testing::Test {
  protected:
    void SetUp() override {
        qputenv("CORVANE_HOME", QFile::encodeName(m_dir.File("data")));
        m_dir.Write("src/Docs/a.txt", "alpha");
        m_dir.Write("src/Docs/sub/b.csv", "beta,beta");
        m_dir.Write("src/Docs/sub/deeper/c.doc", QByteArray(3000, 'c'));
        QDir().mkpath(m_dir.File("src/Docs/empty"));
        m_dir.Write("src/notes.txt", "notes");
    }

    TaskRecord* NewTask(qint32 method, const QString& destination) {
        TaskRecord* task = m_tasks.NewTask("Docs", kTaskBackup);
        task->backupMode = method;
        task->destination.path = destination;
        task->archiveName = "docs #YY.zip";
        task->items.push_back(MakePathItem(m_dir.File("src/Docs/"), kItemFolder, "Docs"));
        task->items.push_back(MakePathItem(m_dir.File("src/notes.txt"), kItemFile, "notes.txt"));
        return task;
    }

    bool Run(const StopSignal& stop = StopSignal()) {
        return RunBackup(m_tasks, m_tasks.TaskCount() - 1, stop, [this] { return m_now; });
    }

    // The run's clock stands one second before a new month and year, so a run that read
    // the real clock twice, or at all, would name another folder than this one.
    QString ThisMonthFolder() const {
        return QString::asprintf("%d_%02d", int(m_now.year), int(m_now.month));
    }

    const CalendarTime m_now =
        CalendarTimeFromDateTime(QDateTime(QDate(2030, 12, 31), QTime(23, 59, 59)));

    TempDir m_dir;
    TaskList m_tasks;
    LogCapture m_log;
};

TEST_F(BackupRunTest, FilteredCopyRunIntoADatedFolder) {
    TaskRecord* task = NewTask(kMethodCopy, m_dir.File("dst/#YY_#MM"));
    task->includeFilter = "Text and tables (*.TXT, *.csv)";
    task->excludeFilter = "b.*";
    ASSERT_TRUE(Run());
    // What a copy holds is checked on a whole home folder below; a file item is not filtered.
    const QString target = m_dir.File("dst/" + ThisMonthFolder() + "/");
    EXPECT_EQ(ReadAll(target + "Docs/a.txt"), "alpha");
    EXPECT_EQ(ReadAll(target + "notes.txt"), "notes");
    EXPECT_FALSE(QFileInfo::exists(target + "Docs/sub/b.csv"));
    EXPECT_FALSE(QFileInfo::exists(target + "Docs/sub/deeper/c.doc"));
    ASSERT_EQ(task->history.size(), 1u);
    EXPECT_EQ(task->history[0].folder, target);
    EXPECT_TRUE(task->history[0].archiveName.isEmpty());

    // The task parameter file lies beside the data, with the pattern and this run counted.
    PropertyStore tsk;
    ASSERT_TRUE(tsk.LoadXml(target + "Docs.TSK"));
    EXPECT_EQ(tsk.ReadText("TaskParameters", "backupDestPath"), m_dir.File("dst/#YY_#MM"));
    EXPECT_EQ(tsk.ReadNumber("TaskParameters", "PrevBackupsNmb", 0), 1);

    const QStringList lines = m_log.Texts();
    EXPECT_TRUE(lines.contains("  Building list of folder " + m_dir.File("src/Docs/")));
    EXPECT_TRUE(lines.contains("  Copy files..."));
    EXPECT_TRUE(lines.contains("  Copy file " + m_dir.File("src/notes.txt") + " to " + target));
    EXPECT_TRUE(lines.contains("    Warning: 'b.csv' - ignored with exclude filter"));
}

TEST_F(BackupRunTest, ZipRunPassesTheArchiveToolsAndAFailedOneKeepsIt) {
    TaskRecord* task = NewTask(kMethodZip, m_dir.File("dst/#YY_#MM/"));
    task->compressionLevel = 6;
    task->archivePassword = "p4ss w0rd";
    ASSERT_TRUE(Run());
    const QString folder = m_dir.File("dst/" + ThisMonthFolder() + "/");
    const QString archive = folder + ResolvedArchiveName(*task, m_now);
    ASSERT_TRUE(QFileInfo::exists(archive)) << archive.toStdString();

    ASSERT_EQ(test::RunTool("unzip", {"-t", "-P", "p4ss w0rd", archive}).exitCode, 0);
    EXPECT_NE(test::RunTool("unzip", {"-t", "-P", "wrong", archive}).exitCode, 0);
    const QStringList names =
        test::RunTool("zipinfo", {"-1", archive}).output.split('\n', Qt::SkipEmptyParts);
    EXPECT_TRUE(names.contains("Docs/empty/") && names.contains("notes.txt"));
    // A folder's entry comes before its contents, so that unzip gives it its mode.
    EXPECT_GT(names.indexOf("Docs/sub/deeper/c.doc"), names.indexOf("Docs/sub/deeper/"));

    ASSERT_EQ(task->history.size(), 1u);
    EXPECT_EQ(task->history[0].archiveName, QFileInfo(archive).fileName());
    EXPECT_TRUE(m_log.Texts().contains("  File " + archive + " was created"));

    // A source that is gone fails the next run and leaves the archive as it was.
    const QByteArray before = ReadAll(archive);
    task->items.push_back(MakePathItem(m_dir.File("src/missing"), kItemFolder, "Missing"));
    EXPECT_FALSE(Run());
    EXPECT_EQ(ReadAll(archive), before);
    EXPECT_FALSE(QFileInfo::exists(folder + "docs 2030.zi~"));
    EXPECT_EQ(task->history.size(), 1u);
    EXPECT_TRUE(m_log.Texts().contains("  Error: cannot access folder '" +
                                       m_dir.File("src/missing") + "'"));
}

TEST_F(BackupRunTest, StopDuringTheFirstItemSkipsTheRest) {
    TaskRecord* task = NewTask(kMethodZip, m_dir.File("dst"));
    task->archiveName = "docs.zip";
    std::atomic<bool> stop{true};
    EXPECT_TRUE(Run(StopSignal(&stop)));  // nothing failed before the stop
    EXPECT_FALSE(QFileInfo::exists(m_dir.File("dst/docs.zip")));
    EXPECT_FALSE(QFileInfo::exists(m_dir.File("dst/docs.zi~")));
    EXPECT_FALSE(QFileInfo::exists(m_dir.File("dst/Docs.TSK")));
    EXPECT_TRUE(task->history.empty());
    EXPECT_FALSE(m_log.Texts().contains("  Copy file " + m_dir.File("src/notes.txt") + " to " +
                                        m_dir.File("dst/")));
}

TEST_F(BackupRunTest, TasksThatCannotBeBackedUpAreRefused) {
    TaskRecord* task = NewTask(kMethodThird, m_dir.File("dst"));
    EXPECT_FALSE(Run());
    EXPECT_TRUE(task->history.empty());
    EXPECT_FALSE(QFileInfo::exists(m_dir.File("dst")));
    task->backupMode = kMethodCopy;
    task->taskType = kTaskRestore;
    EXPECT_FALSE(Run());
    task->taskType = kTaskSync;
    EXPECT_FALSE(Run());
    EXPECT_EQ(m_log.Texts(),
              (QStringList{"  Error: this type of archive is not supported",
                           "  Error: this task can be used only for data restore",
                           "  Error: this type of tasks is not supported by this version"}));
    EXPECT_FALSE(RunBackup(m_tasks, 5, StopSignal()));
}

TEST_F(BackupRunTest, UnknownItemKindsAreSkippedAndStagesCountOnlyKnownOnes) {
    TaskRecord* task = m_tasks.NewTask("Odd", kTaskBackup);
    task->destination.path = m_dir.File("dst");
    task->items.push_back(MakePathItem(m_dir.File("src/notes.txt"), 9, "odd"));
    ASSERT_TRUE(Run());
    EXPECT_EQ(task->history.size(), 1u);
    EXPECT_TRUE(QFileInfo::exists(m_dir.File("dst/Odd.TSK")));
}

TEST_F(BackupRunTest, RefusedNetworkConnectionMailsTheOwner) {
    const QString recorder = m_dir.Write("msmtp", "#!/bin/sh\ncat > \"$0.mail\"\n");
    QFile::setPermissions(recorder, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    ScopedEnv sendmail("CORVANE_SENDMAIL", FileNameToBytes(recorder));
    TaskRecord* task = NewTask(kMethodCopy, m_dir.File("dst"));
    task->destination.userName = "ann";
    task->destination.password = "pw";
    task->mailAddress = "ann@example.org";
    EXPECT_FALSE(Run());
    const QByteArray mail = ReadAll(recorder + ".mail");
    EXPECT_TRUE(mail.contains("To: ann@example.org")) << mail.constData();
    EXPECT_TRUE(mail.contains("Cannot access network folder, backup was not complete"));
    EXPECT_FALSE(QFileInfo::exists(m_dir.File("dst")));
}

// A destination on a mounted optical disc: the files go to the same place below the CD
// staging folder, and a burning program is started on it at the end.
TEST_F(BackupRunTest, CdDestinationIsStagedAndBurned) {
    const QString disc = m_dir.File("media/cdrom");
    QDir().mkpath(disc);
    const QString mounts = m_dir.Write(
        "mounts", ("/dev/sr0 " + disc + " iso9660 ro 0 0\n/dev/vda1 / ext4 rw 0 0\n").toUtf8());
    ScopedEnv table("CORVANE_MOUNTS", FileNameToBytes(mounts));
    const QString brasero = m_dir.Write(
        "bin/brasero", ("#!/bin/sh\necho \"$@\" > '" + m_dir.File("burned") + "'\n").toUtf8());
    QFile::setPermissions(brasero, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    ScopedEnv path("PATH", FileNameToBytes(m_dir.File("bin")) + ":" + qgetenv("PATH"));
    NewTask(kMethodCopy, disc + "/Backup/#YY_#MM");
    ASSERT_TRUE(Run());

    const QString staged = m_dir.File("data/cd-burn/Backup/" + ThisMonthFolder() + "/");
    EXPECT_EQ(ReadAll(staged + "Docs/a.txt"), "alpha");
    EXPECT_TRUE(QFileInfo::exists(staged + "Docs.TSK"));
    EXPECT_FALSE(QFileInfo::exists(disc + "/Backup"));
    // The history names the disc, not the staging folder.
    EXPECT_EQ(m_tasks.TaskAt(0)->history[0].folder, disc + "/Backup/" + ThisMonthFolder() + "/");
    // The burning program was started (detached) on the staging folder; wait for its whole
    // mark (the shell creates the file before it writes the line).
    for (int i = 0; i < 500 && !ReadAll(m_dir.File("burned")).endsWith('\n'); ++i) {
        QThread::msleep(10);
    }
    EXPECT_TRUE(ReadAll(m_dir.File("burned")).startsWith("--data"))
        << ReadAll(m_dir.File("burned")).constData();
}

// Regression: a name that is not UTF-8 was skipped and the run still succeeded.
class RawNameRun : public BackupRunTest, public ::testing::WithParamInterface<qint32> {};

TEST_P(RawNameRun, KeepsEveryNameByteForByte) {
    const QByteArray raw = FileNameToBytes(m_dir.File("raw/"));
    const QList<QByteArray> names = {"caf\xE9.txt", "d\xFFir/in.txt", "caf\xC3\xA9.txt"};
    ASSERT_TRUE(QDir().mkpath(m_dir.File("raw")) && !::mkdir((raw + "d\xFFir").constData(), 0700));
    for (const QByteArray& name : names) {
        std::ofstream((raw + name).constData()) << name.constData();
    }
    TaskRecord* task = NewTask(GetParam(), m_dir.File("dst"));
    task->archiveName = "raw.zip";
    task->items = {MakePathItem(m_dir.File("raw/"), kItemFolder, "Raw")};
    ASSERT_TRUE(Run());
    // Per entry: bit 11 and the hex of the stored name.
    const QByteArray zip =
        test::RunPython(
            "import sys,zipfile\nfor i in zipfile.ZipFile(sys.argv[1]).infolist(): "
            "u=i.flag_bits>>11&1; print(u, i.filename.encode('utf-8' if u else 'cp437').hex())",
            {m_dir.File("dst/raw.zip")})
            .output.toUtf8();
    for (const QByteArray& name : names) {
        std::ifstream copy((FileNameToBytes(m_dir.File("dst/Raw/")) + name).constData());
        const bool utf8 = !FileNameIsRaw(FileNameFromBytes(name));
        EXPECT_TRUE(GetParam() == kMethodZip
                        ? zip.contains((utf8 ? "1 " : "0 ") + ("Raw/" + name).toHex())
                        : std::string(std::istreambuf_iterator<char>(copy), {}) == name.data())
            << zip.constData();
    }
}

INSTANTIATE_TEST_SUITE_P(Methods, RawNameRun, ::testing::Values(kMethodCopy, kMethodZip));

// Regression: "  File %s was created" came before the write that failed, which did not
// say why. A real tmpfs of 256 KiB is the full disk.
TEST_F(BackupRunTest, FullDestinationFailsWithTheReasonAndKeepsTheEarlierArchive) {
    const QString full = m_dir.File("full/");
    if (!QDir().mkpath(full) ||
        ::mount("tmpfs", FileNameToBytes(full).constData(), "tmpfs", 0, "size=256k") != 0) {
        GTEST_SKIP() << "cannot mount a tmpfs here";
    }
    NewTask(kMethodZip, full)->archiveName = "docs.zip";
    m_dir.Write("full/docs.zip", "earlier");
    m_dir.Write("src/Docs/big.bin", test::RandomBytes(400 * 1024, 7));
    EXPECT_FALSE(Run());
    EXPECT_EQ(QDir(full).entryList(QDir::Files | QDir::Hidden), QStringList{"docs.zip"});
    EXPECT_EQ(ReadAll(full + "docs.zip"), "earlier");
    ::umount(FileNameToBytes(full).constData());
    const QString log = m_log.Texts().join('\n');
    EXPECT_TRUE(
        log.contains("  Error: cannot write file " + full + "docs.zip: No space left on device") &&
        !log.contains("was created"))
        << log.toStdString();
}

// A home folder: dot-entries, links of every sort, a FIFO, a cache folder and files
// whose modes matter. Regression: dot-entries vanished, links were followed or lost.
struct HomeCase {
    const char* name;
    qint32 method;
    QStringList extract;  // program and arguments; %z the archive, %o the folder to fill
};

class HomeBackup : public BackupRunTest, public ::testing::WithParamInterface<HomeCase> {};

TEST_P(HomeBackup, ComesBackEqualModesIncluded) {
    const QString home = test::MakeHomeTree(m_dir, "home");
    ASSERT_FALSE(home.isEmpty());
    if (!GetParam().extract.isEmpty() &&
        QStandardPaths::findExecutable(GetParam().extract[0]).isEmpty()) {
        FAIL() << GetParam().extract[0].toStdString() << " is missing: run scripts/install-deps.sh";
    }

    TaskRecord* task = m_tasks.NewTask("Home", kTaskBackup);
    task->backupMode = GetParam().method;
    task->destination.path = m_dir.File("dst");
    task->archiveName = "home.zip";
    task->items.push_back(MakePathItem(home + "/", kItemFolder, "Home"));
    ASSERT_TRUE(Run());
    QString copy = m_dir.File("dst/Home");
    if (!GetParam().extract.isEmpty()) {
        ASSERT_TRUE(QDir().mkpath(m_dir.File("out")));
        QStringList arguments = GetParam().extract.mid(1);
        arguments.replaceInStrings("%z", m_dir.File("dst/home.zip"));
        arguments.replaceInStrings("%o", m_dir.File("out"));
        ASSERT_EQ(test::RunTool(GetParam().extract[0], arguments).exitCode, 0);
        copy = m_dir.File("out/Home");
    }
    EXPECT_EQ(test::HomeDifferences(home, copy), "");
    EXPECT_FALSE(QFileInfo::exists(copy + "/.cache/blob.bin"));
    EXPECT_TRUE(m_log.Texts().contains("  Warning: '" + home +
                                       "/pipe' is not a regular file, folder or link, skipped"));
}

INSTANTIATE_TEST_SUITE_P(
    Methods, HomeBackup,
    ::testing::Values(HomeCase{"Copy", kMethodCopy, {}},
                      HomeCase{"ZipUnzip", kMethodZip, {"unzip", "-q", "%z", "-d", "%o"}},
                      HomeCase{"ZipBsdtar", kMethodZip, {"bsdtar", "-x", "-f", "%z", "-C", "%o"}},
                      HomeCase{"Zip7z", kMethodZip, {"7z", "x", "-o%o", "%z"}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace corvane
