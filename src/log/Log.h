#pragma once

// The program-wide log and progress indicator.
//
// Every run, stage and failure reports through these functions; no run opens a
// message box for its own failures. The lines and the progress go to targets that the
// front end registers (the window's list, the terminal, a test's list). Until a target
// is registered the functions do nothing.
//
// Thread safety: every function may be called from any thread. A target is registered
// before worker threads start and must stay alive until it is unregistered
// (SetLogTarget(nullptr)) after they have ended. The functions call the target on the
// calling thread: a target that belongs to one thread (the window's list, the status
// bar) is registered behind a QueuedLogTarget or QueuedProgressTarget.

#include <QString>

namespace corvane {

class LogTarget;
class ProgressTarget;

// Longest text of one log line, in characters, before the time stamp is added.
inline constexpr int kMaxLogLineLength = 255;

// Formats like printf (arguments of %s are UTF-8), cuts the result at
// kMaxLogLineLength characters and appends it as one line to the log target.
// The format must be a literal of ours: pass user text as an argument ("%s").
void Log(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Empties the log.
void ClearLog();

// Progress operations. The range and the position are ignored while the bar is hidden.
void ShowProgress();
void SetProgressLabel(const QString& label);
void SetProgressRange(int lower, int upper);
void SetProgressPos(int position);
void HideProgress();

// Registers the targets (nullptr unregisters). The caller keeps ownership.
void SetLogTarget(LogTarget* target);
void SetProgressTarget(ProgressTarget* target);

}  // namespace corvane
