#include "ui/CMainFrame.h"

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QCursor>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QSettings>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QToolBar>
#include <QUrl>
#include <QWhatsThis>
#include <utility>

#include "app/RunObserver.h"
#include "app/TaskArgument.h"
#include "controls/CLabelProgressCtrl.h"
#include "controls/CLogBar.h"
#include "controls/CLogListBox.h"
#include "log/Log.h"
#include "log/QueuedLogTarget.h"
#include "log/QueuedProgressTarget.h"
#include "platform/desktop/SoundPlayer.h"
#include "ui/CAboutDialog.h"
#include "ui/CArchiveThreadsDialog.h"
#include "ui/CContactsFolderDialog.h"
#include "ui/CDefaultFolderDialog.h"
#include "ui/CSoundsDialog.h"
#include "ui/CSplashScreen.h"
#include "ui/CTarnisView.h"
#include "ui/CWindowObserver.h"
#include "ui/HelpFile.h"
#include "ui/ModalDialogScope.h"
#include "ui/WindowPlacement.h"

// The window's pictures live in a static library: their resource must be registered
// by name (outside any namespace) before the first use.
static void InitFrameResources() {
    Q_INIT_RESOURCE(corvane);
}

namespace corvane {

namespace {

const char* const kIdleTip =
    "Corvane.\r\nLeft click - activate program, right click - context menu.";
const char* const kBusyTip = "Corvane. Processing data...";
const char* const kBusyWarning =
    "Cannot exit when backup is in progress. Please stop the tasks and try again.";

// Profile names of the window's layout.
const char* const kPlacementKey = "MainFrame/WP";
const char* const kBarStateKey = "BarStates/State";
const char* const kLogStateName = "LogState";
const char* const kMinToTrayKey = "Main/MinToTray";

QSettings Settings() {
    return QSettings(QStringLiteral("Tarnis"), QStringLiteral("Tarnis"));
}

QIcon Picture(const char* name) {
    return QIcon(QStringLiteral(":/corvane/%1.svg").arg(QLatin1String(name)));
}

using FrameCommand = CMainFrame::FrameCommand;

// A frame command's menu text, status-bar prompt, short text (tool tip and toolbar label)
// and picture; null where it has none.
struct FrameCommandText {
    FrameCommand command;
    const char* text;
    const char* prompt;
    const char* shortText;
    const char* picture;
};

constexpr FrameCommandText kFrameCommandTexts[] = {
    {FrameCommand::kExit, "E&xit", "Quit the application", "Exit", "exit"},
    {FrameCommand::kToolbar, "&Toolbar", "Show or hide the toolbar", "Toggle ToolBar", nullptr},
    {FrameCommand::kStatusBar, "&Status Bar", "Show or hide the status bar", "Toggle StatusBar",
     nullptr},
    {FrameCommand::kLogWindow, "Log &window", "Show or hide the log window",
     "Show or hide the log window", nullptr},
    {FrameCommand::kClearLog, "Clea&r log", nullptr, nullptr, nullptr},
    {FrameCommand::kCopyLog, "C&opy log text to clipboard", nullptr, nullptr, nullptr},
    {FrameCommand::kHideToTray, "&Hide to tray when minimized", "Hide to tray when minimized",
     "Hide to tray when minimized", nullptr},
    {FrameCommand::kSoundSettings, "&Sound settings...", "Set parameters for play sounds",
     "Set parameters for play sounds", nullptr},
    {FrameCommand::kDefaultFolder, "&Default backup folder...", "Set default backup folder",
     "Set default backup folder", nullptr},
    {FrameCommand::kContactsFolder, "C&ontacts folder...", "Set the folder contacts are kept in",
     "Set contacts folder", nullptr},
    {FrameCommand::kArchiveThreads, "Archive &threads...",
     "Set how many threads compress a ZIP archive", "Set archive threads", nullptr},
    {FrameCommand::kIdleNotice, "Idle &notice...",
     "Set after how many days without a stored file a notice is raised", "Set idle notice",
     nullptr},
    {FrameCommand::kHelpTopics, "&Help Topics", "List Help topics", "Help Topics", nullptr},
    {FrameCommand::kAbout, "&About Corvane...",
     "Display program information, version number and copyright", "About", "about"},
    {FrameCommand::kContextHelp, "Help", "Display help for clicked on buttons, menus and windows",
     "Help", "help"},
    {FrameCommand::kShowWindow, "Show Corvane", nullptr, nullptr, "app"},
};

// The view's commands wear the toolbar's pictures in the menus too.
constexpr std::pair<ViewCommand, const char*> kViewCommandPictures[] = {
    {ViewCommand::kNewTask, "new-task"},  {ViewCommand::kNewGroup, "new-group"},
    {ViewCommand::kModify, "settings"},   {ViewCommand::kDelete, "delete"},
    {ViewCommand::kStartTask, "backup"},  {ViewCommand::kStartAll, "backup-all"},
    {ViewCommand::kStop, "stop"},         {ViewCommand::kRestore, "restore"},
    {ViewCommand::kEstimate, "estimate"},
};

void ApplyTexts(QAction& action, const FrameCommandText& texts) {
    action.setText(QString::fromUtf8(texts.text));
    if (texts.prompt != nullptr) {
        action.setStatusTip(QString::fromUtf8(texts.prompt));
    }
    if (texts.shortText != nullptr) {
        action.setToolTip(QString::fromUtf8(texts.shortText));
        action.setIconText(QString::fromUtf8(texts.shortText));
    }
    if (texts.picture != nullptr) {
        action.setIcon(Picture(texts.picture));
    }
}

}  // namespace

CMainFrame::CMainFrame(TaskList& tasks, const Options& options, QWidget* parent)
    : QMainWindow(parent),
      m_tasks(tasks),
      m_options(options),
      m_observer(std::make_unique<CWindowObserver>(*this)) {
    InitFrameResources();
    setWindowTitle(QStringLiteral("Corvane"));
    setWindowIcon(Picture("app"));
    setObjectName(QStringLiteral("MainFrame"));
    setDockOptions(QMainWindow::AnimatedDocks | QMainWindow::AllowTabbedDocks);
    m_idleIcon = Picture("tray-idle");
    m_busyIcon = Picture("tray-busy");
    m_trayTip = QString::fromUtf8(kIdleTip);
    m_minToTray = Settings().value(QLatin1String(kMinToTrayKey), 0).toInt() != 0;

    // The log window and the status bar come first, so that the view's loading already
    // reports into the window.
    CreateStatusBar();
    CreateLogBar();
    m_queuedLog = std::make_unique<QueuedLogTarget>(*m_logBar->List());
    m_queuedProgress = std::make_unique<QueuedProgressTarget>(*m_progress);
    SetLogTarget(m_queuedLog.get());
    SetProgressTarget(m_queuedProgress.get());

    m_view = new CTarnisView(m_tasks, m_options.dataFolder, *m_observer, this);
    setCentralWidget(m_view);
    m_view->Queue().UpdateQueueStatus();

    // The toolbar comes before the actions: its own show/hide action is one of them.
    CreateToolBar();
    CreateActions();
    CreateMenus();
    FillToolBar();
    CreateTray();
    RestoreLayout();

    Log("Program started");
    corvane::PlayEventSound(kSoundProgramStarted);
}

CMainFrame::~CMainFrame() {
    Settings().setValue(QLatin1String(kMinToTrayKey), m_minToTray ? 1 : 0);
    // The view goes first: its queue ends a worker that may still log, and the view
    // saves its files; only then may the log and progress targets go.
    delete m_view;
    m_view = nullptr;
    m_queuedLog->DeliverPending();
    m_queuedProgress->DeliverPending();
    SetLogTarget(nullptr);
    SetProgressTarget(nullptr);
    if (m_trayIcon != nullptr) {
        m_trayIcon->hide();
    }
}

QAction* CMainFrame::Action(FrameCommand command) const {
    const auto slot = static_cast<size_t>(command);
    return slot < m_actions.size() ? m_actions[slot] : nullptr;
}

void CMainFrame::CreateActions() {
    m_actions.assign(static_cast<size_t>(FrameCommand::kShowWindow) + 1, nullptr);
    for (const FrameCommandText& texts : kFrameCommandTexts) {
        QAction* action = NewFrameAction(texts.command);
        ApplyTexts(*action, texts);
        m_actions[static_cast<size_t>(texts.command)] = action;
    }
    ConnectActions();
    for (const auto& [command, picture] : kViewCommandPictures) {
        m_view->Action(command)->setIcon(Picture(picture));
    }
}

QAction* CMainFrame::NewFrameAction(FrameCommand command) {
    // The bars' own show/hide actions follow their visibility, also when a bar is
    // closed by its own button.
    switch (command) {
        case FrameCommand::kToolbar:
            return m_toolBar->toggleViewAction();
        case FrameCommand::kLogWindow:
            return m_logBar->toggleViewAction();
        default:
            return new QAction(this);
    }
}

void CMainFrame::ConnectActions() {
    auto on = [this](FrameCommand command, auto handler) {
        connect(Action(command), &QAction::triggered, this, handler);
    };
    on(FrameCommand::kExit, [this] {
        // A window hidden in the tray does not end the program by closing: quit then.
        if (close()) {
            QCoreApplication::quit();
        }
    });
    on(FrameCommand::kClearLog, [] { ClearLog(); });
    on(FrameCommand::kCopyLog, [this] {
        // Lines still on their way from the worker belong in the copy.
        m_queuedLog->DeliverPending();
        m_logBar->List()->CopyToClipboard();
    });
    on(FrameCommand::kSoundSettings, [this] { OnSoundSettings(); });
    on(FrameCommand::kDefaultFolder, [this] { OnDefaultFolder(); });
    on(FrameCommand::kContactsFolder, [this] { OnContactsFolder(); });
    on(FrameCommand::kArchiveThreads, [this] { OnArchiveThreads(); });
    on(FrameCommand::kIdleNotice, [this] { OnIdleNotice(); });
    on(FrameCommand::kHelpTopics, [this] { OnHelpTopics(); });
    on(FrameCommand::kAbout, [this] { OnAbout(); });
    on(FrameCommand::kContextHelp, [] { QWhatsThis::enterWhatsThisMode(); });
    on(FrameCommand::kShowWindow, [this] { ShowMainWindow(); });

    QAction* statusBarToggle = Action(FrameCommand::kStatusBar);
    statusBarToggle->setCheckable(true);
    statusBarToggle->setChecked(true);
    connect(statusBarToggle, &QAction::toggled, statusBar(), &QWidget::setVisible);

    QAction* hideToTray = Action(FrameCommand::kHideToTray);
    hideToTray->setCheckable(true);
    hideToTray->setChecked(m_minToTray);
    // Without a tray the hidden window could not be brought back.
    hideToTray->setEnabled(QSystemTrayIcon::isSystemTrayAvailable());
    connect(hideToTray, &QAction::toggled, this, [this](bool on) { m_minToTray = on; });
}

void CMainFrame::CreateMenus() {
    auto view = [this](ViewCommand command) { return m_view->Action(command); };

    QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
    file->addAction(view(ViewCommand::kNewTask));
    file->addAction(view(ViewCommand::kNewGroup));
    file->addAction(view(ViewCommand::kModify));
    file->addAction(view(ViewCommand::kDelete));
    file->addSeparator();
    file->addAction(Action(FrameCommand::kExit));

    QMenu* viewMenu = menuBar()->addMenu(QStringLiteral("&View"));
    viewMenu->addAction(Action(FrameCommand::kToolbar));
    viewMenu->addAction(Action(FrameCommand::kStatusBar));
    viewMenu->addAction(Action(FrameCommand::kLogWindow));
    viewMenu->addSeparator();
    QMenu* logText = viewMenu->addMenu(QStringLiteral("&Log text"));
    logText->addAction(Action(FrameCommand::kClearLog));
    logText->addAction(Action(FrameCommand::kCopyLog));
    viewMenu->addSeparator();
    viewMenu->addAction(Action(FrameCommand::kHideToTray));

    QMenu* backup = menuBar()->addMenu(QStringLiteral("&Backup"));
    backup->addAction(view(ViewCommand::kStartTask));
    backup->addAction(view(ViewCommand::kStartAll));
    backup->addAction(view(ViewCommand::kStop));
    backup->addAction(view(ViewCommand::kRestore));
    backup->addSeparator();
    backup->addAction(view(ViewCommand::kEstimate));
    backup->addSeparator();
    backup->addAction(view(ViewCommand::kShutdownWhenComplete));

    QMenu* options = menuBar()->addMenu(QStringLiteral("&Options"));
    options->addAction(Action(FrameCommand::kSoundSettings));
    options->addAction(Action(FrameCommand::kDefaultFolder));
    options->addAction(Action(FrameCommand::kContactsFolder));
    options->addAction(Action(FrameCommand::kArchiveThreads));
    options->addAction(Action(FrameCommand::kIdleNotice));

    QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
    help->addAction(Action(FrameCommand::kHelpTopics));
    help->addSeparator();
    help->addAction(Action(FrameCommand::kAbout));
}

void CMainFrame::CreateToolBar() {
    m_toolBar = new QToolBar(QStringLiteral("Toolbar"), this);
    m_toolBar->setObjectName(QStringLiteral("ToolBar"));
    m_toolBar->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    m_toolBar->setIconSize(QSize(24, 24));
    m_toolBar->setAllowedAreas(Qt::AllToolBarAreas);
    addToolBar(Qt::TopToolBarArea, m_toolBar);
}

void CMainFrame::FillToolBar() {
    auto view = [this](ViewCommand command) { return m_view->Action(command); };
    m_toolBar->addAction(view(ViewCommand::kNewTask));
    m_toolBar->addAction(view(ViewCommand::kNewGroup));
    m_toolBar->addSeparator();
    m_toolBar->addAction(view(ViewCommand::kStartTask));
    m_toolBar->addAction(view(ViewCommand::kStartAll));
    m_toolBar->addAction(view(ViewCommand::kStop));
    m_toolBar->addAction(view(ViewCommand::kRestore));
    m_toolBar->addAction(view(ViewCommand::kEstimate));
    m_toolBar->addAction(view(ViewCommand::kModify));
    m_toolBar->addSeparator();
    m_toolBar->addAction(Action(FrameCommand::kAbout));
    m_toolBar->addAction(Action(FrameCommand::kContextHelp));
}

void CMainFrame::CreateStatusBar() {
    QStatusBar* bar = statusBar();
    // Pane 0 is the message area; the progress bar covers it while an operation runs.
    m_progress = new CLabelProgressCtrl(bar);
    bar->addWidget(m_progress, 1);
    m_progress->Hide();
    connect(m_progress, &CLabelProgressCtrl::ShownChanged, this, [this](bool shown) {
        if (shown) {
            statusBar()->clearMessage();  // a message would hide the bar
        }
    });
    m_queuePane = new QLabel(QStringLiteral("No tasks in queue"), bar);
    m_queuePane->setObjectName(QStringLiteral("QueuePane"));
    bar->addPermanentWidget(m_queuePane);
}

void CMainFrame::CreateLogBar() {
    m_logBar = new CLogBar(this);
    addDockWidget(Qt::BottomDockWidgetArea, m_logBar);
}

void CMainFrame::CreateTray() {
    m_trayMenu = new QMenu(this);
    m_trayMenu->addAction(Action(FrameCommand::kShowWindow));
    m_trayMenu->addSeparator();
    m_trayMenu->addAction(m_view->Action(ViewCommand::kStartAll));
    m_trayMenu->addSeparator();
    m_trayMenu->addAction(Action(FrameCommand::kExit));

    if (!QSystemTrayIcon::isSystemTrayAvailable()) {
        return;  // no tray on this desktop: the window is the only way in
    }
    m_trayIcon = new QSystemTrayIcon(this);
    ApplyTrayState();
    connect(m_trayIcon, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (reason == QSystemTrayIcon::Trigger) {
                    ShowMainWindow();
                } else if (reason == QSystemTrayIcon::Context) {
                    PopupTrayMenu(QCursor::pos());
                }
            });
    m_trayIcon->show();
}

