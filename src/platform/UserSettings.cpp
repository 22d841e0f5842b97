#include "platform/UserSettings.h"

#include <QSettings>

namespace corvane {
namespace {

const QString kOrganization = QStringLiteral("Tarnis");
const QString kApplication = QStringLiteral("Tarnis");
const QString kShutdownKey = QStringLiteral("Main/ShutdownWhenComplete");

}  // namespace

bool UserSettings::ShutdownWhenComplete() {
    QSettings settings(kOrganization, kApplication);
    return settings.value(kShutdownKey, 0).toInt() != 0;
}

void UserSettings::SetShutdownWhenComplete(bool on) {
    QSettings settings(kOrganization, kApplication);
    settings.setValue(kShutdownKey, on ? 1 : 0);
}

}  // namespace corvane
