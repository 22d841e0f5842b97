// A backup run to a real S3 server (s3rver on 127.0.0.1, signatures checked) and the
// restore from it, for both methods: everything goes through the remote session.

#include <QDate>

#include "engine/BackupRun.h"
#include "restore/FtpTaskFinder.h"
#include "restore/RestoreRun.h"
#include "restore/RestoreTesting.h"
#include "support/LogCapture.h"
#include "support/S3TestServer.h"
#include "support/ScopedEnv.h"

namespace corvane {
namespace {

using namespace test;

constexpr qint64 kStamp = 1600000000;  // even: ZIP keeps no odd seconds

class S3RoundTripTest : public ::testing::TestWithParam<qint32> {
  protected:
    TempDir m_dir;
    ScopedEnv m_home{"CORVANE_HOME", m_dir.File("data").toUtf8()};
    S3TestServer m_server;
    LogCapture m_log;
};

TEST_P(S3RoundTripTest, BackupThenRestoreBringsBackEveryByteAndTime) {
    QString why;
    ASSERT_TRUE(m_server.Start(&why)) << why.toStdString();
    WriteDocsTree(m_dir, kStamp, 6 * 1024 * 1024);
    const QStringList emptyFolders = {"live/Docs/nothing", "live/Docs/sub/hollow"};
    ASSERT_TRUE(QDir().mkpath(m_dir.File(emptyFolders.last())));
    TaskList tasks;
    TaskRecord* task = tasks.NewTask("Docs", kTaskBackup);
    task->backupMode = GetParam();
    task->destination = m_server.Destination("store/#YY");
    task->archiveName = "docs.zip";
    task->items = DocsItems(m_dir);
    ASSERT_TRUE(RunBackup(tasks, 0, StopSignal())) << m_log.Texts().join('\n').toStdString();
    const QString place = "s3://" + m_server.Bucket() + "/store/" +
                          QString::number(QDate::currentDate().year()) + "/";
    ASSERT_EQ(task->history.size(), 1u);
    EXPECT_EQ(task->history.front().folder, place);

    // Without its task the backup is found, and its restore task reaches the bucket, only
    // with the service the address cannot name.
    FtpAddress folder;
    folder.protocol = RemoteProtocol::kS3;
    folder.host = m_server.Bucket();
    folder.user = m_server.AccessKey();
    folder.password = m_server.Secret();
    folder.path = place.mid(place.indexOf("/store/"));
    std::vector<FoundTask> found;
    EXPECT_FALSE(FindFtpStoredTasks(FtpAddressText(folder), found));
    const RemoteAccess access{QString(), m_server.ServiceUrl(), QString()};
    ASSERT_TRUE(FindFtpStoredTasks(FtpAddressText(folder), found, access));
    ASSERT_EQ(found.size(), 1u);
    TaskRecord restore;
    ASSERT_TRUE(ReadRestoreTask(restore, found.front().path, access));
    EXPECT_EQ(restore.destination.serviceUrl, m_server.ServiceUrl());
    ASSERT_EQ(restore.history.size(), 1u);
    EXPECT_EQ(restore.history.front().folder, place);

    for (const QString& name : kDocsFiles) {
        ASSERT_TRUE(QFile::remove(m_dir.File("live/" + name))) << name.toStdString();
    }
    for (const QString& folder : emptyFolders) {
        ASSERT_TRUE(QDir().rmdir(m_dir.File(folder)));
    }
    ScriptedQuestions questions;
    ASSERT_TRUE(RunRestore(tasks, 0, questions, StopSignal()))
        << m_log.Texts().join('\n').toStdString();
    EXPECT_EQ(ReadAll(m_dir.File("live/Docs/a.txt")), "alpha");
    EXPECT_EQ(ReadAll(m_dir.File("live/Docs/sub/c.txt")), QByteArray(6 * 1024 * 1024, 'c'));
    for (const QString& name : kDocsFiles) {
        EXPECT_EQ(QFileInfo(m_dir.File("live/" + name)).lastModified().toSecsSinceEpoch(), kStamp)
            << name.toStdString();
    }
    for (const QString& folder : emptyFolders) {
        EXPECT_TRUE(QFileInfo(m_dir.File(folder)).isDir()) << folder.toStdString();
    }
    for (const QString& line : m_log.Texts()) {
        EXPECT_FALSE(line.contains(m_server.Secret())) << line.toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(Methods, S3RoundTripTest, testing::Values(kMethodCopy, kMethodZip),
                         [](const auto& info) {
                             return info.param == kMethodZip ? "Zip" : "Copy";
                         });

}  // namespace
}  // namespace corvane
