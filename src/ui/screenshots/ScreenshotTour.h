#pragma once

// The pictures of the documentation, taken of a running window: the main window and
// its log after the run of a task, then the restore-data dialog of that task, which is
// cancelled, then the four steps of the new-task wizard (the first once more with the
// source tree opened at the home's Documents folder) and the task settings sheet over a
// copy of that task, and the two steps of the restore wizard over the task file the run
// left beside its backup (nothing is saved). The program quits when the last picture is
// saved (exit status 0), or with 1 when the tour takes too long or finds no task file. Main thread
// only; the app must have opened its window (CTarnisApp::Start answered true) and outlive the tour.

#include <QString>

#include "model/TaskRecord.h"

namespace corvane {

class CTarnisApp;

class ScreenshotTour {
  public:
    // Pictures go to `folder` as main-window.png, log-window.png, restore-data.png,
    // new-task-wizard-1.png ... new-task-wizard-4.png, source-tree.png, task-settings.png,
    // restore-wizard-1.png and restore-wizard-2.png.
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
    TaskRecord m_restoreTask;  // the restore wizard's second step changes it in place
};

}  // namespace corvane
