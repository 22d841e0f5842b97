#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <QDir>
#include <QProcess>
#include <QStandardPaths>
#include <optional>
#include <tuple>

#include "engine/BackupRun.h"
#include "engine/NetworkConnection.h"
#include "model/FileName.h"
#include "platform/NetworkShare.h"
#include "support/LogCapture.h"
#include "support/ScopedEnv.h"
#include "support/TempDir.h"
#include "support/Tools.h"

namespace corvane {
namespace {

using test::RunTool;
using test::ScopedEnv;

const QByteArray kPassword = "Sh4re-s3cret";

// A real Samba server on 127.0.0.1 (an unprivileged port, the current user with a
// password) and a private session bus on which GVfs mounts through FUSE; gio runs
// behind a wrapper that records its arguments.
class NetworkShareTest : public ::testing::Test {
  protected:
    void SetUp() override {
        for (const char* tool : {"smbd", "smbpasswd", "dbus-daemon", "gio", "fusermount3"}) {
            if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty()) {
                GTEST_SKIP() << tool << " is not installed (install-deps.sh installs it)";
            }
        }
        for (const char* folder : {"private", "lock", "state", "cache", "pid", "share", "run"}) {
            QDir().mkpath(m_dir.File(QString::fromLatin1(folder)));
        }
        const QString conf = m_dir.Write(
            "smb.conf", QStringLiteral("[global]\nsmb ports = %1\ninterfaces = 127.0.0.1\n"
                                       "bind interfaces only = yes\nmap to guest = never\n"
                                       "passdb backend = tdbsam:%2/private/passdb.tdb\n"
                                       "private dir = %2/private\nlock directory = %2/lock\n"
                                       "state directory = %2/state\ncache directory = %2/cache\n"
                                       "pid directory = %2/pid\nload printers = no\n"
                                       "[backup]\nread only = no\npath = %2/share\n")
                            .arg(m_port)
                            .arg(m_dir.File(""))
                            .toUtf8());
        m_dir.Write("password", kPassword + '\n' + kPassword + '\n');
        ASSERT_EQ(RunTool("sh", {"-c", "smbpasswd -c \"$0\" -s -a \"$(id -un)\" < \"$1\"", conf,
                                 m_dir.File("password")})
                      .exitCode,
                  0);
        // In its own process group (no --no-process-group): smbd signals that group as it ends.
        m_smbd.start("smbd", {"-F", "-s", conf});
        ASSERT_EQ(test::RunPython("import socket,sys,time\nfor _ in range(100):\n try:\n"
                                  "  socket.create_connection(('127.0.0.1',int(sys.argv[1])));"
                                  "break\n except OSError: time.sleep(0.1)\nelse: sys.exit(1)",
                                  {QString::number(m_port)})
                      .exitCode,
                  0);
        m_runtime.emplace("XDG_RUNTIME_DIR", FileNameToBytes(m_dir.File("run")));
        const QStringList bus =
            RunTool("dbus-daemon", {"--session", "--fork", "--print-address=1", "--print-pid=1"})
                .output.split(u'\n');
        ASSERT_GE(bus.size(), 2);
        m_bus.emplace("DBUS_SESSION_BUS_ADDRESS", bus[0].toUtf8());
        m_busPid = bus[1].toInt();
        const QString wrapper =
            m_dir.Write("gio", "#!/bin/sh\necho \"$@\" >> \"$0.argv\"\nexec gio \"$@\"\n");
        QFile::setPermissions(wrapper, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
        m_gio.emplace("CORVANE_GIO", FileNameToBytes(wrapper));
        m_task.destination.path = QStringLiteral("//127.0.0.1:%1/backup/daily").arg(m_port);
        m_task.destination.userName = qEnvironmentVariable("USER", QStringLiteral("root"));
        m_task.destination.password = QString::fromUtf8(kPassword);
    }
    void TearDown() override {
        if (m_busPid > 0) {
            ::kill(m_busPid, SIGTERM);  // gvfsd and gvfsd-fuse leave with their bus
            RunTool("fusermount3", {"-uz", m_dir.File("run/gvfs")});
        }
        m_smbd.terminate();
        m_smbd.waitForFinished();
    }
    bool Mounted() const {
        return ShareLocalPath(m_task.destination.path) != m_task.destination.path;
    }

