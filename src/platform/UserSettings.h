#pragma once

// The user's settings that belong to no task, kept where the program has always kept
// them: section and value names of QSettings("Tarnis", "Tarnis"), which on Linux is
// ~/.config/Tarnis/Tarnis.conf (under $XDG_CONFIG_HOME when set).
//
// Main thread only.

#include <QString>

namespace corvane {

class UserSettings {
  public:
    // "Main"/"ShutdownWhenComplete", default off.
    static bool ShutdownWhenComplete();
    static void SetShutdownWhenComplete(bool on);

    // "Main"/"DefBackupsFolder": the destination offered to a new task, stored as the
    // user typed it (no check), empty by default.
    static QString DefaultBackupFolder();
    static void SetDefaultBackupFolder(const QString& folder);
};

}  // namespace corvane
