#include "io/DescriptorIo.h"

#include <unistd.h>
#include <cerrno>

namespace corvane {
namespace {

// Repeats `call` while a signal interrupts it.
template <typename Call>
ssize_t Uninterrupted(Call call) {
    for (;;) {
        const ssize_t result = call();
        if (result >= 0 || errno != EINTR) {
            return result;
        }
    }
}

}  // namespace

bool FileDescriptor::Close() {
    if (m_fd < 0) {
        return true;
    }
    const int result = ::close(m_fd);
    m_fd = -1;
    return result == 0;
}

ssize_t ReadSome(int fd, void* data, size_t size) {
    return Uninterrupted([&] { return ::read(fd, data, size); });
}

ssize_t ReadSomeAt(int fd, void* data, size_t size, quint64 offset) {
    return Uninterrupted([&] { return ::pread(fd, data, size, off_t(offset)); });
}

bool ReadAllAt(int fd, void* data, size_t size, quint64 offset) {
    auto* bytes = static_cast<char*>(data);
    while (size > 0) {
        const ssize_t got = ReadSomeAt(fd, bytes, size, offset);
        if (got <= 0) {
            if (got == 0) {
                errno = 0;
            }
            return false;
        }
        bytes += got;
        size -= size_t(got);
        offset += quint64(got);
    }
    return true;
}

bool WriteAll(int fd, const void* data, size_t size) {
    const auto* bytes = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t written = Uninterrupted([&] { return ::write(fd, bytes, size); });
        if (written < 0) {
            return false;
        }
        bytes += written;
        size -= size_t(written);
    }
    return true;
}

bool WriteAllAt(int fd, const void* data, size_t size, quint64 offset) {
    const auto* bytes = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t written =
            Uninterrupted([&] { return ::pwrite(fd, bytes, size, off_t(offset)); });
        if (written < 0) {
            return false;
        }
        bytes += written;
        size -= size_t(written);
        offset += quint64(written);
    }
    return true;
}

}  // namespace corvane
