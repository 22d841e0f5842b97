#include "platform/UserSettings.h"

#include <QSettings>
#include <algorithm>

namespace corvane {
namespace {

const QString kOrganization = QStringLiteral("Tarnis");
const QString kApplication = QStringLiteral("Tarnis");
const QString kShutdownKey = QStringLiteral("Main/ShutdownWhenComplete");
const QString kDefaultFolderKey = QStringLiteral("Main/DefBackupsFolder");
const QString kContactsFolderKey = QStringLiteral("Main/ContactsFolder");
const QString kArchiveThreadsKey = QStringLiteral("Main/ArchiveThreads");
const QString kIdleNoticeDaysKey = QStringLiteral("Main/IdleNoticeDays");
constexpr int kDefaultIdleNoticeDays = 7;
const QString kHistoryGroup = QStringLiteral("HistoryPaths");
const QString kDialogsGroup = QStringLiteral("Dialogs");
constexpr int kHistoryLength = 10;
// Older versions may have left more values behind; they are removed up to this index.
constexpr int kHistoryCleanupLimit = 1000;

QString HistoryKey(int index) {
    return QStringLiteral("Combo%1").arg(index);
}

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

QString UserSettings::ContactsFolder() {
    // A QSettings of this call alone: QSettings is reentrant, so any thread may do this.
    QSettings settings(kOrganization, kApplication);
    return settings.value(kContactsFolderKey).toString();
}

void UserSettings::SetContactsFolder(const QString& folder) {
    QSettings settings(kOrganization, kApplication);
    settings.setValue(kContactsFolderKey, folder);
}

int UserSettings::ArchiveThreads() {
    QSettings settings(kOrganization, kApplication);
    bool ok = false;
    const int threads = settings.value(kArchiveThreadsKey).toInt(&ok);
    return ok && threads > 0 ? threads : 0;
}

void UserSettings::SetArchiveThreads(int threads) {
    QSettings settings(kOrganization, kApplication);
    settings.setValue(kArchiveThreadsKey, std::max(threads, 0));
}

int UserSettings::IdleNoticeDays() {
    QSettings settings(kOrganization, kApplication);
    bool ok = false;
    const int days = settings.value(kIdleNoticeDaysKey, kDefaultIdleNoticeDays).toInt(&ok);
    return ok && days >= 0 ? days : kDefaultIdleNoticeDays;
}

void UserSettings::SetIdleNoticeDays(int days) {
    QSettings settings(kOrganization, kApplication);
    settings.setValue(kIdleNoticeDaysKey, days);
}

QStringList UserSettings::PathHistory() {
    QSettings settings(kOrganization, kApplication);
    settings.beginGroup(kHistoryGroup);
    QStringList paths;
    for (int index = 0; index < kHistoryLength; ++index) {
        const QString path = settings.value(HistoryKey(index)).toString();
        if (path.isEmpty()) {
            break;
        }
        paths << path;
    }
    return paths;
}

void UserSettings::RememberPath(const QString& path) {
    const QString entry = path.trimmed();
    if (entry.isEmpty()) {
        return;
    }
    QStringList paths = PathHistory();
    // Paths compare as the file system compares them: with case.
    paths.removeAll(entry);
    paths.prepend(entry);
    while (paths.size() > kHistoryLength) {
        paths.removeLast();
    }
    QSettings settings(kOrganization, kApplication);
    settings.beginGroup(kHistoryGroup);
    for (int index = 0; index < paths.size(); ++index) {
        settings.setValue(HistoryKey(index), paths[index]);
    }
    for (int index = static_cast<int>(paths.size());
         index < kHistoryCleanupLimit && settings.contains(HistoryKey(index)); ++index) {
        settings.remove(HistoryKey(index));
    }
}

QSize UserSettings::DialogSize(const QString& dialog) {
    QSettings settings(kOrganization, kApplication);
    settings.beginGroup(kDialogsGroup);
    // A hand-edited value may be text or a size of nothing; neither can be opened at.
    const QSize size = settings.value(dialog).toSize();
    return size.isEmpty() ? QSize() : size;
}

void UserSettings::SetDialogSize(const QString& dialog, QSize size) {
    QSettings settings(kOrganization, kApplication);
    settings.beginGroup(kDialogsGroup);
    settings.setValue(dialog, size);
}

}  // namespace corvane
