#include "pictures/size_record.h"

#include <algorithm>
#include <cstdint>
#include <utility>
#include <vector>

#include "base/record_fields.h"

namespace kavo {
namespace {

/// The first line: what the file is and the version of its lines.
constexpr std::string_view kHeader = "Kavo sizes 1\n";

/// A record over this size is not one of ours (a million pictures take about 100 MB).
constexpr size_t kMaxRecordBytes = 256u << 20;

}  // namespace

SizeRecord::SizeRecord(FileSystem& fs, std::string base, std::string file)
    : m_fs(fs), m_base(std::move(base)), m_file(std::move(file)) {}

bool SizeRecord::Load() {
    m_old.clear();
    m_onDisk = m_fs.ReadWhole(m_file, kMaxRecordBytes, m_text) && Parse();
    if (!m_onDisk) {
        m_old.clear();
        std::string().swap(m_text);
    }
    return m_onDisk;
}

namespace {

/// The key of a picture in the record: its path below the base. Empty for a
/// path that cannot be kept: not below the base, or a name with a line break,
/// which would end the entry (such a picture is read every time).
std::string_view KeyOf(std::string_view path, std::string_view base) {
    if (path.size() <= base.size() || !path.starts_with(base) || path.find_first_of("\r\n") != std::string_view::npos)
        return {};
    return path.substr(base.size());
}

}  // namespace

bool SameFile(const FileIdentity& now, const FileIdentity& recorded) {
    return now.Size == recorded.Size && now.ModifiedNs == recorded.ModifiedNs && now.ChangedNs == recorded.ChangedNs;
}

bool SizeRecord::Recorded(const std::string& path, PixelSize& size) {
    const std::string_view key = KeyOf(path, m_base);
    const auto old = key.empty() ? m_old.end() : m_old.find(key);
    FileIdentity now;
    if (old == m_old.end() || !m_fs.GetFileIdentity(path, now) || !SameFile(now, old->second.Recorded.Identity))
        return false;
    size = old->second.Recorded.Size;
    old->second.Seen.store(true, std::memory_order_relaxed);
    return true;
}

bool SizeRecord::Read(const std::string& path, PixelSize& size, const CancelCheck& cancelled) {
    if (Recorded(path, size))
        return size.Width > 0;
    const std::string_view key = KeyOf(path, m_base);
    const bool recordable = !key.empty();
    FileIdentity read;
    bool gaveUp = false;
    const CancelCheck noting = [&] { return gaveUp = gaveUp || (cancelled && cancelled()); };
    const bool ok = ReadPixelSize(m_fs, path, size, cancelled ? noting : CancelCheck{}, &read);
    // A read given up for a cancel, or a file whose identity is unknown, is read again next time.
    if (!recordable || read == FileIdentity{} || gaveUp)
        return ok;
    const Entry e{read, size};
    if (const auto old = m_old.find(key); old != m_old.end() && old->second.Recorded == e) {
        old->second.Seen.store(true, std::memory_order_relaxed);
        return ok;
    }
    // Made outside the lock, which many readers share; the earlier record is only read during a run.
    std::string name(key);
    std::lock_guard lock(m_mutex);
    m_changed = true;
    m_new.insert_or_assign(std::move(name), e);
    return ok;
}

bool SizeRecord::Save(bool wholeWalk) {
    std::lock_guard lock(m_mutex);
    // Unchanged when every picture read anew is as recorded and, after a whole
    // walk, every one recorded was seen: then nothing is written.
    const bool allSeen = std::all_of(m_old.begin(), m_old.end(), [](const auto& e) { return e.second.Seen.load(); });
    if (m_onDisk && !m_changed && (!wholeWalk || allSeen))
        return true;
    if (!m_onDisk && m_new.empty())
        return true;
    return m_fs.WriteFileAtomic(m_file, Format(wholeWalk), nullptr);
}

std::string SizeRecord::Format(bool wholeWalk) const {
    // In path order, so that the same pictures give the same bytes.
    std::vector<std::pair<std::string_view, const Entry*>> sorted;
    sorted.reserve(m_old.size() + m_new.size());
    for (const auto& [key, e] : m_new)
        sorted.emplace_back(key, &e);
    for (const auto& [key, e] : m_old) {
        if ((e.Seen.load() || !wholeWalk) && !m_new.contains(key))
            sorted.emplace_back(key, &e.Recorded);
    }
    std::sort(sorted.begin(), sorted.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    std::string out(kHeader);
    out.reserve(out.size() + sorted.size() * 96);
    for (const auto& [key, entry] : sorted) {
        const FileIdentity& id = entry->Identity;
        const PixelSize& size = entry->Size;
        AppendField(out, id.Size);
        AppendField(out, id.ModifiedNs);
        AppendField(out, id.ChangedNs);
        AppendField(out, id.Device);
        AppendField(out, id.Inode);
        AppendField(out, size.Width);
        AppendField(out, size.Height);
        out.append(key).push_back('\n');
    }
    return out;
}

bool SizeRecord::Parse() {
    std::string_view text = m_text;
    if (!text.starts_with(kHeader))
        return false;
    text.remove_prefix(kHeader.size());
    constexpr size_t kFields = 7;  // then the path, which may hold tabs
    m_old.reserve(static_cast<size_t>(std::count(text.begin(), text.end(), '\n')));
    while (!text.empty()) {
        const size_t end = text.find('\n');
        if (end == std::string_view::npos)
            return false;  // cut short
        std::string_view path = text.substr(0, end);  // once its fields are taken off
        text.remove_prefix(end + 1);
        std::string_view field[kFields];
        Entry e;
        int32_t width = 0, height = 0;
        if (!TakeFields(path, field, kFields) || !ParseField(field[0], e.Identity.Size) ||
            !ParseField(field[1], e.Identity.ModifiedNs) || !ParseField(field[2], e.Identity.ChangedNs) ||
            !ParseField(field[3], e.Identity.Device) || !ParseField(field[4], e.Identity.Inode) ||
            !ParseField(field[5], width) || !ParseField(field[6], height) || width < 0 || height < 0 ||
            (width == 0) != (height == 0) || path.empty() || path.find('\r') != std::string_view::npos)
            return false;
        e.Size = {width, height};
        if (!m_old.try_emplace(path, e).second)
            return false;
    }
    return true;
}

}  // namespace kavo
