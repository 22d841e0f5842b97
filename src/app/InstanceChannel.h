#pragma once

// The single-instance channel of a data folder: the program that owns the folder's task
// list (the window, or a corvane-cli run) listens on a local socket, and a second
// program hands it a task name or asks it to raise its window instead of opening the
// task list itself.
//
// The socket is per user and per data folder, in $XDG_RUNTIME_DIR (else the temporary
// folder), readable by its owner only, and both ends check that the other end runs as
// the same user. One message per connection: a header of two little-endian 32-bit
// words (tag, size) and the data; tag 746 carries the 520-byte HandOverRecord, tag 1
// (no data) asks for the window. The server answers one line when it has handled the
// message: "OK window" or "OK cli", or "ERROR " and the text of the refusal. So a
// sender ends only after the first program has queued the task, as the synchronous
// hand-over always did.
//
// Threads: a listening channel is a QObject of the thread whose event loop serves it
// (the main thread); SendToRunning blocks its caller and may be called from any
// thread, but never from the thread that serves the same folder (it would wait for
// itself).

#include <QObject>
#include <QString>
#include <functional>

class QLocalServer;
class QLocalSocket;

namespace corvane {

class InstanceChannel : public QObject {
    Q_OBJECT

  public:
    // Who serves the channel; the sender learns it from the answer.
    enum class Owner { kWindow, kCommandLine };

    // Answers the text of a refusal for a handed-over argument, or an empty string when
    // the argument is accepted. Called on the serving thread just before
    // TaskNameReceived.
    using TaskCheck = std::function<QString(const QString& argument)>;

    // Longest wait for a connection, and for the answer once the message is sent, in ms.
    static constexpr int kConnectTimeoutMs = 3000;
    static constexpr int kAnswerTimeoutMs = 60000;
    // A connection that has not delivered its message within this time is dropped.
    static constexpr int kIdleTimeoutMs = 10000;

    explicit InstanceChannel(Owner owner, QObject* parent = nullptr);
    ~InstanceChannel() override;

    InstanceChannel(const InstanceChannel&) = delete;
    InstanceChannel& operator=(const InstanceChannel&) = delete;

    // The socket path of a data folder: "corvane-<uid>-<hash of the folder>" in the
    // user's runtime folder. Two spellings of one folder give one path.
    static QString ServerName(const QString& dataFolder);

    // Starts serving the folder. A socket left behind by a program that ended without
    // removing it is replaced; false (with a log line) when another program still
    // answers on it or the socket cannot be made. The caller should hold the folder's
    // DataFolderLock, which makes it the only rightful server.
    bool Listen(const QString& dataFolder);
    // Stops serving and removes the socket; connections not yet answered are dropped
    // (their senders see no answer). Also done by the destructor.
    void Close();
    bool IsListening() const;

    void SetTaskCheck(TaskCheck check) { m_taskCheck = std::move(check); }

    // The client side. Hands `argument` (a task name in any of the command-line forms)
    // to the program serving `dataFolder`, or with a null `argument` asks it to raise
    // its window, and waits for its answer. True once the server has accepted; `owner`
    // (optional) then tells who serves. False with an empty `reply` when no program
    // serves the folder (or it vanished without answering); false with the text in
    // `reply` when the server refused (for instance "Error: task 'X' not found"), did
    // not answer in time, or the argument does not fit the hand-over record (it is
    // refused whole, never cut: a cut name could start another task). Whether a program
    // serves the folder is found out first, so an argument too long for the record
    // still answers "nobody serves" when nobody does.
    static bool SendToRunning(const QString& dataFolder, const QString* argument, QString* reply,
                              Owner* owner = nullptr);

  signals:
    // A second program handed over its argument, untrimmed. Emitted after the task check
    // (also for a refused argument, so that the receiver logs it) and before the answer.
    void TaskNameReceived(QString argument);
    // A second program without an argument asks for the window.
    void RaiseRequested();

  private:
    void OnNewConnection();
    void OnReadyRead(QLocalSocket* socket);
    // Handles one complete message; answers the line to send back.
    QByteArray Handle(quint32 tag, const QByteArray& data);

    Owner m_owner;
    QLocalServer* m_server = nullptr;  // child of this object, null while closed
    TaskCheck m_taskCheck;
};

}  // namespace corvane
