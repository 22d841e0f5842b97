#pragma once

// Exit statuses of both front ends, so that a script sees the same number whether the
// window program or corvane-cli ran its task.

namespace corvane {

inline constexpr int kExitOk = 0;
// A task failed, the task list could not be read or saved, or the owner of the task
// list refused a handed-over name.
inline constexpr int kExitFailed = 1;
// A usage error or an unknown task.
inline constexpr int kExitUsage = 2;
// Another process holds the task list and takes no names.
inline constexpr int kExitLocked = 3;
// Stopped by SIGINT or SIGTERM.
inline constexpr int kExitStopped = 130;

}  // namespace corvane
