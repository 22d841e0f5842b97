#pragma once

// The one argument that starts a task: "corvane /Docs", the desktop launcher's
// /"My Docs", or a name handed over by a second program.

#include <QString>

namespace corvane {

// The task name in an argument: leading "/" characters removed, then leading double
// quotes, then trailing double quotes.
QString TrimTaskArgument(const QString& argument);

}  // namespace corvane
