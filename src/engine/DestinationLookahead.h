#pragma once

// Looks up what a copy's destination holds for each entry of a file list, ahead of the
// copy loop and on a thread of its own, so that the destination's lookups of the next
// entries run while the copy loop looks at the source of the current one.
//
// Only the destination is looked up ahead. It is the run's own folder, and nothing but
// this run writes to the paths of the list; the source is looked up by the copy loop at
// the moment it decides, so a file changed at any time before then is seen as changed.
//
// A fixed set of batches of figures circulates between the two threads, taken back in
// the order of the list: memory stays the same whatever the list's length. With one
// thread, or a list shorter than a batch, no worker starts and Next looks up inline.
//
// Every member function is called from one thread, the copy loop's. The worker reads
// the list, which must not change while the lookahead lives. The destructor ends the
// worker within one lookup and joins it.

#include <QString>

#include <sys/stat.h>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "engine/FileList.h"
#include "engine/FolderLookup.h"
#include "engine/StopSignal.h"

namespace corvane {

// What lies at the destination of one list entry, as far as the unchanged test needs it.
struct DestinationFigures {
    bool regularFile = false;  // false: nothing there, not a regular file, or not looked up
    uint32_t nanoseconds = 0;  // of the modification time
    int64_t seconds = 0;
    uint64_t size = 0;
};

// The figures of a destination looked up without following a link: a link at the
// destination is not the copy of a file, whatever it points to.
DestinationFigures LookUpDestination(FolderLookup& lookup, const QString& destination);

class DestinationLookahead {
  public:
    // Looks up `target` followed by each file entry's path relative to `sourceBase`
    // (entries CopyFileList passes over and links get empty figures). `threads` > 1
    // starts the worker. A set `stop` ends the worker; the entries it has not looked up
    // then get empty figures, which make a copy loop copy rather than skip.
    DestinationLookahead(const QString& sourceBase, const FileList& list, const QString& target,
                         const StopSignal& stop, int threads);
    ~DestinationLookahead();
    DestinationLookahead(const DestinationLookahead&) = delete;
    DestinationLookahead& operator=(const DestinationLookahead&) = delete;

    // The figures of the next entry of the list, the first one first; called at most
    // once per entry.
    DestinationFigures Next();

  private:
    struct Batch {
        std::vector<DestinationFigures> figures;
        size_t count = 0;
    };
    DestinationFigures LookUpEntry(size_t index);
    void Work();

    const QString m_sourceBase;
    const FileList& m_list;
    const QString m_target;
    const StopSignal m_stop;
    FolderLookup m_lookup;  // the worker's, or the caller's when none runs
    size_t m_next = 0;      // the caller's: the entry Next gives

    std::vector<std::unique_ptr<Batch>> m_batches;
    Batch* m_current = nullptr;  // the caller's: taken from m_filled, read up to its end
    size_t m_currentRead = 0;

    std::mutex m_mutex;
    std::condition_variable m_freed;
    std::condition_variable m_filled;
    std::deque<Batch*> m_freeBatches;
    std::deque<Batch*> m_filledBatches;  // in the order of the list
    std::atomic<bool> m_quit{false};     // set by the destructor
    std::thread m_worker;
};

}  // namespace corvane
