#pragma once

// Running the real tools that check our output (unzip, 7z, zipinfo, Python).

#include <QString>
#include <QStringList>

namespace corvane::test {

struct ToolResult {
    int exitCode = -1;  // -1 when the program did not run or crashed
    QString output;     // stdout and stderr
};

// Runs a program in a UTF-8 locale (tools then print and decode names as UTF-8).
ToolResult RunTool(const QString& program, const QStringList& arguments, int timeoutMs = 600000);

}  // namespace corvane::test
