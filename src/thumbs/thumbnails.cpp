#include "thumbs/thumbnails.h"

#include <algorithm>
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "base/ascii.h"
#include "base/record_fields.h"
#include "fs/file_writes.h"
#include "pictures/size_record.h"
#include "fs/paths.h"
#include "fs/temporary_names.h"

namespace kavo {
namespace {

/// A picture held in memory, for the header reader.
class MemoryFile : public InputFile {
public:
    explicit MemoryFile(std::string_view bytes) : m_bytes(bytes) {}
    size_t Read(void* buffer, size_t n) override {
        n = std::min(n, m_bytes.size() - m_at);
        std::memcpy(buffer, m_bytes.data() + m_at, n);
        m_at += n;
        return n;
    }
    bool Skip(int64_t n) override {
        if (n < 0 || static_cast<uint64_t>(n) > m_bytes.size() - m_at)
            return false;
        m_at += static_cast<size_t>(n);
        return true;
    }

private:
    std::string_view m_bytes;
    size_t m_at = 0;
};

/// The first line of a record; version 1 lacked the change time, inode and the thumbnail's own stamp.
constexpr std::string_view kRecordHeader = "Kavo thumbnails 2";
constexpr std::string_view kRecordHeaderV1 = "Kavo thumbnails 1";
constexpr size_t kHexDigits = 16;
/// A record over this size is not one of ours (a million pictures take about 130 MB).
constexpr size_t kMaxRecordBytes = 512 * 1024 * 1024;
/// The record is read this much at a time.
constexpr size_t kRecordPiece = 64 * 1024;

bool IsHex(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); }

/// Tabs, line ends and backslashes of a path, so that one line holds one entry.
std::string EscapePath(std::string_view path) {
    std::string out;
    for (char c : path) {
        if (c == '\\') out += "\\\\";
        else if (c == '\t') out += "\\t";
        else if (c == '\n') out += "\\n";
        else if (c == '\r') out += "\\r";
        else out += c;
    }
    return out;
}

std::string UnescapePath(std::string_view text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            out += text[i];
            continue;
        }
        const char c = text[++i];
        out += c == 't' ? '\t' : c == 'n' ? '\n' : c == 'r' ? '\r' : c;
    }
    return out;
}

char OutcomeLetter(ThumbOutcome o) {
    return o == ThumbOutcome::Made ? 'T' : o == ThumbOutcome::Small ? 'S' : 'F';
}

/// The identity of a picture by its path; where the system tells no more, its size and time.
bool StampOf(FileSystem& fs, const std::string& path, FileIdentity& out) {
    if (fs.GetFileIdentity(path, out))
        return true;
    FileStamp stamp;
    if (!fs.GetFileStamp(path, stamp))
        return false;
    out = FileIdentity{};
    out.Size = stamp.Size;
    out.ModifiedNs = stamp.ModifiedNs;
    return true;
}

/// Bytes of a picture read to judge the memory its decoding takes.
constexpr size_t kHeadBytes = 64 * 1024;

/// Reads a picture whole, no more than `limit` bytes; `stamp` becomes that of
/// the file read, when the file can say.
bool ReadWhole(FileSystem& fs, const std::string& path, uint64_t limit, FileIdentity& stamp, std::string& out) {
    std::unique_ptr<InputFile> file = fs.OpenRead(path);
    if (!file)
        return false;
    file->Identity(stamp);
    if (stamp.Size > limit)
        return false;
    out.resize(static_cast<size_t>(limit) + 1);  // one more: a file that grew past it is seen
    size_t have = 0;
    for (;;) {
        if (have == out.size())
            return false;
        const size_t n = file->Read(out.data() + have, out.size() - have);
        if (n == 0)
            break;
        have += n;
    }
    out.resize(have);
    return true;
}

/// What a record file held, read a piece at a time so that a record of any
/// size never sits in memory whole.
enum class RecordFile { Absent, Ours, Foreign };
RecordFile ReadRecordFile(FileSystem& fs, const std::string& path, std::map<std::string, ThumbRecordEntry>& entries) {
    std::unique_ptr<InputFile> file = fs.OpenRead(path);
    if (!file)
        return RecordFile::Absent;
    ThumbRecordReader reader(entries);
    std::string piece(kRecordPiece, '\0');
    size_t total = 0;
    while (const size_t n = file->Read(piece.data(), piece.size())) {
        total += n;
        if (total <= kMaxRecordBytes)
            reader.Feed(std::string_view(piece.data(), n));
        if (total > kMaxRecordBytes || !reader.Ok()) {
            entries.clear();  // nothing of a record not ours is trusted
            return RecordFile::Foreign;
        }
    }
    if (total == 0)
        return RecordFile::Absent;
    reader.Feed("");
    if (!reader.Ok()) {
        entries.clear();
        return RecordFile::Foreign;
    }
    return RecordFile::Ours;
}

