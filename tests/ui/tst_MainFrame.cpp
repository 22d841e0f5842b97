// The main window: its menus, toolbar, status bar, log window and tray state, a real
// run through the view's queue (queue text, progress, busy tray, the close guard), the
// estimate and warning boxes, the task argument, the saved layout and the settings.

#include <QClipboard>
#include <QDir>
#include <QDockWidget>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QPointer>
#include <QSettings>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QSystemTrayIcon>
#include <QTemporaryDir>
#include <QToolBar>
#include <QToolButton>
#include <QtTest>
#include <atomic>
#include <chrono>
#include <functional>
#include <future>

#include "controls/CLabelProgressCtrl.h"
#include "controls/CLogBar.h"
#include "controls/CLogListBox.h"
#include "log/Log.h"
#include "model/TaskList.h"
#include "support/WidgetTesting.h"
#include "ui/CMainFrame.h"
#include "ui/CSplashScreen.h"
#include "ui/CTarnisView.h"
#include "ui/ModalDialogScope.h"

using namespace corvane;

namespace {

const test::WidgetTestEnvironment g_environment;

QSettings Settings() {
    return QSettings("Tarnis", "Tarnis");
}

// A menu as text: an item's text, "-" for a separator, "<title>" for a sub-menu.
QStringList Entries(const QMenu* menu) {
    QStringList entries;
    for (QAction* action : menu->actions()) {
        if (action->isSeparator()) {
            entries << "-";
        } else if (action->menu() != nullptr) {
            entries << "<" + action->menu()->title() + ">";
        } else {
            entries << action->text();
        }
    }
    return entries;
}

QMenu* MenuNamed(const QMainWindow& window, const QString& title) {
    for (QAction* action : window.menuBar()->actions()) {
        if (action->menu() != nullptr && action->text() == title) {
            return action->menu();
        }
    }
    return nullptr;
}

QAction* ItemNamed(const QMenu* menu, const QString& text) {
    for (QAction* action : menu->actions()) {
        if (action->text() == text) {
            return action;
        }
    }
    return nullptr;
}

QStringList LogTexts(const CMainFrame& frame) {
    QStringList texts;
    const LogList& lines = frame.LogBar()->List()->Lines();
    for (int i = 0; i < lines.Count(); ++i) {
        texts << lines.Line(i).text;
    }
    return texts;
}

bool LogHasLineEndingWith(const CMainFrame& frame, const QString& end) {
    for (const QString& text : LogTexts(frame)) {
        if (text.endsWith(end)) {
            return true;
        }
    }
    return false;
}

// What a modal message box showed before the watcher answered it.
struct SeenBox {
    bool seen = false;
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    bool modalFlagRaised = false;
};

// Hands the next modal dialog to `answer`, which must close it.
void AnswerNextModal(QObject* context, std::function<void(QDialog*)> answer) {
    auto* timer = new QTimer(context);
    QObject::connect(timer, &QTimer::timeout, context, [timer, answer] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (dialog == nullptr) {
            return;
        }
        timer->stop();
        timer->deleteLater();
        answer(dialog);
    });
    timer->start(10);
}

// Answers the next modal message box with its default button (OK), recording it.
void AnswerNextBox(QObject* context, SeenBox& seen) {
    AnswerNextModal(context, [&seen](QDialog* dialog) {
        auto* box = qobject_cast<QMessageBox*>(dialog);
        if (box == nullptr) {
            dialog->reject();
            return;
        }
        seen.seen = true;
        seen.title = box->windowTitle();
        seen.text = box->text();
        seen.icon = box->icon();
        seen.modalFlagRaised = ModalDialogScope::IsRaised();
        box->accept();
    });
}

// A backup job that reports progress from the worker thread and then waits until the
// test releases it.
struct BlockingJob {
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    std::atomic<bool> started{false};

