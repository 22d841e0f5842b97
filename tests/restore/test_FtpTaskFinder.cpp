// Finding task parameter files on a real FTP server and building restore tasks from
// them, down to a restore of a backup whose task list was lost.

#include <QFile>

#include "engine/BackupRun.h"
#include "engine/TaskParameterFile.h"
#include "restore/FtpTaskFinder.h"
#include "restore/RestoreRun.h"
#include "restore/ScriptedQuestions.h"
#include "restore/TaskFinder.h"
#include "support/FtpServerTest.h"
#include "transport/FtpAddress.h"

namespace corvane {
namespace {

using test::ReadAll;

class FtpTaskFinderTest : public test::FtpServerTest {
  protected:
    // "ftp://corvane:<password>@127.0.0.1:<port>/<path>", the password encoded.
    QString Url(const QString& path, const QString& password = QString()) const {
        return FtpAddressText({"127.0.0.1", m_server.Port(), m_server.User(),
                               password.isNull() ? m_server.Password() : password, "/" + path});
    }

    // A parameter file put on the server below the login folder.
    void PutTaskFile(const QString& name, const TaskRecord& task) const {
        const QString path = Remote(name);
        ASSERT_TRUE(QDir().mkpath(QFileInfo(path).path()));
        ASSERT_TRUE(SaveTaskParameterFile(task, path));
    }

