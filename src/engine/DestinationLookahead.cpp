#include "engine/DestinationLookahead.h"

#include <fcntl.h>
#include <algorithm>
#include <system_error>

#include "engine/LocalPath.h"
#include "model/FileName.h"

namespace corvane {

namespace {

// Entries per batch, and batches in circulation: the worker runs at most this far ahead.
constexpr size_t kBatchSize = 256;
constexpr size_t kBatchCount = 4;

}  // namespace

DestinationFigures LookUpDestination(FolderLookup& lookup, const QString& destination) {
    struct statx info {};
    if (!lookup.LookUp(FileNameToBytes(destination), AT_SYMLINK_NOFOLLOW, info) ||
        !S_ISREG(info.stx_mode)) {
        return {};
    }
    return {true, info.stx_mtime.tv_nsec, info.stx_mtime.tv_sec, info.stx_size};
}

DestinationLookahead::DestinationLookahead(const QString& sourceBase, const FileList& list,
                                           const QString& target, const StopSignal& stop,
                                           int threads)
    : m_sourceBase(sourceBase), m_list(list), m_target(WithSlash(target)), m_stop(stop) {
    if (threads <= 1 || list.size() <= kBatchSize) {
        return;
    }
    for (size_t i = 0; i < kBatchCount; ++i) {
        m_batches.push_back(std::make_unique<Batch>());
        m_batches.back()->figures.resize(kBatchSize);
        m_freeBatches.push_back(m_batches.back().get());
    }
    try {
        m_worker = std::thread([this] { Work(); });
    } catch (const std::system_error&) {
        m_batches.clear();  // no thread to be had: Next looks up inline
        m_freeBatches.clear();
    }
}

DestinationLookahead::~DestinationLookahead() {
    if (m_worker.joinable()) {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_quit = true;
        }
        m_freed.notify_one();
        m_worker.join();
    }
}

DestinationFigures DestinationLookahead::Next() {
    const size_t index = m_next++;
    if (!m_worker.joinable()) {
        return LookUpEntry(index);
    }
    if (m_current == nullptr) {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_filled.wait(lock, [this] { return !m_filledBatches.empty(); });
        m_current = m_filledBatches.front();
        m_filledBatches.pop_front();
        m_currentRead = 0;
    }
    const DestinationFigures figures = m_current->figures[m_currentRead++];
    if (m_currentRead == m_current->count) {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_freeBatches.push_back(m_current);
        }
        m_freed.notify_one();
        m_current = nullptr;
    }
    return figures;
}

// The same choice of entries as the copy loop: files below the source folder.
DestinationFigures DestinationLookahead::LookUpEntry(size_t index) {
    if (index >= m_list.size()) {
        return {};
    }
    const FileListEntry& entry = m_list[index];
    if (entry.kind != kListFile) {
        return {};
    }
    const QString relative = PathBelow(m_sourceBase, entry.path);
    return relative.isEmpty() ? DestinationFigures{}
                              : LookUpDestination(m_lookup, m_target + relative);
}

void DestinationLookahead::Work() {
    for (size_t first = 0; first < m_list.size(); first += kBatchSize) {
        Batch* batch = nullptr;
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            m_freed.wait(lock, [this] { return m_quit || !m_freeBatches.empty(); });
            if (m_quit) {
                return;
            }
            batch = m_freeBatches.front();
            m_freeBatches.pop_front();
        }
        batch->count = std::min(kBatchSize, m_list.size() - first);
        for (size_t i = 0; i < batch->count; ++i) {
            // After a stop the copy loop takes at most one more entry, and empty figures
            // copy it rather than skip it.
            const bool ended = m_quit.load(std::memory_order_relaxed) || m_stop.IsSet();
            batch->figures[i] = ended ? DestinationFigures{} : LookUpEntry(first + i);
        }
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_filledBatches.push_back(batch);
        }
        m_filled.notify_one();
    }
}

}  // namespace corvane
