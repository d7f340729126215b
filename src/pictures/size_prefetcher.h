#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "base/worker_threads.h"
#include "fs/file_system.h"
#include "pictures/image_size.h"
#include "pictures/size_record.h"

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
    /// `pictures`, in that order: the folder the walk places now. Reads given
    /// to Ahead for this very folder and pictures are taken over; folders given
    /// to Ahead before it were skipped by the walk and are dropped.
    void Start(const std::string& folder, const std::vector<DirEntry>& entries, const std::vector<uint32_t>& pictures);

    /// The indexes into a folder's entries of the pictures to read, asked for
    /// only when they are to be queued.
    using PicturesOf = std::function<std::vector<uint32_t>()>;

    /// Queues the pictures of a folder the walk will place later, in walk
    /// order, so that reads stay in flight from one folder to the next. False
    /// once enough is queued (nothing more should be offered now). A folder
    /// queued already is offered again at every turn: `pictures` is then not asked.
    bool Ahead(const std::string& folder, const std::vector<DirEntry>& entries, const PicturesOf& pictures);

    /// The size of the next picture in Start's order, waiting for it if need be.
    /// A wait that lasts asks `cancelled` every few hundredths of a second; when
    /// it says stop, the folder's reads are given up and no size is returned.
    PixelSize Next(const CancelCheck& cancelled = {});

    /// Forgets the pictures not yet begun, gives up the reads in flight and
    /// returns once none is left.
    void Finish();

    /// Sizes are taken from the record, which reads only the headers of
    /// pictures that changed. Set before the first Start.
    void UseRecord(SizeRecord* record) { m_record = record; }

    /// Readers running now.
    size_t Readers() const { return m_threads.Count(); }

    static constexpr int kMaxReaders = 64;

private:
    void Work();
    void AddReaders();

    FileSystem& m_fs;
    SizeRecord* m_record = nullptr;
    const bool m_adaptive;
    std::atomic<int64_t> m_readNanos{0};  // time spent in reads, and their count
    std::atomic<int64_t> m_reads{0};

    struct Batch;
    /// The batch a reader should take a picture from next; null when none waits.
    Batch* Unclaimed();
    static void Abandon(Batch& batch);

    std::mutex m_mutex;
    WorkerThreads m_threads{m_mutex};     // readers wait for pictures to read
    std::condition_variable m_idle;       // Finish waits for the reads in flight
    std::condition_variable m_sizeReady;  // Next waits for picture m_awaited
    size_t m_awaited = SIZE_MAX;
    std::shared_ptr<Batch> m_current;            // the folder being placed
    std::vector<std::shared_ptr<Batch>> m_ahead;  // folders to come, in walk order
    size_t m_aheadPictures = 0;
    size_t m_taken = 0;  // pictures of m_current handed out by Next
};

}  // namespace kavo
