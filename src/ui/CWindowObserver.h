#pragma once

// The window's side of the run queue: the queue text in the status bar, the tray icon's
// busy and idle states, the event sounds, the message boxes of refusals and of the
// estimate, the two restore dialogs and the shutdown countdown.
//
// Main thread only (the queue calls its observer there). The frame makes it before the
// view and keeps it as long as the view; it never owns the frame.

#include "app/RunObserver.h"

namespace corvane {

class CMainFrame;

class CWindowObserver : public RunObserver {
  public:
    explicit CWindowObserver(CMainFrame& frame) : m_frame(frame) {}

    void SetQueueStatusText(const QString& text) override;
    void SetTrayBusy() override;
    void SetTrayIdle() override;
    void PlayEventSound(int event) override;
    // A message box titled "Warning" with the information icon.
    void ShowWarning(const QString& text) override;
    // Shows the main window, then the countdown; when it runs out (or the user
    // confirms) the computer is switched off and the program ends.
    void RequestShutdown() override;
    // Hands the outcome to the view, which saves the task list.
    void RunFinished(int taskIndex, RunOutcome outcome) override;
    // A message box titled "Task info" with the size line and an OK button.
    void EstimateFinished(const QString& sizeText) override;
    int ChooseBackupCopy(const TaskRecord& task) override;
    bool ChooseRestoreItems(std::vector<RestoreItem>& items) override;

  private:
    CMainFrame& m_frame;
};

}  // namespace corvane
