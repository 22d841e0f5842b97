// The main window's wiring: its commands reach their dialogs and bars, a real run through
// the view's queue reaches the status bar, the tray state and the log, the close guard,
// the task argument, the tray menu beside a modal dialog, and the saved layout.

#include <QClipboard>
#include <QDir>
#include <QMenu>
#include <QMessageBox>
#include <QSettings>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QSystemTrayIcon>
#include <QTemporaryDir>
#include <QToolBar>
#include <QtTest>
#include <atomic>

#include "WindowTesting.h"
#include "controls/CLabelProgressCtrl.h"
#include "controls/CLogBar.h"
#include "controls/CLogListBox.h"
#include "log/Log.h"
#include "model/TaskList.h"
#include "ui/CMainFrame.h"
#include "ui/CTarnisView.h"
#include "ui/ModalDialogScope.h"

using namespace corvane;
using Command = CMainFrame::FrameCommand;
using test::AnswerNextDialog;
using test::SeenDialog;

namespace {

const test::WidgetTestEnvironment g_environment;

QStringList LogTexts(const CMainFrame& frame) {
    QStringList texts;
    const LogList& lines = frame.LogBar()->List()->Lines();
    for (int i = 0; i < lines.Count(); ++i) {
        texts << lines.Line(i).text;
    }
    return texts;
}

}  // namespace

class TestMainFrame : public QObject {
    Q_OBJECT

  private slots:
    void init() {
        QSettings("Tarnis", "Tarnis").clear();
        m_watchers = std::make_unique<QObject>();
        m_data = std::make_unique<QTemporaryDir>();
        m_tasks = std::make_unique<TaskList>();
    }
    void cleanup() {
        m_frame.reset();
        m_tasks.reset();
        m_data.reset();
        m_watchers.reset();
    }

    void commandsReachTheirDialogsAndTheLog() {
        CMainFrame& frame = MakeFrame();
        frame.show();
        const std::pair<Command, const char*> dialogs[] = {
            {Command::kAbout, "corvane::CAboutDialog"},
            {Command::kSoundSettings, "corvane::CSoundsDialog"},
            {Command::kDefaultFolder, "corvane::CDefaultFolderDialog"}};
        for (const auto& [command, className] : dialogs) {
            SeenDialog seen;
            AnswerNextDialog(m_watchers.get(), seen);
            frame.Action(command)->trigger();
            QCOMPARE(seen.className, QString(className));
            QVERIFY(seen.modalFlagRaised);
        }
        QVERIFY(!ModalDialogScope::IsRaised());

        Log("  Warning: something to copy");
        frame.Action(Command::kCopyLog)->trigger();
        QVERIFY(QGuiApplication::clipboard()->text().contains(
            ": Program started\r\n  Warning: something to copy\r\n"));
        frame.Action(Command::kClearLog)->trigger();
        QCOMPARE(frame.LogBar()->List()->LineCount(), 0);
    }

    // The tray menu's commands would run beside a modal dialog; "Show Corvane" brings a
    // hidden or minimised window back.
    void trayMenuIsNotOfferedBesideAModalDialog() {
        CMainFrame& frame = MakeFrame();
        frame.show();
        {
            ModalDialogScope modal;
            QVERIFY(!frame.PopupTrayMenu(QPoint(10, 10)));
            QVERIFY(!frame.TrayMenu()->isVisible());
        }
        QVERIFY(frame.PopupTrayMenu(QPoint(10, 10)));
        QVERIFY(frame.TrayMenu()->isVisible());
        frame.TrayMenu()->close();

        frame.hide();
        frame.Action(Command::kShowWindow)->trigger();
        QVERIFY(frame.isVisible());
        frame.setWindowState(Qt::WindowMinimized);
        frame.Action(Command::kShowWindow)->trigger();
        QVERIFY(!frame.isMinimized());
    }

