#pragma once

// Running the real tools that check our output (unzip, 7z, zipinfo, Python).

#include <QByteArray>
#include <QString>
#include <QStringList>

class QProcess;

namespace corvane::test {

struct ToolResult {
    int exitCode = -1;  // -1 when the program did not run or crashed
    QString output;     // stdout and stderr
};

// Runs a program in a UTF-8 locale (tools then print and decode names as UTF-8).
ToolResult RunTool(const QString& program, const QStringList& arguments, int timeoutMs = 600000);

// Runs a Python script given as text (Python's zipfile is the independent ZIP reader).
ToolResult RunPython(const QString& script, const QStringList& arguments = {});

// The same bytes for the same seed: incompressible content that repeats run to run.
QByteArray RandomBytes(qsizetype size, unsigned seed = 1);

// Ends a test server script: closing its stdin ends it by itself, kill is the backstop.
void StopServerScript(QProcess& process);

}  // namespace corvane::test
