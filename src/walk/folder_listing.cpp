#include "walk/folder_listing.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <future>

namespace kavo {
namespace {

/// From about this many entries a sort takes some 20 ms on an ordinary machine.
constexpr size_t kSortBesideCallerFrom = 20000;

unsigned char FoldUpper(unsigned char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<unsigned char>(c - 32) : c;
}

/// Eight bytes as one big-endian number, ASCII letters upper-cased: comparing
/// two such numbers compares the eight folded bytes in order.
uint64_t FoldedWord(const char* p) {
    uint64_t x;
    std::memcpy(&x, p, 8);
    constexpr uint64_t kOnes = 0x0101010101010101ULL;
    constexpr uint64_t kLow7 = 0x7F * kOnes;
    constexpr uint64_t kHigh = 0x80 * kOnes;
    // Per byte: high bit set where the low seven bits are >= 'a', and where they are > 'z'.
    const uint64_t atLeastA = (x & kLow7) + (0x80 - 'a') * kOnes;
    const uint64_t aboveZ = (x & kLow7) + (0x80 - 'z' - 1) * kOnes;
    const uint64_t lower = atLeastA & ~aboveZ & ~x & kHigh;
    x -= lower >> 2;  // 0x80 >> 2 is the distance from 'a' to 'A'
    return __builtin_bswap64(x);
}

/// Sort key of a name: its first eight folded bytes (zeros after a shorter
/// name, which contains none), so most comparisons need no second look.
uint64_t FoldedPrefix(std::string_view name) {
    char buf[8] = {};
    std::memcpy(buf, name.data(), std::min<size_t>(name.size(), 8));
    return FoldedWord(buf);
}

}  // namespace

bool NameLess(std::string_view a, std::string_view b) {
    const size_t n = std::min(a.size(), b.size());
    size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        const uint64_t x = FoldedWord(a.data() + i);
        const uint64_t y = FoldedWord(b.data() + i);
        if (x != y)
            return x < y;
    }
    for (; i < n; ++i) {
        unsigned char x = FoldUpper(static_cast<unsigned char>(a[i]));
        unsigned char y = FoldUpper(static_cast<unsigned char>(b[i]));
        if (x != y)
            return x < y;
    }
    if (a.size() != b.size())
        return a.size() < b.size();
    return a < b;
}

bool ListFolderSorted(FileSystem& fs, const std::string& folder, std::vector<DirEntry>& entries, FolderId* id,
                      const FileSystem::BetweenBatches& between) {
    if (!fs.ListFolderInBatches(folder, entries, id, between)) {
        entries.clear();
        return false;
    }
    return SortByNameBetween(entries, between);
}

bool SortByNameBetween(std::vector<DirEntry>& entries, const FileSystem::BetweenBatches& between) {
    if (!between || entries.size() < kSortBesideCallerFrom) {
        SortByName(entries);
        return true;
    }
    // Sorting a huge folder takes longer than a walk may go without yielding, so
    // it runs on a thread of its own while `between` is asked; a stop takes
    // effect once the sort is done.
    auto sorted = std::async(std::launch::async, [&entries] { SortByName(entries); });
    bool goOn = true;
    while (sorted.wait_for(std::chrono::milliseconds(5)) != std::future_status::ready)
        goOn = goOn && between();
    if (!goOn)
        entries.clear();
    return goOn;
}

void ListingMemory::Keep(const std::string& folder, const std::vector<DirEntry>& entries, const FolderId& id) {
    std::lock_guard lock(m_mutex);
    m_listings[folder] = Listing{entries, id};
}

bool ListingMemory::Take(const std::string& folder, std::vector<DirEntry>& entries, FolderId& id) {
    std::lock_guard lock(m_mutex);
    auto it = m_listings.find(folder);
    if (it == m_listings.end())
        return false;
    entries = std::move(it->second.Entries);
    id = it->second.Id;
    m_listings.erase(it);
    return true;
}

FileSystem::BetweenBatches YieldWhileListing(const CancelToken& cancel, RunObserver& obs) {
    using Clock = std::chrono::steady_clock;
    return [&cancel, &obs, last = Clock::now()]() mutable {
        if (Clock::now() - last >= std::chrono::milliseconds(20)) {
            obs.Yield();
            last = Clock::now();
        }
        return !cancel.Requested();
    };
}

void SortByName(std::vector<DirEntry>& entries) {
    // Sorting small (key, index) pairs and moving each entry once is much
    // cheaper than moving the entries themselves through the sort.
    struct Key {
        uint64_t Prefix;
        uint32_t Index;
    };
    std::vector<Key> keys(entries.size());
    for (size_t i = 0; i < entries.size(); ++i)
        keys[i] = {FoldedPrefix(entries[i].Name), static_cast<uint32_t>(i)};
    std::sort(keys.begin(), keys.end(), [&](const Key& a, const Key& b) {
        if (a.Prefix != b.Prefix)
            return a.Prefix < b.Prefix;
        return NameLess(entries[a.Index].Name, entries[b.Index].Name);
    });
    std::vector<DirEntry> sorted;
    sorted.reserve(entries.size());
    for (const Key& k : keys)
        sorted.push_back(std::move(entries[k.Index]));
    entries.swap(sorted);
}

bool WalkedFolders::FirstVisit(const FolderId& id) {
    if (id == FolderId{})
        return true;
    return m_seen.insert(id).second;
}

bool WalkedFolders::MayEnter(FileSystem& fs, const DirEntry& entry, const std::string& path) const {
    if (!entry.IsLink)
        return true;  // its identity is checked once it is listed
    FolderId id;
    if (!fs.GetFolderId(path, id))
        return false;
    return !m_seen.contains(id);
}

}  // namespace kavo
