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
//
// Positions are coalesced: while one position report waits for the owner thread, later
// ones only replace the value it will deliver. A copy of 20,000 files reports 20,000
// positions; the bar needs only the latest, and waking the owner thread for each
// would cost more than the copy of an unchanged file.

#include <atomic>

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
    std::atomic<int> m_latestPosition{0};
    std::atomic<bool> m_positionQueued{false};
};

}  // namespace corvane
