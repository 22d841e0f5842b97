#include "app/InstanceChannel.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QLocalSocket>
#include <QProcess>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "app/TaskArgument.h"
#include "support/TempDir.h"

namespace corvane {
namespace {

// The second program of these tests is this binary again, started with
// CORVANE_CHANNEL_ROLE: "send" hands CORVANE_CHANNEL_ARGUMENT (or, when unset, a raise
// request) to the server of CORVANE_CHANNEL_FOLDER and prints the outcome; "serve"
// listens on that folder and serves until it is killed.
int RunChildRole() {
    const QByteArray role = qgetenv("CORVANE_CHANNEL_ROLE");
    if (role.isEmpty()) {
        return 0;
    }
    int argc = 1;
    char name[] = "channel-child";
    char* argv[] = {name, nullptr};
    int status = 0;
    {
        QCoreApplication app(argc, argv);
        const QString folder = qEnvironmentVariable("CORVANE_CHANNEL_FOLDER");
        if (role == "send") {
            const bool hasArgument = qEnvironmentVariableIsSet("CORVANE_CHANNEL_ARGUMENT");
            const QString argument = qEnvironmentVariable("CORVANE_CHANNEL_ARGUMENT");
            QString reply;
            InstanceChannel::Owner owner = InstanceChannel::Owner::kWindow;
            const bool ok = InstanceChannel::SendToRunning(
                folder, hasArgument ? &argument : nullptr, &reply, &owner);
            std::printf("reply:%s\n", qUtf8Printable(reply));
            if (ok) {
                std::printf("owner:%s\n",
                            owner == InstanceChannel::Owner::kWindow ? "window" : "cli");
            }
            status = ok ? 0 : (reply.isEmpty() ? 2 : 1);
        } else {
            InstanceChannel channel(InstanceChannel::Owner::kCommandLine);
            if (!channel.Listen(folder)) {
                status = 3;
            } else {
                std::printf("listening\n");
                std::fflush(stdout);
                status = app.exec();
            }
        }
    }
    std::fflush(stdout);
    std::exit(status);
}

[[maybe_unused]] const int kChildRole = RunChildRole();

struct ChildResult {
    int status = -1;
    QString output;
};

class InstanceChannelTest : public testing::Test {
  protected:
    static void SetUpTestSuite() {
        static int argc = 1;
        static char name[] = "test_InstanceChannel";
        static char* argv[] = {name, nullptr};
        s_app = std::make_unique<QCoreApplication>(argc, argv);
    }
    static void TearDownTestSuite() { s_app.reset(); }

    void SetUp() override {
        // Sockets of these tests only, never those of a Corvane the user runs.
        m_oldRuntime = qgetenv("XDG_RUNTIME_DIR");
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(m_dir.File("run")));
        QDir().mkpath(m_dir.File("run"));
        QDir().mkpath(m_dir.File("a"));
        QDir().mkpath(m_dir.File("b"));
    }
    void TearDown() override { qputenv("XDG_RUNTIME_DIR", m_oldRuntime); }

    QProcessEnvironment ChildEnv(const char* role, const QString& folder,
                                 const QString* argument) const {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("CORVANE_CHANNEL_ROLE", QString::fromLatin1(role));
        env.insert("CORVANE_CHANNEL_FOLDER", folder);
        if (argument != nullptr) {
            env.insert("CORVANE_CHANNEL_ARGUMENT", *argument);
        }
        return env;
    }

    // Runs a sender; this process keeps serving its channels meanwhile.
    ChildResult Send(const QString& folder, const QString* argument = nullptr) const {
        QProcess process;
        process.setProcessEnvironment(ChildEnv("send", folder, argument));
        QEventLoop loop;
        QObject::connect(&process, &QProcess::finished, &loop, &QEventLoop::quit);
        QTimer::singleShot(60000, &loop, &QEventLoop::quit);
        process.start(QStringLiteral("/proc/self/exe"), {});
        loop.exec();
        ChildResult result;
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished();
            return result;
        }
        result.output = QString::fromUtf8(process.readAllStandardOutput());
        result.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
        return result;
    }

    static inline std::unique_ptr<QCoreApplication> s_app;
    test::TempDir m_dir;
    QByteArray m_oldRuntime;
};

