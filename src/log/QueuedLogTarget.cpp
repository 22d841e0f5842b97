#include "log/QueuedLogTarget.h"

namespace corvane {

QueuedLogTarget::QueuedLogTarget(LogTarget& target) : m_target(target) {}

// The queued call holds its own copy of the line.
void QueuedLogTarget::AppendLine(const LogLine& line) {
    m_queue.Post([target = &m_target, line] { target->AppendLine(line); });
}

void QueuedLogTarget::Clear() {
    m_queue.Post([target = &m_target] { target->Clear(); });
}

}  // namespace corvane