/// A thumbnail this program wrote carries its mark in its first bytes.
bool CarriesMark(FileSystem& fs, const std::string& path) {
    std::string head;
    return fs.ReadPrefix(path, 64, head) && head.find(kThumbnailComment) != std::string::npos;
}

}  // namespace

bool IsThumbnailFile(std::string_view folder, std::string_view name) {
    // NAME is 16 hex digits, maybe "-N", then ".jpg", as ThumbnailName and ChooseName make them.
    if (name.size() < kHexDigits + 4 || name.substr(name.size() - 4) != ".jpg")
        return false;
    for (size_t i = 0; i < kHexDigits; ++i) {
        if (!IsHex(name[i]))
            return false;
    }
    const std::string_view rest = name.substr(kHexDigits, name.size() - 4 - kHexDigits);
    if (!rest.empty() && (rest[0] != '-' || rest.size() < 2 ||
                          rest.find_first_not_of("0123456789", 1) != std::string_view::npos))
        return false;
    return FolderEndsWith(folder, "kavo/thumbs/");
}

std::string ThumbnailName(std::string_view relativePath) {
    uint64_t hash = 14695981039346656037ULL;  // FNV-1a
    for (unsigned char c : relativePath) {
        hash ^= c;
        hash *= 1099511628211ULL;
    }
    char text[kHexDigits + 1];
    std::snprintf(text, sizeof text, "%016" PRIx64, hash);
    return std::string(text) + ".jpg";
}

std::string FormatThumbRecord(const std::map<std::string, ThumbRecordEntry>& entries) {
    std::string out(kRecordHeader);
    out += '\n';
    char line[256];
    for (const auto& [key, e] : entries) {
        std::snprintf(line, sizeof line,
                      "%" PRIu64 "\t%" PRId64 "\t%" PRId64 "\t%" PRIu64 "\t%" PRIu64 "\t%d\t%c\t%d\t%d\t%" PRIu64
                      "\t%" PRId64 "\t",
                      e.Stamp.Size, e.Stamp.ModifiedNs, e.Stamp.ChangedNs, e.Stamp.Device, e.Stamp.Inode, static_cast<int>(e.Box),
                      OutcomeLetter(e.Outcome), static_cast<int>(e.Width), static_cast<int>(e.Height), e.Thumb.Size,
                      e.Thumb.ModifiedNs);
        out.append(line).append(e.Name).append("\t").append(EscapePath(key)).append("\n");
    }
    return out;
}

void ThumbRecordReader::Feed(std::string_view piece) {
    while (m_version != 0 && !piece.empty()) {
        const size_t end = piece.find('\n');
        if (end == std::string_view::npos) {
            m_partial.append(piece);
            if (m_version < 0 && m_partial.size() > kRecordHeader.size())
                m_version = 0;
            return;
        }
        if (m_partial.empty()) {
            Line(piece.substr(0, end));
        } else {
            m_partial.append(piece.substr(0, end));
            Line(m_partial);
            m_partial.clear();
        }
        piece.remove_prefix(end + 1);
    }
}

