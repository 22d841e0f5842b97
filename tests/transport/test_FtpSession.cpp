// The FTP session against a real FTP server on 127.0.0.1 whose login folder is
// "/home/corvane", not "/".

#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <fstream>
#include <functional>

#include "model/FileName.h"
#include "support/FtpServerTest.h"
#include "support/Tools.h"
#include "transport/FtpSession.h"

namespace corvane {
namespace {

using test::FtpTestServer;
using test::RandomBytes;
using test::ReadAll;

// The content of a file by the exact bytes of its name.
QByteArray ReadBytes(const QString& path) {
    std::ifstream file(FileNameToBytes(path).constData(), std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(file)), {});
    return QByteArray::fromStdString(bytes);
}

class FtpSessionTest : public test::FtpServerTest {
  protected:
    explicit FtpSessionTest(FtpTestServer::Options options = {})
        : FtpServerTest(std::move(options)) {}

    FtpSession& Connected(const QString& folder = QString(), FtpMode mode = FtpMode::kActive) {
        EXPECT_TRUE(m_session.Connect(Endpoint(folder, mode)));
        return m_session;
    }

    // The log lines from line `first` on.
    QStringList LinesFrom(qsizetype first) const { return m_log.Texts().mid(first); }

    FtpSession m_session{&FileNameToBytes, &FileNameFromBytes};
};

TEST_F(FtpSessionTest, ConnectFailuresAreLoggedOnceWithTheReasonAndNoPassword) {
    int deadPort = 0;
    {
        FtpTestServer gone;
        ASSERT_TRUE(gone.Start(nullptr));
        deadPort = gone.Port();
    }
    auto at = [](const char* host, int port, const char* password) {
        FtpEndpoint endpoint;
        endpoint.host = host;
        endpoint.port = port;
        endpoint.user = "corvane";
        endpoint.password = password;
        endpoint.folder = "a";
        return endpoint;
    };
    const std::pair<FtpEndpoint, QString> cases[] = {
        {at("127.0.0.1", m_server.Port(), "s3cret but wrong"), "  FTP connection error: 530"},
        {at("127.0.0.1", deadPort, "s3cret"), "  FTP connection error: "},
        {at("bad host?", 21, "s3cret"), "  FTP connection error: bad host name"},
    };
    const QString source = m_dir.Write("f", "x");
    const QString kept = m_dir.Write("kept", "old");
    for (const auto& [endpoint, line] : cases) {
        const qsizetype first = m_log.Texts().size();
        FtpSession session(&FileNameToBytes);
        EXPECT_FALSE(session.Connect(endpoint));
        const QStringList lines = LinesFrom(first);
        ASSERT_EQ(lines.size(), 1) << endpoint.host.toStdString();
        EXPECT_TRUE(lines.first().startsWith(line)) << lines.first().toStdString();
        ExpectNoPasswordInLog();
        // A session that never connected does nothing.
        EXPECT_FALSE(session.IsConnected());
        EXPECT_FALSE(session.Upload(source, "f"));
        EXPECT_FALSE(session.Download("f", kept));
        QStringList names;
        session.ListTree(QString(), names, true);
        EXPECT_TRUE(names.isEmpty());
    }
    EXPECT_EQ(ReadAll(kept), "old");
}

TEST_F(FtpSessionTest, NamesLandBelowTheLoginFolderAndTheSessionFolder) {
    const std::pair<QString, QString> cases[] = {
        {"a/b", "/home/corvane/a/b/x/y.zip"},
        {"a/b/", "/home/corvane/a/b/x/y.zip"},
        {"", "/home/corvane/x/y.zip"},
    };
    for (const auto& [folder, remote] : cases) {
        FtpSession& session = Connected(folder);
        EXPECT_EQ(session.LoginFolder(), "/home/corvane");
        EXPECT_EQ(session.Folder(), folder);
        EXPECT_EQ(session.RemotePath("x\\y.zip"), remote);
    }
    // With no session folder a file goes to the login folder, not the server's root.
    const QByteArray bytes = RandomBytes(5000);
    ASSERT_TRUE(m_session.Upload(m_dir.Write("x.zip", bytes), "x.zip"));
    EXPECT_EQ(ReadAll(Remote("x.zip")), bytes);
    EXPECT_FALSE(QFileInfo::exists(m_server.Root() + "/x.zip"));
    ASSERT_TRUE(m_session.Download("x.zip", m_dir.File("back.zip")));
    EXPECT_EQ(ReadAll(m_dir.File("back.zip")), bytes);
}

TEST_F(FtpSessionTest, UploadAndDownloadKeepEveryByteOfEveryName) {
    QDir().mkpath(Remote("up"));
    FtpSession& session = Connected("up");
    const std::pair<QString, QByteArray> cases[] = {
        {"big.bin", RandomBytes(3 * 1024 * 1024 + 17)},
        {QString::fromUtf8("Bericht März #1 100% done.zip"), RandomBytes(70000, 2)},
        {FileNameFromBytes("caf\xE9 \xFF.txt"), "not UTF-8"},
        {"crlf.txt", QByteArray("line\r\nline\nline\r\n\x1a\0end", 20)},
        {"empty", QByteArray()},
    };
    for (const auto& [name, bytes] : cases) {
        SCOPED_TRACE(FileNameForDisplay(name).toStdString());
        // Through a plain name: QFile cannot reach a name that is not UTF-8.
        const QString source = m_dir.File("source-" + name);
        ASSERT_EQ(::rename(FileNameToBytes(m_dir.Write("seed", bytes)).constData(),
                           FileNameToBytes(source).constData()),
                  0);
        ASSERT_TRUE(session.Upload(source, name));
        const QString stored = Remote("up/" + name);
        const QString copy = m_dir.File("copy-" + name);
        ASSERT_TRUE(session.Download(name, copy));
        EXPECT_EQ(ReadBytes(stored), bytes);
        EXPECT_EQ(ReadBytes(copy), bytes);
        if (FileNameIsRaw(name)) {  // QTemporaryDir cannot remove such a name
            for (const QString& path : {source, stored, copy}) {
                ::unlink(FileNameToBytes(path).constData());
            }
        }
    }
    // Only the other sources and copies: no temporaries left behind.
    EXPECT_EQ(QDir(m_dir.Path()).entryList(QDir::Files | QDir::Hidden).size(), 8);
    EXPECT_TRUE(m_log.Texts().isEmpty());
}

TEST_F(FtpSessionTest, FailedTransfersChangeNothingAndLogTheServersReply) {
    QDir().mkpath(Remote("s"));
    QFile::copy(m_dir.Write("seed", "remote"), Remote("s/remote.txt"));
    FtpSession& session = Connected("s");
    QDir().mkpath(m_dir.File("a-folder"));
    const QString kept = m_dir.Write("kept.txt", "old content");
    const QString source = m_dir.Write("up.txt", "data");
    const std::pair<std::function<bool()>, QString> cases[] = {
        {[&] { return session.Download("missing.txt", kept); }, "  FTP transfer error: 550 "},
        {[&] { return session.Download("remote.txt", m_dir.File("none/x")); },
         "  FTP transfer error: cannot create the local file: No such file or directory"},
        {[&] { return session.Upload(source, "no/such/folder/up.txt"); },
         "  FTP transfer error: 550 "},
        {[&] { return session.Upload(m_dir.File("absent"), "absent"); },
         "  FTP transfer error: cannot open the local file: No such file or directory"},
        {[&] { return session.Upload(m_dir.File("a-folder"), "folder"); },
         "  FTP transfer error: the local file is no regular file"},
    };
    for (const auto& [transfer, reason] : cases) {
        const qsizetype first = m_log.Texts().size();
        EXPECT_FALSE(transfer());
        const QStringList lines = LinesFrom(first);
        ASSERT_EQ(lines.size(), 1) << reason.toStdString();
        EXPECT_TRUE(lines.first().startsWith(reason)) << lines.first().toStdString();
    }
    // The old local file and the folder are as they were; the session still works.
    EXPECT_EQ(ReadAll(kept), "old content");
    EXPECT_EQ(QDir(m_dir.Path()).entryList(QDir::Files | QDir::Hidden).size(), 3);
    EXPECT_TRUE(session.Download("remote.txt", kept));
    EXPECT_EQ(ReadAll(kept), "remote");
    EXPECT_TRUE(session.Upload(source, "up.txt"));
    EXPECT_EQ(ReadAll(Remote("s/up.txt")), "data");
}

class FtpReadOnlyTest : public FtpSessionTest {
  protected:
    FtpReadOnlyTest() : FtpSessionTest({false, {"ro"}, false}) {}
};

TEST_F(FtpReadOnlyTest, FoldersAreMadeLevelByLevelAndEachRefusalWarns) {
    QDir().mkpath(Remote("a"));
    FtpSession& session = Connected();
    session.CreateFolders("a/b\\c");
    EXPECT_EQ(m_log.Texts(), QStringList({"  Warning: cannot create folder a"}));
    EXPECT_TRUE(QFileInfo(Remote("a/b/c")).isDir());
    session.CreateFolders("ro/x/y");
    EXPECT_EQ(LinesFrom(1), QStringList({"  Warning: cannot create folder ro",
                                         "  Warning: cannot create folder ro/x",
                                         "  Warning: cannot create folder ro/x/y"}));
    // A locked folder refuses uploads with the server's reply.
    EXPECT_FALSE(session.Upload(m_dir.Write("f", "x"), "ro/f"));
    EXPECT_EQ(m_log.Texts().filter("  FTP transfer error: 550 ").size(), 1);
    EXPECT_FALSE(QFileInfo::exists(Remote("ro/f")));

    // A folder tree is made quietly, also a second time.
    const qsizetype first = m_log.Texts().size();
    const QStringList folders = {"x", "x/y", "x/y/z", "w"};
    QDir().mkpath(Remote("dest"));
    for (int run = 0; run < 2; ++run) {
        Connected("ignored").CreateFolderTree(folders, "dest/");
    }
    for (const QString& folder : folders) {
        EXPECT_TRUE(QFileInfo(Remote("dest/" + folder)).isDir()) << folder.toStdString();
    }
    EXPECT_TRUE(LinesFrom(first).isEmpty());
}

class FtpListingServerTest : public FtpSessionTest, public ::testing::WithParamInterface<bool> {
  protected:
    FtpListingServerTest() : FtpSessionTest({false, {}, GetParam()}) {}
};

QStringList Sorted(QStringList list) {
    list.sort();
    return list;
}

TEST_P(FtpListingServerTest, ListTreeNamesRelativeToTheSessionFolderAndSkipsHostileNames) {
    const QString s = Remote("s");
    const QString seed = m_dir.Write("seed", "x");
    QDir().mkpath(s + "/d/e/deeper");
    QDir().mkpath(s + "/d/with blank");
    QFile::copy(seed, s + "/d/e/f.txt");
    QFile::copy(seed, s + "/d/g.txt");
    QFile::copy(seed, s + "/d/" + QString::fromUtf8("naïve  two blanks.txt"));
    QFile::copy(seed, s + "/top.txt");
    ASSERT_TRUE(QFile::link(s + "/top.txt", s + "/d/link.txt"));
    const QString raw = FileNameFromBytes("caf\xE9.txt");  // Latin-1, not UTF-8
    const QByteArray rawPath = FileNameToBytes(s + "/d/" + raw);
    ASSERT_TRUE(std::ofstream(rawPath.constData()) << "x");
    FtpSession& session = Connected("s");

    QStringList flat;
    session.ListTree("d", flat, false);
    EXPECT_EQ(Sorted(flat), Sorted({"d/e/", "d/g.txt", "d/link.txt", "d/with blank/", "d/" + raw,
                                    QString::fromUtf8("d/naïve  two blanks.txt")}));
    QStringList deep;
    session.ListTree("d", deep, true);
    EXPECT_EQ(Sorted(deep), Sorted(flat + QStringList({"d/e/f.txt", "d/e/deeper/"})));
    EXPECT_EQ(deep.mid(0, flat.size()), flat);  // a folder's entries before its sub-folders'
    QStringList top;
    session.ListTree(QString(), top, true);
    QStringList expectedTop = {"/top.txt", "/d/"};
    for (const QString& name : deep) {
        expectedTop << "/" + name;  // (a regular expression would refuse the raw name)
    }
    EXPECT_EQ(Sorted(top), Sorted(expectedTop));
    QStringList missing;
    session.ListTree("nothing-here", missing, true);
    EXPECT_TRUE(missing.isEmpty());
    EXPECT_TRUE(m_log.Texts().isEmpty()) << m_log.Texts().join("\n").toStdString();

    // A name that would read as a path elsewhere is skipped with a warning.
    QFile::copy(seed, s + "/d/e/..\\..\\evil");
    QStringList guarded;
    session.ListTree("d/e", guarded, false);
    EXPECT_EQ(Sorted(guarded), Sorted({"d/e/f.txt", "d/e/deeper/"}));
    EXPECT_EQ(m_log.Texts().size(), 1);
    ::unlink(rawPath.constData());  // QTemporaryDir cannot remove a name that is not UTF-8
}

// 0: the server answers MLSD, 1: LIST only.
INSTANTIATE_TEST_SUITE_P(MlsdAndList, FtpListingServerTest, ::testing::Bool());

// Many transfers of one run, in active mode and against a server that refuses it: all
// work, over one control connection, and the switch to passive is logged once.
class FtpModeTest : public FtpSessionTest, public ::testing::WithParamInterface<bool> {
  protected:
    FtpModeTest() : FtpSessionTest({GetParam(), {}, false}) {}
};

TEST_P(FtpModeTest, ManyTransfersOverOneConnection) {
    const bool passiveOnly = GetParam();
    FtpSession& session = Connected("run");
    session.CreateFolders("");
    session.CreateFolders("sub");
    for (int i = 0; i < 5; ++i) {
        const QByteArray bytes = RandomBytes(1000 + i);
        const QString name = QString("sub/file%1.bin").arg(i);
        ASSERT_TRUE(session.Upload(m_dir.Write(name, bytes), name));
        ASSERT_TRUE(session.Download(name, m_dir.File(name + ".back")));
        EXPECT_EQ(ReadAll(m_dir.File(name + ".back")), bytes);
    }
    session.CreateFolders("sub");  // exists: a refused MKD on the same connection
    QStringList names;
    session.ListTree(QString(), names, true);
    EXPECT_EQ(names.size(), 6);
    EXPECT_FALSE(session.Download("absent", m_dir.File("absent")));
    EXPECT_TRUE(session.Upload(m_dir.File("sub/file0.bin"), "again.bin"));
    EXPECT_EQ(m_log.CountEndingWith(
                  "  Warning: the FTP server refused active mode, passive mode is used"),
              passiveOnly ? 1 : 0);
    EXPECT_EQ(session.Mode(), passiveOnly ? FtpMode::kPassive : FtpMode::kActive);
    EXPECT_EQ(m_server.ConnectionCount(), 1);
    // A new connect asks for active mode again.
    Connected("run");
    EXPECT_EQ(session.Mode(), FtpMode::kActive);
    EXPECT_EQ(m_server.ConnectionCount(), 2);
}

INSTANTIATE_TEST_SUITE_P(ActiveAndPassiveOnly, FtpModeTest, ::testing::Values(false, true));

}  // namespace
}  // namespace corvane
