#include "engine/ZipAesKeyQueue.h"

#include <algorithm>

namespace corvane {

namespace {

constexpr int kMaxThreads = 32;
constexpr size_t kKeysPerThread = 4;

}  // namespace

ZipAesKeyQueue::ZipAesKeyQueue(const QByteArray& password, int strength, int threads)
    : m_password(password), m_strength(strength) {
    const int workers = std::clamp(threads, 1, kMaxThreads);
    if (workers == 1) {
        return;
    }
    m_depth = kKeysPerThread * size_t(workers);
    for (int i = 0; i < workers; ++i) {
        m_workers.emplace_back(&ZipAesKeyQueue::Work, this);
    }
}

ZipAesKeyQueue::~ZipAesKeyQueue() {
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_quit = true;
    }
    m_wanted.notify_all();
    for (std::thread& worker : m_workers) {
        worker.join();
    }
}

bool ZipAesKeyQueue::Derive(ZipAesKeys& keys) const {
    unsigned char salt[ZipAes::kMaxSaltSize];
    return ZipAes::RandomSalt(salt, ZipAes::SaltSize(m_strength)) &&
           ZipAes::DeriveKeys(m_password, m_strength, salt, keys);
}

bool ZipAesKeyQueue::Next(ZipAesKeys& keys) {
    if (m_workers.empty()) {
        return Derive(keys);
    }
    std::unique_lock<std::mutex> lock(m_mutex);
    m_ready.wait(lock, [this] { return !m_keys.empty() || m_failed; });
    if (m_keys.empty()) {
        return false;
    }
    keys = m_keys.front();
    m_keys.pop_front();
    lock.unlock();
    m_wanted.notify_one();
    return true;
}

void ZipAesKeyQueue::Work() {
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        m_wanted.wait(
            lock, [this] { return m_quit || m_failed || m_keys.size() + m_deriving < m_depth; });
        if (m_quit || m_failed) {
            return;
        }
        ++m_deriving;
        lock.unlock();
        ZipAesKeys keys;
        const bool derived = Derive(keys);
        lock.lock();
        --m_deriving;
        if (derived) {
            m_keys.push_back(keys);
        } else {
            m_failed = true;
        }
        m_ready.notify_one();
    }
}

}  // namespace corvane
