#pragma once

// Records the log lines of a test (registered as the log target for its lifetime).
// Runs log from their worker threads too (a restore extracts on several), so every
// access to the lines holds a lock.

#include <QStringList>
#include <mutex>

#include "log/Log.h"
#include "log/LogList.h"
#include "log/LogTarget.h"

namespace corvane::test {

class LogCapture : public LogTarget {
  public:
    LogCapture() { SetLogTarget(this); }
    ~LogCapture() override { SetLogTarget(nullptr); }
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    void AppendLine(const LogLine& line) override {
        const std::lock_guard lock(m_mutex);
        m_list.AppendLine(line);
    }
    void Clear() override {
        const std::lock_guard lock(m_mutex);
        m_list.Clear();
    }

    // The texts of the lines, time stamps included.
    QStringList Texts() const {
        const std::lock_guard lock(m_mutex);
        QStringList texts;
        for (int i = 0; i < m_list.Count(); ++i) {
            texts << m_list.Line(i).text;
        }
        return texts;
    }
    // How many lines end with `text` (a stamped line ends with its own text).
    int CountEndingWith(const QString& text) const {
        int count = 0;
        for (const QString& line : Texts()) {
            count += line.endsWith(text) ? 1 : 0;
        }
        return count;
    }

  private:
    mutable std::mutex m_mutex;
    LogList m_list;
};

}  // namespace corvane::test