    test::TempDir m_dir;
    int m_port = 20000 + ::getpid() % 20000;
    QProcess m_smbd;
    std::optional<ScopedEnv> m_runtime, m_bus, m_gio;
    int m_busPid = 0;
    TaskRecord m_task;
};

TEST_F(NetworkShareTest, BackupWritesIntoTheShareItMountedAndUnmountsIt) {
    ScopedEnv home("CORVANE_HOME", FileNameToBytes(m_dir.File("data")));
    TaskList tasks;
    TaskRecord* task = tasks.NewTask("Share", kTaskBackup);
    task->destination = m_task.destination;
    task->items.push_back(MakePathItem(m_dir.Write("notes.txt", "notes"), kItemFile, "notes.txt"));
    test::LogCapture log;
    ASSERT_TRUE(RunBackup(tasks, 0, StopSignal())) << log.Texts().join('\n').toStdString();
    EXPECT_EQ(test::ReadAll(m_dir.File("share/daily/notes.txt")), "notes");
    for (const char* line :
         {"  Apply network connection...", "  ...Success", "  Cancel network connection"}) {
        EXPECT_EQ(log.CountEndingWith(QString::fromLatin1(line)), 1) << line;
    }
    EXPECT_FALSE(Mounted());
    const QByteArray argv = test::ReadAll(m_dir.File("gio.argv"));
    EXPECT_TRUE(argv.contains("mount -u smb://127.0.0.1:")) << argv.constData();
    EXPECT_FALSE(argv.contains(kPassword) || log.Texts().join('\n').contains(kPassword));
}

TEST_F(NetworkShareTest, RefusedOrMissingShareStopsTheRunWithTheReason) {
    // A wrong password (asked again, which must not hang), a port nobody listens on, and
    // a share without a logon that is not mounted (it would be a local "/127.0.0.1/...").
    const QString user = m_task.destination.userName;
    for (const auto& [name, password, port] :
         {std::tuple<QString, QString, int>{user, "wrong", m_port},
          {user, QString::fromUtf8(kPassword), 1},
          {"", "", m_port}}) {
        TaskRecord task = m_task;
        task.destination.userName = name;
        task.destination.password = password;
        task.destination.path = QStringLiteral("//127.0.0.1:%1/backup").arg(port);
        test::LogCapture log;
        EXPECT_FALSE(ApplyNetworkConnection(task));
        CancelNetworkConnection(task);
        const QStringList lines = log.Texts();
        ASSERT_EQ(lines.size(), name.isEmpty() ? 2 : 3) << lines.join('\n').toStdString();
        EXPECT_TRUE(lines[1].contains("  ...Error: ") && lines[1].size() > 30)
            << lines[1].toStdString();
        EXPECT_TRUE(password.isEmpty() || !lines.join('\n').contains(password));
    }
}

TEST_F(NetworkShareTest, ShareMountedBeforeIsUsedAndLeftMounted) {
    m_dir.Write("answers", m_task.destination.userName.toUtf8() + "\n\n" + kPassword + '\n');
    ASSERT_EQ(
        RunTool("sh", {"-c", "gio mount \"$0\" < \"$1\"",
                       ShareAddressOf(m_task.destination.path)->ShareUri(), m_dir.File("answers")})
            .exitCode,
        0);
    ASSERT_TRUE(Mounted());
    test::LogCapture log;
    EXPECT_TRUE(ApplyNetworkConnection(m_task));
    CancelNetworkConnection(m_task);
    EXPECT_TRUE(Mounted());
    EXPECT_FALSE(test::ReadAll(m_dir.File("gio.argv")).contains("mount"));
}

}  // namespace
}  // namespace corvane
