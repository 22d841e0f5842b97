#include "restore/RestoreWorkers.h"

#include <algorithm>

namespace corvane {

namespace {

constexpr int kMaxThreads = 32;
// Waiting jobs per worker: enough that none idles while the run thread finds the next.
constexpr size_t kJobsPerWorker = 4;

}  // namespace

RestoreWorkers::RestoreWorkers(const QString& root, int threads, const StopSignal& stop)
    : m_stop(stop) {
    const int count = std::clamp(threads, 1, kMaxThreads);
    m_capacity = kJobsPerWorker * size_t(count);
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

void RestoreWorkers::Add(Job job) {
    std::unique_lock lock(m_mutex);
    m_placeFree.wait(lock, [this] { return m_queue.size() < m_capacity; });
    m_queue.push_back(std::move(job));
    m_jobAvailable.notify_one();
}

void RestoreWorkers::Finish() {
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
        Job job;
        {
            std::unique_lock lock(m_mutex);
            m_jobAvailable.wait(lock, [this] { return m_quit || !m_queue.empty(); });
            if (m_queue.empty()) {
                return;  // quit and nothing left
            }
            job = std::move(m_queue.front());
            m_queue.pop_front();
        }
        m_placeFree.notify_one();
        if (!m_stop.IsSet()) {
            job(worker);
        }
    }
}

}  // namespace corvane
