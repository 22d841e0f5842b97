#pragma once

// Looks up what a copy's destination holds for each entry of a file list, ahead of the
// copy loop and on a thread of its own, so that the destination's lookups of the next
// entries run while the copy loop looks at the source of the current one.
//
// Only the destination is looked up ahead. It is the run's own folder, and nothing but
// this run writes to the paths of the list; the source is looked up by the copy loop at
// the moment it decides, so a file changed at any time before then is seen as changed.
//
// The copy loop never waits for the worker: an entry the worker has not looked up yet
// (a busy machine may not run it at all for a while) is looked up inline, and the worker
// jumps ahead of the loop. It runs at most a fixed number of entries ahead, into a ring
// of slots: memory stays the same whatever the list's length. With one thread, or a
// list of a few hundred entries, no worker starts.
//
// Every member function is called from one thread, the copy loop's. The worker reads
// the list, which must not change while the lookahead lives; the threads share the
// slots and two atomic positions. The destructor ends the worker within one lookup and
// joins it.

#include <QString>

#include <sys/stat.h>
#include <atomic>
#include <cstdint>
#include <memory>
#include <thread>

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
    // starts the worker. A set `stop` ends the worker.
    DestinationLookahead(const QString& sourceBase, const FileList& list, const QString& target,
                         const StopSignal& stop, int threads);
    ~DestinationLookahead();
    DestinationLookahead(const DestinationLookahead&) = delete;
    DestinationLookahead& operator=(const DestinationLookahead&) = delete;

    // The figures of the next entry of the list, the first one first; called at most
    // once per entry.
    DestinationFigures Next();

  private:
    struct Slot {
        std::atomic<size_t> entry{0};  // 1 + the index of the entry whose figures it holds
        DestinationFigures figures;
    };
    DestinationFigures LookUpEntry(FolderLookup& lookup, size_t index) const;
    void Work();

    const QString m_sourceBase;
    const FileList& m_list;
    const QString m_target;
    const StopSignal m_stop;
    FolderLookup m_inlineLookup;  // the caller's
    FolderLookup m_workerLookup;  // the worker's
    std::unique_ptr<Slot[]> m_slots;
    // Entries the caller has taken; the worker writes only slots of entries after them
    // and within the ring. Set to its largest value when the worker must end.
    std::atomic<size_t> m_taken{0};
    std::atomic<bool> m_quit{false};
    std::thread m_worker;
};

}  // namespace corvane
