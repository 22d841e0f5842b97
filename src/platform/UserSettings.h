#pragma once

// The user's settings that belong to no task, kept where the program has always kept
// them: section and value names of QSettings("Tarnis", "Tarnis"), which on Linux is
// ~/.config/Tarnis/Tarnis.conf (under $XDG_CONFIG_HOME when set).
//
// Main thread only.

namespace corvane {

class UserSettings {
  public:
    // "Main"/"ShutdownWhenComplete", default off.
    static bool ShutdownWhenComplete();
    static void SetShutdownWhenComplete(bool on);
};

}  // namespace corvane
