#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTimer>
#include <memory>

#include "app/InstanceChannel.h"
#include "app/TaskArgument.h"
#include "platform/DataFolderLock.h"
#include "support/TempDir.h"

namespace corvane {
namespace {

using test::ReadAll;
using test::TempDir;

// The built corvane-cli: named by the build, else found beside this test in the build
// tree.
QString CliPath() {
#ifdef CORVANE_CLI_PATH
    return QStringLiteral(CORVANE_CLI_PATH);
#else
    const QString self = QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath();
    return QDir::cleanPath(QFileInfo(self).absolutePath() + "/../../src/cli/corvane-cli");
#endif
}

struct CliRun {
    int status = -1;
    QString out;
    QString err;
};

// corvane-cli run NAME... while another program owns the task list: the second program
// hands the names over instead of failing.
class HandOverTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        static int argc = 1;
        static char name[] = "test_HandOver";
        static char* argv[] = {name, nullptr};
        s_app = std::make_unique<QCoreApplication>(argc, argv);
    }
    static void TearDownTestSuite() { s_app.reset(); }

    void SetUp() override {
        ASSERT_TRUE(QFileInfo(CliPath()).isExecutable()) << CliPath().toStdString();
        m_oldRuntime = qgetenv("XDG_RUNTIME_DIR");
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(m_dir.File("run")));
        QDir().mkpath(m_dir.File("run"));
        m_dir.Write("src/Docs/a.txt", "alpha");
        const QString src = m_dir.File("src/Docs");
        const QString dst = m_dir.File("dst");
        m_dir.Write("data/CorvTasks.bin",
                    ("<TasksList><Main TasksCount=\"2\"/>"
                     "<Task0 taskName=\"My Docs\" taskOID=\"1\" backupMode=\"1\" destPath=\"" +
                     dst + "/copy/\" itemsCount=\"1\" SrcDataType1=\"1\" SrcFolder1=\"" + src +
                     "\" DstFolderName1=\"Docs\"/>"
                     "<Task1 taskName=\"Broken\" taskOID=\"3\" destPath=\"" +
                     dst + "/broken/\" itemsCount=\"1\" SrcDataType1=\"1\" SrcFolder1=\"" +
                     m_dir.File("nowhere") +
                     "\" DstFolderName1=\"X\" destArea=\"ann\" "
                     "MailAddress=\"ann@example.org\"/>"
                     "</TasksList>")
                        .toUtf8());
    }
    void TearDown() override { qputenv("XDG_RUNTIME_DIR", m_oldRuntime); }

    QProcessEnvironment Env(const QString& sendmail = QString()) const {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("CORVANE_HOME", m_dir.File("data"));
        env.insert("CORVANE_SENDMAIL", sendmail.isEmpty() ? m_dir.File("no-sendmail") : sendmail);
        return env;
    }

    // Runs corvane-cli to its end while this process keeps serving its own channel.
    CliRun Run(const QStringList& args) const {
        QProcess process;
        process.setProcessEnvironment(Env());
        process.setStandardInputFile(QProcess::nullDevice());
        QEventLoop loop;
        QObject::connect(&process, &QProcess::finished, &loop, &QEventLoop::quit);
        QTimer::singleShot(120000, &loop, &QEventLoop::quit);
        process.start(CliPath(), args);
        loop.exec();
        CliRun run;
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished();
            return run;
        }
        run.out = QString::fromUtf8(process.readAllStandardOutput());
        run.err = QString::fromUtf8(process.readAllStandardError());
        run.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
        return run;
    }

    static inline std::unique_ptr<QCoreApplication> s_app;
    TempDir m_dir;
    QByteArray m_oldRuntime;
};

