#pragma once

// The list of the log window: one row per log line, drawn in the line's palette
// colours (LogLineDelegate), newest line kept in view. It is the window's LogTarget;
// register it behind a QueuedLogTarget so that the worker thread can log into it.
//
// Main thread only. The list owns its model and delegate.

#include <QListView>

#include "log/LogList.h"
#include "log/LogTarget.h"

namespace corvane {

class LogLineDelegate;
class LogListModel;

class CLogListBox : public QListView, public LogTarget {
    Q_OBJECT

  public:
    explicit CLogListBox(QWidget* parent = nullptr, int capacity = kDefaultLogCapacity);
    ~CLogListBox() override;

    // LogTarget: appends the line (the oldest lines give way when the list is full),
    // scrolls to it and clears the selection; Clear empties the list.
    void AppendLine(const LogLine& line) override;
    void Clear() override;

    // The lines as they stand.
    const LogList& Lines() const;
    int LineCount() const { return Lines().Count(); }

    // Every line's text followed by "\r\n" (no time stamp is removed; colours are not
    // text).
    QString CopyText() const;
    // Puts CopyText() on the clipboard, replacing what was there, then logs
    // "Log text was stored in clipboard" through the program-wide log.
    void CopyToClipboard();

    // Colours off: every line black on white.
    void SetColoursOn(bool on);
    bool ColoursOn() const;

  private:
    LogListModel* m_model;
    LogLineDelegate* m_delegate;
};

}  // namespace corvane
