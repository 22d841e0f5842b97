#pragma once

// The commands of corvane-cli that run jobs through the run queue: backups and
// estimates. They hold the data folder's lock while they run and need a
// QCoreApplication (they run its event loop until the queue is idle).

#include <QStringList>
#include <cstdio>

namespace corvane {

// Exit statuses of the run commands.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitLocked = 3;
inline constexpr int kExitStopped = 130;

// `run NAME...` / `run --all`: 0 when every task completed, 1 when one failed (or the
// task list cannot be read; nothing is written then), 130 when stopped (SIGINT or
// SIGTERM press Stop), 2 for an unknown name, 3 when another process holds the task
// list.
int RunTasksCommand(const QString& dataFolder, const QStringList& names, bool all, std::FILE* out,
                    std::FILE* err);

// `estimate NAME...`: the estimate log and its size line; 0, or 130 when stopped.
int EstimateCommand(const QString& dataFolder, const QStringList& names, std::FILE* out,
                    std::FILE* err);

}  // namespace corvane
