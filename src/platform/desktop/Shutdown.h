#pragma once

// Switching the computer off after the run queue, through systemd-logind on the system
// bus (org.freedesktop.login1.Manager.PowerOff, not interactive: logind refuses a user
// without the right instead of asking for a password).
//
// With the environment variable CORVANE_NO_SHUTDOWN set (whatever its value) nothing
// is asked of the system: the call logs that it skipped and answers false. Tests always
// set it.
//
// Blocks the calling thread until logind answers (kShutdownReplyTimeoutMs at most).

namespace corvane {

inline constexpr int kShutdownReplyTimeoutMs = 25000;

// Asks the system to power off. Answers true when logind accepted the request; then the
// caller ends the program (exit code 0) without saving anything more. Answers false and
// logs the reason otherwise.
bool ShutdownComputer();

}  // namespace corvane
