#pragma once

// Running tasks without a window, on a terminal: `corvane-cli run` and the window
// program started without a display. Needs a QCoreApplication (its event loop runs
// until the queue is idle); main thread only.

#include <QStringList>
#include <cstdio>

#include "platform/DataFolderLock.h"

namespace corvane {

// Backs up the named tasks (or every task with `all`) one after the other; the log goes
// to `out` and, on a terminal, the progress to `err`. When another program owns the
// task list, each name is handed over to it instead. While this run owns the task list
// it serves the data folder's channel, so names handed to it join its queue, and it
// lasts until the queue is empty.
//
// Answers kExitOk when every task completed, kExitFailed when one failed (or the task
// list cannot be read: nothing is written then, or the owner refused a name),
// kExitStopped when stopped (SIGINT or SIGTERM press Stop), kExitUsage for an unknown
// name, kExitLocked when another process holds the task list and takes no names.
//
// `threads` is the deflating thread count the caller chose for this process (0: none
// chosen). Names handed to another program run with that program's count; the first
// hand-over then says so on `err`.
int RunTasksHeadless(const QString& dataFolder, const QStringList& names, bool all, std::FILE* out,
                     std::FILE* err, int threads = 0);

// Takes the data folder's lock; says so on `err` when another process holds it.
[[nodiscard]] bool LockDataFolder(DataFolderLock& lock, const QString& dataFolder, std::FILE* err);

}  // namespace corvane
