#pragma once

#include <atomic>
#include <condition_variable>
#include <deque>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "base/observer.h"
#include "base/worker_threads.h"
#include "fs/file_system.h"
#include "pictures/image_size.h"
#include "thumbs/thumb_maker.h"
#include "thumbs/thumb_pixels.h"

namespace kavo {

/// The folder of the thumbnails inside the catalogue folder, and their record there.
inline constexpr const char* kThumbFolder = "thumbs";
inline constexpr const char* kThumbRecord = "record.txt";

/// True for the name of a thumbnail file in a folder ending in kavo/thumbs/:
/// such files are the catalogue's own and are never catalogued as pictures.
bool IsThumbnailFile(std::string_view folder, std::string_view name);

/// The file name a picture's thumbnail gets first: 16 hex digits of a hash of
/// its path below the chosen folder, so names are short, lower case and the
/// same from run to run.
std::string ThumbnailName(std::string_view relativePath);

/// What the record keeps of one picture, so that a rerun opens no unchanged picture.
struct ThumbRecordEntry {
    FileIdentity Stamp;  // of the picture, taken from the file its bytes were read through
    int32_t Box = 0;
    ThumbOutcome Outcome = ThumbOutcome::Failed;
    /// Made, Small: the size shown. Failed: the size its header gives (0 × 0 for none).
    int32_t Width = 0, Height = 0;
    std::string Name;  // the thumbnail's file name, for Made
    FileStamp Thumb;   // the thumbnail's own size and modification time, for Made
};

/// The record as text: a first line of its own, then one line per picture. Paths are escaped.
std::string FormatThumbRecord(const std::map<std::string, ThumbRecordEntry>& entries);

/// Reads a record a piece at a time, so that one of any size is never held whole.
class ThumbRecordReader {
public:
    explicit ThumbRecordReader(std::map<std::string, ThumbRecordEntry>& entries) : m_entries(entries) {}
    /// The next piece of the text.
    void Feed(std::string_view piece);
    /// False for text that is not a record; lines that cannot be read are left out.
    bool Ok() const { return m_version != 0; }

private:
    void Line(std::string_view line);
    std::map<std::string, ThumbRecordEntry>& m_entries;
    std::string m_partial;  // a line not yet ended
    int m_version = -1;     // -1 before the first line; 0 not a record
};

/// The whole text at once: False for text that is not a record.
bool ParseThumbRecord(std::string_view text, std::map<std::string, ThumbRecordEntry>& entries);

/// After a catalogue without thumbnails went in over one that had them: removes
/// the thumbnails from the thumbnail folder inside `catalogue` (with its trailing
/// separator), then their record, then the folder once it is empty. Only files of
/// a thumbnail's name that the record names or that carry our mark go; a link at
/// the folder's name, or in it, is left alone, and so is a record that is not ours.
/// A thumbnail that stays (held open) is reported and the record kept, so a later run removes it.
void RemoveThumbnails(FileSystem& fs, const std::string& catalogue, RunObserver& obs);
/// The same with the catalogue folder listed already: `listed` holds its
/// entries, or at least every folder among them (a network drive need not be asked again).
void RemoveThumbnails(FileSystem& fs, const std::string& catalogue, const std::vector<DirEntry>& listed,
                      RunObserver& obs);

/// The box the thumbnails of the record in `catalogue`'s thumbnail folder were
/// made for, from its first entry: 0 when there is no record of ours or it names no picture.
int32_t RecordedThumbnailBox(FileSystem& fs, const std::string& catalogue);

class Thumbnails;

/// Memory the threads making thumbnails take from and give back, so that all
/// of them together hold no more than its limit.
class MemoryBudget {
public:
    explicit MemoryBudget(uint64_t limit) : m_limit(limit) {}
    /// Waits until `bytes` (no more than the limit) are free and takes them;
    /// false, taking nothing, once `stop` is set.
    bool Take(uint64_t bytes, const std::atomic<bool>& stop);
    void Give(uint64_t bytes);
    uint64_t Limit() const { return m_limit; }
    /// The most that was taken at once.
    uint64_t Peak();

private:
    std::mutex m_mutex;
    std::condition_variable m_freed;
    const uint64_t m_limit;
    uint64_t m_used = 0, m_peak = 0;
};

/// The thumbnails of a run into `catalogue` for a box of `box` CSS pixels, made
/// by `jobs` threads (0: one on every core) when the file system allows
/// parallel use; Begin already called. Null where the platform has no maker.
std::unique_ptr<Thumbnails> StartThumbnails(FileSystem& fs, int32_t box, const std::string& base,
                                            const std::string& catalogue, RunObserver& obs, int jobs = 0);

/// How one picture goes onto its page.
struct PlacedThumb {
    bool KnownSize = false;  // false: the picture is shown as without thumbnails
    bool UseThumbnail = false;
    int32_t Width = 0, Height = 0;
    std::string Address;  // "thumbs/NAME", relative to the pages
    /// No thumbnail, but the picture's header was read already: Width × Height is
    /// its size (0 × 0 when it gives none), for pages that show sizes.
    bool HeaderRead = false;
};

/// The thumbnails of one generation. The pictures of a folder are handed over
/// when the walk reaches it and are made by a pool of threads ahead of the walk,
/// which takes them in its own order; the walk's order and output stay its own.
class Thumbnails {
public:
    /// `threads` 0 makes each thumbnail on the calling thread when it is taken
    /// (for file systems that are not safe for parallel use).
    Thumbnails(FileSystem& fs, std::unique_ptr<ThumbnailMaker> maker, int32_t box, int threads,
               uint64_t memory = kDecodeBudget);
    ~Thumbnails();
    Thumbnails(const Thumbnails&) = delete;
    Thumbnails& operator=(const Thumbnails&) = delete;

