#pragma once

// Shared by the window tests: what a modal dialog showed before the test closed it, and a
// backup job that holds the queue's worker.

#include <QMessageBox>
#include <QPushButton>
#include <atomic>
#include <chrono>
#include <thread>

#include "app/RunQueue.h"
#include "log/Log.h"
#include "support/WidgetTesting.h"
#include "ui/ModalDialogScope.h"

namespace corvane::test {

struct SeenDialog {
    QString className;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    bool modalFlagRaised = false;
};

// Closes the next modal dialog, a message box with `button` where it has one, recording
// what it showed.
inline void AnswerNextDialog(QObject* owner, SeenDialog& seen,
                             QMessageBox::StandardButton button = QMessageBox::NoButton) {
    WhenModal<QDialog>(owner, [&seen, button](QDialog* dialog) {
        seen.className = dialog->metaObject()->className();
        seen.modalFlagRaised = ModalDialogScope::IsRaised();
        auto* box = qobject_cast<QMessageBox*>(dialog);
        if (box != nullptr) {
            seen.text = box->text();
            seen.icon = box->icon();
        }
        if (box != nullptr && box->button(button) != nullptr) {
            box->button(button)->click();
        } else {
            dialog->reject();
        }
    });
}

// A backup job that shows progress from the worker and holds it until opened or stopped.
class HeldJob {
  public:
    RunQueue::Job Job() {
        return [this](int, RunContext& context) {
            ShowProgress();
            SetProgressLabel("Copying");
            SetProgressRange(0, 10);
            SetProgressPos(5);
            while (!m_open && !context.StopRequested()) {
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
            HideProgress();
            return true;
        };
    }
    void Open() { m_open = true; }

  private:
    std::atomic<bool> m_open{false};
};

}  // namespace corvane::test
