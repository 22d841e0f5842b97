#pragma once

// Turns SIGINT and SIGTERM into a call on the main thread while the object lives: the
// signal handler only writes a byte to a pipe, and the main thread's event loop runs
// the callback. The previous handlers are put back on destruction. One object at a
// time.

#include <QObject>
#include <functional>
#include <memory>

class QSocketNotifier;

namespace corvane {

class StopOnSignal {
  public:
    explicit StopOnSignal(std::function<void()> onSignal);
    ~StopOnSignal();
    StopOnSignal(const StopOnSignal&) = delete;
    StopOnSignal& operator=(const StopOnSignal&) = delete;

    // True once a signal arrived, already in the handler: the main thread may take a
    // finished run before it reads the pipe, and must not start the next one then.
    bool Signalled() const;

  private:
    std::function<void()> m_onSignal;
    std::unique_ptr<QSocketNotifier> m_notifier;
};

}  // namespace corvane
