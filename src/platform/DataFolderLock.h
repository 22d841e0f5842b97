#pragma once

// The lock that makes one process at a time the owner of a data folder's task list:
// the desktop program while it runs, or a command-line run. Held through an advisory
// lock on "<data>/corvane.lock", which the system releases when the process ends, so a
// crash never leaves a stale lock.

#include <QString>

namespace corvane {

class DataFolderLock {
  public:
    DataFolderLock() = default;
    ~DataFolderLock();
    DataFolderLock(const DataFolderLock&) = delete;
    DataFolderLock& operator=(const DataFolderLock&) = delete;

    // Takes the lock without waiting; false when another process holds it (or the
    // lock file cannot be made). The folder must exist.
    bool TryLock(const QString& dataFolder);
    void Unlock();
    bool IsLocked() const { return m_fd >= 0; }

  private:
    int m_fd = -1;
};

}  // namespace corvane