void ThumbRecordReader::Line(std::string_view line) {
    if (m_version < 0) {
        m_version = line == kRecordHeader ? 2 : line == kRecordHeaderV1 ? 1 : 0;
        return;
    }
    // Fields split by single tabs; the path is last and holds no raw tab. Version 1
    // had no change time, device, inode nor thumbnail stamp: its entries match no picture
    // and are made again, under the names they had.
    const size_t count = m_version == 1 ? 7 : 12;
    std::string_view field[12];
    if (!TakeFields(line, field, count))
        return;
    ThumbRecordEntry e;
    const bool v2 = m_version == 2;
    const size_t box = v2 ? 5 : 2;  // box, kind, width, height follow the picture's stamp
    if (!ParseField(field[0], e.Stamp.Size) || !ParseField(field[1], e.Stamp.ModifiedNs) ||
        (v2 && (!ParseField(field[2], e.Stamp.ChangedNs) || !ParseField(field[3], e.Stamp.Device) ||
                !ParseField(field[4], e.Stamp.Inode))) ||
        !ParseField(field[box], e.Box) || field[box + 1].size() != 1 || !ParseField(field[box + 2], e.Width) ||
        !ParseField(field[box + 3], e.Height) ||
        (v2 && (!ParseField(field[9], e.Thumb.Size) || !ParseField(field[10], e.Thumb.ModifiedNs))))
        return;
    const char kind = field[box + 1][0];
    e.Outcome = kind == 'T' ? ThumbOutcome::Made : kind == 'S' ? ThumbOutcome::Small : ThumbOutcome::Failed;
    e.Name = field[count - 1];
    // Only names of our own form are ever removed or replaced.
    if (e.Outcome == ThumbOutcome::Made && !IsThumbnailFile("kavo/thumbs/", e.Name))
        return;
    m_entries[UnescapePath(line)] = std::move(e);
}

bool ParseThumbRecord(std::string_view text, std::map<std::string, ThumbRecordEntry>& entries) {
    entries.clear();
    ThumbRecordReader reader(entries);
    reader.Feed(text);
    return reader.Ok();
}

int32_t RecordedThumbnailBox(FileSystem& fs, const std::string& catalogue) {
    std::string head;
    if (!fs.ReadPrefix(catalogue + kThumbFolder + kPathSep + kThumbRecord, 4096, head))
        return 0;
    head.resize(head.rfind('\n') == std::string::npos ? 0 : head.rfind('\n') + 1);  // whole lines only
    std::map<std::string, ThumbRecordEntry> entries;
    ThumbRecordReader reader(entries);
    reader.Feed(head);
    return reader.Ok() && !entries.empty() ? entries.begin()->second.Box : 0;
}

void RemoveThumbnails(FileSystem& fs, const std::string& catalogue, RunObserver& obs) {
    std::vector<DirEntry> entries;
    if (fs.ListFolder(catalogue, entries, nullptr))
        RemoveThumbnails(fs, catalogue, entries, obs);
}

void RemoveThumbnails(FileSystem& fs, const std::string& catalogue, const std::vector<DirEntry>& listed,
                      RunObserver& obs) {
    const auto at = std::find_if(listed.begin(), listed.end(), [](const DirEntry& e) { return e.Name == kThumbFolder; });
    if (at == listed.end() || !at->IsDir || at->IsLink)
        return;  // none, or not ours to go into
    const std::string folder = catalogue + kThumbFolder + kPathSep;
    // Removed through the folder checked, not through whatever takes its name meanwhile.
    std::unique_ptr<HeldFolders> held = fs.HoldFolders();
    std::vector<DirEntry> entries;
    if (held->Hold(folder) != 0 || !fs.ListFolder(folder, entries, nullptr))
        return;
    std::map<std::string, ThumbRecordEntry> record;
    bool recordOurs = false;
    std::unordered_set<std::string> named;
    const auto rec = std::find_if(entries.begin(), entries.end(), [](const DirEntry& e) { return e.Name == kThumbRecord; });
    if (rec != entries.end() && rec->IsFile && !rec->IsLink) {
        recordOurs = ReadRecordFile(fs, folder + kThumbRecord, record) == RecordFile::Ours;
        for (const auto& [key, r] : record) {
            if (r.Outcome == ThumbOutcome::Made)
                named.insert(r.Name);
        }
    }
    bool allGone = true;
    for (const DirEntry& e : entries) {
        if (!e.IsFile || e.IsLink || e.IsDir)
            continue;
        const std::string path = folder + e.Name;
        const bool ours = IsOurLeftover(e) || (IsThumbnailFile("kavo/thumbs/", e.Name) &&
                                               (named.count(e.Name) != 0 || CarriesMark(fs, path)));
        if (ours && !fs.RemoveFile(path) && fs.Exists(path)) {
            ReportWriteFailure(obs, path);
            allGone = false;
        }
    }
    if (recordOurs && allGone)
        fs.RemoveFile(folder + kThumbRecord);
    held.reset();  // a folder is removed by its name, in the folder that holds it
    fs.RemoveEmptyFolder(folder);
}