    /// Before the walk: makes the thumbnail folder inside `catalogue` (with its
    /// trailing separator), removes a killed run's leftovers there and reads the record.
    void Begin(const std::string& base, const std::string& catalogue, RunObserver& obs);

    /// The pictures `folder` + entries[i].Name for each i of `pictures`, in the
    /// order they are placed. Both must stay unchanged until Finish().
    void Start(const std::string& folder, const std::vector<DirEntry>& entries, std::vector<uint32_t> pictures);

    /// The next picture in Start's order, waiting for its thumbnail if need be.
    /// A wait asks `cancelled` every few hundredths of a second; once it says
    /// stop, the folder's work is given up and the picture shown as it is.
    PlacedThumb Next(const CancelCheck& cancelled);

    /// Forgets the pictures not begun and waits for the work in flight.
    void Finish();

    /// After the pages' commit. When the new pages went in (`committed`): after a
    /// whole walk the thumbnails of pictures no longer there are removed (only
    /// files the record names), so are those replaced under new names; then the
    /// record is written. Pictures the run did not take (a folder it could not
    /// read, one left out by the options, a type not chosen) keep theirs while
    /// they are there. When the earlier pages stay, so do the thumbnails they
    /// show and the record; those made meanwhile are swept by a later run.
    void End(bool wholeWalk, bool committed);

private:
    struct Slot {
        std::string Key;   // path below the chosen folder, '/' separated
        std::string Name;  // thumbnail file name
        ThumbRecordEntry Entry;
        bool WriteFailed = false;
    };

    void Work();
    /// True when a thumbnail named in the record is still the file that was written.
    bool Intact(const ThumbRecordEntry& e);
    /// Whether an earlier picture the run did not take is still where it was.
    bool StillThere(const std::string& key);
    /// The picture's path: its folder and its name.
    std::string PicturePath(size_t index) const;
    /// Fills the slot from the record when the picture is unchanged (or gone); false when it is to be made.
    bool Known(size_t index, const std::string& path);
    /// Makes the thumbnail of a picture Known said is to be made (its stamp is in the slot).
    void MakeOne(size_t index, const std::string& path);
    std::string ChooseName(const std::string& key, bool remade = false);
    bool OursAt(const std::string& name);
    /// Reads the record into m_old; false when the file there is not one.
    bool ReadRecord();

    FileSystem& m_fs;
    std::unique_ptr<ThumbnailMaker> m_maker;
    int32_t m_box;
    RunObserver* m_obs = nullptr;
    std::string m_base, m_folderPath, m_recordPath;
    bool m_recordUsable = true;  // false when a foreign file holds the record's name and stays
    bool m_writable = true;      // false when the thumbnail folder could not be made (told once)

    std::map<std::string, ThumbRecordEntry> m_old;            // the record as read
    std::unordered_map<std::string, std::string> m_oldOwner;  // thumbnail name → key in m_old
    std::unordered_set<std::string> m_onDisk;                 // names in the thumbnail folder
    std::unordered_set<std::string> m_files;                  // those that are files, not links
    std::unordered_set<std::string> m_listed;                 // folders listed this run, keyed as paths are
    std::unordered_set<std::string> m_present;                // keys of m_old found in those listings
    std::unordered_map<std::string, bool> m_unlisted;         // other folders: whether they can be listed now
    std::unordered_set<std::string> m_taken;                  // names given this run
    std::map<std::string, ThumbRecordEntry> m_new;

    MemoryBudget m_memory;
    std::mutex m_mutex;
    WorkerThreads m_threads{m_mutex};
    std::condition_variable m_idle, m_done;
    std::atomic<bool> m_abandon{false};
    size_t m_claimed = 0, m_inFlight = 0, m_taken_count = 0;
    std::deque<size_t> m_handedOver;  // pictures the walk reached before any thread: made first
    std::unique_ptr<std::atomic<int>[]> m_ready;
    std::vector<Slot> m_slots;
    const std::string* m_folder = nullptr;
    const std::vector<DirEntry>* m_entries = nullptr;
    std::vector<uint32_t> m_pictures;
};

}  // namespace kavo
