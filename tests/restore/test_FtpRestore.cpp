// Compare and restore from a real FTP server (pyftpdlib on 127.0.0.1, login folder not
// "/"), after a real backup run to it: both methods, the passive-only server, the
// server that lists through LIST only and the FTPS server with a pinned self-signed
// certificate.

#include <QDate>
#include <set>

#include "engine/BackupRun.h"
#include "engine/DatesFile.h"
#include "restore/RestoreList.h"
#include "restore/RestoreStatus.h"
#include "restore/RestoreTesting.h"
#include "support/FtpServerTest.h"
#include "support/TlsTestCertificate.h"

namespace corvane {
namespace {

using namespace test;

// Even seconds: ZIP entries keep no odd ones, and both methods must give them back.
constexpr qint64 kStamp = 1600000000;

const QStringList kLiveFiles = kDocsFiles + QStringList{"Docs/a name with blanks.txt"};

// A live tree backed up to the server by a real run, into a folder per year.
class FtpRestoreTest : public FtpServerTest {
  protected:
    explicit FtpRestoreTest(FtpTestServer::Options options = {})
        : FtpServerTest(std::move(options)) {}

    void BackUp(qint32 method) {
        WriteDocsTree(m_dir, kStamp, 100000);
        SetMtime(m_dir.Write("live/Docs/a name with blanks.txt", "blanks"), kStamp);
        m_task = m_tasks.NewTask("Docs", kTaskBackup);
        m_task->backupMode = method;
        m_task->destination = m_server.Destination("ftp://127.0.0.1/store/#YY");
        m_task->archiveName = "docs.zip";
        m_task->archivePassword = method == kMethodZip ? "zip secret" : "";
        m_task->items = DocsItems(m_dir);
        ASSERT_TRUE(RunBackup(m_tasks, 0, StopSignal())) << m_log.Texts().join('\n').toStdString();
    }

    QString Live(const QString& name) const { return m_dir.File("live/" + name); }
    // Where the backup went, as the history and the restore keys name it.
    QString Place() const {
        return m_server.Scheme() + "127.0.0.1/store/" +
               QString::number(QDate::currentDate().year()) + "/";
    }
    QString Stored(const QString& name) const { return Remote(Place().section('/', 3) + name); }

    std::vector<RestoreItem> Compare() {
        TaskDestination destination = m_task->destination;
        QString archiveName = m_task->archiveName;
        EXPECT_TRUE(UseHistoryEntry(*m_task, 0, destination, archiveName));
        std::vector<RestoreItem> list;
        for (const SourceItem& item : m_task->items) {
            // What the builder answers is the restore's business; the list counts here.
            (void)BuildRestoreList(list, item, destination, m_task->backupMode, archiveName);
        }
        return list;
    }

    bool Restore() {
        m_first = m_log.Texts().size();
        const bool ok = RunRestore(m_tasks, 0, m_questions, StopSignal());
        ExpectNoPasswordInLog();
        ExpectNoTemporaries();
        return ok;
    }

    // The lines the last restore logged.
    QStringList RestoreLines() const { return m_log.Texts().mid(m_first); }

