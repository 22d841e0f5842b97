#include "ui/CArchiveThreadsDialog.h"

#include <algorithm>
#include <thread>

#include "platform/UserSettings.h"

namespace corvane {

namespace {

NumberSetting ArchiveThreadsSetting() {
    // The same count the archive writer falls back to when the setting is 0.
    const int cores = std::max(1, int(std::thread::hardware_concurrency()));
    return {QStringLiteral("Archive threads"),
            QStringLiteral("&Threads compressing a ZIP archive:"),
            QStringLiteral("Used from the next archive on, by this window and by corvane-cli "
                           "runs without --threads."),
            QStringLiteral("All cores (%1)").arg(cores),
            QStringLiteral("archiveThreads"),
            CArchiveThreadsDialog::kMostThreads,
            UserSettings::ArchiveThreads(),
            &UserSettings::SetArchiveThreads};
}

NumberSetting IdleNoticeSetting() {
    return {QStringLiteral("Idle notice"),
            QStringLiteral("&Days without anything stored before a notice:"),
            QStringLiteral("A run that finds nothing new to back up raises a desktop notice "
                           "when its task has stored nothing for this many days."),
            QStringLiteral("Never"),
            QStringLiteral("idleNoticeDays"),
            CIdleNoticeDialog::kMostDays,
            UserSettings::IdleNoticeDays(),
            &UserSettings::SetIdleNoticeDays};
}

}  // namespace

CArchiveThreadsDialog::CArchiveThreadsDialog(QWidget* parent)
    : CNumberSettingDialog(ArchiveThreadsSetting(), parent) {}

CIdleNoticeDialog::CIdleNoticeDialog(QWidget* parent)
    : CNumberSettingDialog(IdleNoticeSetting(), parent) {}

}  // namespace corvane