bool CMainFrame::PopupTrayMenu(const QPoint& at) {
    // With a modal dialog open the menu's commands would run beside it.
    if (ModalDialogScope::IsRaised()) {
        return false;
    }
    m_trayMenu->popup(at);
    return true;
}

void CMainFrame::ApplyTrayState() {
    if (m_trayIcon == nullptr) {
        return;
    }
    m_trayIcon->setIcon(m_trayBusy ? m_busyIcon : m_idleIcon);
    // The tip keeps its Windows line break in the state; the tray wants a plain one.
    m_trayIcon->setToolTip(QString(m_trayTip).replace(QLatin1String("\r\n"), QLatin1String("\n")));
}

void CMainFrame::SetTrayBusy() {
    m_trayBusy = true;
    m_trayTip = QString::fromUtf8(kBusyTip);
    ApplyTrayState();
}

void CMainFrame::SetTrayIdle() {
    m_trayBusy = false;
    m_trayTip = QString::fromUtf8(kIdleTip);
    ApplyTrayState();
}

void CMainFrame::SetQueueStatusText(const QString& text) {
    if (m_queuePane != nullptr) {
        m_queuePane->setText(text);
    }
}

QString CMainFrame::QueueStatusText() const {
    return m_queuePane != nullptr ? m_queuePane->text() : QString();
}