    TaskList m_tasks;
    TaskRecord* m_task = nullptr;
    ScriptedQuestions m_questions;
    qsizetype m_first = 0;
};

using RoundTrip = std::tuple<qint32, FtpTestServer::Options>;

class FtpRoundTripTest : public FtpRestoreTest, public ::testing::WithParamInterface<RoundTrip> {
  protected:
    FtpRoundTripTest() : FtpRestoreTest(std::get<1>(GetParam())) {}
};

TEST_P(FtpRoundTripTest, CompareSeesTheChangesAndRestoreBringsBackEveryByteAndTime) {
    BackUp(std::get<0>(GetParam()));
    for (const RestoreItem& item : Compare()) {
        EXPECT_EQ(StatusOf(item), RestoreStatus::kIdentical) << item.archiveName.toStdString();
    }
    m_dir.Write("live/Docs/a.txt", "ALPHA, changed");
    SetMtime(Live("Docs/a.txt"), kStamp + 100);
    for (const char* gone : {"Docs/sub/b.txt", "Docs/empty.txt", "single.cfg", "Docs/nothing"}) {
        ASSERT_TRUE(QFileInfo(Live(gone)).isDir() ? QDir(Live(gone)).removeRecursively()
                                                  : QFile::remove(Live(gone)));
    }

    ASSERT_TRUE(Restore()) << m_log.Texts().join('\n').toStdString();
    std::multiset<RestoreStatus> statuses;
    for (const RestoreItem& item : m_questions.seen) {
        statuses.insert(StatusOf(item));
    }
    EXPECT_EQ(statuses, (std::multiset{RestoreStatus::kNewer, RestoreStatus::kIdentical,
                                       RestoreStatus::kIdentical, RestoreStatus::kDeleted,
                                       RestoreStatus::kDeleted, RestoreStatus::kDeleted}));
    EXPECT_EQ(ReadAll(Live("Docs/a.txt")), "alpha");
    EXPECT_EQ(ReadAll(Live("Docs/sub/c.txt")), QByteArray(100000, 'c'));
    EXPECT_EQ(ReadAll(Live("Docs/a name with blanks.txt")), "blanks");
    EXPECT_TRUE(QFileInfo(Live("Docs/nothing")).isDir());
    for (const QString& name : kLiveFiles) {
        EXPECT_EQ(QFileInfo(Live(name)).lastModified().toSecsSinceEpoch(), kStamp)
            << name.toStdString();
    }
    EXPECT_FALSE(QFileInfo::exists(Live("Docs/file.dates")));  // no file of the user's
    // One connection serves every item.
    EXPECT_EQ(RestoreLines().filter("  Connect to " + Place() + " via FTP...").size(), 1);
    EXPECT_EQ(RestoreLines().last(), "  Disconnect");
}

std::string RoundTripName(const testing::TestParamInfo<RoundTrip>& info) {
    const FtpTestServer::Options& server = std::get<1>(info.param);
    return std::string(std::get<0>(info.param) == kMethodZip ? "Zip" : "Copy") +
           (server.passiveOnly                 ? "PassiveOnly"
            : server.listOnly                  ? "ListOnly"
            : !server.tlsCertificate.isEmpty() ? "Tls"
                                               : "Plain");
}

INSTANTIATE_TEST_SUITE_P(
    MethodsAndServers, FtpRoundTripTest,
    testing::Combine(
        testing::Values(kMethodCopy, kMethodZip),
        testing::Values(FtpTestServer::Options{}, FtpTestServer::Options{true, {}, false},
                        FtpTestServer::Options{false, {}, true},
                        FtpTestServer::Options{false, {}, false, TlsTestCertificate()})),
    RoundTripName);

TEST_F(FtpRestoreTest, UncheckedFileIsSkippedByItsKey) {
    BackUp(kMethodCopy);
    m_dir.Write("live/Docs/a.txt", "mine now");
    ASSERT_TRUE(QFile::remove(Live("Docs/sub/b.txt")));
    m_questions.edit = [this](std::vector<RestoreItem>& items) {
        for (RestoreItem& item : items) {
            item.checked = item.archiveName != Place() + ":Docs/a.txt";
        }
    };
    ASSERT_TRUE(Restore());
    EXPECT_TRUE(RestoreLines().contains("  File Docs/a.txt was skipped"));
    EXPECT_EQ(ReadAll(Live("Docs/a.txt")), "mine now");
    EXPECT_EQ(ReadAll(Live("Docs/sub/b.txt")), "beta");
}

TEST_F(FtpRestoreTest, MissingOrHostileDatesFileRestoresNothingOutsideTheTarget) {
    BackUp(kMethodCopy);
    ASSERT_TRUE(QFile::remove(Stored("Docs/file.dates")));
    const std::vector<RestoreItem> list = Compare();
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].archiveName, Place() + ":single.cfg");
    EXPECT_EQ(m_log.CountEndingWith(
                  "  Warning: cannot download file dates info file Docs/file.dates from FTP."),
              1);

    std::vector<DatesRecord> records;
    DatesRecord record;
    record.writeTime = UnixToFileTime(kStamp, 0);
    record.size = 5;
    for (const char* name :
         {"Docs/a.txt", "Docs/../../../outside.txt", "/etc/passwd", "Docs/sub/../../../x"}) {
        record.name = name;
        records.push_back(record);
    }
    ASSERT_TRUE(WriteDatesFile(Stored("Docs/file.dates"), records));
    EXPECT_EQ(Compare().size(), 2u);
    for (size_t i = 1; i < records.size(); ++i) {
        EXPECT_EQ(m_log.CountEndingWith("  Error: unsafe path '" + records[i].name + "' skipped"),
                  1);
    }
}

TEST_F(FtpRestoreTest, WrongArchivePasswordOrMissingArchiveRestoresNothing) {
    BackUp(kMethodZip);
    ASSERT_TRUE(QFile::remove(Live("Docs/a.txt")));
    m_task->archivePassword = "wrong";
    EXPECT_FALSE(Restore());
    EXPECT_GE(m_log.CountEndingWith("  Error: cannot extract file, maybe archive is encrypted"), 1);
    EXPECT_FALSE(QFileInfo::exists(Live("Docs/a.txt")));

    ASSERT_TRUE(QFile::remove(Stored("docs.zip")));
    EXPECT_FALSE(Restore());
    EXPECT_EQ(RestoreLines().filter("  FTP transfer error: 550 ").size(), 2);
    EXPECT_EQ(m_log.CountEndingWith("  Error: nothing to restore"), 1);
    EXPECT_EQ(RestoreLines().last(), "  Disconnect");
}

}  // namespace
}  // namespace corvane
