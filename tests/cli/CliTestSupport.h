#pragma once

// Running corvane-cli in tests: a command in-process with its streams captured, and the
// built program in a child process with its own data folder.

#include <QFile>
#include <QProcess>
#include <QString>
#include <cstdio>
#include <cstdlib>
#include <functional>

#include "cli/CommandLine.h"
#include "support/TempDir.h"

namespace corvane::test {

struct CliResult {
    int status = -1;
    QString out;
    QString err;
};

// Runs a command in-process with its output and errors captured.
inline CliResult Capture(const std::function<int(std::FILE*, std::FILE*)>& command) {
    char* buffers[2] = {nullptr, nullptr};
    size_t sizes[2] = {0, 0};
    std::FILE* out = open_memstream(&buffers[0], &sizes[0]);
    std::FILE* err = open_memstream(&buffers[1], &sizes[1]);
    CliResult result;
    result.status = command(out, err);
    std::fclose(out);
    std::fclose(err);
    result.out = QString::fromUtf8(buffers[0], static_cast<qsizetype>(sizes[0]));
    result.err = QString::fromUtf8(buffers[1], static_cast<qsizetype>(sizes[1]));
    std::free(buffers[0]);
    std::free(buffers[1]);
    return result;
}

// The command line `args` in-process on the data folder `dataFolder`.
inline CliResult RunCli(const QString& dataFolder, const QStringList& args) {
    return Capture([&](std::FILE* out, std::FILE* err) {
        return RunCommandLine(QStringList{"--data-dir", dataFolder} + args, out, err);
    });
}

// Copies the task list and the group list of tests/fixtures/cli into `folder`, private
// to their owner as the program keeps them.
inline void CopyTaskFixture(const QString& folder) {
    for (const QString name : {"CorvTasks.bin", "CorvGroups.bin"}) {
        QFile::copy(FixturePath("cli/" + name), folder + "/" + name);
        QFile::setPermissions(folder + "/" + name,
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    }
}

#ifdef CORVANE_CLI_PATH
// Starts the built program with CORVANE_HOME = `dataFolder` (and `extraEnv`).
inline void StartProgram(QProcess& process, const QString& dataFolder, const QStringList& args,
                         const QProcessEnvironment& extraEnv = QProcessEnvironment()) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(extraEnv);
    env.insert("CORVANE_HOME", dataFolder);
    process.setProcessEnvironment(env);
    process.start(CORVANE_CLI_PATH, args);
}

// Runs the built program to its end, standard input from /dev/null. Status -1 when it
// crashed or hung.
inline CliResult RunProgram(const QString& dataFolder, const QStringList& args,
                            const QProcessEnvironment& extraEnv = QProcessEnvironment()) {
    QProcess process;
    process.setStandardInputFile(QProcess::nullDevice());
    StartProgram(process, dataFolder, args, extraEnv);
    CliResult result;
    if (!process.waitForFinished(120000)) {
        process.kill();
        process.waitForFinished();
        return result;
    }
    result.out = QString::fromUtf8(process.readAllStandardOutput());
    result.err = QString::fromUtf8(process.readAllStandardError());
    result.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    return result;
}
#endif

}  // namespace corvane::test
