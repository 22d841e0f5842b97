#pragma once

// The pictures of the documentation, taken of a running window: the main window and
// its log after the run of a task, then the restore-data dialog of that task, which is
// cancelled, then the four steps of the new-task wizard and the task settings sheet
// over a copy of that task (nothing is saved). The program quits when the last picture is saved
// (exit status 0), or with 1 when the tour takes too long. Main thread only; the app must have
// opened its window (CTarnisApp::Start answered true) and outlive the tour.

#include <QString>

namespace corvane {

class CTarnisApp;

class ScreenshotTour {
  public:
    // Pictures go to `folder` as main-window.png, log-window.png, restore-data.png,
    // new-task-wizard-1.png ... new-task-wizard-4.png and task-settings.png.
    // `taskName` is the task the window runs at start (empty: none; then the pictures
    // are taken at once).
    ScreenshotTour(CTarnisApp& app, const QString& folder, const QString& taskName);

    void Start();

  private:
    void SelectTask();
    void GrabWindow();
    void GrabRestoreDialog();
    void GrabTaskPages();

    CTarnisApp& m_app;
    const QString m_folder;
    const QString m_taskName;
};

}  // namespace corvane