bool MemoryBudget::Take(uint64_t bytes, const std::atomic<bool>& stop) {
    std::unique_lock<std::mutex> lock(m_mutex);
    while (m_used + bytes > m_limit) {
        if (stop.load())
            return false;
        m_freed.wait_for(lock, kCancelPoll);
    }
    m_used += bytes;
    m_peak = std::max(m_peak, m_used);
    return true;
}

void MemoryBudget::Give(uint64_t bytes) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_used -= bytes;
    }
    m_freed.notify_all();
}

uint64_t MemoryBudget::Peak() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_peak;
}

std::unique_ptr<Thumbnails> StartThumbnails(FileSystem& fs, int32_t box, const std::string& base,
                                            const std::string& catalogue, RunObserver& obs, int jobs) {
    std::unique_ptr<ThumbnailMaker> maker = NativeThumbnailMaker();
    if (!maker)
        return nullptr;
    const int threads = !fs.ReadsAreThreadSafe() ? 0
                        : jobs > 0             ? std::min(jobs, 64)
                                               : static_cast<int>(std::clamp(std::thread::hardware_concurrency(), 1u, 64u));
    auto thumbs = std::make_unique<Thumbnails>(fs, std::move(maker), box, threads);
    thumbs->Begin(base, catalogue, obs);
    return thumbs;
}

Thumbnails::Thumbnails(FileSystem& fs, std::unique_ptr<ThumbnailMaker> maker, int32_t box, int threads,
                       uint64_t memory)
    : m_fs(fs), m_maker(std::move(maker)), m_box(box), m_memory(memory) {
    for (int i = 0; i < threads; ++i)
        m_threads.Start([this] { Work(); });
}

Thumbnails::~Thumbnails() {
    Finish();
    m_threads.Stop();
}

void Thumbnails::Begin(const std::string& base, const std::string& catalogue, RunObserver& obs) {
    m_obs = &obs;
    m_base = base;
    m_folderPath = catalogue + kThumbFolder + kPathSep;
    m_recordPath = m_folderPath + kThumbRecord;
    if (MakeFolderPath(m_fs, obs, catalogue + kThumbFolder) != 0) {
        // Told once there; the pictures are shown as they are, with no notice each.
        m_writable = m_recordUsable = false;
        return;
    }
    std::vector<DirEntry> entries;
    m_fs.ListFolder(m_folderPath, entries, nullptr);
    for (const DirEntry& e : entries) {
        // The same rule as the catalogue's: a folder or link at such a name is not ours and stays.
        const bool file = e.IsFile && !e.IsLink;
        if (IsOurLeftover(e)) {
            m_fs.RemoveFile(m_folderPath + e.Name);
            continue;
        }
        m_onDisk.insert(e.Name);
        if (file)
            m_files.insert(e.Name);
    }
    if (m_files.count(kThumbRecord) != 0 && !ReadRecord()) {
        // Not ours: kept beside, as the catalogue keeps files it did not write.
        std::string aside = m_recordPath + ".bak";
        for (int n = 2; m_fs.Exists(aside); ++n)
            aside = m_recordPath + ".bak" + std::to_string(n);
        m_recordUsable = m_fs.RenameFile(m_recordPath, aside);
    }
    for (const auto& [key, e] : m_old) {
        if (e.Outcome == ThumbOutcome::Made)
            m_oldOwner[e.Name] = key;
    }
}

bool Thumbnails::OursAt(const std::string& name) { return CarriesMark(m_fs, m_folderPath + name); }

bool Thumbnails::ReadRecord() {
    // Gone since it was listed, unreadable or empty: made anew.
    return ReadRecordFile(m_fs, m_recordPath, m_old) != RecordFile::Foreign;
}

bool Thumbnails::Intact(const ThumbRecordEntry& e) {
    FileStamp now;
    return m_files.count(e.Name) != 0 && m_fs.GetFileStamp(m_folderPath + e.Name, now) && now.Size == e.Thumb.Size &&
           now.ModifiedNs == e.Thumb.ModifiedNs && e.Thumb.Size != 0;
}

