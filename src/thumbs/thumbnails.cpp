#include "thumbs/thumbnails.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cinttypes>
#include <cstdio>

#include "base/ascii.h"
#include "fs/file_writes.h"
#include "fs/paths.h"
#include "fs/temporary_names.h"

namespace kavo {
namespace {

constexpr std::string_view kRecordHeader = "Kavo thumbnails 1";
/// Larger files are not read into memory; they are shown as they are.
constexpr uint64_t kMaxPictureBytes = 256ULL * 1024 * 1024;
constexpr size_t kHexDigits = 16;
/// A record over this size is not one of ours (a million pictures take about 100 MB).
constexpr size_t kMaxRecordBytes = 256 * 1024 * 1024;

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

template <typename T>
bool ParseNumber(std::string_view text, T& value) {
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc() && end == text.data() + text.size();
}

bool ReadWhole(FileSystem& fs, const std::string& path, uint64_t size, std::string& out) {
    if (size > kMaxPictureBytes)
        return false;
    std::unique_ptr<InputFile> file = fs.OpenRead(path);
    if (!file)
        return false;
    out.resize(static_cast<size_t>(size) + 1);  // one more: a file that grew is read to its new end
    size_t have = 0;
    for (;;) {
        if (have == out.size()) {
            if (out.size() > kMaxPictureBytes)
                return false;
            out.resize(out.size() * 2);
        }
        const size_t n = file->Read(out.data() + have, out.size() - have);
        if (n == 0)
            break;
        have += n;
    }
    out.resize(have);
    return true;
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
    char line[160];
    for (const auto& [key, e] : entries) {
        std::snprintf(line, sizeof line, "%" PRIu64 "\t%" PRId64 "\t%d\t%c\t%d\t%d\t", e.Stamp.Size,
                      e.Stamp.ModifiedNs, static_cast<int>(e.Box), OutcomeLetter(e.Outcome),
                      static_cast<int>(e.Width), static_cast<int>(e.Height));
        out.append(line).append(e.Name).append("\t").append(EscapePath(key)).append("\n");
    }
    return out;
}

bool ParseThumbRecord(std::string_view text, std::map<std::string, ThumbRecordEntry>& entries) {
    entries.clear();
    if (text.substr(0, kRecordHeader.size()) != kRecordHeader || text.size() == kRecordHeader.size() ||
        text[kRecordHeader.size()] != '\n')
        return false;
    size_t at = kRecordHeader.size() + 1;
    while (at < text.size()) {
        size_t end = text.find('\n', at);
        if (end == std::string_view::npos)
            break;  // a line without its end was never written whole
        const std::string_view line = text.substr(at, end - at);
        at = end + 1;
        // Seven fields split by single tabs; the path is last and holds no raw tab.
        std::string_view field[7];
        size_t from = 0;
        bool whole = true;
        for (std::string_view& f : field) {
            const size_t tab = line.find('\t', from);
            if (tab == std::string_view::npos) {
                whole = false;
                break;
            }
            f = line.substr(from, tab - from);
            from = tab + 1;
        }
        ThumbRecordEntry e;
        if (!whole || field[3].size() != 1 || !ParseNumber(field[0], e.Stamp.Size) ||
            !ParseNumber(field[1], e.Stamp.ModifiedNs) || !ParseNumber(field[2], e.Box) ||
            !ParseNumber(field[4], e.Width) || !ParseNumber(field[5], e.Height))
            continue;
        const char kind = field[3][0];
        e.Outcome = kind == 'T' ? ThumbOutcome::Made : kind == 'S' ? ThumbOutcome::Small : ThumbOutcome::Failed;
        e.Name = field[6];
        // Only names of our own form are ever removed or replaced.
        if (e.Outcome == ThumbOutcome::Made && !IsThumbnailFile("kavo/thumbs/", e.Name))
            continue;
        entries[UnescapePath(line.substr(from))] = e;
    }
    return true;
}

std::unique_ptr<Thumbnails> StartThumbnails(FileSystem& fs, int32_t box, const std::string& base,
                                            const std::string& catalogue, RunObserver& obs) {
    std::unique_ptr<ThumbnailMaker> maker = NativeThumbnailMaker();
    if (!maker)
        return nullptr;
    const int threads = fs.ReadsAreThreadSafe() ? static_cast<int>(std::clamp(std::thread::hardware_concurrency(), 1u, 64u)) : 0;
    auto thumbs = std::make_unique<Thumbnails>(fs, std::move(maker), box, threads);
    thumbs->Begin(base, catalogue, obs);
    return thumbs;
}

Thumbnails::Thumbnails(FileSystem& fs, std::unique_ptr<ThumbnailMaker> maker, int32_t box, int threads)
    : m_fs(fs), m_maker(std::move(maker)), m_box(box) {
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
    MakeFolderPath(m_fs, obs, catalogue + kThumbFolder);
    std::vector<DirEntry> entries;
    m_fs.ListFolder(m_folderPath, entries, nullptr);
    for (const DirEntry& e : entries) {
        // The same rule as the catalogue's: a folder or link at such a name is not ours and stays.
        if (IsOurLeftover(e))
            m_fs.RemoveFile(m_folderPath + e.Name);
        else
            m_onDisk.insert(e.Name);
    }
    std::string text;
    FileStamp stamp;
    if (m_onDisk.count(kThumbRecord) != 0 && m_fs.GetFileStamp(m_recordPath, stamp) &&
        (stamp.Size > kMaxRecordBytes || (ReadWhole(m_fs, m_recordPath, stamp.Size, text) && !ParseThumbRecord(text, m_old)))) {
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

bool Thumbnails::OursAt(const std::string& name) {
    std::string head;
    return m_fs.ReadPrefix(m_folderPath + name, 64, head) &&
           head.find(kThumbnailComment) != std::string::npos;
}

std::string Thumbnails::ChooseName(const std::string& key) {
    auto old = m_old.find(key);
    if (old != m_old.end() && old->second.Outcome == ThumbOutcome::Made && m_taken.insert(old->second.Name).second)
        return old->second.Name;
    const std::string first = ThumbnailName(key);
    for (int n = 1;; ++n) {
        const std::string name = n == 1 ? first : first.substr(0, kHexDigits) + "-" + std::to_string(n) + ".jpg";
        if (m_taken.count(name) != 0)
            continue;
        auto owner = m_oldOwner.find(name);
        const bool free = owner != m_oldOwner.end() ? owner->second == key
                                                    : m_onDisk.count(name) == 0 || OursAt(name);
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
    if (!m_fs.GetFileStamp(path, e.Stamp)) {
        e.Outcome = ThumbOutcome::Failed;
        return true;
    }
    auto old = m_old.find(s.Key);
    if (old != m_old.end() && old->second.Stamp == e.Stamp && old->second.Box == m_box &&
        (old->second.Outcome != ThumbOutcome::Made || (old->second.Name == s.Name && m_onDisk.count(s.Name) != 0))) {
        e = old->second;
        return true;
    }
    return false;
}

void Thumbnails::MakeOne(size_t index, const std::string& path) {
    Slot& s = m_slots[index];
    ThumbRecordEntry& e = s.Entry;
    std::string bytes;
    if (!ReadWhole(m_fs, path, e.Stamp.Size, bytes)) {
        e.Outcome = ThumbOutcome::Failed;
        e.Stamp = {};  // not recorded: a read that failed may work next time
        return;
    }
    ThumbResult made = m_maker->Make(bytes, m_box, m_abandon);
    e.Outcome = made.Outcome;
    e.Width = made.Width;
    e.Height = made.Height;
    // After a cancel nothing more is written: the run may be over by then.
    if (made.Outcome == ThumbOutcome::Made && (m_abandon || !m_fs.WriteFileAtomic(m_folderPath + s.Name, made.Jpeg, nullptr))) {
        e.Outcome = ThumbOutcome::Failed;
        s.WriteFailed = !m_abandon;
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
    if (e.Outcome != ThumbOutcome::Made)
        e.Name.clear();
    // A picture given up for a cancel, or that could not be read, is not recorded.
    if (m_abandon || (e.Outcome == ThumbOutcome::Failed && e.Stamp == FileStamp{}))
        return placed;
    m_new[s.Key] = e;
    if (e.Outcome == ThumbOutcome::Failed)
        return placed;
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

void Thumbnails::End(bool wholeWalk) {
    Finish();
    if (m_obs == nullptr)
        return;  // Begin never ran
    if (!wholeWalk) {
        // A part of the tree was not walked: what it had stays as it was.
        for (const auto& [key, e] : m_old)
            m_new.emplace(key, e);
    }
    std::unordered_set<std::string> kept;
    for (const auto& [key, e] : m_new) {
        if (e.Outcome == ThumbOutcome::Made)
            kept.insert(e.Name);
    }
    for (const auto& [key, e] : m_old) {
        if (e.Outcome == ThumbOutcome::Made && kept.count(e.Name) == 0 && m_onDisk.count(e.Name) != 0)
            m_fs.RemoveFile(m_folderPath + e.Name);
    }
    if (!m_recordUsable)
        return;
    const std::string text = FormatThumbRecord(m_new);
    if (text != FormatThumbRecord(m_old) || m_onDisk.count(kThumbRecord) == 0) {
        if (!m_fs.WriteFileAtomic(m_recordPath, text, nullptr))
            ReportWriteFailure(*m_obs, m_recordPath);
    }
}

}  // namespace kavo
