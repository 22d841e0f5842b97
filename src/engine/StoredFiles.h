#pragma once

// How many files the backup run of this process has stored: copied into the destination
// folder, uploaded, or put on the list of the archive. An unchanged file that a copy run
// leaves alone is not counted, so a run that stores none found nothing to do.
//
// One run at a time per process (the run queue has one worker): the count is the
// process's, shared by every thread a run uses.

#include <cstdint>

namespace corvane {

void CountStoredFile();

// Counts the files stored from its construction on.
class StoredFileCount {
  public:
    StoredFileCount();
    std::int64_t Count() const;

  private:
    std::int64_t m_start;
};

}  // namespace corvane
