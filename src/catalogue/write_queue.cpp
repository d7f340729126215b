#include "catalogue/write_queue.h"

#include <algorithm>
#include <utility>

namespace kavo {
namespace {

/// A page written to a local disk takes some tens of microseconds; one that
/// waits for a server's answers to a create, a write and a close takes more.
constexpr auto kSlowWrite = std::chrono::microseconds(400);

/// Tasks queued per writer before the caller waits: enough to keep them busy,
/// few enough that the pages waiting stay a small part of the catalogue.
constexpr size_t kQueuedPerWriter = 4;

/// How often a wait asks whether to stop: a cancel is heard within it.
constexpr auto kStopChecks = std::chrono::milliseconds(10);

}  // namespace

WriteQueue::WriteQueue(int threads, bool allowed) : m_adaptive(allowed && threads <= 0) {
    if (allowed && threads > 1)
        Start(static_cast<size_t>(std::min(threads, kMaxWriters)));
}

WriteQueue::~WriteQueue() {
    Wait();
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_ready.notify_all();
    for (std::thread& t : m_threads)
        t.join();
}

void WriteQueue::Start(size_t count) {
    for (size_t i = 0; i < count; ++i)
        m_threads.emplace_back([this] { Work(); });
    m_sideBySide.store(true, std::memory_order_release);
}

void WriteQueue::Run(std::function<void()> task) {
    if (m_threads.empty()) {
        const auto began = std::chrono::steady_clock::now();
        task();
        if (!m_adaptive)
            return;
        // As the walk does with its listings: three of four slow, and not just one slow start.
        (std::chrono::steady_clock::now() - began > kSlowWrite ? m_slow : m_quick) += 1;
        if (m_slow >= 3 && m_slow * 4 >= (m_slow + m_quick) * 3)
            Start(kMaxWriters);
        return;
    }
    std::unique_lock lock(m_mutex);
    m_done.wait(lock, [&] { return m_tasks.size() < m_threads.size() * kQueuedPerWriter; });
    m_tasks.push_back(std::move(task));
    m_ready.notify_one();
}

void WriteQueue::Wait() {
    std::unique_lock lock(m_mutex);
    m_done.wait(lock, [&] { return m_tasks.empty() && m_busy == 0; });
}

bool WriteQueue::WaitUnless(const std::function<bool()>& stop) {
    std::unique_lock lock(m_mutex);
    while (!m_done.wait_for(lock, kStopChecks, [&] { return m_tasks.empty() && m_busy == 0; })) {
        lock.unlock();
        if (stop())
            return false;
        lock.lock();
    }
    return true;
}

void WriteQueue::Work() {
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_ready.wait(lock, [&] { return m_stop || !m_tasks.empty(); });
        if (m_tasks.empty())
            return;
        std::function<void()> task = std::move(m_tasks.front());
        m_tasks.pop_front();
        ++m_busy;
        lock.unlock();
        task();
        lock.lock();
        --m_busy;
        m_done.notify_all();
    }
}

}  // namespace kavo
