#include "support/Tools.h"

#include <QProcess>
#include <random>

namespace corvane::test {

ToolResult RunTool(const QString& program, const QStringList& arguments, int timeoutMs) {
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("LC_ALL", "C.UTF-8");
    process.setProcessEnvironment(environment);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    ToolResult result;
    if (!process.waitForStarted() || !process.waitForFinished(timeoutMs)) {
        result.output = program + " did not run";
        return result;
    }
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.output = QString::fromUtf8(process.readAll());
    return result;
}

ToolResult RunPython(const QString& script, const QStringList& arguments) {
    return RunTool("/usr/bin/python3", QStringList{"-c", script} + arguments);
}

QByteArray RandomBytes(qsizetype size, unsigned seed) {
    std::mt19937 generator(seed);
    QByteArray bytes(size, Qt::Uninitialized);
    for (char& byte : bytes) {
        byte = static_cast<char>(generator() & 0xFF);
    }
    return bytes;
}

void StopServerScript(QProcess& process) {
    process.closeWriteChannel();
    if (!process.waitForFinished(3000)) {
        process.kill();
        process.waitForFinished(3000);
    }
}

}  // namespace corvane::test
