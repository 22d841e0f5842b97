#include "platform/DesktopNotice.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QStringList>
#include <QVariantMap>

#include "platform/SessionBus.h"

namespace corvane {
namespace {

const QString kService = QStringLiteral("org.freedesktop.Notifications");

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
