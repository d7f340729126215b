#include "catalogue/folder_listing.h"

#include <algorithm>

namespace kavo {
namespace {

unsigned char FoldUpper(unsigned char c) { return (c >= 'a' && c <= 'z') ? static_cast<unsigned char>(c - 32) : c; }

}  // namespace

bool NameLess(std::string_view a, std::string_view b) {
    size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        unsigned char x = FoldUpper(static_cast<unsigned char>(a[i]));
        unsigned char y = FoldUpper(static_cast<unsigned char>(b[i]));
        if (x != y) return x < y;
    }
    if (a.size() != b.size()) return a.size() < b.size();
    return a < b;
}

bool ListFolderSorted(FileSystem& fs, const std::string& folder, std::vector<DirEntry>& entries, FolderId* id) {
    if (!fs.ListFolder(folder, entries, id)) {
        entries.clear();
        return false;
    }
    std::sort(entries.begin(), entries.end(), [](const DirEntry& a, const DirEntry& b) { return NameLess(a.Name, b.Name); });
    return true;
}

bool WalkPath::MayEnter(FileSystem& fs, const DirEntry& entry, const std::string& path) const {
    if (!entry.IsLink) return true;  // a real folder cannot lead back up
    FolderId id;
    if (!fs.GetFolderId(path, id)) return false;
    return std::find(m_ids.begin(), m_ids.end(), id) == m_ids.end();
}

void KeepSubfolders(std::vector<DirEntry>& entries) {
    std::erase_if(entries, [](const DirEntry& e) { return !e.IsDir || e.Name.empty() || e.Name[0] == '.'; });
    entries.shrink_to_fit();
}

}  // namespace kavo