void CMainFrame::SetMinToTray(bool on) {
    Action(FrameCommand::kHideToTray)->setChecked(on);
    m_minToTray = on;
}

bool CMainFrame::IsBusy() const {
    return m_view != nullptr && m_view->Queue().IsRunning();
}

void CMainFrame::StartTaskByArgument(const QString& argument) {
    if (!m_activated) {
        // Every argument that comes early runs, in the order it came.
        m_pendingArguments << argument;
        return;
    }
    m_view->RunTaskByName(TrimTaskArgument(argument));
}

void CMainFrame::OnFirstActivation() {
    if (m_activated) {
        return;
    }
    m_activated = true;
    const QStringList pending = std::exchange(m_pendingArguments, {});
    for (const QString& argument : pending) {
        StartTaskByArgument(argument);
    }
}

void CMainFrame::ShowMainWindow() {
    if (isHidden()) {
        show();
    }
    if (isMinimized()) {
        setWindowState((windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    }
    raise();
    activateWindow();
}

void CMainFrame::RestoreLayout() {
    QSettings settings = Settings();
    // The placement holds no bars: it is applied even when Shift asks for the default
    // bar layout. Without one (the first start) the window opens at a useful size rather
    // than at what its widgets need at least.
    if (!restoreGeometry(settings.value(QLatin1String(kPlacementKey)).toByteArray())) {
        PlaceAtFirstStart(this);
    }
    if (m_options.ignoreSavedLayout) {
        return;
    }
    m_logBar->LoadSizes(settings, QLatin1String(kLogStateName));
    restoreState(settings.value(QLatin1String(kBarStateKey)).toByteArray());
}

void CMainFrame::SaveLayout() {
    QSettings settings = Settings();
    settings.setValue(QLatin1String(kPlacementKey), saveGeometry());
    settings.setValue(QLatin1String(kBarStateKey), saveState());
    m_logBar->SaveSizes(settings, QLatin1String(kLogStateName));
}

bool CMainFrame::event(QEvent* event) {
    if (event->type() == QEvent::StatusTip && m_progress->IsShown()) {
        // The prompt is kept, but the progress of a run stays in sight.
        m_heldPrompt = static_cast<QStatusTipEvent*>(event)->tip();
        return true;
    }
    return QMainWindow::event(event);
}

void CMainFrame::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow()) {
        OnFirstActivation();
    } else if (event->type() == QEvent::WindowStateChange && isMinimized() && m_minToTray &&
               m_trayIcon != nullptr) {
        // Hidden after the state change has been handled; the tray brings it back.
        QTimer::singleShot(0, this, [this] {
            if (isMinimized()) {
                hide();
            }
        });
    }
}

