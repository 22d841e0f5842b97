#include "log/ProgressModel.h"

#include <algorithm>

namespace corvane {

void ProgressModel::PlacePosition(int position) {
    m_position = std::clamp(position, std::min(m_lower, m_upper), std::max(m_lower, m_upper));
}

void ProgressModel::Show() {
    m_visible = true;
    PlacePosition(0);
}

void ProgressModel::SetLabel(const QString& label) {
    m_label = label;
}

void ProgressModel::SetRange(int lower, int upper) {
    if (!m_visible) {
        return;
    }
    m_lower = std::clamp(lower, 0, kMaxProgressBound);
    m_upper = std::clamp(upper, 0, kMaxProgressBound);
    PlacePosition(m_position);
}

void ProgressModel::SetPosition(int position) {
    if (!m_visible) {
        return;
    }
    PlacePosition(position);
}

void ProgressModel::Hide() {
    m_visible = false;
}

int ProgressModel::Percent() const {
    if (m_lower >= m_upper) {
        return 0;
    }
    return static_cast<int>(qint64{m_position - m_lower} * 100 / (m_upper - m_lower));
}

QString ProgressModel::Text() const {
    if (m_lower >= m_upper || !m_showText) {
        return {};
    }
    const QString percent = QString::number(Percent()) + QLatin1Char('%');
    return m_label.isEmpty() ? percent : m_label + QLatin1String(": ") + percent;
}

int ProgressModel::FilledWidth(int width) const {
    if (m_lower >= m_upper || width <= 0) {
        return 0;
    }
    return static_cast<int>(qint64{width} * (m_position - m_lower) / (m_upper - m_lower));
}

}  // namespace corvane
