#include "scheduler/SchedulerCommand.h"

#include <QProcess>

namespace corvane {
namespace {

// systemctl waits for the user manager; a scheduler that hangs must not hang the window.
constexpr int kTimeoutMs = 30000;

}  // namespace

CommandResult RunSchedulerCommand(const char* overrideVariable, const QString& program,
                                  const QStringList& arguments, const QByteArray& input) {
    const QString chosen = qEnvironmentVariable(overrideVariable, program);
    QProcess process;
    process.start(chosen, arguments);
    CommandResult result;
    if (!process.waitForStarted(kTimeoutMs)) {
        result.err = process.errorString().toUtf8();
        return result;
    }
    process.write(input);
    process.closeWriteChannel();
    if (!process.waitForFinished(kTimeoutMs)) {
        process.kill();
        process.waitForFinished(-1);
        result.err = "timed out";
        return result;
    }
    result.out = process.readAllStandardOutput();
    result.err = process.readAllStandardError();
    result.ok = process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    return result;
}

}  // namespace corvane
