#pragma once

// The one fixture of the tests that talk to a real FTP server: starts an FtpTestServer
// (a server that cannot start fails the test with the reason), points the data folder
// at a temporary folder, captures the log, and checks what every FTP test must hold:
// no password in the log and no temporaries left in the data folder.

#include <gtest/gtest.h>

#include <QDir>

#include "support/FtpTestServer.h"
#include "support/LogCapture.h"
#include "support/ScopedEnv.h"
#include "support/TempDir.h"
#include "transport/FtpEndpoint.h"

namespace corvane::test {

class FtpServerTest : public ::testing::Test {
  protected:
    explicit FtpServerTest(FtpTestServer::Options options = {}) : m_server(std::move(options)) {}

    void SetUp() override {
        QString why;
        ASSERT_TRUE(m_server.Start(&why)) << "FTP test server cannot start: " << why.toStdString();
    }

    // The server's folder `folder` (below the login folder) as a session reaches it.
    FtpEndpoint Endpoint(const QString& folder = QString(), FtpMode mode = FtpMode::kActive) const {
        FtpEndpoint endpoint;
        endpoint.host = QStringLiteral("127.0.0.1");
        endpoint.port = m_server.Port();
        endpoint.user = m_server.User();
        endpoint.password = m_server.Password();
        endpoint.folder = folder;
        endpoint.mode = mode;
        return endpoint;
    }

    // What the server holds below the login folder.
    QString Remote(const QString& name) const { return m_server.Home() + "/" + name; }

    void ExpectNoPasswordInLog() const {
        for (const QString& line : m_log.Texts()) {
            EXPECT_FALSE(line.contains(m_server.Password()) || line.contains("s3cret"))
                << line.toStdString();
        }
    }

    void ExpectNoTemporaries() const {
        EXPECT_EQ(QDir(m_dir.File("data/tmp"))
                      .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
                  QStringList());
    }

    FtpTestServer m_server;
    TempDir m_dir;
    ScopedEnv m_home{"CORVANE_HOME", m_dir.File("data").toUtf8()};
    LogCapture m_log;
};

}  // namespace corvane::test
