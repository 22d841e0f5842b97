#pragma once

// The user's Stop as the engine sees it: a read-only view of the run queue's stop flag.
// Long loops poll it after each file, entry or item, finish the current step and
// return. A default-constructed signal is never set (for callers without a queue).

#include <atomic>

namespace corvane {

class StopSignal {
  public:
    StopSignal() = default;
    explicit StopSignal(const std::atomic<bool>* flag) : m_flag(flag) {}

    bool IsSet() const { return m_flag != nullptr && m_flag->load(std::memory_order_relaxed); }

  private:
    const std::atomic<bool>* m_flag = nullptr;
};

}  // namespace corvane
