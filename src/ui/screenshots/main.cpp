// corvane-screenshots FOLDER [TASK-ARGUMENT]: the window of corvane, started as the
// program starts it, with the pictures of the documentation saved into FOLDER. A tool
// of the source tree (scripts/screenshot runs it under Xvfb), never installed.

#include <QCoreApplication>
#include <QFile>
#include <cstdio>
#include <vector>

#include "app/ExitCode.h"
#include "app/TaskArgument.h"
#include "ui/CTarnisApp.h"
#include "ui/screenshots/ScreenshotTour.h"

int main(int argc, char** argv) {
    if (argc < 2 || argc > 3) {
        std::fputs("Usage: corvane-screenshots FOLDER [TASK-ARGUMENT]\n", stderr);
        return corvane::kExitUsage;
    }
    const QString folder = QFile::decodeName(argv[1]);
    // The rest is the program's own command line.
    std::vector<char*> programArgs{argv[0]};
    programArgs.insert(programArgs.end(), argv + 2, argv + argc);
    programArgs.push_back(nullptr);
    int programArgc = argc - 1;

    corvane::CTarnisApp app(programArgc, programArgs.data(), {.showSplash = false});
    int exitCode = corvane::kExitOk;
    if (!app.Start(exitCode)) {
        return exitCode;
    }
    const QString taskName =
        argc == 3 ? corvane::TrimTaskArgument(QFile::decodeName(argv[2])) : QString();
    corvane::ScreenshotTour tour(app, folder, taskName);
    tour.Start();
    return QCoreApplication::exec();
}