std::string Thumbnails::ChooseName(const std::string& key, bool remade) {
    // A thumbnail made again never takes its earlier name: the earlier pages show
    // the earlier one, with its size, until the new pages are in; it goes after them.
    auto old = m_old.find(key);
    if (!remade && old != m_old.end() && old->second.Outcome == ThumbOutcome::Made &&
        m_taken.insert(old->second.Name).second)
        return old->second.Name;
    const std::string first = ThumbnailName(key);
    for (int n = 1;; ++n) {
        const std::string name = n == 1 ? first : first.substr(0, kHexDigits) + "-" + std::to_string(n) + ".jpg";
        if (m_taken.count(name) != 0)
            continue;
        auto owner = m_oldOwner.find(name);
        const bool free =
            m_onDisk.count(name) == 0 ||
            (m_files.count(name) != 0 && (owner != m_oldOwner.end() ? !remade && owner->second == key : OursAt(name)));
        if (free) {
            m_taken.insert(name);
            return name;
        }
    }
}

void Thumbnails::Start(const std::string& folder, const std::vector<DirEntry>& entries, std::vector<uint32_t> pictures) {
    std::unique_lock<std::mutex> lock(m_mutex);
    m_folder = &folder;
    m_entries = &entries;
    m_pictures = std::move(pictures);
    m_slots.assign(m_pictures.size(), Slot{});
    std::string prefix = folder.substr(m_base.size());
    if (kPathSep != '/')
        std::replace(prefix.begin(), prefix.end(), kPathSep, '/');
    m_listed.insert(prefix);
    if (!m_old.empty()) {
        std::string key = prefix;
        for (const DirEntry& e : entries) {
            if (!e.IsFile)
                continue;
            key.resize(prefix.size());
            key += e.Name;
            if (m_old.count(key) != 0)
                m_present.insert(key);
        }
    }
    for (size_t i = 0; i < m_pictures.size(); ++i) {
        Slot& s = m_slots[i];
        s.Key = folder.substr(m_base.size()) + entries[m_pictures[i]].Name;
        if (kPathSep != '/')
            std::replace(s.Key.begin(), s.Key.end(), kPathSep, '/');
        s.Name = ChooseName(s.Key);
    }
    m_ready = std::make_unique<std::atomic<int>[]>(m_pictures.size());
    m_claimed = m_taken_count = 0;
    m_abandon = false;
    lock.unlock();
    m_threads.WakeAll();
}

std::string Thumbnails::PicturePath(size_t index) const {
    return *m_folder + (*m_entries)[m_pictures[index]].Name;
}

bool Thumbnails::Known(size_t index, const std::string& path) {
    Slot& s = m_slots[index];
    ThumbRecordEntry& e = s.Entry;
    e.Box = m_box;
    e.Name = s.Name;
    if (!StampOf(m_fs, path, e.Stamp)) {
        e.Outcome = ThumbOutcome::Failed;
        return true;
    }
    auto old = m_old.find(s.Key);
    if (old != m_old.end() && SameFile(e.Stamp, old->second.Stamp) && old->second.Box == m_box &&
        (old->second.Outcome != ThumbOutcome::Made || (old->second.Name == s.Name && Intact(old->second)))) {
        e = old->second;
        return true;
    }
    return false;
}

