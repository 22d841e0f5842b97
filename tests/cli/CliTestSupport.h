#pragma once

// Running corvane-cli in tests: a command in-process with its streams captured, and the
// built program in a child process with its own data folder.

#include <QProcess>
#include <QString>
#include <cstdio>
#include <cstdlib>
#include <functional>

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

#ifdef CORVANE_CLI_PATH
// Runs the built program with CORVANE_HOME = `dataFolder` (and `extraEnv`), standard
// input from /dev/null; answers its exit status (-1 when it crashed or hung).
inline int RunProgram(const QString& dataFolder, const QStringList& args, QByteArray* out = nullptr,
                      QByteArray* err = nullptr,
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
    if (!process.waitForFinished(120000)) {
        return -1;
    }
    if (out != nullptr) {
        *out = process.readAllStandardOutput();
    }
    if (err != nullptr) {
        *err = process.readAllStandardError();
    }
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}
#endif

}  // namespace corvane::test
