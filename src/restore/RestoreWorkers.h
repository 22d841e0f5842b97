#pragma once

// Worker threads that write the files of one restore target side by side, while the
// run thread walks on deciding what to restore.
//
// Each worker has its own RestoreTarget on the same root (with the run's stop) and its
// own ZipEntryWriter: a job gets them and does its file, logging a failure itself. Jobs
// travel in batches of consecutive files of one folder: the threads meet once per
// batch rather than once per small file, and two workers seldom create files in the
// same folder at once (the file system lets one at a time change a folder). A fixed number of
// batches waits at a time: Add blocks while every place is taken, so memory stays the workers'
// buffers whatever the archive or tree holds.
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

    // A job that writes a file in the folder `folder` (relative to the root, "" for the
    // root itself).
    void Add(Job job, const QString& folder);
    // Waits until every job handed over is done or dropped, and ends the workers.
    void Finish();

  private:
    void Work(Worker& worker);
    // Hands the batch being filled to the workers.
    void Flush();

    const StopSignal m_stop;
    size_t m_capacity = 0;
    std::vector<std::unique_ptr<Worker>> m_workerState;
    std::mutex m_mutex;
    std::condition_variable m_jobAvailable;
    std::condition_variable m_placeFree;
    std::vector<Job> m_filling;  // the run thread's batch, not yet handed over
    QString m_fillingFolder;     // the folder of its files
    std::deque<std::vector<Job>> m_queue;
    bool m_quit = false;
    std::vector<std::thread> m_threads;
};

}  // namespace corvane
