#include "log/QueuedProgressTarget.h"

namespace corvane {

QueuedProgressTarget::QueuedProgressTarget(ProgressTarget& target) : m_target(target) {}

void QueuedProgressTarget::Show() {
    m_queue.Post([target = &m_target] { target->Show(); });
}

void QueuedProgressTarget::SetLabel(const QString& label) {
    m_queue.Post([target = &m_target, label] { target->SetLabel(label); });
}

void QueuedProgressTarget::SetRange(int lower, int upper) {
    m_queue.Post([target = &m_target, lower, upper] { target->SetRange(lower, upper); });
}

void QueuedProgressTarget::SetPosition(int position) {
    m_latestPosition.store(position, std::memory_order_relaxed);
    if (m_positionQueued.exchange(true, std::memory_order_acq_rel)) {
        return;  // the queued report will deliver this position
    }
    m_queue.Post([this] {
        // Cleared before the read: a position stored after the read queues a new report.
        m_positionQueued.store(false, std::memory_order_release);
        m_target.SetPosition(m_latestPosition.load(std::memory_order_acquire));
    });
}

void QueuedProgressTarget::Hide() {
    m_queue.Post([target = &m_target] { target->Hide(); });
}

}  // namespace corvane
