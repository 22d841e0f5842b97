#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QRegularExpression>
#include <thread>

#include "app/LastResults.h"
#include "cli/CliTestSupport.h"
#include "support/RecordingCrontab.h"
#include "support/Tools.h"

namespace corvane {
namespace {

// A notification service that appends "summary<TAB>body" of every Notify call to a file.
const char kService[] = R"py(import sys, dbus, dbus.service
from dbus.mainloop.glib import DBusGMainLoop
from gi.repository import GLib
DBusGMainLoop(set_as_default=True)
bus = dbus.SessionBus()
class Service(dbus.service.Object):
    @dbus.service.method("org.freedesktop.Notifications", in_signature="susssasa{sv}i",
                         out_signature="u")
    def Notify(self, app, replaces, icon, summary, body, actions, hints, timeout):
        with open(sys.argv[1], "a") as f:
            f.write(summary + "\t" + body + "\n")
        return 1
name = dbus.service.BusName("org.freedesktop.Notifications", bus)
Service(bus, "/org/freedesktop/Notifications")
open("ready", "w").close()
GLib.MainLoop().run()
)py";

// A private session bus in folder $0 with the service above; prints address and pid.
const char kStartBus[] = R"sh(cd "$0" || exit 1
dbus-daemon --session --fork --print-address=1 --print-pid=1 >bus.txt 2>bus.err || exit 1
DBUS_SESSION_BUS_ADDRESS=$(sed -n 1p bus.txt) /usr/bin/python3 service.py notices.txt \
    </dev/null >service.out 2>&1 &
for i in $(seq 100); do [ -e ready ] && break; sleep 0.1; done
[ -e ready ] || { cat service.out; exit 1; }
sed -n 1,2p bus.txt)sh";

class NoticeBus {
  public:
    explicit NoticeBus(const test::TempDir& dir) : m_dir(dir) {
        dir.Write("service.py", kService);
        const test::ToolResult started = test::RunTool("sh", {"-c", kStartBus, dir.Path()});
        const QStringList lines = started.output.trimmed().split('\n');
        if (started.exitCode == 0 && lines.size() == 2) {
            m_address = lines.at(0);
            m_pid = lines.at(1);
        }
    }
    // The service ends with its bus.
    ~NoticeBus() { test::RunTool("kill", {m_pid}); }
    const QString& Address() const { return m_address; }
    QStringList Notices() const {
        return QString::fromUtf8(test::ReadAll(m_dir.File("notices.txt")))
            .split('\n', Qt::SkipEmptyParts);
    }

  private:
    const test::TempDir& m_dir;
    QString m_address;
    QString m_pid = QStringLiteral("0");
};

// A failed run (its source folder is missing) raises one notice naming the task, a run
// that stores files none; `schedules` shows each result beside the job.
TEST(DesktopNoticesTest, FailedRunsAreNoticedAndEveryResultListed) {
    test::TempDir dir;
    const test::RecordingCrontab crontab(dir.Path());
    const NoticeBus bus(dir);
    ASSERT_FALSE(bus.Address().isEmpty()) << "needs dbus-daemon and python3-dbus";
    QProcessEnvironment env;
    env.insert("DBUS_SESSION_BUS_ADDRESS", bus.Address());
    const QString data = dir.File("data");
    dir.Write("src/a.txt", "a");
    dir.Write("gone/a.txt", "a");
    // The second run of "Docs" finds its file unchanged: nothing to do, but it stored
    // something moments ago, so no notice.
    const struct {
        QString task, source, result;
    } cases[] = {{"Lost papers", dir.File("gone"), "failed"},
                 {"Docs", dir.File("src"), "done"},
                 {"Docs", QString(), "nothing to do"}};
    for (const auto& c : cases) {
        ASSERT_TRUE(c.source.isEmpty() ||
                    test::RunCli(data, {"new", c.task, "--to", dir.File("dest"), "--schedule",
                                        "daily@07:30", c.source})
                            .status == 0);
        QDir(dir.File("gone")).removeRecursively();
        test::RunProgram(data, {"run", c.task}, env);
        const QStringList notices = bus.Notices();
        ASSERT_EQ(notices.size(), 1) << notices.join('\n').toStdString();
        EXPECT_TRUE(notices.front().startsWith("Backup task 'Lost papers' failed\t"));
        const QString listed = test::RunCli(data, {"schedules"}).out;
        EXPECT_TRUE(
            listed.contains(QRegularExpression(c.task + "\tdaily at 07:30\t[^\t]+\t" + c.result +
                                               "\t\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d\n")))
            << listed.toStdString();
    }
}

// A run that finds nothing to do when the task last stored something more than the
// default 7 days ago raises the idle notice.
TEST(DesktopNoticesTest, NothingToDoLongAfterTheLastStoredFileIsNoticed) {
    test::TempDir dir;
    const NoticeBus bus(dir);
    ASSERT_FALSE(bus.Address().isEmpty()) << "needs dbus-daemon and python3-dbus";
    QProcessEnvironment env;
    env.insert("DBUS_SESSION_BUS_ADDRESS", bus.Address());
    const QString data = dir.File("data");
    QDir().mkpath(dir.File("empty"));
    ASSERT_EQ(
        test::RunCli(data, {"new", "Idle", "--to", dir.File("dest"), dir.File("empty")}).status, 0);
    const QRegularExpressionMatch oid =
        QRegularExpression("taskOID=(\\d+)").match(test::RunCli(data, {"show", "Idle"}).out);
    ASSERT_TRUE(oid.hasMatch());
    ASSERT_TRUE(RecordLastResult(data, oid.captured(1).toInt(), RunResult::kDone,
                                 QDateTime::currentDateTime().addDays(-8), nullptr));
    EXPECT_EQ(test::RunProgram(data, {"run", "Idle"}, env).status, 0);
    const QStringList notices = bus.Notices();
    ASSERT_EQ(notices.size(), 1) << notices.join('\n').toStdString();
    EXPECT_TRUE(notices.front().startsWith("Backup task 'Idle' found nothing to do\t"));
}

// Without a session bus a failed run ends at once: no bus is started or waited for.
TEST(DesktopNoticesTest, NoBusMeansNoNoticeAndNoWait) {
    test::TempDir dir;
    const QString data = dir.File("data");
    dir.Write("gone/a.txt", "a");
    ASSERT_EQ(
        test::RunCli(data, {"new", "Lost", "--to", dir.File("dest"), dir.File("gone")}).status, 0);
    QDir(dir.File("gone")).removeRecursively();
    QProcessEnvironment env;
    env.insert("DBUS_SESSION_BUS_ADDRESS", "");
    env.insert("XDG_RUNTIME_DIR", dir.Path());
    env.insert("DISPLAY", ":99");
    QElapsedTimer timer;
    timer.start();
    EXPECT_EQ(test::RunProgram(data, {"run", "Lost"}, env).status, 1);
    EXPECT_LT(timer.elapsed(), 5000);
}

// Two writers at once, each with its own open lock file: every entry survives.
TEST(DesktopNoticesTest, LastResultsKeepEveryWritersEntries) {
    test::TempDir dir;
    constexpr int kPerWriter = 40;
    auto write = [&](int first) {
        for (int oid = first; oid < first + kPerWriter; ++oid) {
            EXPECT_TRUE(RecordLastResult(dir.Path(), oid, RunResult::kFailed,
                                         QDateTime::currentDateTime(), nullptr));
        }
    };
    std::thread other(write, 1000);
    write(1);
    other.join();
    EXPECT_EQ(ReadLastResults(dir.Path()).size(), size_t(2 * kPerWriter));
}

}  // namespace
}  // namespace corvane
