#pragma once

// Makes a log target that belongs to one thread (the window's list on the main thread)
// safe to log to from any thread. A call on the owner thread reaches the target at
// once, after the lines other threads queued before it; a call from another thread is
// queued to the owner thread's event loop and reaches the target there, in the order
// that thread logged (see OwnerThreadQueue).
//
// The owner thread is the thread that makes this object; it must run a Qt event loop
// for queued lines to arrive. The wrapped target must outlive this object. Destroy this
// object on the owner thread after every other thread has stopped logging through it;
// lines still queued then are dropped unless DeliverPending ran first.

#include "log/LogTarget.h"
#include "log/OwnerThreadQueue.h"

namespace corvane {

class QueuedLogTarget : public LogTarget {
  public:
    explicit QueuedLogTarget(LogTarget& target);

    void AppendLine(const LogLine& line) override;
    void Clear() override;

    // Owner thread only: hands every queued line and clear to the target now.
    void DeliverPending() { m_queue.RunPending(); }

  private:
    LogTarget& m_target;
    OwnerThreadQueue m_queue;
};

}  // namespace corvane
