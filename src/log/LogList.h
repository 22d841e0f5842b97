#pragma once

// The lines of the log as the window keeps them: a list of items in the one-string form
// of LogLine.h, oldest first, with a capacity in lines. When the list is full an append
// makes room by dropping the oldest lines (see Append).
//
// Not thread-safe: a list belongs to the thread that made it. To log into it from
// other threads, register a QueuedLogTarget made on that thread.

#include <QString>
#include <QStringList>

#include "log/LogTarget.h"

namespace corvane {

// Lines the window's list holds before it drops the oldest ones.
inline constexpr int kDefaultLogCapacity = 100000;

// Lines dropped at once when the list is full.
inline constexpr int kLogEvictionCount = 20;

class LogList : public LogTarget {
  public:
    // What an append changed, for a view that mirrors the list: `removed` oldest lines
    // went away first, then the line was appended (or, when `appended` is false, lost).
    struct AppendResult {
        bool appended = false;
        int removed = 0;

        bool operator==(const AppendResult&) const = default;
    };

    // A negative capacity counts as 0 (a list that refuses every line).
    explicit LogList(int capacity = kDefaultLogCapacity);

    int Capacity() const { return m_capacity; }
    int Count() const { return static_cast<int>(m_items.size()); }
    const QStringList& Items() const { return m_items; }
    // The line at `index` (0 = oldest); precondition 0 <= index < Count().
    LogLine Line(int index) const;

    // Appends the line. If the list is out of space: with fewer than 2 lines the line
    // is lost; otherwise the oldest 20 lines (or all but one when there are fewer) are
    // removed and the append is tried once more.
    AppendResult Append(const LogLine& line);

    // LogTarget: Append without the result, and emptying the list.
    void AppendLine(const LogLine& line) override;
    void Clear() override;

    // The whole log as text: every line's text followed by "\r\n"; "" when empty.
    QString CopyText() const;

  private:
    // The plain append of the list: false when it is out of space.
    bool TryAppend(const QString& item);

    QStringList m_items;
    int m_capacity;
};

}  // namespace corvane
