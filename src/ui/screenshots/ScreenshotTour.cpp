#include "ui/screenshots/ScreenshotTour.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QTimer>
#include <cstdio>
#include <memory>

#include "app/ExitCode.h"
#include "controls/CLogBar.h"
#include "ui/CMainFrame.h"
#include "ui/CNewTaskWizard.h"
#include "ui/CRestoreDataDialog.h"
#include "ui/CTarnisApp.h"
#include "ui/CTarnisView.h"
#include "ui/CTaskPropertySheet.h"

namespace corvane {
namespace {

// Longest time the tour may take before it gives up.
constexpr int kTourTimeoutMs = 120000;
// Time for the window to paint what just changed before it is grabbed.
constexpr int kSettleMs = 500;
constexpr int kDialogSettleMs = 300;
constexpr int kDialogPollMs = 100;

bool SaveGrab(QWidget* widget, const QString& path) {
    if (widget->grab().save(path, "PNG")) {
        return true;
    }
    std::fprintf(stderr, "corvane-screenshots: the screenshot %s could not be saved\n",
                 qUtf8Printable(path));
    return false;
}

}  // namespace

ScreenshotTour::ScreenshotTour(CTarnisApp& app, const QString& folder, const QString& taskName)
    : m_app(app), m_folder(folder), m_taskName(taskName) {}

void ScreenshotTour::Start() {
    CMainFrame* frame = m_app.Frame();
    frame->resize(900, 620);  // the same pictures whatever the screen
    QDir().mkpath(m_folder);
    QTimer::singleShot(kTourTimeoutMs, frame, [] {
        std::fputs("corvane-screenshots: the screenshots took too long\n", stderr);
        QCoreApplication::exit(kExitFailed);
    });
    if (m_taskName.isEmpty()) {
        GrabWindow();
        return;
    }
    // The first pictures show the log of the task's run.
    auto afterRun = std::make_shared<QMetaObject::Connection>();
    *afterRun =
        QObject::connect(&frame->View()->Queue(), &RunQueue::QueueIdle, frame, [this, afterRun] {
            QObject::disconnect(*afterRun);
            GrabWindow();
        });
}

void ScreenshotTour::SelectTask() {
    CTarnisView* view = m_app.Frame()->View();
    view->expandAll();
    const int taskIndex = m_app.Tasks().FindTaskByName(m_taskName);
    for (const TreeEntry* entry : view->Tree().InDisplayOrder()) {
        if (entry->IsTask() && entry->value == taskIndex) {
            view->setCurrentItem(view->ItemOf(entry));
            break;
        }
    }
}

void ScreenshotTour::GrabWindow() {
    SelectTask();
    CMainFrame* frame = m_app.Frame();
    QTimer::singleShot(kSettleMs, frame, [this, frame] {
        SaveGrab(frame, m_folder + QStringLiteral("/main-window.png"));
        SaveGrab(frame->LogBar(), m_folder + QStringLiteral("/log-window.png"));
        GrabRestoreDialog();
    });
}

void ScreenshotTour::GrabRestoreDialog() {
    CMainFrame* frame = m_app.Frame();
    CTarnisView* view = frame->View();
    auto* poll = new QTimer(frame);
    QObject::connect(poll, &QTimer::timeout, frame, [this, poll] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (dialog == nullptr) {
            return;
        }
        if (qobject_cast<CRestoreDataDialog*>(dialog) == nullptr) {
            dialog->accept();  // "Several backups found": the newest will do
            return;
        }
        poll->stop();
        QTimer::singleShot(kDialogSettleMs, dialog, [this, dialog] {
            SaveGrab(dialog, m_folder + QStringLiteral("/restore-data.png"));
            dialog->reject();
        });
    });
    poll->start(kDialogPollMs);
    // The task pages follow when the cancelled restore has left the queue; the log
    // window has its lines by then.
    auto afterRestore = std::make_shared<QMetaObject::Connection>();
    *afterRestore =
        QObject::connect(&view->Queue(), &RunQueue::QueueIdle, frame, [this, afterRestore] {
            QObject::disconnect(*afterRestore);
            GrabTaskPages();
        });
    view->Action(ViewCommand::kRestore)->trigger();
}

void ScreenshotTour::GrabTaskPages() {
    CMainFrame* frame = m_app.Frame();
    const TaskRecord task = *m_app.Tasks().TaskAt(frame->View()->Tree().SelectedTaskIndex());
    auto* wizard = new CNewTaskWizard(task, {}, frame);
    auto* sheet = new CTaskPropertySheet(task, frame);
    wizard->show();
    // One step a tick: grab the wizard's step, go on with Next; then the sheet.
    auto* tick = new QTimer(frame);
    QObject::connect(tick, &QTimer::timeout, frame, [this, wizard, sheet, tick] {
        if (wizard->isVisible()) {
            const int step = wizard->CurrentStep() + 1;
            SaveGrab(wizard, m_folder + QStringLiteral("/new-task-wizard-%1.png").arg(step));
            auto* next = wizard->findChild<QWidget*>(step < 4 ? QStringLiteral("nextButton")
                                                              : QStringLiteral("cancelButton"));
            QMetaObject::invokeMethod(next, "click");
        } else if (!sheet->isVisible()) {
            sheet->show();
        } else {
            tick->stop();
            SaveGrab(sheet, m_folder + QStringLiteral("/task-settings.png"));
            sheet->reject();
            QCoreApplication::exit(kExitOk);
        }
    });
    tick->start(kDialogSettleMs);
}

}  // namespace corvane
