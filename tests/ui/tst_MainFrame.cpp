// The main window's wiring: its commands reach their dialogs and bars, a real run through
// the view's queue reaches the status bar, the tray state and the log, the close guard,
// the task argument, the tray menu beside a modal dialog, and the saved layout.

#include <QClipboard>
#include <QDir>
#include <QMenu>
#include <QMessageBox>
#include <QScreen>
#include <QSettings>
#include <QSystemTrayIcon>
#include <QTemporaryDir>
#include <QtTest>
#include <atomic>

#include "WindowTesting.h"
#include "controls/CLabelProgressCtrl.h"
#include "controls/CLogBar.h"
#include "controls/CLogListBox.h"
#include "model/TaskList.h"
#include "ui/CMainFrame.h"
#include "ui/CTarnisView.h"

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
        const std::pair<Command, const char*> dialogs[] = {
            {Command::kAbout, "corvane::CAboutDialog"},
            {Command::kSoundSettings, "corvane::CSoundsDialog"},
            {Command::kDefaultFolder, "corvane::CDefaultFolderDialog"},
            {Command::kArchiveThreads, "corvane::CArchiveThreadsDialog"},
            {Command::kIdleNotice, "corvane::CIdleNoticeDialog"}};
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
    void trayMenuAndMinimisingKeepTheWindowReachable() {
        CMainFrame& frame = MakeFrame();
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

        // Without a tray a window hidden on minimising could never come back.
        if (!QSystemTrayIcon::isSystemTrayAvailable()) {
            QVERIFY(!frame.Action(Command::kHideToTray)->isEnabled());
            frame.SetMinToTray(true);
            frame.setWindowState(Qt::WindowMinimized);
            QTest::qWait(50);  // the hiding would be posted to the event loop
            QVERIFY(!frame.isHidden());
        }
    }

    // A real run through the view's queue: queue text, busy tray, the progress from the
    // worker covering the prompts, the close guard, and stop.
    void runShowsProgressAndKeepsTheWindowOpen() {
        CMainFrame& frame = MakeFrame();
        AddTask("Docs");
        test::HeldJob job;
        frame.View()->Queue().SetBackupJob(job.Job());

        frame.StartTaskByArgument("/\"docs\"");
        QTRY_VERIFY(frame.IsBusy());
        QCOMPARE(frame.QueueStatusText(), QString("1 tasks in queue"));
        QVERIFY(frame.IsTrayBusy());
        CLabelProgressCtrl* progress = frame.ProgressCtrl();
        QTRY_COMPARE(progress->Model().Text(), QString("Copying: 50%"));
        QVERIFY(progress->isVisible());

        SeenDialog box;
        AnswerNextDialog(m_watchers.get(), box);
        QVERIFY(!frame.close());
        QCOMPARE(box.text, QString("Cannot exit when backup is in progress. Please stop the "
                                   "tasks and try again."));
        QVERIFY(frame.isVisible());

        // Stop stays checked while the run winds down.
        QAction* stop = frame.View()->Action(ViewCommand::kStop);
        stop->trigger();
        QVERIFY(stop->isChecked());
        QTRY_VERIFY(!frame.IsBusy());
        QCOMPARE(LogTexts(frame).last(), QString("  Task has been aborted"));
        QVERIFY(!stop->isChecked());
        QVERIFY(!progress->isVisible());
        QVERIFY(!frame.IsTrayBusy());
        QVERIFY(frame.close());
    }

    // Arguments that arrive before the window was first shown wait for it, then run in
    // their order.
    void argumentsWaitForTheFirstShowInTheirOrder() {
        CMainFrame& frame = MakeFrame(false);
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
    }

    // A task list that could not be saved at exit went unnoticed.
    void failedSaveAtExitIsShownAndTheWindowCloses() {
        CMainFrame& frame = MakeFrame();
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
        const int docs = AddTask("Docs");
        const int old = AddTask("Old", kTaskRestore);
        SeenDialog estimate;
        AnswerNextDialog(m_watchers.get(), estimate);
        QVERIFY(frame.View()->Queue().StartEstimate({docs}, [](RunContext&) { return 3000.0; }));
        QTRY_COMPARE(estimate.text, QString("  Unpacked size of selected task(s) data: 2 KBytes"));
        QVERIFY(estimate.modalFlagRaised);
        QTRY_VERIFY(!frame.IsBusy());

        SeenDialog refusal;
        AnswerNextDialog(m_watchers.get(), refusal);
        frame.View()->Queue().StartTask(old);
        QTRY_COMPARE(refusal.text, QString("This task can be used only for data restore."));
    }

    // The layout and the log window's sizes (in its own section) are saved at close and
    // restored at start, unless Shift asked for the default layout; a minimised window
    // saves nothing.
    void layoutIsSavedAndRestored() {
        CMainFrame* frame = &MakeFrame();
        frame->resizeDocks({frame->LogBar()}, {170}, Qt::Vertical);
        QTRY_COMPARE(frame->LogBar()->height(), 170);
        QVERIFY(frame->close());
        QSettings settings("Tarnis", "Tarnis");
        QCOMPARE(settings.value("LogState-SCBar-114/sizeHorzCY").toInt(), 170);
        // The sizes alone, without the bar layout, give the bar its height back.
        settings.remove("BarStates");
        settings.sync();
        frame = &MakeFrame();
        QTRY_COMPARE(frame->LogBar()->height(), 170);

        frame->addDockWidget(Qt::LeftDockWidgetArea, frame->LogBar());
        QVERIFY(frame->close());
        frame = &MakeFrame();
        QCOMPARE(frame->dockWidgetArea(frame->LogBar()), Qt::LeftDockWidgetArea);
        frame->addDockWidget(Qt::RightDockWidgetArea, frame->LogBar());
        frame->setWindowState(Qt::WindowMinimized);
        QVERIFY(frame->close());
        frame = &MakeFrame();
        QCOMPARE(frame->dockWidgetArea(frame->LogBar()), Qt::LeftDockWidgetArea);

        frame = &MakeFrame(true, true);  // Shift held at start
        QCOMPARE(frame->dockWidgetArea(frame->LogBar()), Qt::BottomDockWidgetArea);
    }

    void unusableStoredSizesAreIgnored() {
        CLogBar* bar = MakeFrame().LogBar();
        m_frame->resizeDocks({bar}, {150}, Qt::Vertical);
        QTRY_COMPARE(bar->HorizontalSize().height(), 150);
        const QSize before = bar->HorizontalSize();
        QSettings settings("Tarnis", "Tarnis");
        settings.setValue("LogState-SCBar-114/sizeHorzCX", "wide");
        settings.setValue("LogState-SCBar-114/sizeHorzCY", 300);
        bar->LoadSizes(settings, "LogState");
        QCOMPARE(bar->HorizontalSize(), before);
        QCOMPARE(bar->height(), 150);
    }

    // The first start opens at two thirds of the screen, centred; a saved placement wins.
    void firstStartOpensAtTwoThirdsOfTheScreen() {
        const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
        CMainFrame* frame = &MakeFrame(false);
        QVERIFY(qAbs(frame->width() - screen.width() * 2 / 3) <= 1);
        QVERIFY(qAbs(frame->height() - screen.height() * 2 / 3) <= 1);
        QVERIFY((frame->geometry().center() - screen.center()).manhattanLength() <= 2);
        frame->show();
        QVERIFY(QTest::qWaitForWindowExposed(frame));
        frame->resize(700, 520);
        QTRY_COMPARE(frame->size(), QSize(700, 520));
        QVERIFY(frame->close());
        frame = &MakeFrame(false);
        QCOMPARE(frame->size(), QSize(700, 520));
    }

  private:
    // Without the splash; shown at a known size for the docking layout unless asked not to.
    CMainFrame& MakeFrame(bool show = true, bool ignoreSavedLayout = false) {
        CMainFrame::Options options;
        options.showSplash = false;
        options.ignoreSavedLayout = ignoreSavedLayout;
        options.dataFolder = m_data->path();
        m_frame.reset();
        m_frame = std::make_unique<CMainFrame>(*m_tasks, options);
        if (show) {
            m_frame->resize(800, 600);
            m_frame->show();
            [this] { QVERIFY(QTest::qWaitForWindowExposed(m_frame.get())); }();
        }
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
