#include "app/InstanceChannel.h"

#include <sys/socket.h>
#include <sys/types.h>
#include <unistd.h>
#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QPointer>
#include <QTimer>
#include <QtEndian>

#include "app/HandOverRecord.h"
#include "log/Log.h"

namespace corvane {
namespace {

constexpr quint32 kRaiseTag = 1;
constexpr int kHeaderSize = 8;
constexpr char kHandledProperty[] = "corvaneHandled";

QByteArray Header(quint32 tag, quint32 size) {
    QByteArray header(kHeaderSize, '\0');
    uchar* bytes = reinterpret_cast<uchar*>(header.data());
    qToLittleEndian<quint32>(tag, bytes);
    qToLittleEndian<quint32>(size, bytes + 4);
    return header;
}

// The only message sizes there are: anything else is not one of ours.
bool IsKnown(quint32 tag, quint32 size) {
    return (tag == HandOverRecord::kDataTag && size == HandOverRecord::kSize) ||
           (tag == kRaiseTag && size == 0);
}

// Whether the process at the other end of a connected local socket runs as this user.
// The socket folder is ours alone, but $XDG_RUNTIME_DIR may be unset and /tmp is
// shared: a socket someone else made there must never be trusted either way.
bool PeerIsThisUser(qintptr descriptor) {
    ucred credentials{};
    socklen_t length = sizeof(credentials);
    if (::getsockopt(static_cast<int>(descriptor), SOL_SOCKET, SO_PEERCRED, &credentials,
                     &length) != 0) {
        return false;
    }
    return credentials.uid == ::getuid();
}

QString SocketFolder() {
    const QString runtime = QString::fromLocal8Bit(qgetenv("XDG_RUNTIME_DIR"));
    if (!runtime.isEmpty() && QDir::isAbsolutePath(runtime) && QFileInfo(runtime).isDir()) {
        return QDir::cleanPath(runtime);
    }
    return QDir::cleanPath(QDir::tempPath());
}

}  // namespace

InstanceChannel::InstanceChannel(Owner owner, QObject* parent) : QObject(parent), m_owner(owner) {}

InstanceChannel::~InstanceChannel() {
    Close();
}

QString InstanceChannel::ServerName(const QString& dataFolder) {
    // The same folder reached through another spelling or a link must meet the same
    // server, so the hash is taken of the real path when the folder exists.
    const QFileInfo info(dataFolder);
    QString folder = info.canonicalFilePath();
    if (folder.isEmpty()) {
        folder = QDir::cleanPath(info.absoluteFilePath());
    }
    const QByteArray hash =
        QCryptographicHash::hash(folder.toUtf8(), QCryptographicHash::Sha256).toHex().left(16);
    return SocketFolder() +
           QStringLiteral("/corvane-%1-%2").arg(::getuid()).arg(QString::fromLatin1(hash));
}

bool InstanceChannel::Listen(const QString& dataFolder) {
    Close();
    const QString name = ServerName(dataFolder);
    {
        // A socket that still answers belongs to a living server; one that refuses the
        // connection was left by a program that crashed.
        QLocalSocket probe;
        probe.connectToServer(name);
        if (probe.waitForConnected(kConnectTimeoutMs)) {
            probe.abort();
            Log("Warning: another Corvane program already serves %s", qUtf8Printable(dataFolder));
            return false;
        }
    }
    QLocalServer::removeServer(name);
    auto* server = new QLocalServer(this);
    server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!server->listen(name)) {
        Log("Warning: the single-instance channel %s could not be opened: %s", qUtf8Printable(name),
            qUtf8Printable(server->errorString()));
        delete server;
        return false;
    }
    connect(server, &QLocalServer::newConnection, this, &InstanceChannel::OnNewConnection);
    m_server = server;
    return true;
}

void InstanceChannel::Close() {
    if (m_server == nullptr) {
        return;
    }
    // close() removes the socket file; the connections are children of the server and
    // go with it, unanswered.
    m_server->close();
    delete m_server;
    m_server = nullptr;
}

bool InstanceChannel::IsListening() const {
    return m_server != nullptr && m_server->isListening();
}

void InstanceChannel::OnNewConnection() {
    while (m_server != nullptr && m_server->hasPendingConnections()) {
        QLocalSocket* socket = m_server->nextPendingConnection();
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        if (!PeerIsThisUser(socket->socketDescriptor())) {
            socket->abort();
            continue;
        }
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { OnReadyRead(socket); });
        QTimer::singleShot(kIdleTimeoutMs, socket, [socket] {
            if (!socket->property(kHandledProperty).toBool()) {
                socket->abort();
            }
        });
        if (socket->bytesAvailable() > 0) {
            OnReadyRead(socket);
        }
    }
}

