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
    m_queue.Post([target = &m_target, position] { target->SetPosition(position); });
}

void QueuedProgressTarget::Hide() {
    m_queue.Post([target = &m_target] { target->Hide(); });
}

}  // namespace corvane
