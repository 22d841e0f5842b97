#include "ui/CTarnisApp.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QMessageBox>
#include <QThread>
#include <cstdio>
#include <memory>

#include "app/ExitCode.h"
#include "app/HeadlessRun.h"
#include "app/InstanceChannel.h"
#include "app/TaskArgument.h"
#include "app/Version.h"
#include "platform/DataFolder.h"
#include "scheduler/Scheduler.h"
#include "ui/CMainFrame.h"
#include "ui/DamagedTaskFiles.h"

namespace corvane {
namespace {

// A program that finds the task list taken but nobody serving its channel looks again
// for a little while: the owner may be between taking the lock and listening.
constexpr int kOwnerAttempts = 10;
constexpr int kOwnerPauseMs = 200;

bool HasDisplay() {
    return !qEnvironmentVariableIsEmpty("DISPLAY") ||
           !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") ||
           !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM");
}

void ShowWarning(const QString& text) {
    std::fprintf(stderr, "corvane: %s\n", qUtf8Printable(text));
    QMessageBox::warning(nullptr, QStringLiteral("Warning"), text);
}

}  // namespace

CTarnisApp::CTarnisApp(int& argc, char** argv) : CTarnisApp(argc, argv, Options()) {}

CTarnisApp::CTarnisApp(int& argc, char** argv, Options options)
    : m_argc(argc), m_argv(argv), m_options(options) {}

CTarnisApp::~CTarnisApp() {
    // The frame saves the tasks while the lock is held; the channel closes before the
    // lock goes, so no second program hands a name to a program that is leaving.
    m_frame.reset();
    m_channel.reset();
    m_lock.Unlock();
}

int CTarnisApp::Run() {
    int exitCode = kExitOk;
    if (!Start(exitCode)) {
        return exitCode;
    }
    return QCoreApplication::exec();
}

bool CTarnisApp::Start(int& exitCode) {
    const bool display = HasDisplay();
    if (QCoreApplication::instance() == nullptr) {
        // Without a display QApplication could not even be made.
        if (display) {
            m_app = std::make_unique<QApplication>(m_argc, m_argv);
        } else {
            m_app = std::make_unique<QCoreApplication>(m_argc, m_argv);
        }
    }
    // The application object has removed Qt's own options from the arguments.
    QStringList arguments;
    for (int i = 1; i < m_argc; ++i) {
        arguments << QFile::decodeName(m_argv[i]);
    }
    if (PrintedHelpOrVersion(arguments)) {
        exitCode = kExitOk;
        return false;
    }
    m_dataFolder = ResolveDataFolder();
    // The engine's parts that need the data folder (CD staging, run temporaries)
    // resolve it again: make them all find this one.
    qputenv("CORVANE_HOME", QFile::encodeName(m_dataFolder));

    if (!display || qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr) {
        exitCode = RunWithoutDisplay(arguments);
        return false;
    }
    // Lets the desktop match the window with corvane.desktop and its icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("corvane"));
    // Only exactly one argument names a task; any other count just brings the window up.
    const QString* argument = arguments.size() == 1 ? &arguments.front() : nullptr;
    if (HandOverToOwner(argument, exitCode)) {
        return false;
    }
    return OpenWindow(argument, exitCode);
}

// "--help" and "--version" as the one argument; a task of that name is "/--help".
bool CTarnisApp::PrintedHelpOrVersion(const QStringList& arguments) {
    if (arguments == QStringList{QStringLiteral("--version")}) {
        std::printf("corvane %s\n", qUtf8Printable(ProgramVersion()));
        return true;
    }
    if (arguments != QStringList{QStringLiteral("--help")}) {
        return false;
    }
    std::fputs(
        "Usage: corvane [/NAME]\n"
        "Opens the Corvane window. With a task name, runs that task: in the window that\n"
        "is already open when there is one, else in a new window; without a display, on\n"
        "the terminal as corvane-cli does. The slash is optional, and a task named like\n"
        "an option is reached with it: corvane /--help.\n"
        "\n"
        "  --help      Print this text.\n"
        "  --version   Print the version.\n"
        "\n"
        "The commands for the terminal and scripts are in corvane-cli (corvane-cli --help).\n",
        stdout);
    return true;
}

int CTarnisApp::RunWithoutDisplay(const QStringList& arguments) {
    if (arguments.size() != 1) {
        std::fputs(
            "corvane: there is no display to open the window on.\n"
            "Give one task name to run it here (corvane /NAME), or use corvane-cli.\n",
            stderr);
        return kExitFailed;
    }
    // Runs here, or is handed over to the program that owns the task list.
    return RunTasksHeadless(m_dataFolder, {TrimTaskArgument(arguments.front())}, false, stdout,
                            stderr);
}

bool CTarnisApp::HandOverToOwner(const QString* argument, int& exitCode) {
    QString reply;
    InstanceChannel::Owner owner = InstanceChannel::Owner::kWindow;
    if (InstanceChannel::SendToRunning(m_dataFolder, argument, &reply, &owner)) {
        if (owner == InstanceChannel::Owner::kCommandLine) {
            // A run of corvane-cli has no window to raise: say where the task went.
            QString text = QStringLiteral(
                               "A background run of Corvane (corvane-cli) holds the tasks of "
                               "%1 at the moment.")
                               .arg(QDir::toNativeSeparators(m_dataFolder));
            if (argument != nullptr) {
                text +=
                    QStringLiteral("\n\nThe task '%1' was handed over to it and is queued there.")
                        .arg(TrimTaskArgument(*argument));
            } else {
                text += QStringLiteral("\n\nOpen Corvane again when it has finished.");
            }
            QMessageBox::information(nullptr, QStringLiteral("Information"), text);
        }
        exitCode = kExitOk;
        return true;
    }
    if (reply.isEmpty()) {
        return false;  // nobody serves the folder
    }
    // The owner logs a refused name in its own log; the sender only reports it.
    std::fprintf(stderr, "corvane: %s\n", qUtf8Printable(reply));
    exitCode = kExitFailed;
    return true;
}

bool CTarnisApp::OpenWindow(const QString* argument, int& exitCode) {
    if (!TakeDataFolder(argument, exitCode)) {
        return false;
    }
    // Before anyone may hand a task over: the task list must be there to look it up.
    if (!AcceptDamagedTaskFiles(m_dataFolder)) {
        exitCode = kExitFailed;
        return false;
    }
    m_channel = std::make_unique<InstanceChannel>(InstanceChannel::Owner::kWindow);
    m_channel->SetTaskCheck([this](const QString& handed) {
        const QString name = TrimTaskArgument(handed);
        if (!name.isEmpty() && m_tasks.FindTaskByName(name) < 0) {
            return QStringLiteral("Error: task '%1' not found").arg(name);
        }
        return QString();
    });
    if (!m_channel->Listen(m_dataFolder)) {
        // The window works without it; only a second program will not find this one.
        std::fprintf(stderr,
                     "corvane: warning: the single-instance channel could not be opened; "
                     "a second start will not find this window\n");
    }

    CMainFrame::Options options;
    options.dataFolder = m_dataFolder;
    // Holding Shift at start gives the default bar layout.
    options.ignoreSavedLayout =
        QGuiApplication::queryKeyboardModifiers().testFlag(Qt::ShiftModifier);
    options.showSplash = m_options.showSplash;
    m_frame = std::make_unique<CMainFrame>(m_tasks, options);
    // Once the tasks are in and the log shows in the window: a job the user removed comes
    // back, the job of a task deleted elsewhere goes. Scheduled runs without a display
    // never get here, so a run never changes the jobs.
    ReconcileScheduledJobs(m_tasks, QCoreApplication::applicationFilePath());
    // The window's own argument starts at its first activation, once the tasks are in,
    // and before any task handed over meanwhile.
    if (argument != nullptr) {
        m_frame->StartTaskByArgument(*argument);
    }
    ServeChannel();
    m_frame->show();
    exitCode = kExitOk;
    return true;
}

bool CTarnisApp::TakeDataFolder(const QString* argument, int& exitCode) {
    if (!EnsureFolder(m_dataFolder)) {
        ShowWarning(QStringLiteral("The data folder %1 cannot be created.")
                        .arg(QDir::toNativeSeparators(m_dataFolder)));
        exitCode = kExitFailed;
        return false;
    }
    for (int attempt = 1; !m_lock.TryLock(m_dataFolder); ++attempt) {
        if (HandOverToOwner(argument, exitCode)) {
            return false;
        }
        if (attempt == kOwnerAttempts) {
            ShowWarning(QStringLiteral("The task list in %1 is in use by another Corvane process. "
                                       "Try again when it has finished.")
                            .arg(QDir::toNativeSeparators(m_dataFolder)));
            exitCode = kExitLocked;
            return false;
        }
        QThread::msleep(kOwnerPauseMs);
    }
    return true;
}

void CTarnisApp::ServeChannel() {
    CMainFrame* frame = m_frame.get();
    QObject::connect(m_channel.get(), &InstanceChannel::RaiseRequested, frame,
                     [frame] { frame->ShowMainWindow(); });
    // As the second program always did: the window comes up, then the task starts.
    QObject::connect(m_channel.get(), &InstanceChannel::TaskNameReceived, frame,
                     [frame](const QString& handed) {
                         frame->ShowMainWindow();
                         frame->StartTaskByArgument(handed);
                     });
}

}  // namespace corvane
