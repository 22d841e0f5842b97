#include <gtest/gtest.h>
#include <unistd.h>

#include <QRegularExpression>
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

// smbd on 127.0.0.1 (the current user, the password from a file), a session bus for GVfs
// (address and pid printed) and a gio wrapper recording its arguments, all in folder $0.
const char kStartSamba[] = R"sh(cd "$0" && mkdir -p share && cat >smb.conf <<END
[global]
smb ports = $1
interfaces = 127.0.0.1
bind interfaces only = yes
private dir = $PWD
lock directory = $PWD
state directory = $PWD
cache directory = $PWD
pid directory = $PWD
[backup]
path = $PWD/share
read only = no
END
for t in smbd smbpasswd dbus-daemon gio ss /usr/libexec/gvfsd-fuse; do command -v $t >/dev/null || { echo missing $t; exit 1; }; done
printf '#!/bin/sh\necho "$@" >>"$0.argv"\nexec gio "$@"\n' >gio && chmod 700 gio
smbpasswd -c smb.conf -s -a "$(id -un)" <password >/dev/null && smbd -D -s smb.conf || exit 1
for i in $(seq 100); do ss -ltn | grep -q ":$1 " && break; sleep 0.1; done
exec dbus-daemon --session --fork --print-address=1 --print-pid=1)sh";

class NetworkShareTest : public ::testing::Test {
  protected:
    void SetUp() override {
        m_dir.Write("password", kPassword + '\n' + kPassword + '\n');
        const QStringList started =
            RunTool("sh", {"-c", kStartSamba, m_dir.File(""), QString::number(m_port)})
                .output.split(u'\n');
        // A missing tool fails: scripts/install-deps.sh installs every one of them.
        ASSERT_FALSE(started[0].startsWith("missing "))
            << started[0].toStdString() << ": scripts/install-deps.sh installs it";
        ASSERT_GE(started.size(), 2) << started.join('\n').toStdString();
        m_bus.emplace("DBUS_SESSION_BUS_ADDRESS", started[0].toUtf8());
        m_busPid = started[1];
        m_task.destination.path = QStringLiteral("//127.0.0.1:%1/backup/daily").arg(m_port);
        m_task.destination.userName = qEnvironmentVariable("USER", QStringLiteral("root"));
        m_task.destination.password = QString::fromUtf8(kPassword);
    }
    void TearDown() override {
        RunTool("sh", {"-c", "kill $1; kill $(cat \"$0/smbd.pid\"); fusermount3 -uz \"$0/gvfs\"",
                       m_dir.File(""), m_busPid});
    }
    bool Mounted() const {
        return ShareLocalPath(m_task.destination.path) != m_task.destination.path;
    }

    test::TempDir m_dir;
    int m_port = 20000 + ::getpid() % 20000;
    ScopedEnv m_runtime{"XDG_RUNTIME_DIR", FileNameToBytes(m_dir.File(""))};
    ScopedEnv m_gio{"CORVANE_GIO", FileNameToBytes(m_dir.File("gio"))};
    std::optional<ScopedEnv> m_bus;
    QString m_busPid;
    TaskRecord m_task;
};

TEST_F(NetworkShareTest, BackupWritesIntoTheShareItMountedAndUnmountsOnlyThat) {
    ScopedEnv home("CORVANE_HOME", FileNameToBytes(m_dir.File("data")));
    TaskList tasks;
    TaskRecord* task = tasks.NewTask("Share", kTaskBackup);
    task->destination = m_task.destination;
    task->items.push_back(MakePathItem(m_dir.Write("notes.txt", "notes"), kItemFile, "notes.txt"));
    test::LogCapture log;
    ASSERT_TRUE(RunBackup(tasks, 0, StopSignal())) << log.Texts().join('\n').toStdString();
    EXPECT_EQ(test::ReadAll(m_dir.File("share/daily/notes.txt")), "notes");
    EXPECT_TRUE(test::ReadAll(m_dir.File("share/daily/Share.TSK")).contains("taskName"));
    EXPECT_EQ(log.Texts().filter(QRegularExpression("  (Apply|...Success|Cancel)")).size(), 3);
    EXPECT_FALSE(Mounted());
    const QByteArray argv = test::ReadAll(m_dir.File("gio.argv"));
    EXPECT_TRUE(argv.contains("mount -u smb://127.0.0.1:")) << argv.constData();
    EXPECT_FALSE(argv.contains(kPassword) || log.Texts().join('\n').contains(kPassword));
    // Mounted before (by hand, just after the unmount, when gvfsd-fuse answers EIO): kept.
    m_dir.Write("answers", m_task.destination.userName.toUtf8() + "\n\n" + kPassword + '\n');
    RunTool("sh", {"-c", "gio mount smb://127.0.0.1:$1/backup <\"$0\"", m_dir.File("answers"),
                   QString::number(m_port)});
    ASSERT_TRUE(Mounted());
    EXPECT_TRUE(ApplyNetworkConnection(m_task));
    CancelNetworkConnection(m_task);
    EXPECT_TRUE(Mounted());
    EXPECT_EQ(test::ReadAll(m_dir.File("gio.argv")).count("mount"), argv.count("mount"));
}

TEST_F(NetworkShareTest, RefusedOrMissingShareStopsTheRunWithTheReason) {
    // A wrong password (asked again, which must not hang), a port nobody listens on, and
    // a share without a logon that is not mounted (it would be a local "/127.0.0.1/...").
    for (const auto& [name, password, port] :
         {std::tuple<QString, QString, int>{m_task.destination.userName, "wrong", m_port},
          {m_task.destination.userName, QString::fromUtf8(kPassword), 1},
          {"", "", m_port}}) {
        TaskRecord task;
        task.destination.path = "//127.0.0.1:" + QString::number(port) + "/backup";
        task.destination.useXPBurn = false;
        task.destination.userName = name;
        task.destination.password = password;
        test::LogCapture log;
        EXPECT_FALSE(ApplyNetworkConnection(task));
        CancelNetworkConnection(task);
        const QStringList lines = log.Texts();
        ASSERT_EQ(lines.size(), name.isEmpty() ? 2 : 3) << lines.join('\n').toStdString();
        EXPECT_TRUE(lines[1].startsWith("  ...Error: ") && lines[1].size() > 30)
            << lines[1].toStdString();
        EXPECT_TRUE(password.isEmpty() || !lines.join('\n').contains(password));
    }
}

}  // namespace
}  // namespace corvane
