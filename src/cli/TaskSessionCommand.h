#pragma once

// The frame of a command that works on the task list: the data folder's lock for a
// command that saves, the log printed on the output, the task list loaded for the
// length of the command.

#include <QString>
#include <cstdio>
#include <functional>

#include "app/TaskSession.h"

namespace corvane {

// Runs `body` on the task list of `dataFolder` with the log on `out` and answers its
// status. With `lock` the data folder's lock is taken first: a folder that another
// process holds ends with an error line on `err` and the status for a locked list.
int RunOnTaskSession(const QString& dataFolder, bool lock, std::FILE* out, std::FILE* err,
                     const std::function<int(TaskSession&)>& body);

}  // namespace corvane
