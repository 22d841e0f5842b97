#include "platform/desktop/Shutdown.h"

#include <QDBusConnection>
#include <QDBusError>
#include <QDBusMessage>

#include "log/Log.h"

namespace corvane {

bool ShutdownComputer() {
    if (qEnvironmentVariableIsSet("CORVANE_NO_SHUTDOWN")) {
        Log("  Shutdown skipped (CORVANE_NO_SHUTDOWN is set)");
        return false;
    }
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected()) {
        Log("  Error: Cannot shut down the computer, no system bus: %s",
            qUtf8Printable(bus.lastError().message()));
        return false;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"),
        QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("PowerOff"));
    call << false;  // not interactive
    const QDBusMessage reply = bus.call(call, QDBus::Block, kShutdownReplyTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage) {
        const QString reason =
            reply.errorMessage().isEmpty() ? reply.errorName() : reply.errorMessage();
        Log("  Error: Cannot shut down the computer: %s", qUtf8Printable(reason));
        return false;
    }
    return true;
}

}  // namespace corvane
