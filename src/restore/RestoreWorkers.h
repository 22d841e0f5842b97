#pragma once

// Worker threads that write the files of one restore target side by side, while the
// run thread walks on deciding what to restore.
//
// Each worker has its own RestoreTarget on the same root (with the run's stop) and its
// own ZipEntryWriter: a job gets them and does its file, logging a failure itself. A
// fixed number of jobs waits at a time: Add blocks while every place is taken, so memory
// stays the workers' buffers whatever the archive or tree holds.
//
// Add and Finish are called from one thread, the run's. A stop makes the workers drop
// the jobs not yet started; one cut short by it leaves no file (see RestoreTarget).

#include <QString>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "engine/StopSignal.h"
#include "restore/RestoreTarget.h"
#include "restore/ZipEntryWriter.h"

namespace corvane {

class RestoreWorkers {
  public:
    struct Worker {
        explicit Worker(const QString& root) : target(root) {}
        RestoreTarget target;
        ZipEntryWriter zip;
    };
    using Job = std::function<void(Worker&)>;

    // `threads` >= 2 (more than 32 count as 32): with one thread a restore writes on
    // its own thread and makes no workers.
    RestoreWorkers(const QString& root, int threads, const StopSignal& stop);
    // Finishes.
    ~RestoreWorkers();
    RestoreWorkers(const RestoreWorkers&) = delete;
    RestoreWorkers& operator=(const RestoreWorkers&) = delete;

    void Add(Job job);
    // Waits until every job handed over is done or dropped, and ends the workers.
    void Finish();

  private:
    void Work(Worker& worker);

    const StopSignal m_stop;
    size_t m_capacity = 0;
    std::vector<std::unique_ptr<Worker>> m_workerState;
    std::mutex m_mutex;
    std::condition_variable m_jobAvailable;
    std::condition_variable m_placeFree;
    std::deque<Job> m_queue;
    bool m_quit = false;
    std::vector<std::thread> m_threads;
};

}  // namespace corvane
