#pragma once

// Shared by the window tests: what a modal dialog showed before the test closed it, and a
// backup job that holds the queue's worker.

#include <QAbstractButton>
#include <QDialog>
#include <QMessageBox>
#include <QPushButton>
#include <atomic>
#include <chrono>
#include <thread>

#include "app/RunQueue.h"
#include "log/Log.h"
#include "log/LogList.h"
#include "log/QueuedLogTarget.h"
#include "support/WidgetTesting.h"
#include "ui/CTarnisView.h"
#include "ui/ModalDialogScope.h"

namespace corvane::test {

struct SeenDialog {
    QString className;
    QString text;
    QString title;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    bool modalFlagRaised = false;
};

// Closes the next modal dialog, a message box with `button` where it has one, recording
// what it showed.
inline void AnswerNextDialog(QObject* owner, SeenDialog& seen,
                             QMessageBox::StandardButton button = QMessageBox::NoButton) {
    WhenModal<QDialog>(owner, [&seen, button](QDialog* dialog) {
        seen.className = dialog->metaObject()->className();
        seen.title = dialog->windowTitle();
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

// The child widget named `name`; a missing one ends the test program with its name.
template <class W>
W* Child(QWidget* parent, const char* name) {
    auto* child = parent->findChild<W*>(QString::fromLatin1(name));
    if (child == nullptr) {
        qFatal("no child %s", name);
    }
    return child;
}

inline void Click(QWidget* parent, const char* name) {
    Child<QAbstractButton>(parent, name)->click();
}

// Calls `answer` once the active modal window carries `title`.
inline void WhenTitled(QObject* owner, const QString& title, std::function<void(QDialog*)> answer) {
    WhenModal<QDialog>(owner, [owner, title, answer](QDialog* dialog) {
        dialog->windowTitle() == title ? answer(dialog) : WhenTitled(owner, title, answer);
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

// The log of a test, safe for lines of the worker thread: they are delivered when counted.
class WorkerLogCapture {
  public:
    WorkerLogCapture() : m_queued(m_list) { SetLogTarget(&m_queued); }
    ~WorkerLogCapture() { SetLogTarget(nullptr); }
    WorkerLogCapture(const WorkerLogCapture&) = delete;
    WorkerLogCapture& operator=(const WorkerLogCapture&) = delete;

    // How many lines end with `text` (a stamped line ends with its own text).
    int CountEndingWith(const QString& text) {
        m_queued.DeliverPending();
        int count = 0;
        for (int i = 0; i < m_list.Count(); ++i) {
            count += m_list.Line(i).text.endsWith(text) ? 1 : 0;
        }
        return count;
    }

  private:
    LogList m_list;
    QueuedLogTarget m_queued;
};

// What the frame would do with the view's calls: warnings and estimates recorded, a
// finished run handed back to the view (when one is set), the two restore questions
// answered as the test sets them.
class ViewObserver : public RunObserver {
  public:
    void SetQueueStatusText(const QString&) override {}
    void SetTrayBusy() override {}
    void SetTrayIdle() override {}
    void PlayEventSound(int) override {}
    void ShowWarning(const QString& text) override { warnings << text; }
    void RequestShutdown() override {}
    void RunFinished(int taskIndex, RunOutcome outcome) override {
        if (view != nullptr) {
            view->OnRunFinished(taskIndex, outcome);
        }
    }
    void EstimateFinished(const QString& sizeText) override { estimates << sizeText; }
    int ChooseBackupCopy(const TaskRecord&) override { return backupCopy; }
    bool ChooseRestoreItems(std::vector<RestoreItem>&) override { return restoreAll; }

    CTarnisView* view = nullptr;
    int backupCopy = -1;      // the copy a restore of a task with several takes; -1 none
    bool restoreAll = false;  // the restore list is confirmed as it stands
    QStringList warnings;
    QStringList estimates;
};

}  // namespace corvane::test
