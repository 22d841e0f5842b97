#pragma once

// For one scope, every write past `bytes` into a file fails with EFBIG (the way a full
// disk fails a write, for root too); SIGXFSZ is ignored meanwhile.

#include <signal.h>
#include <sys/resource.h>

namespace corvane::test {

class FileSizeLimit {
  public:
    explicit FileSizeLimit(rlim_t bytes) : m_oldHandler(::signal(SIGXFSZ, SIG_IGN)) {
        ::getrlimit(RLIMIT_FSIZE, &m_old);
        const struct rlimit small = {bytes, m_old.rlim_max};
        ::setrlimit(RLIMIT_FSIZE, &small);
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &m_old);
        ::signal(SIGXFSZ, m_oldHandler);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

  private:
    sighandler_t m_oldHandler;
    struct rlimit m_old {};
};

}  // namespace corvane::test