void InstanceChannel::OnReadyRead(QLocalSocket* socket) {
    if (socket->property(kHandledProperty).toBool() || socket->bytesAvailable() < kHeaderSize) {
        return;
    }
    const QByteArray header = socket->peek(kHeaderSize);
    const uchar* bytes = reinterpret_cast<const uchar*>(header.constData());
    const quint32 tag = qFromLittleEndian<quint32>(bytes);
    const quint32 size = qFromLittleEndian<quint32>(bytes + 4);
    if (!IsKnown(tag, size)) {
        socket->abort();
        return;
    }
    if (socket->bytesAvailable() < kHeaderSize + static_cast<qint64>(size)) {
        return;  // the rest is on its way
    }
    socket->read(kHeaderSize);
    const QByteArray data = socket->read(size);
    // One message per connection; a receiver that runs an event loop must not see it
    // twice.
    socket->setProperty(kHandledProperty, true);
    // A receiver may run a nested event loop (a message box), in which the channel can
    // be closed and the connection deleted.
    const QPointer<QLocalSocket> guard(socket);
    const QByteArray answer = Handle(tag, data);
    if (guard.isNull()) {
        return;
    }
    socket->write(answer);
    // Sends what is pending, then closes.
    socket->disconnectFromServer();
}

QByteArray InstanceChannel::Handle(quint32 tag, const QByteArray& data) {
    const QByteArray accepted = m_owner == Owner::kWindow ? QByteArrayLiteral("OK window\n")
                                                          : QByteArrayLiteral("OK cli\n");
    if (tag == kRaiseTag) {
        emit RaiseRequested();
        return accepted;
    }
    QString argument;
    if (!HandOverRecord::Decode(data, argument)) {
        return QByteArrayLiteral("ERROR the hand-over record holds no terminated name\n");
    }
    const QString refusal = m_taskCheck ? m_taskCheck(argument) : QString();
    emit TaskNameReceived(argument);
    if (!refusal.isEmpty()) {
        // One line: the answer ends at the first line break.
        QString line = refusal;
        line.replace(QLatin1Char('\n'), QLatin1Char(' '));
        return "ERROR " + line.toUtf8() + '\n';
    }
    return accepted;
}

bool InstanceChannel::SendToRunning(const QString& dataFolder, const QString* argument,
                                    QString* reply, Owner* owner) {
    QString text;
    const auto answer = [&](bool ok) {
        if (reply != nullptr) {
            *reply = text;
        }
        return ok;
    };
    QLocalSocket socket;
    socket.connectToServer(ServerName(dataFolder));
    if (!socket.waitForConnected(kConnectTimeoutMs)) {
        return answer(false);  // nobody serves the folder
    }
    if (!PeerIsThisUser(socket.socketDescriptor())) {
        text = QStringLiteral("Error: the channel of %1 is served by another user's program")
                   .arg(dataFolder);
        return answer(false);
    }
    // Only a program that would get the record is bound by its size: without one, the
    // caller runs the task itself, whatever the length of its name.
    if (argument != nullptr && !HandOverRecord::Fits(*argument)) {
        text = QStringLiteral("Error: the task name is longer than %1 characters")
                   .arg(HandOverRecord::kMaxArgumentUnits);
        return answer(false);
    }
    QByteArray message;
    if (argument != nullptr) {
        message = Header(HandOverRecord::kDataTag, HandOverRecord::kSize) +
                  HandOverRecord::Encode(*argument);
    } else {
        message = Header(kRaiseTag, 0);
    }
    socket.write(message);
    QByteArray line;
    while (!line.endsWith('\n')) {
        if (socket.bytesAvailable() == 0 && !socket.waitForReadyRead(kAnswerTimeoutMs)) {
            if (socket.state() == QLocalSocket::ConnectedState) {
                text = QStringLiteral("Error: the running Corvane program did not answer");
            }
            // Else the server closed without answering: it ended meanwhile (a run whose
            // queue had just emptied) and the caller may take its place.
            return answer(false);
        }
        line += socket.read(socket.bytesAvailable());
        if (line.size() > 4096) {
            text = QStringLiteral("Error: the running Corvane program gave no valid answer");
            return answer(false);
        }
    }
    const QString answerLine = QString::fromUtf8(line.left(line.indexOf('\n')));
    if (answerLine.startsWith(QLatin1String("OK "))) {
        if (owner != nullptr) {
            *owner =
                answerLine.mid(3) == QLatin1String("cli") ? Owner::kCommandLine : Owner::kWindow;
        }
        return answer(true);
    }
    text = answerLine.startsWith(QLatin1String("ERROR ")) ? answerLine.mid(6) : answerLine;
    if (text.isEmpty()) {
        text = QStringLiteral("Error: the running Corvane program refused the task");
    }
    return answer(false);
}

}  // namespace corvane
