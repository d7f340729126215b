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
/// Pictures and folders queued ahead of the walk at most.
constexpr size_t kMaxAheadPictures = 1024;
constexpr size_t kMaxAheadFolders = 32;

}  // namespace

struct SizePrefetcher::Batch {
    std::string Folder;
    std::vector<std::string> Names;
    std::unique_ptr<PixelSize[]> Sizes;
    std::unique_ptr<std::atomic<int>[]> Ready;  // 1 once Sizes[i] is written
    size_t Claimed = 0;                         // pictures handed to a reader
    size_t InFlight = 0;                        // being read now
    std::atomic<bool> Abandoned{false};         // the reads in flight are to stop at once

    Batch(const std::string& folder, const std::vector<DirEntry>& entries, const std::vector<uint32_t>& pictures)
        : Folder(folder),
          Sizes(std::make_unique<PixelSize[]>(pictures.size())),
          Ready(std::make_unique<std::atomic<int>[]>(pictures.size())) {
        Names.reserve(pictures.size());
        for (uint32_t i : pictures)
            Names.push_back(entries[i].Name);
    }
    bool Matches(const std::string& folder, const std::vector<DirEntry>& entries,
                 const std::vector<uint32_t>& pictures) const {
        if (folder != Folder || pictures.size() != Names.size())
            return false;
        for (size_t i = 0; i < pictures.size(); ++i) {
            if (entries[pictures[i]].Name != Names[i])
                return false;
        }
        return true;
    }
};

SizePrefetcher::SizePrefetcher(FileSystem& fs, int threads, bool adaptive) : m_fs(fs), m_adaptive(adaptive) {
    m_threads.Reserve(adaptive ? kMaxReaders : static_cast<size_t>(threads));
    for (int i = 0; i < threads; ++i)
        m_threads.Start([this] { Work(); });
}

void SizePrefetcher::AddReaders() {
    const int64_t reads = m_reads.load(std::memory_order_relaxed);
    if (!m_adaptive || m_threads.Count() >= kMaxReaders || reads < kReadsBeforeGrowing ||
        m_readNanos.load(std::memory_order_relaxed) / reads < kSlowReadNanos)
        return;
    // Doubling reaches the reads in flight a slow drive needs within a few pictures.
    const size_t more = std::min(m_threads.Count(), kMaxReaders - m_threads.Count());
    for (size_t i = 0; i < more; ++i)
        m_threads.Start([this] { Work(); });
}

void SizePrefetcher::Abandon(Batch& batch) {
    batch.Claimed = batch.Names.size();  // nothing new is begun
    batch.Abandoned = true;
}

SizePrefetcher::~SizePrefetcher() {
    m_threads.Stop([this] {
        if (m_current)
            Abandon(*m_current);
        for (const auto& b : m_ahead)
            Abandon(*b);
    });
}

void SizePrefetcher::Start(const std::string& folder, const std::vector<DirEntry>& entries,
                           const std::vector<uint32_t>& pictures) {
    Finish();
    {
        std::lock_guard lock(m_mutex);
        auto match = std::find_if(m_ahead.begin(), m_ahead.end(),
                                  [&](const auto& b) { return b->Matches(folder, entries, pictures); });
        if (match != m_ahead.end()) {
            // The queue is in walk order: the folders before this one were not placed after all.
            for (auto it = m_ahead.begin(); it != match; ++it)
                Abandon(**it);
            m_current = *match;
            m_ahead.erase(m_ahead.begin(), match + 1);
        } else {
            m_current = std::make_shared<Batch>(folder, entries, pictures);
        }
        m_aheadPictures = 0;
        for (const auto& b : m_ahead)
            m_aheadPictures += b->Names.size();
        m_taken = 0;
    }
    if (!pictures.empty())
        m_threads.WakeAll();
}

