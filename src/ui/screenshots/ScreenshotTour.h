#pragma once

// The pictures of the documentation, taken of a running window: the main window and
// its log after the run of a task, then the restore-data dialog of that task, which is
// cancelled. The program quits when the last picture is saved (exit status 0), or
// with 1 when the tour takes too long. Main thread only; the app must have opened its
// window (CTarnisApp::Start answered true) and outlive the tour.

#include <QString>

namespace corvane {

class CTarnisApp;

class ScreenshotTour {
  public:
    // Pictures go to `folder` as main-window.png, log-window.png and restore-data.png.
    // `taskName` is the task the window runs at start (empty: none; then the pictures
    // are taken at once).
    ScreenshotTour(CTarnisApp& app, const QString& folder, const QString& taskName);

    void Start();

  private:
    void SelectTask();
    void GrabWindow();
    void GrabRestoreDialog();

    CTarnisApp& m_app;
    const QString m_folder;
    const QString m_taskName;
};

}  // namespace corvane
