#include "pictures/size_prefetcher.h"

#include <chrono>

namespace kavo {

namespace {

/// Looks before Next sleeps: waking a sleeper costs more than a short wait.
constexpr int kSpins = 16;

}  // namespace

SizePrefetcher::SizePrefetcher(FileSystem& fs, int threads)
    : m_fs(fs), m_abandoned([this] { return m_abandon.load(std::memory_order_relaxed); }) {
    m_threads.reserve(static_cast<size_t>(threads));
    for (int i = 0; i < threads; ++i)
        m_threads.emplace_back([this] { Work(); });
}

SizePrefetcher::~SizePrefetcher() {
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
        m_claimed = m_count;  // nothing new is begun
        m_abandon = true;
    }
    m_workReady.notify_all();
    for (std::thread& t : m_threads)
        t.join();
}

void SizePrefetcher::Start(const std::string& folder, const std::vector<DirEntry>& entries,
                           std::vector<uint32_t> pictures) {
    Finish();
    {
        std::lock_guard lock(m_mutex);
        m_folder = &folder;
        m_entries = &entries;
        m_pictures = std::move(pictures);
        m_count = m_pictures.size();
        m_sizes = std::make_unique<PixelSize[]>(m_count);
        m_ready = std::make_unique<std::atomic<int>[]>(m_count);
        m_claimed = 0;
        m_taken = 0;
        m_abandon = false;
    }
    if (m_count > 0)
        m_workReady.notify_all();
}

PixelSize SizePrefetcher::Next(const CancelCheck& cancelled) {
    const size_t i = m_taken++;
    if (i >= m_count || m_abandon.load(std::memory_order_relaxed))
        return {};  // not asked for at Start, or given up: no size
    // Most pictures are read by the time the walk comes to them, or a moment later.
    for (int spin = 0; spin < kSpins; ++spin) {
        if (m_ready[i].load(std::memory_order_acquire) != 0)
            return m_sizes[i];
        std::this_thread::yield();
    }
    std::unique_lock lock(m_mutex);
    m_awaited = i;  // only this picture's reader wakes the walk
    while (!m_sizeReady.wait_for(lock, kCancelPoll, [&] { return m_ready[i].load(std::memory_order_acquire) != 0; })) {
        // The check may yield to the window, which must not wait on this lock.
        lock.unlock();
        const bool stop = cancelled && cancelled();
        lock.lock();
        if (stop) {
            m_claimed = m_count;
            m_abandon = true;
            break;
        }
    }
    m_awaited = SIZE_MAX;
    return m_abandon ? PixelSize{} : m_sizes[i];
}

void SizePrefetcher::Finish() {
    std::unique_lock lock(m_mutex);
    m_claimed = m_count;
    m_abandon = true;
    m_idle.wait(lock, [this] { return m_inFlight == 0; });
    m_folder = nullptr;
    m_entries = nullptr;
    m_count = 0;
}

void SizePrefetcher::Work() {
    std::string path;
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_workReady.wait(lock, [this] { return m_stop || m_claimed < m_count; });
        if (m_claimed >= m_count)
            return;  // stopping
        const size_t i = m_claimed++;
        ++m_inFlight;
        path.assign(*m_folder).append((*m_entries)[m_pictures[i]].Name);
        lock.unlock();

        PixelSize size;
        ReadPixelSize(m_fs, path, size, m_abandoned);
        m_sizes[i] = size;
        m_ready[i].store(1, std::memory_order_release);

        lock.lock();
        if (m_awaited == i)
            m_sizeReady.notify_one();
        if (--m_inFlight == 0 && m_claimed >= m_count)
            m_idle.notify_all();
    }
}

}  // namespace kavo
