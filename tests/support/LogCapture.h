#pragma once

// Records the log lines of a test (registered as the log target for its lifetime).

#include <QStringList>

#include "log/Log.h"
#include "log/LogList.h"

namespace corvane::test {

class LogCapture {
  public:
    LogCapture() { SetLogTarget(&m_list); }
    ~LogCapture() { SetLogTarget(nullptr); }
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    // The texts of the lines, time stamps included.
    QStringList Texts() const {
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
    LogList m_list;
};

}  // namespace corvane::test
