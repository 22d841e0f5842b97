#pragma once

// The start-up of the desktop program `corvane`.
//
// One program owns a data folder's task list at a time. A second `corvane` finds the
// owner through its InstanceChannel and hands over its one argument (a task name, as
// the desktop launcher and the scheduler pass it) or, without one, asks it to raise its
// window, and ends without a window. The owner may also be a corvane-cli run, which
// queues the name just the same; the user is told that a background run holds the
// tasks. Otherwise this program takes the folder's DataFolderLock, serves the channel
// and opens the main frame; its own argument starts at the frame's first activation.
//
// Without a display (no DISPLAY, WAYLAND_DISPLAY or QT_QPA_PLATFORM), `corvane /Name`
// runs the task as `corvane-cli run Name` does, on the terminal; without an argument it
// says that it needs a display and ends with 1.
//
// Main thread only. The object owns the application object (unless one exists when
// Start is called, as in tests), the task list, the lock, the channel and the frame; the
// frame goes first when it is destroyed, so the task list is saved while the lock is
// still held.

#include <QString>
#include <memory>

#include "model/TaskList.h"
#include "platform/DataFolderLock.h"

class QCoreApplication;

namespace corvane {

class CMainFrame;
class InstanceChannel;

class CTarnisApp {
  public:
    struct Options {
        // The splash screen at start; tools that take pictures of the window leave it out.
        bool showSplash = true;
    };

    // `argc` and `argv` must outlive the object (the application object keeps them);
    // Qt's own options are removed from them when the application object is made here.
    // Exit statuses are those of app/ExitCode.h.
    CTarnisApp(int& argc, char** argv);
    CTarnisApp(int& argc, char** argv, Options options);
    ~CTarnisApp();

    CTarnisApp(const CTarnisApp&) = delete;
    CTarnisApp& operator=(const CTarnisApp&) = delete;

    // Start, then the event loop while the window is up; answers the exit status.
    int Run();

    // Everything up to the shown window. True when the window is up and the caller runs
    // the event loop; false when the program is done (hand-over, a run without a display,
    // or a failure), with its status in `exitCode`.
    bool Start(int& exitCode);

    const QString& DataFolder() const { return m_dataFolder; }
    const TaskList& Tasks() const { return m_tasks; }
    // Null until Start has opened the window.
    CMainFrame* Frame() const { return m_frame.get(); }
    InstanceChannel* Channel() const { return m_channel.get(); }

  private:
    static bool PrintedHelpOrVersion(const QStringList& arguments);
    int RunWithoutDisplay(const QStringList& arguments);
    // Hands the argument (or a raise request) to the program that owns the data folder.
    // True when the program is done: handed over (and, for a background run, told so),
    // or refused (`exitCode` 1). False when nobody serves the folder.
    bool HandOverToOwner(const QString* argument, int& exitCode);
    bool OpenWindow(const QString* argument, int& exitCode);
    // Takes the data folder's lock, or hands the argument to the program that took it.
    bool TakeDataFolder(const QString* argument, int& exitCode);
    // Serves the single-instance channel: handed names start in the frame.
    void ServeChannel();

    int& m_argc;
    char** m_argv;
    const Options m_options;
    std::unique_ptr<QCoreApplication> m_app;  // null when the caller made one
    QString m_dataFolder;
    TaskList m_tasks;
    DataFolderLock m_lock;
    std::unique_ptr<InstanceChannel> m_channel;
    std::unique_ptr<CMainFrame> m_frame;  // declared last: destroyed first
};

}  // namespace corvane
