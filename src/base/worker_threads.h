#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace kavo {

/// The threads of a pool that works ahead of the walk (listing folders,
/// reading sizes, making thumbnails). The owner keeps its work under its own
/// mutex; each thread waits there for work, and all of them stop together.
/// Stop() must run before the owner's state goes, so owners call it first
/// thing in their destructor.
class WorkerThreads {
public:
    explicit WorkerThreads(std::mutex& mutex) : m_mutex(mutex) {}
    ~WorkerThreads() {
        if (!m_threads.empty())
            Stop();
    }
    WorkerThreads(const WorkerThreads&) = delete;
    WorkerThreads& operator=(const WorkerThreads&) = delete;

    /// Starts one more thread running `loop`.
    void Start(std::function<void()> loop) { m_threads.emplace_back(std::move(loop)); }
    size_t Count() const { return m_threads.size(); }
    bool Empty() const { return m_threads.empty(); }
    void Reserve(size_t n) { m_threads.reserve(n); }

    /// In a thread's loop, with `lock` held on the owner's mutex: waits until
    /// `ready()` says there is work or the pool stops. False once it stops.
    template <typename Ready>
    bool WaitForWork(std::unique_lock<std::mutex>& lock, Ready ready) {
        m_workReady.wait(lock, [&] { return Stopping() || ready(); });
        return !Stopping();
    }
    void WakeOne() { m_workReady.notify_one(); }
    void WakeAll() { m_workReady.notify_all(); }

    /// Read without the lock too, by work in flight that should give up.
    bool Stopping() const { return m_stopping.load(std::memory_order_relaxed); }

    /// Tells every thread to stop, after running `underLock` (giving up work
    /// in flight) under the owner's mutex, then wakes them and waits for them.
    void Stop(const std::function<void()>& underLock = {}) {
        {
            std::lock_guard lock(m_mutex);
            m_stopping.store(true, std::memory_order_relaxed);
            if (underLock)
                underLock();
        }
        m_workReady.notify_all();
        for (std::thread& t : m_threads)
            t.join();
        m_threads.clear();
    }

private:
    std::mutex& m_mutex;
    std::condition_variable m_workReady;
    std::atomic<bool> m_stopping{false};
    std::vector<std::thread> m_threads;
};

/// The walk's wait for one result of a pool: waits on `cv` under `lock`
/// until `done()`, and between waits of `poll` asks `cancelled` with the lock
/// released (the check may yield to the window, which must not wait on this
/// lock). False when `cancelled` ended the wait first.
template <typename Done>
bool WaitUnlessCancelled(std::condition_variable& cv, std::unique_lock<std::mutex>& lock, Done done,
                         const std::function<bool()>& cancelled, std::chrono::milliseconds poll) {
    while (!cv.wait_for(lock, poll, done)) {
        lock.unlock();
        const bool stop = cancelled && cancelled();
        lock.lock();
        if (stop)
            return false;
    }
    return true;
}

}  // namespace kavo