    RunQueue::Job Job() {
        return [this](int, RunContext&) {
            ShowProgress();
            SetProgressLabel("Copying");
            SetProgressRange(0, 10);
            SetProgressPos(5);
            started = true;
            const bool freed =
                released.wait_for(std::chrono::seconds(20)) == std::future_status::ready;
            HideProgress();
            return freed;
        };
    }
};

}  // namespace

class TestMainFrame : public QObject {
    Q_OBJECT

  private slots:
    void init() {
        Settings().clear();
        Settings().sync();
        m_data = std::make_unique<QTemporaryDir>();
        m_tasks = std::make_unique<TaskList>();
    }
    void cleanup() {
        m_frame.reset();
        m_tasks.reset();
        m_data.reset();
    }

    void startsWithTitleLogAndQueueText() {
        CMainFrame& frame = MakeFrame();
        QCOMPARE(frame.windowTitle(), QString("Corvane"));
        QVERIFY(LogTexts(frame).size() >= 1);
        QVERIFY(LogTexts(frame).last().endsWith(": Program started"));
        QCOMPARE(frame.QueueStatusText(), QString("No tasks in queue"));
        QCOMPARE(frame.LogBar()->windowTitle(), QString("Log window"));
        QCOMPARE(frame.dockWidgetArea(frame.LogBar()), Qt::BottomDockWidgetArea);
        QVERIFY(frame.View() != nullptr);
        QCOMPARE(frame.centralWidget(), static_cast<QWidget*>(frame.View()));
    }