// This process stands in for the window: it owns the task list and serves the channel.
TEST_F(HandOverTest, NamesGoToTheWindowThatOwnsTheTaskList) {
    DataFolderLock lock;
    ASSERT_TRUE(lock.TryLock(m_dir.File("data")));
    InstanceChannel channel(InstanceChannel::Owner::kWindow);
    channel.SetTaskCheck([](const QString& argument) {
        const QString name = TrimTaskArgument(argument);
        return name.compare("my docs", Qt::CaseInsensitive) == 0
                   ? QString()
                   : QStringLiteral("Error: task '%1' not found").arg(name);
    });
    ASSERT_TRUE(channel.Listen(m_dir.File("data")));
    QStringList received;
    QObject::connect(&channel, &InstanceChannel::TaskNameReceived,
                     [&received](const QString& argument) { received << argument; });

    struct Case {
        QStringList names;
        int status;
        QStringList outLines;
        const char* err;
    };
    const Case cases[] = {
        {{"my docs"}, 0, {"Task 'my docs' handed over to the running Corvane window"}, ""},
        {{"/\"My Docs\"", "Unknown"},
         1,
         {"Task '/\"My Docs\"' handed over to the running Corvane window"},
         "Error: task 'Unknown' not found\n"},
    };
    for (const Case& c : cases) {
        const CliRun run = Run(QStringList{"run"} + c.names);
        EXPECT_EQ(run.status, c.status) << run.out.toStdString() << run.err.toStdString();
        EXPECT_EQ(run.out, c.outLines.join('\n') + '\n');
        EXPECT_EQ(run.err, QString::fromUtf8(c.err));
    }
    // Nothing ran in the second programs: the owner got every name, in order.
    EXPECT_EQ(received, (QStringList{"my docs", "/\"My Docs\"", "Unknown"}));
    EXPECT_FALSE(QFileInfo::exists(m_dir.File("dst/copy")));
}

// A run that owns the task list takes names from a second run and lasts until they are
// done. The first task is held in its notification mail (a sendmail stand-in that waits
// on a FIFO), so the second run comes while the first one is busy.
TEST_F(HandOverTest, RunningCliQueuesHandedOverNames) {
    const QString fifo = m_dir.File("hold");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const QString sendmail = m_dir.Write(
        "sendmail", ("#!/bin/sh\ncat > /dev/null\nread line < '" + fifo + "'\n").toUtf8());
    QFile::setPermissions(sendmail, QFileDevice::ReadOwner | QFileDevice::ExeOwner);

    QProcess first;
    first.setProcessEnvironment(Env(sendmail));
    first.setStandardInputFile(QProcess::nullDevice());
    first.start(CliPath(), {"run", "Broken"});
    ASSERT_TRUE(first.waitForStarted());
    // Opening the FIFO waits until the stand-in reads it: the first run is busy and has
    // long been listening.
    const int hold = ::open(QFile::encodeName(fifo).constData(), O_WRONLY);
    ASSERT_GE(hold, 0);

    const CliRun second = Run({"run", "/\"my docs\"", "Nothing"});
    EXPECT_EQ(second.status, 1) << second.err.toStdString();
    EXPECT_EQ(second.out, "Task '/\"my docs\"' handed over to the running corvane-cli run\n");
    EXPECT_EQ(second.err, "Error: task 'Nothing' not found\n");
    // Only queued so far: the first run is still held.
    EXPECT_FALSE(QFileInfo::exists(m_dir.File("dst/copy")));

    ASSERT_EQ(::write(hold, "go\n", 3), 3);
    ::close(hold);
    ASSERT_TRUE(first.waitForFinished(120000));
    const QByteArray out = first.readAllStandardOutput();
    EXPECT_EQ(first.exitCode(), 1) << out.constData();  // Broken failed
    EXPECT_EQ(out.count("Starting task...\n"), 2) << out.constData();
    EXPECT_TRUE(out.contains("  Error: task failed\n"));
    EXPECT_TRUE(out.contains("  Task completed\n"));
    EXPECT_TRUE(out.contains("Error: task 'Nothing' not found\n"));
    EXPECT_EQ(ReadAll(m_dir.File("dst/copy/Docs/a.txt")), "alpha");

    // Its queue done, the run has left the task list and its channel to the next one.
    const CliRun third = Run({"run", "My Docs"});
    EXPECT_EQ(third.status, 0) << third.out.toStdString() << third.err.toStdString();
    EXPECT_TRUE(third.out.contains("  Task completed\n"));
    EXPECT_FALSE(third.out.contains("handed over"));
}

// A holder of the task list that takes no names (a delete, an older program) still
// makes a run fail with the lock's message.
TEST_F(HandOverTest, HolderWithoutChannelIsReported) {
    DataFolderLock lock;
    ASSERT_TRUE(lock.TryLock(m_dir.File("data")));
    const CliRun run = Run({"run", "My Docs"});
    EXPECT_EQ(run.status, 3);
    EXPECT_TRUE(run.err.contains("in use by another Corvane process")) << run.err.toStdString();
    EXPECT_TRUE(run.out.isEmpty());
}

}  // namespace
}  // namespace corvane