    static TaskRecord FtpTask(const QString& name) {
        TaskRecord task;
        task.name = name;
        task.destination.type = kDestFtp;
        task.destination.path = "ftp://127.0.0.1/found";
        task.items.push_back(MakePathItem("/home/ann/Docs/", kItemFolder, "Docs"));
        return task;
    }
};

TEST_F(FtpTaskFinderTest, ListsTheNamedTaskFilesOfTheFolderOnly) {
    PutTaskFile("found/Docs.TSK", FtpTask("Docs"));
    PutTaskFile("found/C.Tsk", FtpTask("Other"));
    PutTaskFile("found/nameless.tsk", FtpTask(QString()));
    PutTaskFile("found/sub/Deep.tsk", FtpTask("Deep"));  // sub-folders are not searched
    QDir().mkpath(Remote("found/folder.tsk"));
    QFile::copy(Remote("found/Docs.TSK"), Remote("found/Docs.TSK.bak"));
    QFile::copy(Remote("found/Docs.TSK"), Remote("found/notes.txt"));

    std::vector<FoundTask> found;
    ASSERT_TRUE(FindFtpStoredTasks(Url("found"), found)) << m_log.Texts().join('\n').toStdString();
    ASSERT_EQ(found.size(), 2u);
    // Ordered by file name: C.Tsk before Docs.TSK.
    EXPECT_EQ(found[0].name, "Other");
    EXPECT_EQ(found[1].name, "Docs");
    EXPECT_EQ(found[1].path, Url("found/Docs.TSK"));
    EXPECT_EQ(found[1].folder, Url("found"));
    const QString shown = QString("ftp://corvane@127.0.0.1:%1/found").arg(m_server.Port());
    EXPECT_EQ(found[1].listLine, "Task \"Docs\" in " + shown);
    EXPECT_EQ(FtpAddressForDisplay(found[1].folder), shown);

    // A folder without task files, and one that does not exist, find nothing.
    ASSERT_TRUE(FindFtpStoredTasks(Url("found/folder.tsk"), found));
    EXPECT_TRUE(found.empty());
    ASSERT_TRUE(FindFtpStoredTasks(Url("missing"), found));
    EXPECT_TRUE(found.empty());
    ExpectNoTemporaries();
    ExpectNoPasswordInLog();
}

TEST_F(FtpTaskFinderTest, UnreachableServerAndNoAddressFindNothing) {
    std::vector<FoundTask> found{FoundTask{}};
    EXPECT_FALSE(FindFtpStoredTasks(Url("found", "s3cret but wrong"), found));
    EXPECT_TRUE(found.empty());
    EXPECT_EQ(m_log.Texts().filter("  FTP connection error: ").size(), 1);
    EXPECT_FALSE(FindFtpStoredTasks(m_dir.Path(), found));
    ExpectNoPasswordInLog();
    ExpectNoTemporaries();
}

TEST_F(FtpTaskFinderTest, ReadsATaskFileFromTheServerWithTheAddresssCredentials) {
    TaskRecord written = FtpTask("Docs");
    written.history.push_back({"ftp://127.0.0.1/found/", QString(), {}});
    PutTaskFile("found/Docs.TSK", written);

    TaskRecord task;
    ASSERT_TRUE(ReadTaskParameterFile(task, Url("found/Docs.TSK"), kTaskFileFtp));
    EXPECT_EQ(task.taskType, kTaskRestore);
    EXPECT_EQ(task.name, "Docs");
    ASSERT_EQ(task.items.size(), 1u);
    EXPECT_EQ(task.items[0].path, "/home/ann/Docs/");
    EXPECT_EQ(task.history.size(), 1u);
    EXPECT_EQ(task.destination.type, kDestFtp);
    EXPECT_EQ(task.destination.path, "ftp://127.0.0.1/found");
    // The file holds no credentials; the restore needs those it was read with.
    EXPECT_EQ(task.destination.userName, m_server.User());
    EXPECT_EQ(task.destination.password, m_server.Password());
    EXPECT_EQ(task.destination.ftpPort, m_server.Port());
    EXPECT_TRUE(m_log.Texts().isEmpty()) << m_log.Texts().join('\n').toStdString();
    ExpectNoTemporaries();
}

TEST_F(FtpTaskFinderTest, TaskDataThatCannotBeFetchedOrReadIsRefusedWithoutLeftovers) {
    ASSERT_TRUE(QDir().mkpath(Remote("found")));
    QFile junk(Remote("found/Junk.TSK"));
    ASSERT_TRUE(junk.open(QIODevice::WriteOnly) && junk.write("<not a task file") > 0);
    junk.close();

    const struct {
        const char* label;
        QString url;
        bool reported;  // "Cannot access task data": the file could not be fetched
    } cases[] = {
        {"missing file", Url("found/Missing.TSK"), true},
        {"wrong password", Url("found/Junk.TSK", "wrong"), true},
        {"no FTP address", m_dir.File("Docs.TSK"), true},
        {"no file named", Url(""), true},
        {"not a task file", Url("found/Junk.TSK"), false},
    };
    for (const auto& c : cases) {
        const int before = m_log.CountEndingWith("  Error: Cannot access task data");
        TaskRecord task;
        task.name = "Stale";
        task.items.push_back(MakePathItem("/stale/", kItemFolder, "stale"));
        EXPECT_FALSE(ReadTaskParameterFile(task, c.url, kTaskFileFtp)) << c.label;
        EXPECT_TRUE(task.items.empty()) << c.label;
        EXPECT_EQ(m_log.CountEndingWith("  Error: Cannot access task data") - before,
                  c.reported ? 1 : 0)
            << c.label;
        EXPECT_TRUE(task.name.isEmpty() || !c.reported) << c.label;
        ExpectNoTemporaries();
    }
    ExpectNoPasswordInLog();
}

TEST_F(FtpTaskFinderTest, HostileTaskFileIsRefusedAndTheLogHidesThePassword) {
    TaskRecord hostile = FtpTask("Evil");
    hostile.items[0] = MakePathItem("/home/ann/../../etc/", kItemFolder, "Docs");
    PutTaskFile("found/Evil.TSK", hostile);

    TaskRecord task;
    EXPECT_FALSE(ReadRestoreTask(task, Url("found/Evil.TSK")));
    EXPECT_EQ(
        m_log.CountEndingWith(QString("  Error: unsafe path '/home/ann/../../etc/' in task file "
                                      "ftp://corvane@127.0.0.1:%1/found/Evil.TSK")
                                  .arg(m_server.Port())),
        1)
        << m_log.Texts().join('\n').toStdString();
    ExpectNoPasswordInLog();
}

// Lose the task list after an FTP backup: find the task on the server, build the
// restore task from its file and restore into another folder.
TEST_F(FtpTaskFinderTest, BackupFoundOnTheServerIsRestoredWithoutItsTask) {
    m_dir.Write("live/Docs/a.txt", "alpha");
    m_dir.Write("live/Docs/sub/b.txt", "beta");
    {
        TaskList tasks;
        TaskRecord* task = tasks.NewTask("Docs", kTaskBackup);
        task->destination = m_server.Destination("127.0.0.1/kept");
        task->items.push_back(MakePathItem(m_dir.File("live/Docs/"), kItemFolder, "Docs"));
        ASSERT_TRUE(RunBackup(tasks, 0, StopSignal()));
    }

    std::vector<FoundTask> found;
    ASSERT_TRUE(FindFtpStoredTasks(Url("kept"), found));
    ASSERT_EQ(found.size(), 1u);
    TaskList tasks;
    TaskRecord* restore = tasks.NewTask(QString(), kTaskRestore);
    ASSERT_TRUE(ReadRestoreTask(*restore, found[0].path));
    ASSERT_TRUE(RedirectAllItems(*restore, m_dir.File("elsewhere")));

    test::ScriptedQuestions questions;
    ASSERT_TRUE(RunRestore(tasks, 0, questions, StopSignal()))
        << m_log.Texts().join('\n').toStdString();
    EXPECT_EQ(ReadAll(m_dir.File("elsewhere/a.txt")), "alpha");
    EXPECT_EQ(ReadAll(m_dir.File("elsewhere/sub/b.txt")), "beta");
    ExpectNoPasswordInLog();
    ExpectNoTemporaries();
}

}  // namespace
}  // namespace corvane