    // Without a tray a window hidden on minimising could never come back.
    void minimisingWithoutATrayKeepsTheWindow() {
        if (QSystemTrayIcon::isSystemTrayAvailable()) {
            QSKIP("this desktop has a tray");
        }
        CMainFrame& frame = MakeFrame();
        QVERIFY(!frame.Action(Command::kHideToTray)->isEnabled());
        frame.SetMinToTray(true);
        frame.show();
        frame.setWindowState(Qt::WindowMinimized);
        QTest::qWait(50);  // the hiding would be posted to the event loop
        QVERIFY(!frame.isHidden());
    }

    // A real run through the view's queue: queue text, busy tray, the progress from the
    // worker covering the prompts, the close guard, and stop.
    void runShowsProgressAndKeepsTheWindowOpen() {
        CMainFrame& frame = MakeFrame();
        frame.show();
        const int index = AddTask("Docs");
        test::HeldJob job;
        frame.View()->Queue().SetBackupJob(job.Job());

        frame.StartTaskByArgument("/\"docs\"");
        QTRY_VERIFY(frame.IsBusy());
        QCOMPARE(frame.QueueStatusText(), QString("1 tasks in queue"));
        QVERIFY(frame.IsTrayBusy());
        QCOMPARE(frame.View()->Queue().CurrentTaskIndex(), index);

        CLabelProgressCtrl* progress = frame.ProgressCtrl();
        QTRY_COMPARE(progress->Model().Text(), QString("Copying: 50%"));

        // A menu prompt does not cover the progress.
        QStatusTipEvent tip("Create a new task");
        QApplication::sendEvent(&frame, &tip);
        QCOMPARE(frame.statusBar()->currentMessage(), QString());
        QVERIFY(progress->isVisible());

        SeenDialog box;
        AnswerNextDialog(m_watchers.get(), box);
        QVERIFY(!frame.close());
        QCOMPARE(box.text, QString("Cannot exit when backup is in progress. Please stop the "
                                   "tasks and try again."));
        QCOMPARE(box.icon, QMessageBox::Warning);
        QVERIFY(frame.isVisible());

        // Stop stays checked while the run winds down.
        QAction* stop = frame.View()->Action(ViewCommand::kStop);
        stop->trigger();
        QVERIFY(stop->isChecked());
        QTRY_VERIFY(!frame.IsBusy());
        QCOMPARE(LogTexts(frame).last(), QString("  Task has been aborted"));
        QVERIFY(!stop->isChecked());
        QVERIFY(!progress->isVisible());
        QCOMPARE(frame.QueueStatusText(), QString("No tasks in queue"));
        QVERIFY(!frame.IsTrayBusy());
        QApplication::sendEvent(&frame, &tip);
        QCOMPARE(frame.statusBar()->currentMessage(), QString("Create a new task"));
        QVERIFY(frame.close());
    }

    // Arguments that arrive before the window was first shown wait for it, in their
    // order: one handed over meanwhile replaced the window's own, and only one ran.
    void argumentsWaitForTheFirstShowInTheirOrder() {
        CMainFrame& frame = MakeFrame();
        AddTask("My Docs");
        AddTask("Mail");
        std::atomic<int> order{0};  // the slots that ran, one digit each
        frame.View()->Queue().SetBackupJob([&order](int index, RunContext&) {
            order = order * 10 + index + 1;
            return true;
        });
        frame.StartTaskByArgument("/\"My Docs\"");
        frame.StartTaskByArgument("/Mail");
        QVERIFY(!frame.IsBusy());

        frame.show();
        QTRY_COMPARE(order.load(), 12);
        QTRY_VERIFY(!frame.IsBusy());
        frame.StartTaskByArgument("//Nobody");
        QVERIFY(LogTexts(frame).last().endsWith("Error: task 'Nobody' not found"));
    }

