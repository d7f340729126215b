#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace kavo {

/// Runs the writes of a catalogue: one after another on the caller's thread
/// while they are quick (a local disk), and on up to kMaxWriters threads once
/// they take as long as round trips to a server, so that one file's round
/// trips overlap the next one's. The caller keeps the order that matters by
/// waiting between groups (pages, then frames, then the summary page).
class WriteQueue {
public:
    /// `threads`: 0 adapts (starts threads only on a slow drive), 1 writes on
    /// the caller's thread, N writes on N threads from the start. `allowed`
    /// false (a file system that cannot take writes from several threads)
    /// keeps every write on the caller's thread.
    WriteQueue(int threads, bool allowed);
    /// Waits for the writes given.
    ~WriteQueue();
    WriteQueue(const WriteQueue&) = delete;
    WriteQueue& operator=(const WriteQueue&) = delete;

    /// Runs the task now or hands it to a writer; may wait while many are queued.
    void Run(std::function<void()> task);

    /// Returns once every task given so far is done.
    void Wait();

    /// Waits as Wait does, asking `stop` on the caller's thread every few
    /// milliseconds; returns false as soon as it says stop, the tasks going on.
    bool WaitUnless(const std::function<bool()>& stop);

    /// Writer threads running now.
    size_t Writers() const { return m_threads.size(); }

    /// True once tasks run on writer threads; asked from any thread.
    bool SideBySide() const { return m_sideBySide.load(std::memory_order_acquire); }

    static constexpr int kMaxWriters = 16;

private:
    void Start(size_t count);
    void Work();

    const bool m_adaptive;
    size_t m_quick = 0, m_slow = 0;  // writes done on the caller's thread, by how long they took
    std::vector<std::thread> m_threads;
    std::mutex m_mutex;
    std::condition_variable m_ready, m_done;
    std::deque<std::function<void()>> m_tasks;
    size_t m_busy = 0;
    bool m_stop = false;
    std::atomic<bool> m_sideBySide{false};
};

}  // namespace kavo
