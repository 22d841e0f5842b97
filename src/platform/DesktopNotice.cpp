#include "platform/DesktopNotice.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QFileInfo>
#include <QStringList>
#include <QVariantMap>

namespace corvane {
namespace {

const QString kService = QStringLiteral("org.freedesktop.Notifications");

// Without an address and without the per-user bus socket there is no session bus. The
// bus library would otherwise try to start one for an X display, which takes time and
// leaves a bus behind.
bool SessionBusExists() {
    if (!qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS")) {
        return true;
    }
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    return !runtime.isEmpty() && QFileInfo(runtime + QStringLiteral("/bus")).exists();
}

}  // namespace

bool ShowDesktopNotice(const QString& summary, const QString& body) {
    if (!SessionBusExists()) {
        return false;
    }
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        return false;
    }
    QDBusMessage notify =
        QDBusMessage::createMethodCall(kService, QStringLiteral("/org/freedesktop/Notifications"),
                                       kService, QStringLiteral("Notify"));
    // Only a service that runs already: starting one could take longer than the notice
    // is worth.
    notify.setAutoStartService(false);
    notify << QStringLiteral("Corvane") << 0u << QStringLiteral("corvane") << summary << body
           << QStringList() << QVariantMap() << -1;
    const QDBusMessage reply = bus.call(notify, QDBus::Block, kNoticeReplyTimeoutMs);
    return reply.type() == QDBusMessage::ReplyMessage;
}

}  // namespace corvane
