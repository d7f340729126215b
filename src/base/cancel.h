#pragma once

#include <atomic>

namespace kavo {

/// The one cancel flag of a run. The front-end asks for a cancel (a button, Ctrl-C,
/// a closed window) from whatever thread it is on; the core and its helper
/// threads read it between steps, so it is atomic and never waits.
class CancelToken {
public:
    void Request() { m_requested.store(true, std::memory_order_relaxed); }
    void Reset() { m_requested.store(false, std::memory_order_relaxed); }
    bool Requested() const { return m_requested.load(std::memory_order_relaxed); }

private:
    std::atomic<bool> m_requested{false};
};

}  // namespace kavo
