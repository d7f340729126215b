#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "catalogue/context.h"
#include "catalogue/file_system.h"
#include "catalogue/observer.h"

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

/// For ListFolderInBatches in a walk, and other long stretches without yields:
/// yields to the observer when 20 ms have passed since it was made or since
/// its last yield, and returns false once a cancel is requested. A huge folder on a slow drive then keeps
/// the windows painted and their cancel button working; a listing that takes
/// less than 20 ms yields never, so the yields of a walk stay as they were.
FileSystem::BetweenBatches YieldWhileListing(KavoContext& ctx, RunObserver& obs);

/// Keeps only the subfolders the walks descend into: folders (or links to them)
/// whose name does not begin with a dot. Frees the memory of the rest.
void KeepSubfolders(std::vector<DirEntry>& entries);

/// The folders on the way from the chosen folder to the one being walked, so
/// that a link back into that way is not entered (no endless walk).
class WalkPath {
public:
    void Enter(const FolderId& id) { m_ids.push_back(id); }
    void Leave() { m_ids.pop_back(); }
    /// False for a link that leads to a folder already on the way.
    bool MayEnter(FileSystem& fs, const DirEntry& entry, const std::string& path) const;

private:
    std::vector<FolderId> m_ids;
};

/// Each listing on Windows starts with "." and ".."; the walks still yield for them.
inline constexpr int kDotEntries = 2;

}  // namespace kavo