void Thumbnails::MakeOne(size_t index, const std::string& path) {
    Slot& s = m_slots[index];
    ThumbRecordEntry& e = s.Entry;
    e.Outcome = ThumbOutcome::Failed;
    if (const auto old = m_old.find(s.Key);
        old != m_old.end() && old->second.Outcome == ThumbOutcome::Made && old->second.Name == s.Name) {
        std::lock_guard lock(m_mutex);
        s.Name = ChooseName(s.Key, true);
    }
    e.Name = s.Name;
    // The picture's bytes and what decoding them takes are set aside before
    // anything is read: every thread together stays within the budget.
    std::string head;
    if (!m_writable || !m_fs.ReadPrefix(path, kHeadBytes, head)) {
        e.Stamp = {};  // not recorded: a read that failed may work next time
        return;
    }
    const uint64_t decode = DecodeMemory(head, m_box);
    const uint64_t size = std::max<uint64_t>(e.Stamp.Size, head.size());
    if (size >= m_memory.Limit() || (decode != kUnknownNeed && size + decode > m_memory.Limit())) {
        PixelSize header;  // too large to make: shown as it is, as a damaged one is
        ReadPixelSize(m_fs, path, header);
        e.Width = header.Width;
        e.Height = header.Height;
        return;
    }
    // Where the start does not tell, the picture has the whole budget to itself.
    const uint64_t taken = decode == kUnknownNeed ? m_memory.Limit() : size + decode;
    if (!m_memory.Take(taken, m_abandon)) {
        e.Stamp = {};
        return;
    }
    struct Giver {
        MemoryBudget& budget;
        uint64_t bytes;
        ~Giver() { budget.Give(bytes); }
    } giver{m_memory, taken};
    std::string bytes;
    const uint64_t need = decode == kUnknownNeed ? 0 : decode;
    const bool read = ReadWhole(m_fs, path, taken - need, e.Stamp, bytes);
    const uint64_t real = read ? DecodeMemory(bytes, m_box) : 0;
    if (!read || (real != kUnknownNeed && bytes.size() + real > taken)) {
        e.Stamp = {};  // changed while it was read, or unreadable: tried again next time
        return;
    }
    ThumbResult made = m_maker->Make(bytes, m_box, m_abandon);
    e.Outcome = made.Outcome;
    e.Width = made.Width;
    e.Height = made.Height;
    if (made.Outcome == ThumbOutcome::Failed) {
        if (m_abandon) {
            e.Stamp = {};
            return;
        }
        // Shown as it is: its size is read here, once, and kept with the failure.
        PixelSize header;
        MemoryFile file(bytes);
        ReadPixelSizeOf(file, header);
        e.Width = header.Width;
        e.Height = header.Height;
        return;
    }
    // After a cancel nothing more is written: the run may be over by then.
    if (made.Outcome == ThumbOutcome::Made) {
        const std::string target = m_folderPath + s.Name;
        if (m_abandon || !m_fs.WriteFileAtomic(target, made.Jpeg, nullptr)) {
            e.Outcome = ThumbOutcome::Failed;
            s.WriteFailed = !m_abandon;
        } else if (!m_fs.GetFileStamp(target, e.Thumb)) {
            e.Thumb = {};  // not trusted next time: made again
        }
    }
}

void Thumbnails::Work() {
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        if (!m_threads.WaitForWork(lock, [this] { return !m_handedOver.empty() || m_claimed < m_pictures.size(); }))
            return;
        size_t index;
        const bool toMake = !m_handedOver.empty();  // Next found it not known
        if (toMake) {
            index = m_handedOver.front();  // the walk waits for it
            m_handedOver.pop_front();
        } else {
            index = m_claimed++;
        }
        ++m_inFlight;
        lock.unlock();
        if (!m_abandon) {
            const std::string path = PicturePath(index);
            if (toMake || !Known(index, path))
                MakeOne(index, path);
        }
        m_ready[index].store(1, std::memory_order_release);
        lock.lock();
        --m_inFlight;
        m_done.notify_all();
        m_idle.notify_all();
    }
}

PlacedThumb Thumbnails::Next(const CancelCheck& cancelled) {
    PlacedThumb placed;
    const size_t index = m_taken_count++;
    if (index >= m_pictures.size())
        return placed;
    std::unique_lock<std::mutex> lock(m_mutex);
    if (m_claimed == index) {
        // No thread has begun it: an unchanged picture is looked up here rather than
        // waiting for one to wake; one to be made goes to the threads first of all, so
        // this thread stays free for the window and a cancel.
        ++m_claimed;
        ++m_inFlight;
        lock.unlock();
        const std::string path = PicturePath(index);
        const bool known = Known(index, path);
        if (!known && m_threads.Empty() && !(cancelled && cancelled()))
            MakeOne(index, path);
        lock.lock();
        --m_inFlight;
        if (known || m_threads.Empty()) {
            m_ready[index].store(1, std::memory_order_release);
        } else {
            m_handedOver.push_back(index);
            m_threads.WakeOne();
        }
        m_idle.notify_all();
    }
    if (!WaitUnlessCancelled(
            m_done, lock, [&] { return m_ready[index].load(std::memory_order_acquire) != 0; }, cancelled, kCancelPoll)) {
        m_abandon = true;
        m_claimed = m_pictures.size();
        m_handedOver.clear();
        return placed;
    }
    lock.unlock();
    Slot& s = m_slots[index];
    if (s.WriteFailed) {
        ReportWriteFailure(*m_obs, m_folderPath + s.Name);
        return placed;  // not recorded: the next run tries again
    }
    ThumbRecordEntry& e = s.Entry;
    if (e.Outcome != ThumbOutcome::Made) {
        e.Name.clear();
        e.Thumb = {};
    }
    // A picture given up for a cancel, or that could not be read, is not recorded.
    if (m_abandon || (e.Outcome == ThumbOutcome::Failed && e.Stamp == FileIdentity{}))
        return placed;
    m_new[s.Key] = e;
    if (e.Outcome == ThumbOutcome::Failed) {
        placed.HeaderRead = true;
        placed.Width = e.Width;
        placed.Height = e.Height;
        return placed;
    }
    placed.KnownSize = true;
    placed.Width = e.Width;
    placed.Height = e.Height;
    if (e.Outcome == ThumbOutcome::Made) {
        placed.UseThumbnail = true;
        placed.Address = std::string(kThumbFolder) + "/" + e.Name;
    }
    return placed;
}

