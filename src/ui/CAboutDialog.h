#pragma once

// The About box: the program's name and version and two links, one to the program's
// help (its README) and one that starts a mail about this version in the user's mail
// program, both opened by the desktop.
//
// Main thread only. Shown modally by the frame under a ModalDialogScope.

#include <QDialog>

namespace corvane {

class CAboutDialog : public QDialog {
    Q_OBJECT

  public:
    explicit CAboutDialog(QWidget* parent = nullptr);

    // The application's version when start-up set one, else the version of this build.
    static QString VersionText();
};

}  // namespace corvane
