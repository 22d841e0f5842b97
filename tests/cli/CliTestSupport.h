#pragma once

// Running corvane-cli in tests: a command in-process with its streams captured, and the
// built program in a child process with its own data folder.

#include <QFile>
#include <QProcess>
#include <QString>
#include <cstdio>
#include <cstdlib>
#include <functional>

#include "support/TempDir.h"

namespace corvane::test {

struct CliResult {
    int status = -1;
    QString out;
    QString err;
};

// Runs a command in-process with its output and errors captured.
inline CliResult Capture(const std::function<int(std::FILE*, std::FILE*)>& command) {
    char* outBuffer = nullptr;
    char* errBuffer = nullptr;
    size_t outSize = 0;
    size_t errSize = 0;
    std::FILE* out = open_memstream(&outBuffer, &outSize);
    std::FILE* err = open_memstream(&errBuffer, &errSize);
    CliResult result;
    result.status = command(out, err);
    std::fclose(out);
    std::fclose(err);
    result.out = QString::fromUtf8(outBuffer, static_cast<qsizetype>(outSize));
    result.err = QString::fromUtf8(errBuffer, static_cast<qsizetype>(errSize));
    std::free(outBuffer);
    std::free(errBuffer);
    return result;
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
// Runs the built program with CORVANE_HOME = `dataFolder` (and `extraEnv`), standard
// input from /dev/null, to its end. Status -1 when it crashed or hung.
inline CliResult RunProgram(const QString& dataFolder, const QStringList& args,
                            const QProcessEnvironment& extraEnv = QProcessEnvironment()) {
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("CORVANE_HOME", dataFolder);
    for (const QString& key : extraEnv.keys()) {
        env.insert(key, extraEnv.value(key));
    }
    process.setProcessEnvironment(env);
    process.setStandardInputFile(QProcess::nullDevice());
    process.start(CORVANE_CLI_PATH, args);
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
