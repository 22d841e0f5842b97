#pragma once

// Reads and writes on a file descriptor that finish what the system cut short: a call
// interrupted by a signal (EINTR) is repeated, and the "all" forms go on after a short
// transfer. A failure answers false or -1 and leaves the system's errno for the caller's
// log line. The lowest layer: every other layer reads and writes files through these.
//
// Thread safety: pure functions of the descriptor; FileDescriptor belongs to one thread.

#include <sys/types.h>

#include <QtGlobal>
#include <cstddef>

namespace corvane {

// Owns a file descriptor and closes it.
class FileDescriptor {
  public:
    explicit FileDescriptor(int fd = -1) : m_fd(fd) {}
    ~FileDescriptor() { Close(); }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;

    int Get() const { return m_fd; }
    bool IsOpen() const { return m_fd >= 0; }
    // Closes the descriptor held so far and owns `fd` from now on.
    void Reset(int fd) {
        Close();
        m_fd = fd;
    }
    // Closes now and answers whether the system accepted the close (a delayed write
    // error of a network file system shows here).
    bool Close();

  private:
    int m_fd;
};

// One read of at most `size` bytes: the count, 0 at the end, -1 with errno set.
[[nodiscard]] ssize_t ReadSome(int fd, void* data, size_t size);
// The same at `offset`, the file position untouched.
[[nodiscard]] ssize_t ReadSomeAt(int fd, void* data, size_t size, quint64 offset);

// Exactly `size` bytes at `offset`; false when a read fails (errno set) or the file
// ends first (errno 0).
[[nodiscard]] bool ReadAllAt(int fd, void* data, size_t size, quint64 offset);

// Every byte, repeating short writes; false with errno set when a write fails.
[[nodiscard]] bool WriteAll(int fd, const void* data, size_t size);
[[nodiscard]] bool WriteAllAt(int fd, const void* data, size_t size, quint64 offset);

}  // namespace corvane
