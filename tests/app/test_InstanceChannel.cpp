// The single-instance channel. The channel under test serves on the main thread; each
// sender runs on a thread of its own, as a second program would, while the main
// thread's event loop serves.

#include "app/InstanceChannel.h"

#include <gtest/gtest.h>

#include <QtCore/qtestsupport_core.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QLocalSocket>
#include <QTimer>
#include <atomic>
#include <cstring>
#include <thread>

#include "app/TaskArgument.h"
#include "model/FileName.h"
#include "support/ScopedEnv.h"
#include "support/TempDir.h"

namespace corvane {
namespace {

struct Sent {
    bool ok = false;
    QString reply;
    InstanceChannel::Owner owner = InstanceChannel::Owner::kWindow;
};

// Hands `argument` (null: a raise request) to the server of `folder` from a thread of
// its own while this thread serves.
Sent Send(const QString& folder, const QString& argument = QString()) {
    Sent sent;
    std::atomic<bool> done{false};
    std::thread sender([&] {
        sent.ok = InstanceChannel::SendToRunning(folder, argument.isNull() ? nullptr : &argument,
                                                 &sent.reply, &sent.owner);
        done = true;
    });
    EXPECT_TRUE(QTest::qWaitFor([&] { return done.load(); }, 30000));
    sender.join();
    return sent;
}

// Writes raw bytes to the server of `folder`; answers whether the server dropped the
// connection without a word.
bool DroppedWithoutAnswer(const QString& folder, const QByteArray& bytes) {
    QLocalSocket socket;
    QEventLoop loop;
    QObject::connect(&socket, &QLocalSocket::disconnected, &loop, &QEventLoop::quit);
    QTimer::singleShot(30000, &loop, &QEventLoop::quit);
    socket.connectToServer(InstanceChannel::ServerName(folder));
    if (!socket.waitForConnected(5000)) {
        return false;
    }
    socket.write(bytes);
    loop.exec();
    return socket.state() == QLocalSocket::UnconnectedState && socket.readAll().isEmpty();
}

// A socket file nobody listens on, as a program killed while serving leaves it behind.
void LeaveStaleSocket(const QString& path) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray bytes = FileNameToBytes(path);
    std::memcpy(address.sun_path, bytes.constData(), static_cast<size_t>(bytes.size()) + 1);
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ::close(fd);
}

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

class InstanceChannelTest : public testing::Test {
  protected:
    void SetUp() override {
        for (const char* folder : {"run", "a", "b"}) {
            QDir().mkpath(m_dir.File(folder));
        }
    }

