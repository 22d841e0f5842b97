// The S3 session against a real S3 server on 127.0.0.1 (s3rver, every request's V4
// signature checked).

#include <gtest/gtest.h>

#include "model/FileName.h"
#include "support/LogCapture.h"
#include "support/S3TestServer.h"
#include "support/TempDir.h"
#include "support/Tools.h"
#include "transport/S3Session.h"

namespace corvane {
namespace {

using namespace test;

class S3SessionTest : public ::testing::Test {
  protected:
    void SetUp() override {
        QString why;
        ASSERT_TRUE(m_server.Start(&why)) << "S3 test server cannot start: " << why.toStdString();
    }

    // A session on the key prefix `prefix`, cut as `tuning` says.
    std::unique_ptr<S3Session> Connected(const QString& prefix, S3Tuning tuning = {}) {
        auto session = std::make_unique<S3Session>(&FileNameToBytes, tuning);
        EXPECT_TRUE(session->Connect(m_server.Endpoint(prefix)))
            << m_log.Texts().join('\n').toStdString();
        return session;
    }

    QStringList Listed(S3Session& session, const QString& folder, bool recursive) {
        QStringList names;
        session.ListTree(folder, names, recursive);
        names.sort();
        return names;
    }

    S3TestServer m_server;
    TempDir m_dir;
    LogCapture m_log;
};

TEST_F(S3SessionTest, RefusedConnectionsLogTheServicesReasonAndNeverTheSecret) {
    auto with = [this](const char* key, const char* secret, const QString& bucket) {
        FtpEndpoint endpoint = m_server.Endpoint("p");
        endpoint.user = key;
        endpoint.password = secret;
        endpoint.host = bucket;
        return endpoint;
    };
    const std::pair<FtpEndpoint, QString> cases[] = {
        {with("S3RVER", "wrong s3cret", m_server.Bucket()),
         "  FTP connection error: SignatureDoesNotMatch: The request signature we calculated"},
        {with("NOBODY", "wrong s3cret", m_server.Bucket()),
         "  FTP connection error: InvalidAccessKeyId: "},
        {with("S3RVER", "s3cret/Key+with=signs", "no-such-bucket"),
         "  FTP connection error: NoSuchBucket: "},
        {with("S3RVER", "s3cret/Key+with=signs", "a/b"), "  FTP connection error: bad bucket name"},
    };
    const QString source = m_dir.Write("f", "x");
    for (const auto& [endpoint, line] : cases) {
        const qsizetype first = m_log.Texts().size();
        S3Session session(&FileNameToBytes);
        EXPECT_FALSE(session.Connect(endpoint));
        const QStringList lines = m_log.Texts().mid(first);
        ASSERT_EQ(lines.size(), 1) << line.toStdString();
        EXPECT_TRUE(lines.first().startsWith(line)) << lines.first().toStdString();
        EXPECT_EQ(session.ConnectError(), lines.first().mid(24));
        EXPECT_FALSE(session.Upload(source, "f"));
    }
    for (const QString& line : m_log.Texts()) {
        EXPECT_FALSE(line.contains("s3cret")) << line.toStdString();
    }
}

TEST_F(S3SessionTest, FilesAboveTheThresholdGoInPartsAndComeBackByteForByte) {
    auto session = Connected("up/load", {1024 * 1024, 5 * 1024 * 1024, 1000});
    const std::pair<QString, QByteArray> cases[] = {
        {"big.zip", RandomBytes(11 * 1024 * 1024 + 17)},  // three parts
        {QString::fromUtf8("Bericht März 100% #1+2.txt"), RandomBytes(300000, 2)},
        {"empty", QByteArray()},
    };
    for (const auto& [name, bytes] : cases) {
        ASSERT_TRUE(session->Upload(m_dir.Write("source", bytes), "dir/" + name));
        const QString back = m_dir.Write("back", "old");
        ASSERT_TRUE(session->Download("dir/" + name, back));
        EXPECT_TRUE(ReadAll(back) == bytes) << name.toStdString();
    }
    EXPECT_EQ(Listed(*session, "", true).size(), 4);
    // A failed download leaves the local file as it was.
    const QString kept = m_dir.Write("kept", "old");
    EXPECT_FALSE(session->Download("dir/missing", kept));
    EXPECT_EQ(ReadAll(kept), "old");
    EXPECT_TRUE(m_log.Texts().last().startsWith("  FTP transfer error: NoSuchKey: "));
}

// A part the service refuses fails the upload, which is aborted by its id: no object and
// no stored part stay, and the next upload of the key goes through.
TEST_F(S3SessionTest, RefusedPartFailsTheUploadAndAbortsIt) {
    S3TestServer failing;
    failing.FailUploadPart(2);
    QString why;
    ASSERT_TRUE(failing.Start(&why)) << why.toStdString();
    S3Session session(&FileNameToBytes, {1024 * 1024, 5 * 1024 * 1024, 1000});
    ASSERT_TRUE(session.Connect(failing.Endpoint("up")));
    const QString source = m_dir.Write("big", RandomBytes(11 * 1024 * 1024));
    EXPECT_FALSE(session.Upload(source, "dir/big.zip"));
    EXPECT_TRUE(m_log.Texts().last().startsWith("  FTP transfer error: InternalError: "))
        << m_log.Texts().last().toStdString();
    EXPECT_EQ(failing.AbortedUploads(), QStringList{"up/dir/big.zip"});
    EXPECT_EQ(failing.OpenUploads(), 0);
    EXPECT_EQ(Listed(session, "", true), QStringList());
    ASSERT_TRUE(session.Upload(source, "dir/big.zip"));
    EXPECT_EQ(Listed(session, "", true), QStringList({"/dir/", "/dir/big.zip"}));
    EXPECT_EQ(failing.OpenUploads(), 0);
}

// Keys are UTF-8 text; names are bytes. Names that differ only in bytes that are not
// UTF-8 (or in the characters that stand for such bytes in a key) keep keys of their own
// and come back as they went: none overwrites another.
TEST_F(S3SessionTest, NamesThatAreNotUtf8KeepKeysOfTheirOwn) {
    auto session = Connected("raw");
    const QString names[] = {
        FileNameFromBytes("caf\xe9.txt"),          // Latin-1
        FileNameFromBytes("caf\xe8.txt"),          // differs in that byte only
        FileNameFromBytes("caf\xee\xbf\xa9.txt"),  // U+EFE9, what a key holds for \xe9
        FileNameFromBytes("caf\xee\xbc\x80.txt"),  // U+EF00
        FileNameFromBytes("d\xff/x.txt"),          // in a folder of such a name
    };
    QStringList expected;
    for (int i = 0; i < 5; ++i) {
        ASSERT_TRUE(session->Upload(m_dir.Write("source", QByteArray::number(i)), names[i]));
        expected << "/" + names[i];
    }
    expected << "/" + FileNameFromBytes("d\xff/");
    expected.sort();
    EXPECT_EQ(Listed(*session, "", true), expected);
    for (int i = 0; i < 5; ++i) {
        const QString back = m_dir.File("back");
        ASSERT_TRUE(session->Download(names[i], back));
        EXPECT_EQ(ReadAll(back), QByteArray::number(i))
            << FileNameForDisplay(names[i]).toStdString();
    }
    EXPECT_TRUE(session->RemoveFolderTree(FileNameFromBytes("d\xff")));
    EXPECT_EQ(Listed(*session, "", true).size(), 4);
}

TEST_F(S3SessionTest, ListingsOfManyPagesAreCompleteAndRemovalLeavesNothingBelow) {
    auto session = Connected("base", {64 * 1024 * 1024, 16 * 1024 * 1024, 2});
    const QString source = m_dir.Write("f", "x");
    for (const char* name : {"a.txt", "d/b.txt", "d/c.txt", "d/e/f.txt", "d/e/g.txt", "h/i.txt"}) {
        ASSERT_TRUE(session->Upload(source, name));
    }
    EXPECT_EQ(Listed(*session, "", false), QStringList({"/a.txt", "/d/", "/h/"}));
    EXPECT_EQ(Listed(*session, "d", true),
              QStringList({"d/b.txt", "d/c.txt", "d/e/", "d/e/f.txt", "d/e/g.txt"}));

    // A name with ".." never reaches a key outside the prefix.
    EXPECT_FALSE(session->Upload(source, "d/../../outside.txt"));
    EXPECT_EQ(Listed(*Connected(""), "", false), QStringList({"/base/"}));
    EXPECT_FALSE(session->RemoveFolder("d"));  // not empty
    for (const char* refused : {"", ".", "d/..", "/"}) {
        EXPECT_FALSE(session->RemoveFolderTree(refused)) << refused;
    }
    EXPECT_TRUE(session->RemoveFolderTree("d"));
    EXPECT_TRUE(session->RemoveFolder("d"));
    EXPECT_TRUE(session->DeleteFile("h/i.txt"));
    EXPECT_EQ(Listed(*session, "", true), QStringList({"/a.txt"}));
    // Another session on a prefix that only starts alike sees its own keys.
    EXPECT_EQ(Listed(*Connected("bas"), "", true), QStringList());
}

}  // namespace
}  // namespace corvane
