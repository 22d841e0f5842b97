#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QDataStream>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <cmath>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/Shutdown.h"
#include "platform/SoundPlayer.h"
#include "platform/SoundSettings.h"
#include "platform/UserSettings.h"
#include "support/LogCapture.h"
#include "support/ScopedEnv.h"
#include "support/TempDir.h"

namespace corvane {
namespace {

using test::ScopedEnv;

using test::LogCapture;
using test::ReadAll;
using test::TempDir;

// QSettings fixes its folder at first use, so the test's configuration folder is set
// before any test runs.
QTemporaryDir g_configHome(QDir::tempPath() + "/corvane-config-XXXXXX");
const bool g_configHomeSet = [] {
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(g_configHome.path()));
    return true;
}();

QString ConfigFile() {
    return g_configHome.path() + "/Tarnis/Tarnis.conf";
}

// The lines of the settings file, without blanks around them.
QStringList ConfigLines() {
    QStringList lines;
    for (const QByteArray& line : ReadAll(ConfigFile()).split('\n')) {
        lines << QString::fromUtf8(line).trimmed();
    }
    return lines;
}

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

// A 16-bit mono PCM WAV file of `milliseconds` of a 440 Hz tone.
QByteArray ToneWav(int milliseconds) {
    const quint32 rate = 8000;
    const quint32 samples = rate * static_cast<quint32>(milliseconds) / 1000;
    QByteArray wav;
    QDataStream out(&wav, QIODevice::WriteOnly);
    out.setByteOrder(QDataStream::LittleEndian);
    out.writeRawData("RIFF", 4);
    out << quint32(36 + samples * 2);
    out.writeRawData("WAVEfmt ", 8);
    // PCM, mono, rate, bytes a second, bytes a frame, bits a sample
    out << quint32(16) << quint16(1) << quint16(1) << rate << rate * 2 << quint16(2) << quint16(16);
    out.writeRawData("data", 4);
    out << samples * 2;
    for (quint32 i = 0; i < samples; ++i) {
        out << static_cast<qint16>(8000 * std::sin(2 * M_PI * 440 * i / double(rate)));
    }
    return wav;
}

class SoundSettingsTest : public ::testing::Test {
  protected:
    // Every test starts from an empty settings file.
    void SetUp() override {
        QSettings settings(QStringLiteral("Tarnis"), QStringLiteral("Tarnis"));
        settings.clear();
    }
};

TEST_F(SoundSettingsTest, WithNothingStoredAllFiveAreEnabledWithoutFiles) {
    for (int event = 1; event <= 5; ++event) {
        EXPECT_TRUE(IsSoundEnabled(event)) << event;
        EXPECT_EQ(GetSoundFile(event), QString()) << event;
    }
    EXPECT_EQ(UserSettings::DefaultBackupFolder(), QString());
    // Numbers that name no event are never enabled and have no file.
    for (int event : {0, 6, -1}) {
        EXPECT_FALSE(IsSoundEnabled(event)) << event;
        EXPECT_EQ(GetSoundFile(event), QString()) << event;
    }
}

TEST_F(SoundSettingsTest, StoredValuesReadBackPerEvent) {
    struct Row {
        int event;
        bool enabled;
        QString file;
    };
    const std::vector<Row> rows = {
        {1, false, "/snd/start.wav"},
        {2, true, ""},
        {3, false, QString::fromUtf8("/home/jürgen/My Sounds/done, ok.wav")},
        {4, true, "relative/failed.wav"},
        {5, false, "@odd;name=with#signs.wav"},
    };
    for (const Row& row : rows) {
        SetSoundEnabled(row.event, row.enabled);
        SetSoundFile(row.event, row.file);
    }
    for (const Row& row : rows) {
        EXPECT_EQ(IsSoundEnabled(row.event), row.enabled) << row.event;
        EXPECT_EQ(GetSoundFile(row.event), row.file) << row.event;
    }
    // Turning one back on changes only that one.
    SetSoundEnabled(3, true);
    EXPECT_TRUE(IsSoundEnabled(3));
    EXPECT_FALSE(IsSoundEnabled(1));
    EXPECT_FALSE(IsSoundEnabled(5));
}

TEST_F(SoundSettingsTest, ValuesLandInTheMainSectionOfTheSettingsFile) {
    SetSoundEnabled(4, false);
    SetSoundEnabled(2, true);
    SetSoundFile(2, "/x/add.wav");
    UserSettings::SetDefaultBackupFolder("/srv/backups");
    // Numbers outside 1..5 write nothing.
    SetSoundEnabled(6, false);
    SetSoundFile(0, "/x/none.wav");

    const QStringList lines = ConfigLines();
    EXPECT_TRUE(lines.contains("[Main]")) << lines.join(" | ").toStdString();
    EXPECT_TRUE(lines.contains("SndItem4Play=0")) << lines.join(" | ").toStdString();
    EXPECT_TRUE(lines.contains("SndItem2Play=1")) << lines.join(" | ").toStdString();
    EXPECT_TRUE(lines.contains("SndItem2File=/x/add.wav")) << lines.join(" | ").toStdString();
    EXPECT_TRUE(lines.contains("DefBackupsFolder=/srv/backups")) << lines.join(" | ").toStdString();
    for (const QString& line : lines) {
        EXPECT_FALSE(line.startsWith("SndItem6") || line.startsWith("SndItem0"))
            << line.toStdString();
    }
}

TEST_F(SoundSettingsTest, ReadsAFileWrittenByHandAtEveryUse) {
    QFile::remove(ConfigFile());
    ASSERT_TRUE(QDir().mkpath(QFileInfo(ConfigFile()).path()));
    QFile file(ConfigFile());
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(
        "[Main]\nSndItem1Play=7\nSndItem3Play=0\nSndItem5File=/s/shut.wav\n"
        "DefBackupsFolder=  not checked/  \n");
    file.close();
    EXPECT_TRUE(IsSoundEnabled(1));  // any non-zero number enables
    EXPECT_TRUE(IsSoundEnabled(2));
    EXPECT_FALSE(IsSoundEnabled(3));
    EXPECT_EQ(GetSoundFile(5), "/s/shut.wav");

    // A later change of the file counts at the next use.
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write("[Main]\nSndItem3Play=1\nSndItem1Play=0\nSndItem5File=/other/shutdown-now.wav\n");
    file.close();
    EXPECT_FALSE(IsSoundEnabled(1));
    EXPECT_TRUE(IsSoundEnabled(3));
    EXPECT_EQ(GetSoundFile(5), "/other/shutdown-now.wav");
}

TEST_F(SoundSettingsTest, NothingPlaysWithoutAnApplication) {
    TempDir dir;
    SetSoundFile(1, dir.Write("start.wav", ToneWav(100)));
    EXPECT_FALSE(PlayEventSound(1));
    EXPECT_FALSE(PlaySoundFileSync(GetSoundFile(1)));
}

TEST_F(SoundSettingsTest, PlayingNeverBlocksNorLogsAndReleasesItsPlayer) {
    TestApp app;
    TempDir dir;
    LogCapture log;
    const QString tone = dir.Write("tone.wav", ToneWav(300));

    // Events that must play nothing: disabled, no file, a file that is not there, a
    // file that is no sound at all.
    SetSoundEnabled(1, false);
    SetSoundFile(1, tone);
    SetSoundFile(2, QString());
    SetSoundFile(3, dir.File("missing.wav"));
    EXPECT_FALSE(PlayEventSound(1));
    EXPECT_FALSE(PlayEventSound(2));
    EXPECT_FALSE(PlayEventSound(3));
    EXPECT_FALSE(PlaySoundFileSync(QString()));
    EXPECT_FALSE(PlaySoundFileSync(dir.File("missing.wav")));
    EXPECT_EQ(ActiveSoundCount(), 0);

    // A real sound, twice at once: the calls return at once whether or not the machine
    // has an audio device.
    SetSoundFile(4, tone);
    SetSoundFile(5, dir.Write("noise.wav", "this is not a RIFF file"));
    QElapsedTimer timer;
    timer.start();
    const bool first = PlayEventSound(4);
    const bool second = PlayEventSound(4);
    const bool noise = PlayEventSound(5);
    EXPECT_LT(timer.elapsed(), 1000);
    EXPECT_EQ(first, second);
    // Each started sound keeps its player alive after the call.
    EXPECT_EQ(ActiveSoundCount(), (first ? 2 : 0) + (noise ? 1 : 0));
    // From another thread the call is handed to the application's thread.
    bool fromWorker = true;
    std::thread worker([&fromWorker] { fromWorker = PlayEventSound(4); });
    worker.join();
    EXPECT_FALSE(fromWorker);
    QCoreApplication::processEvents();  // (the noise may have failed meanwhile)
    EXPECT_GE(ActiveSoundCount(), first ? 3 : 0);
    EXPECT_LE(ActiveSoundCount(), (first ? 3 : 0) + (noise ? 1 : 0));

    // Every started player is released once it has ended or failed.
    QDeadlineTimer deadline(10000);
    while (ActiveSoundCount() > 0 && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    EXPECT_EQ(ActiveSoundCount(), 0);

    // The synchronous player waits for the end of the sound, never much longer.
    timer.restart();
    EXPECT_EQ(PlaySoundFileSync(tone), first);  // plays wherever the machine can play
    EXPECT_LT(timer.elapsed(), kMaxSyncPlayMs + 1000);

    EXPECT_TRUE(log.Texts().isEmpty()) << log.Texts().join(" | ").toStdString();
}

TEST(Shutdown, SkippedWhenTheEnvironmentSaysSo) {
    ScopedEnv env("CORVANE_NO_SHUTDOWN", "1");
    LogCapture log;
    EXPECT_FALSE(ShutdownComputer());
    EXPECT_EQ(log.Texts().size(), 1);
    EXPECT_EQ(log.CountEndingWith("  Shutdown skipped (CORVANE_NO_SHUTDOWN is set)"), 1);

    // Any value counts, the empty one too.
    ScopedEnv empty("CORVANE_NO_SHUTDOWN", "");
    EXPECT_FALSE(ShutdownComputer());
    EXPECT_EQ(log.CountEndingWith("  Shutdown skipped (CORVANE_NO_SHUTDOWN is set)"), 2);
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
        GTEST_SKIP() << "dbus-daemon is not installed";
    }
    TempDir dir;
    const QString config = dir.Write(
        "bus.conf",
        QStringLiteral("<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration "
                       "1.0//EN\" \"http://www.freedesktop.org/standards/dbus/1.0/"
                       "busconfig.dtd\">\n<busconfig><type>session</type>"
                       "<listen>unix:path=%1</listen><auth>EXTERNAL</auth>"
                       "<policy context=\"default\"><allow send_destination=\"*\"/>"
                       "<allow receive_sender=\"*\"/><allow own=\"*\"/></policy></busconfig>\n")
            .arg(dir.File("bus"))
            .toUtf8());
    QProcess bus;
    bus.start(daemon, {"--config-file=" + config, "--nofork", "--print-address"});
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
    // Nobody serves logind: refused, and said why.
    EXPECT_FALSE(ShutdownComputer());
    ASSERT_EQ(log.Texts().size(), 1);
    EXPECT_TRUE(log.Texts()[0].contains("  Error: Cannot shut down the computer: "))
        << log.Texts().join(" | ").toStdString();

    // The manager object answers on its own thread while this one waits for the reply.
    QThread worker;
    FakeLogind logind;
    logind.moveToThread(&worker);
    worker.start();
    ASSERT_TRUE(service.registerVirtualObject("/org/freedesktop/login1", &logind));
    ASSERT_TRUE(service.registerService("org.freedesktop.login1"));

    EXPECT_TRUE(ShutdownComputer());
    EXPECT_EQ(log.Texts().size(), 1);  // a granted request adds no line

    logind.SetRefuse(true);
    EXPECT_FALSE(ShutdownComputer());
    ASSERT_EQ(log.Texts().size(), 2);
    EXPECT_TRUE(log.Texts()[1].endsWith(
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
