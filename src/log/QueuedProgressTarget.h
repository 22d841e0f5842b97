#pragma once

// Makes a progress target that belongs to one thread (the status bar's progress bar on
// the main thread) safe to report to from any thread, as QueuedLogTarget does for log
// lines: direct on the owner thread (after the reports queued before), queued in order
// from the others (see OwnerThreadQueue).
//
// The owner thread is the thread that makes this object; it must run a Qt event loop
// for queued reports to arrive. The wrapped target must outlive this object. Destroy
// this object on the owner thread after every other thread has stopped reporting
// through it; reports still queued then are dropped unless DeliverPending ran first.

#include "log/OwnerThreadQueue.h"
#include "log/ProgressTarget.h"

namespace corvane {

class QueuedProgressTarget : public ProgressTarget {
  public:
    explicit QueuedProgressTarget(ProgressTarget& target);

    void Show() override;
    void SetLabel(const QString& label) override;
    void SetRange(int lower, int upper) override;
    void SetPosition(int position) override;
    void Hide() override;

    // Owner thread only: hands every queued report to the target now.
    void DeliverPending() { m_queue.RunPending(); }

  private:
    ProgressTarget& m_target;
    OwnerThreadQueue m_queue;
};

}  // namespace corvane