// Records what a serving channel receives.
struct Received {
    explicit Received(InstanceChannel& channel) {
        QObject::connect(&channel, &InstanceChannel::TaskNameReceived,
                         [this](const QString& argument) { arguments << argument; });
        QObject::connect(&channel, &InstanceChannel::RaiseRequested, [this] { ++raises; });
    }
    QStringList arguments;
    int raises = 0;
};

TEST_F(InstanceChannelTest, RaiseRequestReachesTheServer) {
    InstanceChannel channel(InstanceChannel::Owner::kWindow);
    ASSERT_TRUE(channel.Listen(m_dir.File("a")));
    Received received(channel);

    const ChildResult result = Send(m_dir.File("a"));
    EXPECT_EQ(result.status, 0) << result.output.toStdString();
    EXPECT_TRUE(result.output.contains("owner:window")) << result.output.toStdString();
    EXPECT_EQ(received.raises, 1);
    EXPECT_TRUE(received.arguments.isEmpty());
}

TEST_F(InstanceChannelTest, TaskNamesAreCheckedHandedOverAndAnswered) {
    InstanceChannel channel(InstanceChannel::Owner::kCommandLine);
    const QStringList known = {QStringLiteral("My Docs"), QString::fromUtf8("Fotos \xE2\x9C\x93")};
    channel.SetTaskCheck([&known](const QString& argument) {
        const QString name = TrimTaskArgument(argument);
        for (const QString& task : known) {
            if (task.compare(name, Qt::CaseInsensitive) == 0) {
                return QString();
            }
        }
        return QStringLiteral("Error: task '%1' not found").arg(name);
    });
    ASSERT_TRUE(channel.Listen(m_dir.File("a")));
    Received received(channel);

    struct Case {
        QString argument;
        int status;
        const char* output;
    };
    const Case cases[] = {
        {QStringLiteral("/\"my docs\""), 0, "owner:cli"},
        {QString::fromUtf8("/Fotos \xE2\x9C\x93"), 0, "owner:cli"},
        {QStringLiteral("Nothing"), 1, "reply:Error: task 'Nothing' not found"},
        // Too long for the record: refused by the sender, never cut.
        {QString(300, QLatin1Char('x')), 1, "reply:Error: the task name is longer than 259"},
    };
    for (const Case& c : cases) {
        const ChildResult result = Send(m_dir.File("a"), &c.argument);
        EXPECT_EQ(result.status, c.status) << c.argument.toStdString();
        EXPECT_TRUE(result.output.contains(QString::fromUtf8(c.output)))
            << result.output.toStdString();
    }
    // Every argument that reached the server, untrimmed and in order, the refused one
    // too (its receiver logs it); the long one never left the sender.
    EXPECT_EQ(received.arguments,
              (QStringList{cases[0].argument, cases[1].argument, cases[2].argument}));
    EXPECT_EQ(received.raises, 0);
}

TEST_F(InstanceChannelTest, SocketOfACrashedServerIsReplaced) {
    const QString folder = m_dir.File("a");
    QProcess server;
    server.setProcessEnvironment(ChildEnv("serve", folder, nullptr));
    server.start(QStringLiteral("/proc/self/exe"), {});
    ASSERT_TRUE(server.waitForReadyRead(30000));
    ASSERT_EQ(server.readLine(), QByteArray("listening\n"));

    // While it lives, it answers and nobody else may take its place.
    QString reply;
    InstanceChannel::Owner owner = InstanceChannel::Owner::kWindow;
    EXPECT_TRUE(InstanceChannel::SendToRunning(folder, nullptr, &reply, &owner));
    EXPECT_EQ(owner, InstanceChannel::Owner::kCommandLine);
    InstanceChannel channel(InstanceChannel::Owner::kWindow);
    EXPECT_FALSE(channel.Listen(folder));

    // Killed, it leaves its socket behind, which answers nobody.
    ::kill(static_cast<pid_t>(server.processId()), SIGKILL);
    ASSERT_TRUE(server.waitForFinished(30000));
    ASSERT_TRUE(QFileInfo::exists(InstanceChannel::ServerName(folder)));
    reply = QStringLiteral("something");
    EXPECT_FALSE(InstanceChannel::SendToRunning(folder, nullptr, &reply));
    EXPECT_TRUE(reply.isEmpty());

    ASSERT_TRUE(channel.Listen(folder));
    Received received(channel);
    const QString argument = QStringLiteral("/Docs");
    EXPECT_EQ(Send(folder, &argument).status, 0);
    EXPECT_EQ(received.arguments, QStringList{argument});

    // Closed, the socket is gone and senders hear that nobody serves.
    channel.Close();
    EXPECT_FALSE(QFileInfo::exists(InstanceChannel::ServerName(folder)));
    EXPECT_EQ(Send(folder, &argument).status, 2);
}

