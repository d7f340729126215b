#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "fs/file_system.h"
#include "pictures/image_size.h"

namespace kavo {

/// Reads the pixel sizes of one folder's pictures ahead of the walk with a few
/// reader threads, and hands them out in the order the walk places the
/// pictures. On a network drive the time goes into waiting for each open;
/// several opens in flight hide most of it. The walk itself stays on the
/// calling thread, so its order, its yields and its output do not change.
///
/// `fs` must be safe for parallel reads (FileSystem::ReadsAreThreadSafe).
class SizePrefetcher {
public:
    /// Starts `threads` readers. With `adaptive`, that is where they start: more
    /// are added, up to kMaxReaders, while the walk waits for sizes and a read
    /// takes as long as a round trip to a server, so a network drive gets many
    /// reads in flight and a local disk keeps few threads.
    SizePrefetcher(FileSystem& fs, int threads, bool adaptive = false);
    /// Stops the readers; waits only for the reads in flight.
    ~SizePrefetcher();
    SizePrefetcher(const SizePrefetcher&) = delete;
    SizePrefetcher& operator=(const SizePrefetcher&) = delete;

    /// Starts reading the pictures `folder` + entries[i].Name for each i of
    /// `pictures`, in that order. Both must stay unchanged until Finish().
    void Start(const std::string& folder, const std::vector<DirEntry>& entries, std::vector<uint32_t> pictures);

    /// The size of the next picture in Start's order, waiting for it if need be.
    /// A wait that lasts asks `cancelled` every few hundredths of a second; when
    /// it says stop, the folder's reads are given up and no size is returned.
    PixelSize Next(const CancelCheck& cancelled = {});

    /// Forgets the pictures not yet begun, gives up the reads in flight and
    /// returns once none is left.
    void Finish();

    /// Readers running now.
    size_t Readers() const { return m_threads.size(); }

    static constexpr int kMaxReaders = 64;

private:
    void Work();
    void AddReaders();

    FileSystem& m_fs;
    std::vector<std::thread> m_threads;
    const bool m_adaptive;
    std::atomic<int64_t> m_readNanos{0};  // time spent in reads, and their count
    std::atomic<int64_t> m_reads{0};

    std::mutex m_mutex;
    std::condition_variable m_workReady;  // readers wait for pictures to read
    std::condition_variable m_idle;       // Finish waits for the reads in flight
    std::condition_variable m_sizeReady;  // Next waits for picture m_awaited
    size_t m_awaited = SIZE_MAX;
    bool m_stop = false;
    std::atomic<bool> m_abandon{false};  // the reads in flight are to stop at once
    CancelCheck m_abandoned;             // asks m_abandon, for the readers
    size_t m_claimed = 0;   // pictures handed to a reader
    size_t m_inFlight = 0;  // being read now
    size_t m_count = 0;     // pictures of the current folder

    const std::string* m_folder = nullptr;
    const std::vector<DirEntry>* m_entries = nullptr;
    std::vector<uint32_t> m_pictures;
    std::unique_ptr<PixelSize[]> m_sizes;
    std::unique_ptr<std::atomic<int>[]> m_ready;  // 1 once m_sizes[i] is written
    size_t m_taken = 0;                           // pictures handed out by Next
};

}  // namespace kavo
