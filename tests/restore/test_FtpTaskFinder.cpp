// Finding task parameter files on a real FTP server and building restore tasks from
// them, down to a restore of a backup whose task list was lost.

#include <QFile>

#include "engine/BackupRun.h"
#include "engine/TaskParameterFile.h"
#include "restore/FtpTaskFinder.h"
#include "restore/RestoreTesting.h"
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

TEST_F(FtpTaskFinderTest, ListsTheNamedTaskFilesOfTheFolderOnlyAndRefusesAHostileOne) {
    PutTaskFile("found/Docs.TSK", FtpTask("Docs"));
    PutTaskFile("found/C.Tsk", FtpTask("Other"));
    TaskRecord hostile = FtpTask("Evil");
    hostile.items[0] = MakePathItem("/home/ann/../../etc/", kItemFolder, "Docs");
    PutTaskFile("found/Evil.TSK", hostile);
    PutTaskFile("found/nameless.tsk", FtpTask(QString()));
    PutTaskFile("found/sub/Deep.tsk", FtpTask("Deep"));  // sub-folders are not searched
    QDir().mkpath(Remote("found/folder.tsk"));
    QFile::copy(Remote("found/Docs.TSK"), Remote("found/Docs.TSK.bak"));
    QFile::copy(Remote("found/Docs.TSK"), Remote("found/notes.txt"));

    std::vector<FoundTask> found;
    ASSERT_TRUE(FindFtpStoredTasks(Url("found"), found)) << m_log.Texts().join('\n').toStdString();
    ASSERT_EQ(found.size(), 3u);
    // Ordered by file name: C.Tsk before Docs.TSK.
    EXPECT_EQ(found[0].name, "Other");
    EXPECT_EQ(found[1].name, "Docs");
    EXPECT_EQ(found[1].path, Url("found/Docs.TSK"));
    EXPECT_EQ(found[1].folder, Url("found"));
    const QString shown = QString("ftp://corvane@127.0.0.1:%1/found").arg(m_server.Port());
    EXPECT_EQ(found[1].listLine, "Task \"Docs\" in " + shown);
    // Listing a hostile file is harmless; building a restore task from it is refused.
    TaskRecord task;
    EXPECT_FALSE(ReadRestoreTask(task, found[2].path));
    EXPECT_EQ(m_log.CountEndingWith("  Error: unsafe path '/home/ann/../../etc/' in task file " +
                                    shown + "/Evil.TSK"),
              1);

    // A folder without task files, and one that does not exist, find nothing.
    ASSERT_TRUE(FindFtpStoredTasks(Url("found/folder.tsk"), found));
    EXPECT_TRUE(found.empty());
    ASSERT_TRUE(FindFtpStoredTasks(Url("missing"), found));
    EXPECT_TRUE(found.empty());
    ExpectNoTemporaries();
    ExpectNoPasswordInLog();
}

TEST_F(FtpTaskFinderTest, UnreachableOrUnreadableTaskDataIsRefusedWithoutLeftovers) {
    std::vector<FoundTask> found{FoundTask{}};
    EXPECT_FALSE(FindFtpStoredTasks(Url("found", "s3cret but wrong"), found));
    EXPECT_TRUE(found.empty());
    EXPECT_EQ(m_log.Texts().filter("  FTP connection error: ").size(), 1);
    EXPECT_FALSE(FindFtpStoredTasks(m_dir.Path(), found));

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