void Thumbnails::Finish() {
    std::unique_lock<std::mutex> lock(m_mutex);
    m_claimed = m_pictures.size();
    m_handedOver.clear();
    m_abandon = true;
    m_idle.wait(lock, [this] { return m_inFlight == 0; });
    m_pictures.clear();
    m_slots.clear();
    m_taken_count = 0;
    m_folder = nullptr;
    m_entries = nullptr;
}

bool Thumbnails::StillThere(const std::string& key) {
    const size_t slash = key.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string() : key.substr(0, slash + 1);
    if (m_listed.count(folder) != 0)
        return false;  // its folder was listed whole, without it
    std::string path = m_base + key;
    if (kPathSep != '/')
        std::replace(path.begin(), path.end(), '/', kPathSep);
    if (m_fs.IsRegularFile(path))
        return true;
    // A folder that is gone took its pictures with it; one that cannot be read
    // (damaged, no permission) may still hold them.
    const std::string folderPath = path.substr(0, path.size() - (key.size() - folder.size()));
    const int err = m_fs.CheckFolder(folderPath);
    if (err == ENOENT || err == ENOTDIR)
        return false;
    auto listed = m_unlisted.find(folderPath);
    if (listed == m_unlisted.end()) {
        std::vector<DirEntry> entries;
        listed = m_unlisted.emplace(folderPath, err == 0 && m_fs.ListFolder(folderPath, entries, nullptr)).first;
    }
    return !listed->second;  // read whole now and the picture not in it: gone
}

void Thumbnails::End(bool wholeWalk, bool committed) {
    Finish();
    if (m_obs == nullptr || !committed)
        return;  // Begin never ran, or the earlier pages still show the earlier thumbnails
    for (const auto& [key, e] : m_old) {
        // A part of the tree not walked keeps what it had; so do pictures this run left out.
        if (m_new.count(key) == 0 && (!wholeWalk || m_present.count(key) != 0 || StillThere(key)))
            m_new.emplace(key, e);
    }
    std::unordered_set<std::string> kept;
    for (const auto& [key, e] : m_new) {
        if (e.Outcome == ThumbOutcome::Made)
            kept.insert(e.Name);
    }
    // Only files of the thumbnails' form (the record's reader checks it), never links or folders.
    for (const auto& [key, e] : m_old) {
        if (e.Outcome != ThumbOutcome::Made || kept.count(e.Name) != 0 || m_files.count(e.Name) == 0)
            continue;
        const std::string path = m_folderPath + e.Name;
        if (!m_fs.RemoveFile(path) && m_fs.Exists(path)) {
            // Held open by another program (on Windows): a copy of a picture deleted
            // stays readable, so it stays named in the record, for the next run to remove.
            ReportWriteFailure(*m_obs, path);
            m_new.emplace(key, e);
        }
    }
    if (!m_recordUsable)
        return;
    // A run killed before it wrote the record leaves thumbnails that no record
    // names: ours by their form and mark, they go (another's file of the form stays).
    for (const std::string& name : m_files) {
        if (kept.count(name) == 0 && m_oldOwner.count(name) == 0 && IsThumbnailFile(m_folderPath, name) &&
            OursAt(name))
            m_fs.RemoveFile(m_folderPath + name);
    }
    const std::string text = FormatThumbRecord(m_new);
    if (text != FormatThumbRecord(m_old) || m_onDisk.count(kThumbRecord) == 0) {
        if (!m_fs.WriteFileAtomic(m_recordPath, text, nullptr))
            ReportWriteFailure(*m_obs, m_recordPath);
    }
}

}  // namespace kavo
