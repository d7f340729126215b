#pragma once

// The walk both baselines share: each folder is listed once with readdir, its
// subfolders are entered after the listing is closed (so only one folder is
// open at a time), in the order readdir returned them. Like the catalogue, the
// walk does not enter folders whose name begins with a full stop, and it does
// not follow symbolic links. lstat is called only when the file system leaves
// d_type unknown.

#include <dirent.h>
#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace bench {

struct WalkCounts {
    uint64_t Entries = 0;   // every listed name but "." and "..", files and folders alike
    uint64_t Folders = 0;   // listed folders (not the root)
    uint64_t Unlisted = 0;  // folders that could not be opened
};

/// Calls onFile(folder, name) for every entry that is not a folder; `folder` ends in '/'.
template <typename OnFile>
void WalkTree(const std::string& folder, WalkCounts& counts, OnFile&& onFile) {
    DIR* dir = opendir(folder.c_str());
    if (dir == nullptr) {
        ++counts.Unlisted;
        return;
    }
    std::vector<std::string> subfolders;
    while (const dirent* e = readdir(dir)) {
        const char* name = e->d_name;
        if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'))) {
            continue;
        }
        ++counts.Entries;
        bool isDir = e->d_type == DT_DIR;
        if (e->d_type == DT_UNKNOWN) {
            struct stat st;
            isDir = lstat((folder + name).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
        }
        if (isDir) {
            ++counts.Folders;
            if (name[0] != '.') {
                subfolders.emplace_back(name);
            }
        } else {
            onFile(folder, name);
        }
    }
    closedir(dir);
    for (const std::string& sub : subfolders) {
        WalkTree(folder + sub + '/', counts, onFile);
    }
}

/// The root as given, ending in '/'.
inline std::string RootFolder(const char* arg) {
    std::string root = arg;
    if (root.empty() || root.back() != '/') {
        root += '/';
    }
    return root;
}

}  // namespace bench
