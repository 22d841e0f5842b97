#pragma once

// Hands calls from any thread to one owner thread, the way a Qt::AutoConnection does:
// a call made on the owner thread runs at once; a call made on another thread is queued
// and runs on the owner thread's event loop, after every call that thread queued
// before it. The adapters of the log and the progress indicator are built on it.
//
// Unlike a Qt::AutoConnection, a call made on the owner thread first runs every call
// queued so far: a line the main thread logs (say "  Task completed" when the worker's
// end has reached it) never overtakes the lines the worker logged before.
//
// The threads share only atomics: a queued call is pushed onto a lock-free list, and
// the owner is woken through an event file descriptor watched by a QSocketNotifier.
// Qt's own queued calls go through Qt's internal mutex, which the thread sanitizer
// cannot see in the system's Qt build; this way every hand-over is visible to it.
//
// Preconditions: the object is made, used for RunPending and destroyed on the owner
// thread, which must run a Qt event loop (the main thread once QCoreApplication exists,
// or a QThread) for queued calls to run by themselves. Other threads may Post until
// they end; destroying the queue after they have ended drops the calls still queued.

#include <QObject>
#include <atomic>
#include <functional>
#include <memory>
#include <thread>

class QSocketNotifier;

namespace corvane {

class OwnerThreadQueue {
  public:
    OwnerThreadQueue();
    ~OwnerThreadQueue();

    OwnerThreadQueue(const OwnerThreadQueue&) = delete;
    OwnerThreadQueue& operator=(const OwnerThreadQueue&) = delete;

    // Runs `call` now on the owner thread; queues it from any other thread.
    void Post(std::function<void()> call);

    // Owner thread only: runs every call queued so far, in the order they were queued.
    // The event loop does this by itself; a caller uses it to deliver what is left
    // before it stops running the loop. A call that posts or runs pending calls again
    // keeps the order: calls taken earlier run first.
    void RunPending();

    bool IsOwnerThread() const { return std::this_thread::get_id() == m_owner; }

  private:
    struct Node {
        std::function<void()> call;
        Node* next = nullptr;
    };

    void Wake();
    static void DeleteList(Node* node);

    const std::thread::id m_owner;
    // Newest queued call first; empty when nothing waits.
    std::atomic<Node*> m_newest{nullptr};
    // Calls taken from m_newest and not yet run, oldest first (owner thread only).
    Node* m_batchFirst = nullptr;
    Node* m_batchLast = nullptr;
    // Event file descriptor that wakes the owner; -1 when none could be made or the
    // owner had no event dispatcher yet, and then the wake-up travels as a Qt queued call.
    int m_wakeFd = -1;
    std::unique_ptr<QSocketNotifier> m_notifier;
    QObject m_context;
};

}  // namespace corvane