    // A task list that could not be saved at exit went unnoticed.
    void failedSaveAtExitIsShownAndTheWindowCloses() {
        CMainFrame& frame = MakeFrame();
        frame.show();
        AddTask("Docs");
        QDir data(m_data->path());
        QVERIFY(data.remove("CorvTasks.bin"));
        QVERIFY(data.mkdir("CorvTasks.bin"));  // nothing can be written in its place
        SeenDialog box;
        AnswerNextDialog(m_watchers.get(), box);
        QVERIFY(frame.close());
        QCOMPARE(box.text, QString("Cannot save tasks list."));
        const QString reason =
            "Error: cannot save tasks list: cannot write " + data.filePath("CorvTasks.bin") + ": ";
        QVERIFY2(!LogTexts(frame).filter(reason).isEmpty(), qPrintable(LogTexts(frame).join('\n')));
    }

    // The queue's answers reach the window as boxes under the modal flag.
    void queueAnswersAreShownInBoxes() {
        CMainFrame& frame = MakeFrame();
        frame.show();
        const int docs = AddTask("Docs");
        const int old = AddTask("Old", kTaskRestore);
        SeenDialog estimate;
        AnswerNextDialog(m_watchers.get(), estimate);
        QVERIFY(frame.View()->Queue().StartEstimate({docs}, [](RunContext&) { return 3000.0; }));
        QTRY_COMPARE(estimate.text, QString("  Unpacked size of selected task(s) data: 2 KBytes"));
        QCOMPARE(estimate.title, QString("Task info"));
        QVERIFY(estimate.modalFlagRaised);
        QTRY_VERIFY(!frame.IsBusy());

        SeenDialog refusal;
        AnswerNextDialog(m_watchers.get(), refusal);
        frame.View()->Queue().StartTask(old);
        QTRY_COMPARE(refusal.text, QString("This task can be used only for data restore."));
        QCOMPARE(refusal.icon, QMessageBox::Information);
    }

    // The layout is saved at close and restored at start, unless Shift asked for the
    // default one; a minimised window saves nothing.
    void layoutIsSavedAndRestored() {
        CMainFrame* frame = &MakeFrame();
        frame->show();
        frame->addDockWidget(Qt::LeftDockWidgetArea, frame->LogBar());
        frame->ToolBar()->hide();
        QVERIFY(frame->close());

        frame = &MakeFrame();
        frame->show();
        QCOMPARE(frame->dockWidgetArea(frame->LogBar()), Qt::LeftDockWidgetArea);
        QVERIFY(!frame->Action(Command::kToolbar)->isChecked());
        frame->addDockWidget(Qt::RightDockWidgetArea, frame->LogBar());
        frame->setWindowState(Qt::WindowMinimized);
        QVERIFY(frame->close());

        frame = &MakeFrame();  // the minimised window stored nothing
        frame->show();
        QCOMPARE(frame->dockWidgetArea(frame->LogBar()), Qt::LeftDockWidgetArea);

        CMainFrame::Options shift;
        shift.ignoreSavedLayout = true;
        shift.showSplash = false;
        frame = &MakeFrame(shift);
        frame->show();
        QCOMPARE(frame->dockWidgetArea(frame->LogBar()), Qt::BottomDockWidgetArea);
        QVERIFY(!frame->ToolBar()->isHidden());
    }

  private:
    // Without the splash unless a test asks for it.
    CMainFrame& MakeFrame() {
        CMainFrame::Options options;
        options.showSplash = false;
        return MakeFrame(options);
    }
    CMainFrame& MakeFrame(CMainFrame::Options options) {
        options.dataFolder = m_data->path();
        m_frame.reset();
        m_frame = std::make_unique<CMainFrame>(*m_tasks, options);
        return *m_frame;
    }

    int AddTask(const QString& name, qint32 type = kTaskBackup) {
        TaskRecord* task = m_tasks->NewTask(name, type);
        const int index = m_tasks->IndexOfTask(task);
        m_frame->View()->PlaceNewTask(index);
        return index;
    }

    std::unique_ptr<QObject> m_watchers;
    std::unique_ptr<QTemporaryDir> m_data;
    std::unique_ptr<TaskList> m_tasks;
    std::unique_ptr<CMainFrame> m_frame;
};

QTEST_MAIN(TestMainFrame)
#include "tst_MainFrame.moc"
