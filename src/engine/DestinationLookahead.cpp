#include "engine/DestinationLookahead.h"

#include <fcntl.h>
#include <algorithm>
#include <limits>
#include <system_error>

#include "engine/LocalPath.h"
#include "model/FileName.h"

namespace corvane {

namespace {

// How far the worker may run ahead of the copy loop, in entries.
constexpr size_t kRingSize = 1024;
// Where the worker resumes when the copy loop has caught up with it: far enough ahead
// that the two do not look up the same entries.
constexpr size_t kLeap = 64;
// A shorter list is looked up faster than a thread starts.
constexpr size_t kWorkerFrom = 256;
// Entries the copy loop takes between two wake-ups of a waiting worker.
constexpr size_t kWakeStretch = 256;

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
    if (threads <= 1 || list.size() <= kWorkerFrom) {
        return;
    }
    m_slots = std::make_unique<Slot[]>(kRingSize);
    try {
        m_worker = std::thread([this] { Work(); });
    } catch (const std::system_error&) {
        // No thread to be had: every entry is looked up inline.
    }
}

DestinationLookahead::~DestinationLookahead() {
    if (m_worker.joinable()) {
        m_quit.store(true, std::memory_order_relaxed);
        m_taken.store(std::numeric_limits<size_t>::max(), std::memory_order_release);
        m_taken.notify_one();
        m_worker.join();
    }
}

DestinationFigures DestinationLookahead::Next() {
    const size_t index = m_taken.load(std::memory_order_relaxed);
    DestinationFigures figures;
    if (m_worker.joinable() &&
        m_slots[index % kRingSize].entry.load(std::memory_order_acquire) == index + 1) {
        figures = m_slots[index % kRingSize].figures;
    } else {
        figures = LookUpEntry(m_inlineLookup, index);
    }
    // Lets the worker write this slot again, for an entry a ring further on. A worker
    // that waits for room is woken once per stretch of entries, not for each.
    m_taken.store(index + 1, std::memory_order_release);
    if (m_worker.joinable() && (index + 1) % kWakeStretch == 0) {
        m_taken.notify_one();
    }
    return figures;
}

// The same choice of entries as the copy loop: files below the source folder.
DestinationFigures DestinationLookahead::LookUpEntry(FolderLookup& lookup, size_t index) const {
    if (index >= m_list.size()) {
        return {};
    }
    const FileListEntry& entry = m_list[index];
    if (entry.kind != kListFile) {
        return {};
    }
    const QString relative = PathBelow(m_sourceBase, entry.path);
    return relative.isEmpty() ? DestinationFigures{}
                              : LookUpDestination(lookup, m_target + relative);
}

void DestinationLookahead::Work() {
    size_t next = 0;
    while (next < m_list.size()) {
        const size_t taken = m_taken.load(std::memory_order_acquire);
        if (m_quit.load(std::memory_order_relaxed) || m_stop.IsSet()) {
            return;
        }
        if (next >= taken + kRingSize) {
            // The ring is full: wait until the copy loop takes an entry (or the
            // destructor moves the position to end the worker).
            m_taken.wait(taken, std::memory_order_acquire);
            continue;
        }
        if (next < taken) {
            next = taken + kLeap;  // the copy loop looked these up itself
            continue;
        }
        Slot& slot = m_slots[next % kRingSize];
        slot.figures = LookUpEntry(m_workerLookup, next);
        slot.entry.store(next + 1, std::memory_order_release);
        ++next;
    }
}

}  // namespace corvane
