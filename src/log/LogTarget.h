#pragma once

// Where log lines go: the window's list, the terminal, a test's list.
//
// The functions of Log.h call a target on the thread that logs. A target that belongs
// to one thread is made safe for the others by putting a QueuedLogTarget in front of it.

#include "log/LogLine.h"

namespace corvane {

class LogTarget {
  public:
    virtual ~LogTarget() = default;

    // Appends one finished line (stamp, colour and length already applied).
    virtual void AppendLine(const LogLine& line) = 0;
    // Empties the log.
    virtual void Clear() = 0;
};

}  // namespace corvane