    void menusHoldTheirItemsInOrder() {
        CMainFrame& frame = MakeFrame();
        QStringList titles;
        for (QAction* action : frame.menuBar()->actions()) {
            titles << action->text();
        }
        QCOMPARE(titles, QStringList({"&File", "&View", "&Backup", "&Options", "&Help"}));

        QCOMPARE(Entries(MenuNamed(frame, "&File")),
                 QStringList({"&New task wizard...", "New &group...",
                              "Modify task/group settings...", "Delete task/group", "-", "E&xit"}));
        QCOMPARE(Entries(MenuNamed(frame, "&View")),
                 QStringList({"&Toolbar", "&Status Bar", "Log &window", "-", "<&Log text>", "-",
                              "&Hide to tray when minimized"}));
        const QMenu* logText = ItemNamed(MenuNamed(frame, "&View"), "&Log text")->menu();
        QCOMPARE(Entries(logText), QStringList({"Clea&r log", "C&opy log text to clipboard"}));
        QCOMPARE(Entries(MenuNamed(frame, "&Backup")),
                 QStringList({"Start task/group", "Start all tasks", "Stop", "Restore", "-",
                              "Estimate task size", "-", "Shutdown PC when backup complete"}));
        QCOMPARE(Entries(MenuNamed(frame, "&Options")),
                 QStringList({"&Sound settings...", "&Default backup folder..."}));
        QCOMPARE(Entries(MenuNamed(frame, "&Help")),
                 QStringList({"&Help Topics", "-", "&About Corvane..."}));

        const QAction* newTask = ItemNamed(MenuNamed(frame, "&File"), "&New task wizard...");
        QCOMPARE(newTask->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_N));
    }

    void menuItemsCarryTheirPromptsAndShortTexts_data() {
        QTest::addColumn<QString>("menu");
        QTest::addColumn<QString>("item");
        QTest::addColumn<QString>("prompt");
        QTest::addColumn<QString>("shortText");
        auto row = [](const char* menu, const char* item, const char* prompt, const char* text) {
            QTest::newRow(item) << QString(menu) << QString(item) << QString(prompt)
                                << QString(text);
        };
        row("&File", "&New task wizard...", "Create a new task", "New task");
        row("&File", "New &group...", "Create a new group", "New group");
        row("&File", "Modify task/group settings...", "Modify task settings", "Settings");
        row("&File", "Delete task/group", "Delete task", "Delete task");
        row("&File", "E&xit", "Quit the application", "Exit");
        row("&View", "&Toolbar", "Show or hide the toolbar", "Toggle ToolBar");
        row("&View", "&Status Bar", "Show or hide the status bar", "Toggle StatusBar");
        row("&View", "Log &window", "Show or hide the log window", "Show or hide the log window");
        row("&View", "&Hide to tray when minimized", "Hide to tray when minimized",
            "Hide to tray when minimized");
        row("&Backup", "Start task/group", "Start backup process for the task or group", "Backup");
        row("&Backup", "Start all tasks", "Start backup process for all tasks", "Backup all");
        row("&Backup", "Stop", "Stop backup process", "Stop");
        row("&Backup", "Restore", "Restore data from a backup copy", "Restore");
        row("&Backup", "Estimate task size", "Estimate source data size", "Estimate");
        row("&Backup", "Shutdown PC when backup complete",
            "Your PC will switch off after the task is completed",
            "Your PC will switch off after the task is completed");
        row("&Options", "&Sound settings...", "Set parameters for play sounds",
            "Set parameters for play sounds");
        row("&Options", "&Default backup folder...", "Set default backup folder",
            "Set default backup folder");
        row("&Help", "&Help Topics", "List Help topics", "Help Topics");
        row("&Help", "&About Corvane...",
            "Display program information, version number and copyright", "About");
    }
    void menuItemsCarryTheirPromptsAndShortTexts() {
        QFETCH(QString, menu);
        QFETCH(QString, item);
        QFETCH(QString, prompt);
        QFETCH(QString, shortText);
        CMainFrame& frame = MakeFrame();
        const QAction* action = ItemNamed(MenuNamed(frame, menu), item);
        QVERIFY(action != nullptr);
        QCOMPARE(action->statusTip(), prompt);
        QCOMPARE(action->toolTip(), shortText);
    }

    void toolbarShowsLabelsUnderIconsInOrder() {
        CMainFrame& frame = MakeFrame();
        frame.show();
        QToolBar* bar = frame.ToolBar();
        QCOMPARE(bar->toolButtonStyle(), Qt::ToolButtonTextUnderIcon);
        QCOMPARE(frame.toolBarArea(bar), Qt::TopToolBarArea);
        QStringList labels;
        for (QAction* action : bar->actions()) {
            if (action->isSeparator()) {
                labels << "-";
                continue;
            }
            labels << action->iconText();
            QVERIFY2(!action->icon().isNull(), qPrintable(action->iconText()));
            // The picture is drawn, not an empty square.
            const QImage picture = action->icon().pixmap(24, 24).toImage();
            QVERIFY(!picture.isNull());
            auto* button = qobject_cast<QToolButton*>(bar->widgetForAction(action));
            QVERIFY(button != nullptr);
            QCOMPARE(button->text(), action->iconText());
        }
        QCOMPARE(labels, QStringList({"New task", "New group", "-", "Backup", "Backup all", "Stop",
                                      "Restore", "Estimate", "Settings", "-", "About", "Help"}));
    }

    void viewTogglesFollowVisibility() {
        CMainFrame& frame = MakeFrame();
        frame.show();
        struct Toggle {
            CMainFrame::FrameCommand command;
            QWidget* widget;
        };
        const Toggle toggles[] = {
            {CMainFrame::FrameCommand::kToolbar, frame.ToolBar()},
            {CMainFrame::FrameCommand::kStatusBar, frame.statusBar()},
            {CMainFrame::FrameCommand::kLogWindow, frame.LogBar()},
        };
        for (const Toggle& toggle : toggles) {
            QAction* action = frame.Action(toggle.command);
            QVERIFY(action->isCheckable());
            QVERIFY(action->isChecked());
            action->trigger();
            QVERIFY(!toggle.widget->isVisible());
            QVERIFY(!action->isChecked());
            action->trigger();
            QVERIFY(toggle.widget->isVisible());
            QVERIFY(action->isChecked());
        }
        // Closing the log window by its own button unchecks the item too.
        frame.LogBar()->close();
        QVERIFY(!frame.Action(CMainFrame::FrameCommand::kLogWindow)->isChecked());
    }

    void clearAndCopyTheLog() {
        CMainFrame& frame = MakeFrame();
        Log("  Warning: something to copy");
        QGuiApplication::clipboard()->setText("old");
        frame.Action(CMainFrame::FrameCommand::kCopyLog)->trigger();
        const QString copied = QGuiApplication::clipboard()->text();
        QVERIFY(copied.contains(": Program started\r\n  Warning: something to copy\r\n"));
        QVERIFY(LogTexts(frame).last().endsWith(": Log text was stored in clipboard"));

        frame.Action(CMainFrame::FrameCommand::kClearLog)->trigger();
        QCOMPARE(frame.LogBar()->List()->LineCount(), 0);
    }

    void trayMenuAndStateWithoutATray() {
        CMainFrame& frame = MakeFrame();
        QCOMPARE(Entries(frame.TrayMenu()),
                 QStringList({"Show Corvane", "-", "Start all tasks", "-", "E&xit"}));
        QCOMPARE(frame.HasTrayIcon(), QSystemTrayIcon::isSystemTrayAvailable());
        // Without a tray a window hidden on minimising could not come back.
        QCOMPARE(frame.Action(CMainFrame::FrameCommand::kHideToTray)->isEnabled(),
                 QSystemTrayIcon::isSystemTrayAvailable());
        QVERIFY(!frame.IsTrayBusy());
        QCOMPARE(frame.TrayToolTip(),
                 QString("Corvane.\r\nLeft click - activate program, right click - context menu."));
    }

    // About and the Options items open their dialogs modally, under the modal flag.
    void commandsOpenTheirDialogs_data() {
        QTest::addColumn<int>("command");
        QTest::addColumn<QString>("className");
        QTest::newRow("about") << int(CMainFrame::FrameCommand::kAbout) << "corvane::CAboutDialog";
        QTest::newRow("sounds") << int(CMainFrame::FrameCommand::kSoundSettings)
                                << "corvane::CSoundsDialog";
        QTest::newRow("default folder")
            << int(CMainFrame::FrameCommand::kDefaultFolder) << "corvane::CDefaultFolderDialog";
    }
    void commandsOpenTheirDialogs() {
        QFETCH(int, command);
        QFETCH(QString, className);
        CMainFrame& frame = MakeFrame();
        frame.show();
        QString shown;
        bool flagRaised = false;
        QString version;
        AnswerNextModal(this, [&](QDialog* dialog) {
            shown = dialog->metaObject()->className();
            flagRaised = ModalDialogScope::IsRaised();
            if (auto* label = dialog->findChild<QLabel*>("VersionLabel")) {
                version = label->text();
            }
            dialog->reject();
        });
        frame.Action(CMainFrame::FrameCommand(command))->trigger();
        QCOMPARE(shown, className);
        QVERIFY(flagRaised);
        QVERIFY(!ModalDialogScope::IsRaised());
        if (className == "corvane::CAboutDialog") {
            QVERIFY(version.startsWith("Version "));
            QVERIFY(version.length() > QString("Version ").length());
        }
    }

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

        // "Show Corvane" brings the window back from the tray.
        frame.hide();
        frame.Action(CMainFrame::FrameCommand::kShowWindow)->trigger();
        QVERIFY(frame.isVisible());
    }

    // A real run through the view's queue: queue text, busy tray, the progress from the
    // worker covering the prompts, the close guard, and the outcome.
    void runShowsProgressAndKeepsTheWindowOpen() {
        CMainFrame& frame = MakeFrame();
        frame.show();
        const int index = AddTask("Docs");
        BlockingJob job;
        frame.View()->Queue().SetBackupJob(job.Job());

        // The window was shown just now: the argument starts once its show is handled.
        frame.StartTaskByArgument("/\"docs\"");
        QTRY_VERIFY(frame.IsBusy());
        QCOMPARE(frame.QueueStatusText(), QString("1 tasks in queue"));
        QVERIFY(frame.IsTrayBusy());
        QCOMPARE(frame.TrayToolTip(), QString("Corvane. Processing data..."));
        QCOMPARE(frame.View()->Queue().CurrentTaskIndex(), index);

        CLabelProgressCtrl* progress = frame.ProgressCtrl();
        QTRY_VERIFY(job.started.load());
        QTRY_COMPARE(progress->Model().Text(), QString("Copying: 50%"));
        QVERIFY(progress->IsShown());
        QVERIFY(progress->isVisible());

        // A menu prompt does not cover the progress.
        QStatusTipEvent tip("Create a new task");
        QApplication::sendEvent(&frame, &tip);
        QCOMPARE(frame.statusBar()->currentMessage(), QString());
        QVERIFY(progress->isVisible());

        // Closing is refused while the run is active.
        SeenBox box;
        AnswerNextBox(this, box);
        QVERIFY(!frame.close());
        QVERIFY(box.seen);
        QCOMPARE(box.title, QString("Warning"));
        QCOMPARE(box.text, QString("Cannot exit when backup is in progress. Please stop the "
                                   "tasks and try again."));
        QCOMPARE(box.icon, QMessageBox::Warning);
        QVERIFY(frame.isVisible());
        QVERIFY(frame.IsBusy());

        job.release.set_value();
        QTRY_VERIFY(!frame.IsBusy());
        QVERIFY(LogHasLineEndingWith(frame, "Starting task..."));
        QCOMPARE(LogTexts(frame).last(), QString("  Task completed"));
        QVERIFY(!progress->IsShown());
        QVERIFY(!progress->isVisible());
        QCOMPARE(frame.QueueStatusText(), QString("No tasks in queue"));
        QVERIFY(!frame.IsTrayBusy());

        // Prompts reach the status bar again.
        QApplication::sendEvent(&frame, &tip);
        QCOMPARE(frame.statusBar()->currentMessage(), QString("Create a new task"));

        // With nothing running the window closes.
        QVERIFY(frame.close());
    }

    // Arguments that arrive before the window was first shown wait for it, in their
    // order: one handed over meanwhile replaced the window's own, and only one ran.
    void argumentsWaitForTheFirstShowInTheirOrder() {
        CMainFrame& frame = MakeFrame();
        AddTask("My Docs");
        AddTask("Mail");
        std::atomic<int> runs{0};
        std::atomic<int> order{0};  // the slots that ran, one digit each
        frame.View()->Queue().SetBackupJob([&runs, &order](int index, RunContext&) {
            order = order * 10 + index + 1;
            ++runs;
            return true;
        });
        frame.StartTaskByArgument("/\"My Docs\"");
        frame.StartTaskByArgument("/Mail");
        QVERIFY(!frame.IsBusy());
        QCOMPARE(frame.QueueStatusText(), QString("No tasks in queue"));

        frame.show();
        QTRY_COMPARE(runs.load(), 2);
        QCOMPARE(order.load(), 12);
        QTRY_VERIFY(!frame.IsBusy());
        QCOMPARE(LogTexts(frame).last(), QString("  Task completed"));

        // Later arguments start at once; an unknown name is reported.
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
        SeenBox box;
        AnswerNextBox(this, box);
        QVERIFY(frame.close());
        QCOMPARE(box.title, QString("Warning"));
        QCOMPARE(box.text, QString("Cannot save tasks list."));
        QCOMPARE(box.icon, QMessageBox::Warning);
        const QString reason =
            "Error: cannot save tasks list: cannot write " + data.filePath("CorvTasks.bin") + ": ";
        QVERIFY2(LogTexts(frame).filter(reason).size() >= 1,
                 qPrintable(LogTexts(frame).join('\n')));
    }

    void estimateEndsWithTheTaskInfoBox() {
        CMainFrame& frame = MakeFrame();
        frame.show();
        const int index = AddTask("Docs");
        SeenBox box;
        AnswerNextBox(this, box);
        QVERIFY(frame.View()->Queue().StartEstimate({index}, [](RunContext&) { return 3000.0; }));
        QVERIFY(frame.IsBusy());
        QVERIFY(frame.IsTrayBusy());
        QTRY_VERIFY(box.seen);
        QCOMPARE(box.title, QString("Task info"));
        QCOMPARE(box.text, QString("  Unpacked size of selected task(s) data: 2 KBytes"));
        QCOMPARE(box.icon, QMessageBox::NoIcon);
        QVERIFY(box.modalFlagRaised);
        QTRY_VERIFY(!frame.IsBusy());
        QVERIFY(!frame.IsTrayBusy());
        QVERIFY(!ModalDialogScope::IsRaised());
    }

    void refusalShowsAWarningWithTheInformationIcon() {
        CMainFrame& frame = MakeFrame();
        frame.show();
        const int index = AddTask("Only restore", 2);
        SeenBox box;
        AnswerNextBox(this, box);
        frame.View()->Queue().StartTask(index);
        QTRY_VERIFY(box.seen);
        QCOMPARE(box.title, QString("Warning"));
        QCOMPARE(box.text, QString("This task can be used only for data restore."));
        QCOMPARE(box.icon, QMessageBox::Information);
        QVERIFY(box.modalFlagRaised);
        QVERIFY(!frame.IsBusy());
    }

    // The layout is saved at close and restored at start, unless Shift asked for the
    // default one; a minimised window saves nothing.
    void layoutIsSavedAndRestored() {
        {
            CMainFrame& frame = MakeFrame();
            frame.show();
            frame.addDockWidget(Qt::LeftDockWidgetArea, frame.LogBar());
            frame.ToolBar()->hide();
            QVERIFY(frame.close());
            m_frame.reset();
        }
        QVERIFY(Settings().contains("MainFrame/WP"));
        QVERIFY(!Settings().value("MainFrame/WP").toByteArray().isEmpty());
        QVERIFY(Settings().contains("BarStates/State"));
        {
            CMainFrame& frame = MakeFrame();
            frame.show();
            QCOMPARE(frame.dockWidgetArea(frame.LogBar()), Qt::LeftDockWidgetArea);
            QVERIFY(frame.ToolBar()->isHidden());
            QVERIFY(!frame.Action(CMainFrame::FrameCommand::kToolbar)->isChecked());

            // Closing while minimised keeps what was stored before.
            frame.addDockWidget(Qt::RightDockWidgetArea, frame.LogBar());
            frame.setWindowState(Qt::WindowMinimized);
            QVERIFY(frame.isMinimized());
            QVERIFY(frame.close());
            m_frame.reset();
        }
        {
            CMainFrame::Options options;
            options.ignoreSavedLayout = true;
            options.showSplash = false;
            CMainFrame& frame = MakeFrame(options);
            frame.show();
            QCOMPARE(frame.dockWidgetArea(frame.LogBar()), Qt::BottomDockWidgetArea);
            QVERIFY(!frame.ToolBar()->isHidden());
            // The default layout is what the next normal close stores.
            QVERIFY(frame.close());
            m_frame.reset();
        }
        {
            CMainFrame& frame = MakeFrame();
            frame.show();
            QCOMPARE(frame.dockWidgetArea(frame.LogBar()), Qt::BottomDockWidgetArea);
            QVERIFY(!frame.ToolBar()->isHidden());
        }
    }

    void placementIsRestored() {
        {
            CMainFrame& frame = MakeFrame();
            frame.show();
            frame.setGeometry(40, 50, 700, 520);
            QTRY_COMPARE(frame.geometry().size(), QSize(700, 520));
            QVERIFY(frame.close());
            m_frame.reset();
        }
        CMainFrame& frame = MakeFrame();
        frame.show();
        QCOMPARE(frame.geometry().size(), QSize(700, 520));
    }

    void minToTraySettingIsReadAndWritten_data() {
        QTest::addColumn<QVariant>("stored");
        QTest::addColumn<bool>("expected");
        QTest::newRow("absent") << QVariant() << false;
        QTest::newRow("off") << QVariant(0) << false;
        QTest::newRow("on") << QVariant(1) << true;
    }
    void minToTraySettingIsReadAndWritten() {
        QFETCH(QVariant, stored);
        QFETCH(bool, expected);
        if (stored.isValid()) {
            Settings().setValue("Main/MinToTray", stored);
        }
        CMainFrame& frame = MakeFrame();
        QCOMPARE(frame.MinToTray(), expected);
        QAction* action = frame.Action(CMainFrame::FrameCommand::kHideToTray);
        QVERIFY(action->isCheckable());
        QCOMPARE(action->isChecked(), expected);

        // Toggled, and written when the window goes.
        action->setEnabled(true);
        action->trigger();
        QCOMPARE(frame.MinToTray(), !expected);
        m_frame.reset();
        QCOMPARE(Settings().value("Main/MinToTray").toInt(), expected ? 0 : 1);
    }

    void minimisingWithoutATrayKeepsTheWindow() {
        if (QSystemTrayIcon::isSystemTrayAvailable()) {
            QSKIP("this desktop has a tray");
        }
        CMainFrame& frame = MakeFrame();
        frame.SetMinToTray(true);
        frame.show();
        frame.setWindowState(Qt::WindowMinimized);
        QTest::qWait(50);  // the hiding would be posted to the event loop
        QVERIFY(!frame.isHidden());
        frame.ShowMainWindow();
        QVERIFY(!frame.isMinimized());
    }

    void showMainWindowBringsTheWindowBack() {
        CMainFrame& frame = MakeFrame();
        frame.show();
        frame.hide();
        frame.ShowMainWindow();
        QVERIFY(frame.isVisible());
        frame.setWindowState(Qt::WindowMinimized);
        frame.ShowMainWindow();
        QVERIFY(!frame.isMinimized());
        QVERIFY(frame.isVisible());
    }

    void splashGoesAtTheFirstKeyPress() {
        CMainFrame::Options options;
        options.showSplash = true;
        CMainFrame& frame = MakeFrame(options);
        frame.show();
        QPointer<CSplashScreen> splash = frame.findChild<CSplashScreen*>();
        QVERIFY(splash != nullptr);
        QVERIFY(splash->isVisible());
        QVERIFY(splash->isWindow());
        // The key goes to the tree, not to the picture: any press anywhere counts.
        QTest::keyClick(frame.View(), Qt::Key_Down);
        QTRY_VERIFY(splash.isNull());

        // No picture without the option, and only at the first show.
        CMainFrame::Options quiet;
        quiet.showSplash = false;
        quiet.dataFolder = m_data->path();
        CMainFrame other(*m_tasks, quiet);
        other.show();
        QVERIFY(other.findChild<CSplashScreen*>() == nullptr);
    }

    void splashGoesAtAMousePress() {
        CMainFrame::Options options;
        options.showSplash = true;
        CMainFrame& frame = MakeFrame(options);
        frame.show();
        QPointer<CSplashScreen> splash = frame.findChild<CSplashScreen*>();
        QVERIFY(splash != nullptr);
        QTest::mouseClick(frame.statusBar(), Qt::RightButton);
        QTRY_VERIFY(splash.isNull());
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
        m_frame = std::make_unique<CMainFrame>(*m_tasks, options);
        return *m_frame;
    }

    int AddTask(const QString& name, qint32 type = 1) {
        TaskRecord* task = m_tasks->NewTask(name, type);
        const int index = m_tasks->IndexOfTask(task);
        m_frame->View()->PlaceNewTask(index);
        return index;
    }

    std::unique_ptr<QTemporaryDir> m_data;
    std::unique_ptr<TaskList> m_tasks;
    std::unique_ptr<CMainFrame> m_frame;
};

QTEST_MAIN(TestMainFrame)
#include "tst_MainFrame.moc"
