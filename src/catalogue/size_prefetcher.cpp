#include "catalogue/size_prefetcher.h"

#ifdef _WIN32
#include "catalogue/windows_api.h"
#endif

namespace kavo {
namespace {

// The atomic wait of MinGW's libstdc++ 12 has no futex beneath it and can miss
// a wake-up, leaving the generation asleep for good; Windows' own address wait
// cannot.
void WaitWhileZero(std::atomic<int>& flag) {
#ifdef _WIN32
    static_assert(sizeof(std::atomic<int>) == sizeof(int));
    int zero = 0;
    while (flag.load(std::memory_order_acquire) == 0)
        ::WaitOnAddress(&flag, &zero, sizeof zero, INFINITE);
#else
    flag.wait(0, std::memory_order_acquire);
#endif
}

void WakeWaiter(std::atomic<int>& flag) {
#ifdef _WIN32
    ::WakeByAddressSingle(&flag);
#else
    flag.notify_one();
#endif
}

}  // namespace

SizePrefetcher::SizePrefetcher(FileSystem& fs, int threads) : m_fs(fs) {
    m_threads.reserve(static_cast<size_t>(threads));
    for (int i = 0; i < threads; ++i)
        m_threads.emplace_back([this] { Work(); });
}

SizePrefetcher::~SizePrefetcher() {
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
        m_claimed = m_count;  // nothing new is begun
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
    }
    if (m_count > 0)
        m_workReady.notify_all();
}

PixelSize SizePrefetcher::Next() {
    const size_t i = m_taken++;
    if (i >= m_count)
        return {};  // not asked for at Start: no size
    // Sleeps in the kernel only when the reader is not done yet.
    WaitWhileZero(m_ready[i]);
    return m_sizes[i];
}

void SizePrefetcher::Finish() {
    std::unique_lock lock(m_mutex);
    m_claimed = m_count;
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
        ReadPixelSize(m_fs, path, size);
        m_sizes[i] = size;
        m_ready[i].store(1, std::memory_order_release);
        WakeWaiter(m_ready[i]);

        lock.lock();
        if (--m_inFlight == 0 && m_claimed >= m_count)
            m_idle.notify_all();
    }
}

}  // namespace kavo