void CMainFrame::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (!m_firstShow) {
        return;
    }
    m_firstShow = false;
    if (m_options.showSplash) {
        auto* splash = new CSplashScreen(this);
        splash->ShowCentredOver(this);
    }
    // A window that is never activated (no window manager) still starts its argument.
    QTimer::singleShot(0, this, [this] { OnFirstActivation(); });
}

void CMainFrame::closeEvent(QCloseEvent* event) {
    if (IsBusy()) {
        event->ignore();
        ModalDialogScope modal;
        QMessageBox::warning(this, QStringLiteral("Warning"), QString::fromUtf8(kBusyWarning));
        return;
    }
    // A minimised window's placement is not the one to come back to.
    if (!isMinimized()) {
        SaveLayout();
    }
    if (!m_view->Save()) {
        // The reason is in the log; the program still ends.
        ModalDialogScope modal;
        QMessageBox::warning(this, QStringLiteral("Warning"),
                             QStringLiteral("Cannot save tasks list."));
    }
    event->accept();
}

void CMainFrame::OnHelpTopics() {
    const QUrl help = HelpUrl();
    if (help.isEmpty()) {
        ModalDialogScope modal;
        QMessageBox::information(this, QStringLiteral("Information"),
                                 QStringLiteral("The help file README.md was not found."));
        return;
    }
    QDesktopServices::openUrl(help);
}

void CMainFrame::OnAbout() {
    ModalDialogScope modal;
    CAboutDialog dialog(this);
    dialog.exec();
}

void CMainFrame::OnSoundSettings() {
    ModalDialogScope modal;
    CSoundsDialog dialog(this);
    dialog.exec();
}

void CMainFrame::OnDefaultFolder() {
    ModalDialogScope modal;
    CDefaultFolderDialog dialog(this);
    dialog.exec();
}

void CMainFrame::OnContactsFolder() {
    ModalDialogScope modal;
    CContactsFolderDialog dialog(this);
    dialog.exec();
}

void CMainFrame::OnArchiveThreads() {
    ModalDialogScope modal;
    CArchiveThreadsDialog dialog(this);
    dialog.exec();
}

void CMainFrame::OnIdleNotice() {
    ModalDialogScope modal;
    CIdleNoticeDialog dialog(this);
    dialog.exec();
}

}  // namespace corvane
