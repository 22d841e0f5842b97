#include "log/LogList.h"

#include <algorithm>

namespace corvane {

LogList::LogList(int capacity) : m_capacity(std::max(capacity, 0)) {}

LogLine LogList::Line(int index) const {
    return DecodeLogItem(m_items.at(index));
}

bool LogList::TryAppend(const QString& item) {
    if (m_items.size() >= m_capacity) {
        return false;
    }
    m_items.append(item);
    return true;
}

LogList::AppendResult LogList::Append(const LogLine& line) {
    const QString item = EncodeLogItem(line);
    AppendResult result;
    if (TryAppend(item)) {
        result.appended = true;
        return result;
    }
    const int count = Count();
    if (count < 2) {
        return result;
    }
    result.removed = std::min(kLogEvictionCount, count - 1);
    m_items.remove(0, result.removed);
    result.appended = TryAppend(item);
    return result;
}

void LogList::AppendLine(const LogLine& line) {
    Append(line);
}

void LogList::Clear() {
    m_items.clear();
}

QString LogList::CopyText() const {
    QString text;
    for (const QString& item : m_items) {
        text += DecodeLogItem(item).text;
        text += QLatin1String("\r\n");
    }
    return text;
}

}  // namespace corvane
