#pragma once

// Keys for the AES entries of one archive, derived ahead of need on worker threads.
//
// Every entry needs its own random salt and so its own PBKDF2 run (about a millisecond),
// which for many small files costs more than their compression. The salt is known
// before the entry's data, so workers keep a few salts with their keys ready and the
// archive's thread only takes them. Any key serves any entry: order does not matter.
//
// Next is called from one thread, the owner's. The destructor stops the workers after
// at most the one derivation each is doing. With one thread no worker starts: Next
// derives on the calling thread.

#include <QByteArray>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "engine/ZipAes.h"

namespace corvane {

class ZipAesKeyQueue {
  public:
    // `password` as AES hashes it (UTF-8); `threads` >= 1 (more than 32 count as 32).
    ZipAesKeyQueue(const QByteArray& password, int strength, int threads);
    ~ZipAesKeyQueue();
    ZipAesKeyQueue(const ZipAesKeyQueue&) = delete;
    ZipAesKeyQueue& operator=(const ZipAesKeyQueue&) = delete;

    // A fresh salt with its keys, never given before; false when the system gave no
    // random salt or the library failed.
    [[nodiscard]] bool Next(ZipAesKeys& keys);

  private:
    bool Derive(ZipAesKeys& keys) const;
    void Work();

    const QByteArray m_password;
    const int m_strength;
    size_t m_depth = 0;  // keys kept ready

    std::mutex m_mutex;
    std::condition_variable m_wanted;  // a worker may derive another key
    std::condition_variable m_ready;   // a key is ready or a derivation failed
    std::deque<ZipAesKeys> m_keys;
    size_t m_deriving = 0;
    bool m_failed = false;
    bool m_quit = false;
    std::vector<std::thread> m_workers;
};

}  // namespace corvane
