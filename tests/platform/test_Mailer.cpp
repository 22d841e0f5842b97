#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>

#include "platform/Mailer.h"
#include "support/LogCapture.h"
#include "support/TempDir.h"

namespace corvane {
namespace {

using test::LogCapture;
using test::ReadAll;
using test::TempDir;

const QString kAddress = QStringLiteral("ops@example.org");
const QString kSubject = QStringLiteral("Corvane message");
const QString kBody = QStringLiteral("Cannot connect to FTP site, backup was not complete");

// Writes an executable shell script into the folder.
QString WriteScript(const TempDir& dir, const QString& name, const QByteArray& body) {
    const QString path = dir.Write(name, "#!/bin/sh\n" + body);
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return path;
}

// A sendmail stand-in that records its arguments (one a line) and its standard input
// in the test's folder, then ends with `status`.
QString StandIn(const TempDir& dir, int status = 0, const QString& name = "sendmail") {
    return WriteScript(dir, name,
                       QStringLiteral("printf '%s\\n' \"$@\" > '%1'\ncat > '%2'\nexit %3\n")
                           .arg(dir.File("args"), dir.File("stdin"))
                           .arg(status)
                           .toUtf8());
}

// "-a ACCOUNT" went to every sendmail, though only msmtp reads it as an account.
TEST(Mailer, AccountGoesOnlyToMsmtp) {
    for (const auto& [program, msmtp] :
         {std::pair("msmtp", true), std::pair("link", true), std::pair("sendmail", false)}) {
        TempDir dir;
        QFile::link(StandIn(dir, 0, "msmtp"), dir.File("link"));  // /usr/sbin/sendmail, say
        StandIn(dir, 0, "sendmail");
        Mailer mailer;
        mailer.SetProgram(dir.File(program));
        LogCapture log;
        EXPECT_TRUE(mailer.Send("work", kAddress, kSubject, kBody));
        EXPECT_EQ(ReadAll(dir.File("args")), msmtp ? "-i\n-t\n-a\nwork\n" : "-i\n-t\n");
        EXPECT_EQ(ReadAll(dir.File("stdin")),
                  "To: ops@example.org\nSubject: Corvane message\n\n"
                  "Cannot connect to FTP site, backup was not complete\n");
        EXPECT_EQ(log.CountEndingWith("  Send mail message to 'ops@example.org'"), 1);
        EXPECT_EQ(log.CountEndingWith("  Warning: the mail account work is used only with msmtp"),
                  msmtp ? 0 : 1);
    }
}

TEST(Mailer, UserTextNeverReachesAShell) {
    TempDir dir;
    Mailer mailer;
    mailer.SetProgram(StandIn(dir, 0, "msmtp"));
    const QString pwned = dir.File("pwned");
    const QString account = "x; touch '" + pwned + "'";
    const QString address = "$(touch '" + pwned + "')@example.org";
    LogCapture log;
    EXPECT_TRUE(mailer.Send(account, address, "`touch " + pwned + "`", kBody));
    EXPECT_FALSE(QFileInfo::exists(pwned));
    EXPECT_EQ(ReadAll(dir.File("args")), ("-i\n-t\n-a\n" + account + "\n").toUtf8());
    EXPECT_TRUE(ReadAll(dir.File("stdin")).startsWith(("To: " + address + "\n").toUtf8()));
}

TEST(Mailer, AddressCannotAddHeaderLines) {
    TempDir dir;
    Mailer mailer;
    mailer.SetProgram(StandIn(dir));
    for (const QString& address :
         {QStringLiteral("ops@example.org\nBcc: all@example.org"),
          QStringLiteral("ops@example.org\r"), QStringLiteral("a\tb@example.org"),
          QStringLiteral(""), QStringLiteral("   ")}) {
        LogCapture log;
        EXPECT_FALSE(mailer.Send(QString(), address, kSubject, kBody));
        EXPECT_EQ(log.Texts().size(), 1);
        EXPECT_EQ(log.Texts().front().contains("  Warning: Send mail to '"), true);
    }
    EXPECT_FALSE(QFileInfo::exists(dir.File("args")));  // the program never ran
}

TEST(Mailer, SubjectStaysOnOneLineAndBodyLinesEndInNewLines) {
    EXPECT_EQ(Mailer::ComposeMessage(kAddress, "first\r\nBcc: all@example.org", "a\r\nb\r\n"),
              "To: ops@example.org\nSubject: first  Bcc: all@example.org\n\na\nb\n");
}

TEST(Mailer, FailuresEndInTheWarningLine) {
    TempDir dir;
    const struct {
        const char* label;
        QString program;
    } cases[] = {
        {"not installed", dir.File("no-such-sendmail")},
        {"none found", QString()},
        {"non-zero status", StandIn(dir, 75)},
        {"killed", WriteScript(dir, "crash", "kill -9 $$\n")},
        {"hangs", WriteScript(dir, "hang", "exec sleep 600\n")},
    };
    for (const auto& c : cases) {
        Mailer mailer;
        mailer.SetProgram(c.program);
        mailer.SetTimeout(3000);  // killed then
        LogCapture log;
        QElapsedTimer timer;
        timer.start();
        EXPECT_FALSE(mailer.Send(QString(), kAddress, kSubject, kBody)) << c.label;
        EXPECT_LT(timer.elapsed(), 60000) << c.label;
        EXPECT_EQ(log.Texts().size(), 1) << c.label;
        EXPECT_EQ(log.CountEndingWith("  Warning: Send mail to 'ops@example.org' failed"), 1)
            << c.label;
    }
}

}  // namespace
}  // namespace corvane
