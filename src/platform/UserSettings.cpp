#include "platform/UserSettings.h"

#include <QSettings>

namespace corvane {
namespace {

const QString kOrganization = QStringLiteral("Tarnis");
const QString kApplication = QStringLiteral("Tarnis");
const QString kShutdownKey = QStringLiteral("Main/ShutdownWhenComplete");
const QString kDefaultFolderKey = QStringLiteral("Main/DefBackupsFolder");

}  // namespace

bool UserSettings::ShutdownWhenComplete() {
    QSettings settings(kOrganization, kApplication);
    return settings.value(kShutdownKey, 0).toInt() != 0;
}

void UserSettings::SetShutdownWhenComplete(bool on) {
    QSettings settings(kOrganization, kApplication);
    settings.setValue(kShutdownKey, on ? 1 : 0);
}

QString UserSettings::DefaultBackupFolder() {
    QSettings settings(kOrganization, kApplication);
    return settings.value(kDefaultFolderKey).toString();
}

void UserSettings::SetDefaultBackupFolder(const QString& folder) {
    QSettings settings(kOrganization, kApplication);
    settings.setValue(kDefaultFolderKey, folder);
}

}  // namespace corvane
