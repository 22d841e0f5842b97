#pragma once

// corvane-cli: the engine without a window.
//
//   corvane-cli [--data-dir DIR] COMMAND [ARGS]
//
// Exit status: 0 on success, 1 when an operation failed, 2 for a usage error or an
// unknown task.

#include <QStringList>
#include <cstdio>

namespace corvane {

// Runs one command line (without the program name). Output goes to `out`, error texts
// to `err`; log lines are printed to `out` as the log window would show them.
int RunCommandLine(const QStringList& arguments, std::FILE* out, std::FILE* err);

}  // namespace corvane
