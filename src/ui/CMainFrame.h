#pragma once

// The main window "Corvane": menus, toolbar, status bar with the queue text and the
// progress bar, the docking log window, the task view in the middle and the tray icon.
// It registers the log list and the progress bar as the targets of the program-wide log
// and progress operations, keeps the program from closing while a run or estimate is
// active, remembers its placement and bar layout, and can hide in the tray when
// minimised.
//
// Main thread only. The task list is the caller's and outlives the frame. The frame
// owns the view (and through it the run queue), the window observer, the log and
// progress targets, the tray icon and the splash screen.

#include <QIcon>
#include <QMainWindow>
#include <QString>
#include <QStringList>
#include <memory>

#include "model/TaskList.h"

class QLabel;
class QMenu;
class QSystemTrayIcon;
class QToolBar;

namespace corvane {

class CLabelProgressCtrl;
class CLogBar;
class CTarnisView;
class CWindowObserver;
class QueuedLogTarget;
class QueuedProgressTarget;

class CMainFrame : public QMainWindow {
    Q_OBJECT

  public:
    struct Options {
        QString dataFolder;
        // Shift held at start: the saved bar layout and log window sizes are not applied.
        bool ignoreSavedLayout = false;
        bool showSplash = true;
    };

    // Commands of the frame itself (the view's commands are CTarnisView::Action).
    enum class FrameCommand {
        kExit,
        kToolbar,
        kStatusBar,
        kLogWindow,
        kClearLog,
        kCopyLog,
        kHideToTray,
        kSoundSettings,
        kDefaultFolder,
        kContactsFolder,
        kArchiveThreads,
        kIdleNotice,
        kHelpTopics,
        kAbout,
        kContextHelp,
        kShowWindow,  // "Show Corvane" of the tray menu
    };

    CMainFrame(TaskList& tasks, const Options& options, QWidget* parent = nullptr);
    ~CMainFrame() override;

    CTarnisView* View() const { return m_view; }
    CLogBar* LogBar() const { return m_logBar; }
    CLabelProgressCtrl* ProgressCtrl() const { return m_progress; }
    QToolBar* ToolBar() const { return m_toolBar; }
    QMenu* TrayMenu() const { return m_trayMenu; }
    QAction* Action(FrameCommand command) const;

    // A task argument from the command line or from a second program: trimmed (leading
    // "/", then leading and trailing double quotes) and started by name. An argument
    // that arrives before the window was first shown or activated waits until then, after
    // those that came before it.
    void StartTaskByArgument(const QString& argument);

    // Brings the window up: shown if hidden (in the tray), restored if minimised,
    // otherwise raised and activated.
    void ShowMainWindow();

    // True while a run or an estimate is active; the window cannot be closed then.
    bool IsBusy() const;

    // The queue text of status pane 1.
    void SetQueueStatusText(const QString& text);
    QString QueueStatusText() const;

    // The tray icon's two states, with their icon and tip. The state is kept also
    // where the desktop offers no tray.
    void SetTrayBusy();
    void SetTrayIdle();
    bool IsTrayBusy() const { return m_trayBusy; }
    QString TrayToolTip() const { return m_trayTip; }
    // What a right click on the tray icon does: the tray menu at `at`, unless a modal
    // dialog of the window is open (then nothing, and false).
    bool PopupTrayMenu(const QPoint& at);
    // True when the desktop has a tray and the icon is shown there.
    bool HasTrayIcon() const { return m_trayIcon != nullptr; }

    // "Hide to tray when minimized" ("Main"/"MinToTray").
    bool MinToTray() const { return m_minToTray; }
    void SetMinToTray(bool on);

  protected:
    bool event(QEvent* event) override;
    void changeEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    void CreateActions();
    QAction* NewFrameAction(FrameCommand command);
    void ConnectActions();
    void CreateMenus();
    void CreateToolBar();
    void FillToolBar();
    void CreateStatusBar();
    void CreateLogBar();
    void CreateTray();
    void RestoreLayout();
    void SaveLayout();
    void ApplyTrayState();
    void OnFirstActivation();
    void OnHelpTopics();
    void OnAbout();
    void OnSoundSettings();
    void OnDefaultFolder();
    void OnContactsFolder();
    void OnArchiveThreads();
    void OnIdleNotice();

    TaskList& m_tasks;
    const Options m_options;
    std::unique_ptr<CWindowObserver> m_observer;
    CTarnisView* m_view = nullptr;
    CLogBar* m_logBar = nullptr;
    CLabelProgressCtrl* m_progress = nullptr;
    QLabel* m_queuePane = nullptr;
    QToolBar* m_toolBar = nullptr;
    QMenu* m_trayMenu = nullptr;
    QSystemTrayIcon* m_trayIcon = nullptr;
    std::vector<QAction*> m_actions;
    std::unique_ptr<QueuedLogTarget> m_queuedLog;
    std::unique_ptr<QueuedProgressTarget> m_queuedProgress;

    QIcon m_idleIcon;
    QIcon m_busyIcon;
    bool m_trayBusy = false;
    QString m_trayTip;
    bool m_minToTray = false;

    bool m_firstShow = true;
    bool m_activated = false;
    QStringList m_pendingArguments;
    // The last menu prompt that arrived while the progress bar covered the message pane.
    QString m_heldPrompt;
};

}  // namespace corvane
