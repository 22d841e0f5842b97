#include "platform/SoundSettings.h"

#include <QSettings>

namespace corvane {
namespace {

bool IsKnownEvent(int event) {
    return event >= kFirstSoundEvent && event <= kLastSoundEvent;
}

QString PlayKey(int event) {
    return QStringLiteral("Main/SndItem%1Play").arg(event);
}

QString FileKey(int event) {
    return QStringLiteral("Main/SndItem%1File").arg(event);
}

}  // namespace

bool IsSoundEnabled(int event) {
    if (!IsKnownEvent(event)) {
        return false;
    }
    QSettings settings(QStringLiteral("Tarnis"), QStringLiteral("Tarnis"));
    return settings.value(PlayKey(event), 1).toInt() != 0;
}

QString GetSoundFile(int event) {
    if (!IsKnownEvent(event)) {
        return {};
    }
    QSettings settings(QStringLiteral("Tarnis"), QStringLiteral("Tarnis"));
    return settings.value(FileKey(event)).toString();
}

void SetSoundEnabled(int event, bool enabled) {
    if (!IsKnownEvent(event)) {
        return;
    }
    QSettings settings(QStringLiteral("Tarnis"), QStringLiteral("Tarnis"));
    settings.setValue(PlayKey(event), enabled ? 1 : 0);
}

void SetSoundFile(int event, const QString& path) {
    if (!IsKnownEvent(event)) {
        return;
    }
    QSettings settings(QStringLiteral("Tarnis"), QStringLiteral("Tarnis"));
    settings.setValue(FileKey(event), path);
}

}  // namespace corvane