    test::TempDir m_dir;
    // Sockets of these tests only, never those of a Corvane the user runs.
    test::ScopedEnv m_runtime{"XDG_RUNTIME_DIR", FileNameToBytes(m_dir.File("run"))};
};

TEST_F(InstanceChannelTest, TaskNamesAreCheckedHandedOverAndAnswered) {
    InstanceChannel channel(InstanceChannel::Owner::kCommandLine);
    channel.SetTaskCheck([](const QString& argument) {
        const QString name = TrimTaskArgument(argument);
        return name.compare("my docs", Qt::CaseInsensitive) == 0 ||
                       name == QString::fromUtf8("Fotos \xE2\x9C\x93")
                   ? QString()
                   : QStringLiteral("Error: task '%1' not found").arg(name);
    });
    ASSERT_TRUE(channel.Listen(m_dir.File("a")));
    Received received(channel);

    const QStringList accepted = {"/\"my docs\"", QString::fromUtf8("/Fotos \xE2\x9C\x93")};
    for (const QString& argument : accepted) {
        const Sent sent = Send(m_dir.File("a"), argument);
        EXPECT_TRUE(sent.ok) << sent.reply.toStdString();
        EXPECT_EQ(sent.owner, InstanceChannel::Owner::kCommandLine);
    }
    Sent sent = Send(m_dir.File("a"), "Nothing");
    EXPECT_FALSE(sent.ok);
    EXPECT_EQ(sent.reply, "Error: task 'Nothing' not found");
    // Too long for the record: refused by the sender, never cut.
    const QString longName(300, QLatin1Char('x'));
    sent = Send(m_dir.File("a"), longName);
    EXPECT_FALSE(sent.ok);
    EXPECT_TRUE(sent.reply.startsWith("Error: the task name is longer than 259"))
        << sent.reply.toStdString();
    // Every argument that reached the server, untrimmed and in order, the refused one
    // too (its receiver logs it).
    EXPECT_EQ(received.arguments, accepted + QStringList{"Nothing"});
    EXPECT_EQ(received.raises, 0);

    // Such a name kept the window from opening when nobody served: the reply must say
    // that nobody serves.
    QString reply = QStringLiteral("something");
    EXPECT_FALSE(InstanceChannel::SendToRunning(m_dir.File("b"), &longName, &reply));
    EXPECT_EQ(reply, QString());
}

TEST_F(InstanceChannelTest, DataFoldersHaveTheirOwnChannels) {
    const QString a = m_dir.File("a");
    const QString b = m_dir.File("b");
    EXPECT_NE(InstanceChannel::ServerName(a), InstanceChannel::ServerName(b));
    // Other spellings of one folder meet the same server.
    ASSERT_TRUE(QFile::link(a, m_dir.File("link")));
    for (const QString& spelling : {a + "/", b + "/../a", m_dir.File("link")}) {
        EXPECT_EQ(InstanceChannel::ServerName(a), InstanceChannel::ServerName(spelling));
    }
    EXPECT_TRUE(InstanceChannel::ServerName(a).startsWith(m_dir.File("run") + "/corvane-"));

    InstanceChannel channelA(InstanceChannel::Owner::kWindow);
    ASSERT_TRUE(channelA.Listen(a));
    Received receivedA(channelA);
    Sent sent = Send(b, "Docs");
    EXPECT_FALSE(sent.ok);  // nobody serves b yet
    EXPECT_TRUE(sent.reply.isEmpty());

    InstanceChannel channelB(InstanceChannel::Owner::kCommandLine);
    ASSERT_TRUE(channelB.Listen(b));
    Received receivedB(channelB);
    EXPECT_TRUE(Send(b, "Docs").ok);
    sent = Send(a);
    EXPECT_TRUE(sent.ok);
    EXPECT_EQ(sent.owner, InstanceChannel::Owner::kWindow);
    EXPECT_EQ(receivedB.arguments, QStringList{"Docs"});
    EXPECT_EQ(receivedB.raises, 0);
    EXPECT_TRUE(receivedA.arguments.isEmpty());
    EXPECT_EQ(receivedA.raises, 1);
}

// While a server lives nobody else may take its place; a socket a killed server left
// behind answers nobody and is replaced; a closed channel removes its socket.
TEST_F(InstanceChannelTest, SocketOfACrashedServerIsReplaced) {
    const QString folder = m_dir.File("a");
    {
        InstanceChannel first(InstanceChannel::Owner::kCommandLine);
        ASSERT_TRUE(first.Listen(folder));
        InstanceChannel second(InstanceChannel::Owner::kWindow);
        EXPECT_FALSE(second.Listen(folder));
    }
    LeaveStaleSocket(InstanceChannel::ServerName(folder));
    Sent sent = Send(folder);
    EXPECT_FALSE(sent.ok);
    EXPECT_TRUE(sent.reply.isEmpty());

    InstanceChannel channel(InstanceChannel::Owner::kWindow);
    ASSERT_TRUE(channel.Listen(folder));
    Received received(channel);
    EXPECT_TRUE(Send(folder, "/Docs").ok);
    EXPECT_EQ(received.arguments, QStringList{"/Docs"});

    channel.Close();
    EXPECT_FALSE(QFileInfo::exists(InstanceChannel::ServerName(folder)));
    EXPECT_FALSE(Send(folder, "/Docs").ok);
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
        EXPECT_TRUE(DroppedWithoutAnswer(folder, bytes)) << bytes.toHex().constData();
    }
    EXPECT_TRUE(received.arguments.isEmpty());
    EXPECT_EQ(received.raises, 0);

    EXPECT_TRUE(Send(folder, "Docs").ok);
    EXPECT_EQ(received.arguments, QStringList{"Docs"});
}

}  // namespace
}  // namespace corvane

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
