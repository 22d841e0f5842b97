#include "engine/ArchiveThreads.h"

#include <algorithm>
#include <atomic>
#include <thread>

#include "platform/UserSettings.h"

namespace corvane {

namespace {

std::atomic<int> g_archiveThreads{0};

}  // namespace

void SetArchiveThreads(int threads) {
    g_archiveThreads.store(std::max(threads, 0), std::memory_order_relaxed);
}

int ArchiveThreads() {
    const int chosen = g_archiveThreads.load(std::memory_order_relaxed);
    if (chosen > 0) {
        return chosen;
    }
    if (const int setting = UserSettings::ArchiveThreads(); setting > 0) {
        return setting;
    }
    // hardware_concurrency answers 0 when it cannot tell.
    return std::max(1, int(std::thread::hardware_concurrency()));
}

}  // namespace corvane
