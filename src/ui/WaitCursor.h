#pragma once

// The wait cursor for the length of a scope (a synchronous sound, a delete). Main
// thread only.

#include <QApplication>

namespace corvane {

class WaitCursor {
  public:
    WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QApplication::restoreOverrideCursor(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};

}  // namespace corvane
