#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/SoundSettings.h"
#include "platform/desktop/Shutdown.h"
#include "platform/desktop/SoundPlayer.h"
#include "support/LogCapture.h"
#include "support/ScopedEnv.h"
#include "support/TempDir.h"

namespace corvane {
namespace {

using test::ScopedEnv;

using test::LogCapture;
using test::TempDir;

// The sound settings must never be the user's: QSettings fixes
// its folder at first use, so the test's own is set before any test runs.
QTemporaryDir g_configHome(QDir::tempPath() + "/corvane-config-XXXXXX");
const bool g_configHomeSet = [] {
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(g_configHome.path()));
    return true;
}();

// A QCoreApplication for one test (the players need an event loop).
class TestApp {
  public:
    TestApp() : m_app(m_argc, m_argv) {}

  private:
    int m_argc = 1;
    char m_name[16] = "test_Sound";
    char* m_argv[2] = {m_name, nullptr};
    QCoreApplication m_app;
};

// 300 ms of silence: a 16-bit mono PCM WAV file at 8000 frames a second.
const QByteArray kSilenceWav =
    QByteArray::fromHex(
        "52494646e412000057415645666d74201000000001000100401f0000803e0000"
        "0200100064617461c0120000") +
    QByteArray(4800, '\0');

// A sound is a courtesy: it never blocks the caller, never logs, and its player goes
// when it has ended, whether or not the machine has an audio device.
TEST(SoundPlayer, PlayingNeverBlocksNorLogsAndReleasesItsPlayer) {
    TempDir dir;
    LogCapture log;
    const QString tone = dir.Write("tone.wav", kSilenceWav);
    SetSoundFile(4, tone);
    EXPECT_FALSE(PlayEventSound(4));  // no application yet

    TestApp app;
    QElapsedTimer timer;
    timer.start();
    const bool first = PlayEventSound(4);
    EXPECT_EQ(PlayEventSound(4), first);
    EXPECT_LT(timer.elapsed(), 1000);
    EXPECT_EQ(ActiveSoundCount(), first ? 2 : 0);
    // From another thread the call is handed to the application's thread.
    bool fromWorker = true;
    std::thread worker([&fromWorker] { fromWorker = PlayEventSound(4); });
    worker.join();
    EXPECT_FALSE(fromWorker);
    QCoreApplication::processEvents();
    EXPECT_EQ(ActiveSoundCount(), first ? 3 : 0);

    QDeadlineTimer deadline(10000);
    while (ActiveSoundCount() > 0 && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    EXPECT_EQ(ActiveSoundCount(), 0);
    // The synchronous player waits for the end of the sound, never much longer.
    timer.restart();
    EXPECT_EQ(PlaySoundFileSync(tone), first);
    EXPECT_LT(timer.elapsed(), kMaxSyncPlayMs + 1000);
    EXPECT_FALSE(PlaySoundFileSync(dir.File("missing.wav")));
    EXPECT_TRUE(log.Texts().isEmpty()) << log.Texts().join(" | ").toStdString();
}

// Every test relies on it: no test may switch the machine off.
TEST(Shutdown, SkippedWhenTheEnvironmentSaysSoEvenEmpty) {
    ScopedEnv empty("CORVANE_NO_SHUTDOWN", "");
    LogCapture log;
    EXPECT_FALSE(ShutdownComputer());
    EXPECT_EQ(log.Texts(), QStringList{"  Shutdown skipped (CORVANE_NO_SHUTDOWN is set)"});
}

// A stand-in for logind's manager object on a private bus: records every call and
// accepts it or refuses it as a user without the right would be refused.
class FakeLogind : public QDBusVirtualObject {
  public:
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
        bool refuse = false;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_calls.push_back(message);
            refuse = m_refuse;
        }
        connection.send(refuse ? message.createErrorReply(
                                     "org.freedesktop.DBus.Error.InteractiveAuthorizationRequired",
                                     "Interactive authentication required.")
                               : message.createReply());
        return true;
    }
    QString introspect(const QString&) const override { return {}; }

    void SetRefuse(bool refuse) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_refuse = refuse;
    }
    std::vector<QDBusMessage> Calls() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_calls;
    }

  private:
    std::mutex m_mutex;
    bool m_refuse = false;
    std::vector<QDBusMessage> m_calls;
};

// The request on a private bus that stands in for the system bus. The daemon's address
// is given to the process before its first system-bus connection; a marker name that
// exists only there proves that no call can reach the real system bus.
TEST(Shutdown, AsksLogindToPowerOffAndReportsItsAnswer) {
    const QString daemon = QStandardPaths::findExecutable("dbus-daemon");
    if (daemon.isEmpty()) {
        FAIL() << "dbus-daemon is missing: apt-get install dbus-daemon";
    }
    // A bus of the session kind, started for this test alone.
    QProcess bus;
    bus.start(daemon, {"--session", "--nofork", "--print-address"});
    ASSERT_TRUE(bus.waitForStarted());
    ASSERT_TRUE(bus.waitForReadyRead(10000)) << bus.readAllStandardError().toStdString();
    const QByteArray address = bus.readLine().trimmed();
    ASSERT_FALSE(address.isEmpty());

    ScopedEnv systemBus("DBUS_SYSTEM_BUS_ADDRESS", address);
    TestApp app;
    QDBusConnection service = QDBusConnection::connectToBus(QString::fromUtf8(address), "logind");
    ASSERT_TRUE(service.isConnected());
    ASSERT_TRUE(service.registerService("org.corvane.PrivateTestBus"));
    ASSERT_TRUE(QDBusConnection::systemBus().isConnected());
    ASSERT_TRUE(QDBusConnection::systemBus()
                    .interface()
                    ->isServiceRegistered("org.corvane.PrivateTestBus")
                    .value())
        << "the system bus of this process is not the private one";
    ScopedEnv allowShutdown("CORVANE_NO_SHUTDOWN", "");
    qunsetenv("CORVANE_NO_SHUTDOWN");

    LogCapture log;
    // The manager object answers on its own thread while this one waits for the reply.
    QThread worker;
    FakeLogind logind;
    logind.moveToThread(&worker);
    worker.start();
    ASSERT_TRUE(service.registerVirtualObject("/org/freedesktop/login1", &logind));
    ASSERT_TRUE(service.registerService("org.freedesktop.login1"));

    EXPECT_TRUE(ShutdownComputer());
    EXPECT_TRUE(log.Texts().isEmpty());  // a granted request adds no line

    logind.SetRefuse(true);
    EXPECT_FALSE(ShutdownComputer());
    ASSERT_EQ(log.Texts().size(), 1);
    EXPECT_TRUE(log.Texts()[0].endsWith(
        "  Error: Cannot shut down the computer: Interactive authentication required."))
        << log.Texts().join(" | ").toStdString();

    const std::vector<QDBusMessage> calls = logind.Calls();
    ASSERT_EQ(calls.size(), 2u);
    for (const QDBusMessage& call : calls) {
        EXPECT_EQ(call.path(), "/org/freedesktop/login1");
        EXPECT_EQ(call.interface(), "org.freedesktop.login1.Manager");
        EXPECT_EQ(call.member(), "PowerOff");
        EXPECT_EQ(call.signature(), "b");
        EXPECT_EQ(call.arguments(), QVariantList{false});  // never an interactive prompt
    }

    service.unregisterObject("/org/freedesktop/login1");
    worker.quit();
    worker.wait();
    QDBusConnection::disconnectFromBus("logind");
    bus.terminate();
    bus.waitForFinished();
}

}  // namespace
}  // namespace corvane
