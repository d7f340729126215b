#include "pictures/size_prefetcher.h"

#include <algorithm>
#include <chrono>

namespace kavo {

namespace {

/// Looks before Next sleeps: waking a sleeper costs more than a short wait.
constexpr int kSpins = 16;
/// A read slower than this on average waits for a server rather than for the
/// processor or a local disk: more reads in flight then hide the waiting.
constexpr int64_t kSlowReadNanos = 150000;
/// Reads measured before the readers may grow.
constexpr int64_t kReadsBeforeGrowing = 8;

}  // namespace

SizePrefetcher::SizePrefetcher(FileSystem& fs, int threads, bool adaptive)
    : m_fs(fs), m_adaptive(adaptive), m_abandoned([this] { return m_abandon.load(std::memory_order_relaxed); }) {
    m_threads.reserve(adaptive ? kMaxReaders : static_cast<size_t>(threads));
    for (int i = 0; i < threads; ++i)
        m_threads.emplace_back([this] { Work(); });
}

void SizePrefetcher::AddReaders() {
    const int64_t reads = m_reads.load(std::memory_order_relaxed);
    if (!m_adaptive || m_threads.size() >= kMaxReaders || reads < kReadsBeforeGrowing ||
        m_readNanos.load(std::memory_order_relaxed) / reads < kSlowReadNanos)
        return;
    // Doubling reaches the reads in flight a slow drive needs within a few pictures.
    const size_t more = std::min(m_threads.size(), kMaxReaders - m_threads.size());
    for (size_t i = 0; i < more; ++i)
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
    AddReaders();  // the walk waits: reads are too few in flight, or just slow
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
        const auto began = std::chrono::steady_clock::now();
        ReadPixelSize(m_fs, path, size, m_abandoned);
        m_readNanos.fetch_add(
            std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now() - began).count(),
            std::memory_order_relaxed);
        m_reads.fetch_add(1, std::memory_order_relaxed);
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