TEST_F(InstanceChannelTest, DataFoldersHaveTheirOwnChannels) {
    const QString a = m_dir.File("a");
    const QString b = m_dir.File("b");
    EXPECT_NE(InstanceChannel::ServerName(a), InstanceChannel::ServerName(b));
    // Other spellings of one folder meet the same server.
    EXPECT_EQ(InstanceChannel::ServerName(a), InstanceChannel::ServerName(a + "/"));
    EXPECT_EQ(InstanceChannel::ServerName(a), InstanceChannel::ServerName(b + "/../a"));
    ASSERT_TRUE(QFile::link(a, m_dir.File("link")));
    EXPECT_EQ(InstanceChannel::ServerName(a), InstanceChannel::ServerName(m_dir.File("link")));
    EXPECT_TRUE(InstanceChannel::ServerName(a).startsWith(m_dir.File("run") + "/corvane-"));

    InstanceChannel channelA(InstanceChannel::Owner::kWindow);
    ASSERT_TRUE(channelA.Listen(a));
    Received receivedA(channelA);
    // Nobody serves b yet.
    const QString argument = QStringLiteral("Docs");
    EXPECT_EQ(Send(b, &argument).status, 2);

    InstanceChannel channelB(InstanceChannel::Owner::kCommandLine);
    ASSERT_TRUE(channelB.Listen(b));
    Received receivedB(channelB);
    EXPECT_EQ(Send(b, &argument).status, 0);
    EXPECT_EQ(Send(a).status, 0);
    EXPECT_EQ(receivedB.arguments, QStringList{argument});
    EXPECT_EQ(receivedB.raises, 0);
    EXPECT_TRUE(receivedA.arguments.isEmpty());
    EXPECT_EQ(receivedA.raises, 1);
}

// A name too long for the hand-over record kept the window from opening, nobody serving.
TEST_F(InstanceChannelTest, OverLongNameStillFindsThatNobodyServes) {
    const QString longName(300, QLatin1Char('x'));
    QString reply = QStringLiteral("something");
    EXPECT_FALSE(InstanceChannel::SendToRunning(m_dir.File("b"), &longName, &reply));
    EXPECT_EQ(reply, QString());
}

// Whatever a broken or foreign client sends, the server drops that connection and
// carries on.
TEST_F(InstanceChannelTest, BadMessagesAreDroppedAndServingGoesOn) {
    const QString folder = m_dir.File("a");
    InstanceChannel channel(InstanceChannel::Owner::kWindow);
    ASSERT_TRUE(channel.Listen(folder));
    Received received(channel);

    const QByteArray bad[] = {
        QByteArray("GET / HTTP/1.0\r\n\r\n"),
        // Tag 746 with a size that is not the record's.
        QByteArray::fromHex("ea02000010000000") + QByteArray(16, 'a'),
        // A raise request that claims data.
        QByteArray::fromHex("0100000004000000") + QByteArray(4, 'a'),
    };
    for (const QByteArray& bytes : bad) {
        QLocalSocket socket;
        QEventLoop loop;
        QObject::connect(&socket, &QLocalSocket::disconnected, &loop, &QEventLoop::quit);
        QTimer::singleShot(30000, &loop, &QEventLoop::quit);
        socket.connectToServer(InstanceChannel::ServerName(folder));
        ASSERT_TRUE(socket.waitForConnected(5000));
        socket.write(bytes);
        loop.exec();
        EXPECT_EQ(socket.state(), QLocalSocket::UnconnectedState) << bytes.toHex().constData();
        EXPECT_TRUE(socket.readAll().isEmpty());
    }
    EXPECT_TRUE(received.arguments.isEmpty());
    EXPECT_EQ(received.raises, 0);

    const QString argument = QStringLiteral("Docs");
    EXPECT_EQ(Send(folder, &argument).status, 0);
    EXPECT_EQ(received.arguments, QStringList{argument});
}

}  // namespace
}  // namespace corvane