bool SizePrefetcher::Ahead(const std::string& folder, const std::vector<DirEntry>& entries,
                           const PicturesOf& pictures) {
    size_t queued = 0;
    {
        std::lock_guard lock(m_mutex);
        if (m_ahead.size() >= kMaxAheadFolders || m_aheadPictures >= kMaxAheadPictures)
            return false;
        if ((m_current && m_current->Folder == folder) ||
            std::any_of(m_ahead.begin(), m_ahead.end(), [&](const auto& b) { return b->Folder == folder; }))
            return true;  // queued already
        m_ahead.push_back(std::make_shared<Batch>(folder, entries, pictures()));
        queued = m_ahead.back()->Names.size();
        m_aheadPictures += queued;
    }
    if (queued != 0)
        m_threads.WakeAll();
    return true;
}

PixelSize SizePrefetcher::Next(const CancelCheck& cancelled) {
    Batch* batch = m_current.get();
    const size_t i = m_taken++;
    if (!batch || i >= batch->Names.size() || batch->Abandoned.load(std::memory_order_relaxed))
        return {};  // not asked for at Start, or given up: no size
    // Most pictures are read by the time the walk comes to them, or a moment later.
    for (int spin = 0; spin < kSpins; ++spin) {
        if (batch->Ready[i].load(std::memory_order_acquire) != 0)
            return batch->Sizes[i];
        std::this_thread::yield();
    }
    AddReaders();  // the walk waits: reads are too few in flight, or just slow
    std::unique_lock lock(m_mutex);
    m_awaited = i;  // only this picture's reader wakes the walk
    if (!WaitUnlessCancelled(
            m_sizeReady, lock, [&] { return batch->Ready[i].load(std::memory_order_acquire) != 0; }, cancelled,
            kCancelPoll))
        Abandon(*batch);
    m_awaited = SIZE_MAX;
    return batch->Abandoned ? PixelSize{} : batch->Sizes[i];
}

void SizePrefetcher::Finish() {
    std::unique_lock lock(m_mutex);
    if (!m_current)
        return;
    const std::shared_ptr<Batch> batch = std::move(m_current);
    Abandon(*batch);
    m_idle.wait(lock, [&] { return batch->InFlight == 0; });
}

SizePrefetcher::Batch* SizePrefetcher::Unclaimed() {
    if (m_current && m_current->Claimed < m_current->Names.size())
        return m_current.get();
    for (const auto& b : m_ahead) {
        if (b->Claimed < b->Names.size())
            return b.get();
    }
    return nullptr;
}

void SizePrefetcher::Work() {
    std::string path;
    std::unique_lock lock(m_mutex);
    for (;;) {
        Batch* picked = nullptr;
        if (!m_threads.WaitForWork(lock, [&] { return (picked = Unclaimed()) != nullptr; }))
            return;
        // Held while reading: the walk may drop the batch meanwhile.
        std::shared_ptr<Batch> batch =
            picked == m_current.get()
                ? m_current
                : *std::find_if(m_ahead.begin(), m_ahead.end(), [&](const auto& b) { return b.get() == picked; });
        const size_t i = batch->Claimed++;
        ++batch->InFlight;
        path.assign(batch->Folder).append(batch->Names[i]);
        lock.unlock();

        PixelSize size;
        const auto began = std::chrono::steady_clock::now();
        const CancelCheck abandoned = [&batch] { return batch->Abandoned.load(std::memory_order_relaxed); };
        if (m_record)
            m_record->Read(path, size, abandoned);
        else
            ReadPixelSize(m_fs, path, size, abandoned);
        m_readNanos.fetch_add(
            std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now() - began).count(),
            std::memory_order_relaxed);
        m_reads.fetch_add(1, std::memory_order_relaxed);
        batch->Sizes[i] = size;
        batch->Ready[i].store(1, std::memory_order_release);

        lock.lock();
        if (batch == m_current && m_awaited == i)
            m_sizeReady.notify_one();
        if (--batch->InFlight == 0)
            m_idle.notify_all();
    }
}

}  // namespace kavo
