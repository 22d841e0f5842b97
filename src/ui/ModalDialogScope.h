#pragma once

// The program-wide modal-dialog flag: raised while a command of the main window shows a
// modal dialog (wizard, settings, group name, sounds, default folder, restore dialogs),
// so that the tray icon offers no menu meanwhile. Main thread only.

namespace corvane {

class ModalDialogScope {
  public:
    ModalDialogScope() { ++s_depth; }
    ~ModalDialogScope() { --s_depth; }

    ModalDialogScope(const ModalDialogScope&) = delete;
    ModalDialogScope& operator=(const ModalDialogScope&) = delete;

    // True while any scope is alive.
    static bool IsRaised() { return s_depth > 0; }

  private:
    static inline int s_depth = 0;
};

}  // namespace corvane
