#include "ui/screenshots/ScreenshotTour.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QListWidget>
#include <QTimer>
#include <QTreeWidget>
#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

#include "app/ExitCode.h"
#include "controls/CLogBar.h"
#include "restore/TaskFinder.h"
#include "ui/CMainFrame.h"
#include "ui/CNewTaskWizard.h"
#include "ui/CRestoreDataDialog.h"
#include "ui/CRestoreFindStep.h"
#include "ui/CRestoreItemsStep.h"
#include "ui/CSourceTree.h"
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

// The wizard and the settings sheet: room for the source tree's folders and the list.
constexpr QSize kWizardSize(720, 460);
constexpr QSize kRestoreDataSize(1200, 420);

void Quit(int exitCode, const char* reason) {
    std::fprintf(stderr, "corvane-screenshots: %s\n", reason);
    QCoreApplication::exit(exitCode);
}

// Runs `actions` in order, one each kDialogSettleMs.
void RunOneATick(QObject* owner, std::vector<std::function<void()>> actions) {
    auto* tick = new QTimer(owner);
    QObject::connect(tick, &QTimer::timeout, owner,
                     [tick, actions = std::move(actions), next = size_t{0}]() mutable {
                         if (next == actions.size()) {
                             tick->deleteLater();
                             return;
                         }
                         actions[next++]();
                     });
    tick->start(kDialogSettleMs);
}

// Opens the source tree of the wizard's first step down to the home's Documents folder
// and selects it, so that its folders and files show. False when the tree holds no such
// folder.
bool OpenDocumentsInTree(QWidget& wizard) {
    auto* tree = wizard.findChild<CSourceTree*>(QStringLiteral("sourceTree"));
    QTreeWidgetItem* fileSystem = tree != nullptr ? tree->topLevelItem(0) : nullptr;
    QTreeWidgetItem* home = nullptr;
    for (int i = 0; fileSystem != nullptr && i < fileSystem->childCount(); ++i) {
        if (CSourceTree::NodeKind(fileSystem->child(i)) == kNodeHome) {
            home = fileSystem->child(i);
        }
    }
    if (home == nullptr) {
        return false;
    }
    home->setExpanded(true);
    for (int i = 0; i < home->childCount(); ++i) {
        QTreeWidgetItem* folder = home->child(i);
        if (folder->text(0) == QLatin1String("Documents")) {
            folder->setExpanded(true);
            tree->setCurrentItem(folder);
            tree->scrollToItem(folder, QAbstractItemView::PositionAtTop);
            return true;
        }
    }
    return false;
}

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
    QTimer::singleShot(kTourTimeoutMs, frame,
                       [] { Quit(kExitFailed, "the screenshots took too long"); });
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
        // The dialog fits its columns to its width: a wide picture shows the paths whole.
        dialog->resize(kRestoreDataSize);
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
    wizard->resize(kWizardSize);
    auto* sheet = new CTaskPropertySheet(task, frame);
    sheet->resize(kWizardSize);
    auto* findStep = new CRestoreFindStep(frame);

    // One action a tick, so that each picture shows a window that has painted itself.
    std::vector<std::function<void()>> actions;
    actions.emplace_back([wizard] { wizard->show(); });
    for (int step = 1; step <= 4; ++step) {
        actions.emplace_back([this, wizard, step] {
            SaveGrab(wizard, m_folder + QStringLiteral("/new-task-wizard-%1.png").arg(step));
        });
        if (step == 1) {
            actions.emplace_back([wizard] {
                if (!OpenDocumentsInTree(*wizard)) {
                    Quit(kExitFailed, "the source tree shows no Documents folder in the home");
                }
            });
            actions.emplace_back([this, wizard] {
                SaveGrab(wizard, m_folder + QStringLiteral("/source-tree.png"));
            });
        }
        actions.emplace_back([wizard, step] {
            auto* next = wizard->findChild<QWidget*>(step < 4 ? QStringLiteral("nextButton")
                                                              : QStringLiteral("cancelButton"));
            QMetaObject::invokeMethod(next, "click");
        });
    }
    actions.emplace_back([sheet] { sheet->show(); });
    actions.emplace_back([this, sheet] {
        SaveGrab(sheet, m_folder + QStringLiteral("/task-settings.png"));
        sheet->reject();
    });
    // The restore wizard finds the task file the run left beside its backup.
    const QString backupFolder = task.destination.path;
    actions.emplace_back([findStep, backupFolder] {
        findStep->SearchFolder(backupFolder);
        if (auto* list = findStep->findChild<QListWidget*>(QStringLiteral("tasksList"));
            list != nullptr && list->count() > 0) {
            list->setCurrentRow(0);
        } else {
            Quit(kExitFailed, "no task file was found beside the backup");
            return;
        }
        findStep->show();
    });
    actions.emplace_back([this, findStep] {
        SaveGrab(findStep, m_folder + QStringLiteral("/restore-wizard-1.png"));
        findStep->accept();  // takes the selected task, as "Next" does
    });
    actions.emplace_back([this, findStep, frame] {
        if (!ReadRestoreTask(m_restoreTask, findStep->Chosen().path, findStep->Chosen().access)) {
            Quit(kExitFailed, "the task file found beside the backup could not be read");
            return;
        }
        auto* itemsStep = new CRestoreItemsStep(m_restoreTask, frame);
        itemsStep->setObjectName(QStringLiteral("restoreItemsStep"));
        itemsStep->show();
    });
    actions.emplace_back([this, frame] {
        auto* itemsStep = frame->findChild<CRestoreItemsStep*>(QStringLiteral("restoreItemsStep"));
        SaveGrab(itemsStep, m_folder + QStringLiteral("/restore-wizard-2.png"));
        itemsStep->reject();
        QCoreApplication::exit(kExitOk);
    });
    RunOneATick(frame, std::move(actions));
}

}  // namespace corvane
