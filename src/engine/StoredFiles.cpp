#include "engine/StoredFiles.h"

#include <atomic>

namespace corvane {
namespace {

std::atomic<std::int64_t> g_storedFiles{0};

}  // namespace

void CountStoredFile() {
    g_storedFiles.fetch_add(1, std::memory_order_relaxed);
}

StoredFileCount::StoredFileCount() : m_start(g_storedFiles.load()) {}

std::int64_t StoredFileCount::Count() const {
    return g_storedFiles.load() - m_start;
}

}  // namespace corvane
