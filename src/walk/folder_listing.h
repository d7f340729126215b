#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "base/cancel.h"
#include "base/observer.h"
#include "fs/file_system.h"

namespace kavo {

/// Name order of a folder's entries: ASCII letters compared upper-cased, then
/// by code point (UTF-8 bytes), the exact name breaking ties. Gives a user's
/// pictures the order they see in a file manager, whatever the disk returns.
bool NameLess(std::string_view a, std::string_view b);

/// Puts entries in NameLess order.
void SortByName(std::vector<DirEntry>& entries);

/// Lists a folder once, in name order. False (and an empty list) when it cannot
/// be listed or `between` stopped the listing or the sort of a huge folder.
bool ListFolderSorted(FileSystem& fs, const std::string& folder, std::vector<DirEntry>& entries, FolderId* id,
                      const FileSystem::BetweenBatches& between = {});

/// Puts entries in NameLess order, asking `between` meanwhile when the folder
/// is huge. False (and an empty list) when `between` stopped it.
bool SortByNameBetween(std::vector<DirEntry>& entries, const FileSystem::BetweenBatches& between);

/// The listings of one walk, kept for a second walk of the same tree that
/// follows at once (the command line's scan, then its generation): the second
/// takes each folder's listing from here instead of asking the drive again,
/// which on a network drive is most of the time of a refresh. A folder the first
/// walk could not list, or did not reach, is listed by the second as usual.
class ListingMemory {
public:
    void Keep(const std::string& folder, const std::vector<DirEntry>& entries, const FolderId& id);
    /// Hands out (and forgets) the listing kept for a folder; false when there is none.
    bool Take(const std::string& folder, std::vector<DirEntry>& entries, FolderId& id);
    /// The first walk found listings waiting for round trips to a server.
    void MarkSlowDrive() { m_slowDrive = true; }
    bool SlowDrive() const { return m_slowDrive; }

private:
    struct Listing {
        std::vector<DirEntry> Entries;
        FolderId Id;
    };
    std::mutex m_mutex;  // the listing threads of both walks keep and take side by side
    std::unordered_map<std::string, Listing> m_listings;
    std::atomic<bool> m_slowDrive{false};
};

/// For ListFolderInBatches in a walk, and other long stretches without yields:
/// yields to the observer when 20 ms have passed since it was made or since
/// its last yield, and returns false once a cancel is requested. A huge folder on a slow drive then keeps
/// the windows painted and their cancel button working; a listing that takes
/// less than 20 ms yields never, so the yields of a walk stay as they were.
FileSystem::BetweenBatches YieldWhileListing(const CancelToken& cancel, RunObserver& obs);

/// True for a subfolder the walks descend into: a folder (or a link to one)
/// whose name does not begin with a dot.
inline bool IsWalkedSubfolder(const DirEntry& e) {
    return e.IsDir && !e.Name.empty() && e.Name[0] != '.';
}

/// The folders a walk has listed, by identity, so that each is walked at most
/// once per run: a link back up ends there, and links that reach one folder
/// along many ways do not multiply the walk. The first way in walk order wins.
class WalkedFolders {
public:
    /// True the first time a folder is seen. An unknown identity (all zero) is always new.
    bool FirstVisit(const FolderId& id);
    /// True once the folder was walked.
    bool Seen(const FolderId& id) const { return m_seen.contains(id); }
    /// False for a link whose folder was walked already or cannot be reached.
    bool MayEnter(FileSystem& fs, const DirEntry& entry, const std::string& path) const;

private:
    struct Hash {
        size_t operator()(const FolderId& id) const { return std::hash<uint64_t>()(id.Inode * 31 + id.Device); }
    };
    std::unordered_set<FolderId, Hash> m_seen;
};

/// Each listing on Windows starts with "." and ".."; the walks still yield for them.
inline constexpr int kDotEntries = 2;

}  // namespace kavo
