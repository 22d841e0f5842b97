#include "restore/RestoreWorkers.h"

#include <algorithm>

namespace corvane {

namespace {

constexpr int kMaxThreads = 32;
// Waiting batches per worker: enough that none idles while the run thread fills the next.
constexpr size_t kBatchesPerWorker = 4;
// Jobs in one batch: small files cost less than a thread hand-over each.
constexpr size_t kJobsPerBatch = 64;

}  // namespace

RestoreWorkers::RestoreWorkers(const QString& root, int threads, const StopSignal& stop)
    : m_stop(stop) {
    const int count = std::clamp(threads, 1, kMaxThreads);
    m_capacity = kBatchesPerWorker * size_t(count);
    m_filling.reserve(kJobsPerBatch);
    for (int i = 0; i < count; ++i) {
        m_workerState.push_back(std::make_unique<Worker>(root));
        m_workerState.back()->target.StopOn(stop);
    }
    for (const std::unique_ptr<Worker>& worker : m_workerState) {
        m_threads.emplace_back([this, state = worker.get()] { Work(*state); });
    }
}

RestoreWorkers::~RestoreWorkers() {
    Finish();
}

void RestoreWorkers::Add(Job job, const QString& folder) {
    if (folder != m_fillingFolder) {
        Flush();
        m_fillingFolder = folder;
    }
    m_filling.push_back(std::move(job));
    if (m_filling.size() >= kJobsPerBatch) {
        Flush();
    }
}

void RestoreWorkers::Flush() {
    if (m_filling.empty()) {
        return;
    }
    {
        std::unique_lock lock(m_mutex);
        m_placeFree.wait(lock, [this] { return m_queue.size() < m_capacity; });
        m_queue.push_back(std::move(m_filling));
    }
    m_jobAvailable.notify_one();
    m_filling.clear();
    m_filling.reserve(kJobsPerBatch);
}

void RestoreWorkers::Finish() {
    if (m_threads.empty()) {
        return;
    }
    Flush();
    {
        std::lock_guard lock(m_mutex);
        m_quit = true;
    }
    m_jobAvailable.notify_all();
    for (std::thread& thread : m_threads) {
        thread.join();
    }
    m_threads.clear();
}

void RestoreWorkers::Work(Worker& worker) {
    for (;;) {
        std::vector<Job> batch;
        {
            std::unique_lock lock(m_mutex);
            m_jobAvailable.wait(lock, [this] { return m_quit || !m_queue.empty(); });
            if (m_queue.empty()) {
                return;  // quit and nothing left
            }
            batch = std::move(m_queue.front());
            m_queue.pop_front();
        }
        m_placeFree.notify_one();
        for (Job& job : batch) {
            if (m_stop.IsSet()) {
                break;
            }
            job(worker);
        }
    }
}

}  // namespace corvane
