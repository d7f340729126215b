// Baseline for reading pixel sizes: one walk, and for every file whose name
// ends like a picture (.jpg, jpeg, .jpe, .gif, .bmp, .png, ASCII case ignored)
// open + read 4 KB + close, by its full path as the catalogue opens it.
// Prints the counts as one JSON object.

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "tree_walk.h"

namespace {

bool IsPictureName(const char* name) {
    size_t n = std::strlen(name);
    if (n < 4) {
        return false;
    }
    char end[5] = {};
    for (int i = 0; i < 4; ++i) {
        char c = name[n - 4 + i];
        end[i] = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    }
    for (const char* ext : {".jpg", "jpeg", ".jpe", ".gif", ".bmp", ".png"}) {
        if (std::memcmp(end, ext, 4) == 0) {
            return true;
        }
    }
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: header_read FOLDER\n");
        return 1;
    }
    bench::WalkCounts counts;
    uint64_t pictures = 0, failed = 0, bytes = 0;
    char buffer[4096];
    std::string path;
    bench::WalkTree(bench::RootFolder(argv[1]), counts, [&](const std::string& folder, const char* name) {
        if (!IsPictureName(name)) {
            return;
        }
        ++pictures;
        path.assign(folder).append(name);
        int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) {
            ++failed;
            return;
        }
        ssize_t got = read(fd, buffer, sizeof buffer);
        if (got > 0) {
            bytes += static_cast<uint64_t>(got);
        } else {
            ++failed;
        }
        close(fd);
    });
    if (counts.Unlisted != 0 && counts.Entries == 0) {
        std::fprintf(stderr, "header_read: cannot list %s\n", argv[1]);
        return 2;
    }
    std::printf("{\"entries\":%llu,\"pictures\":%llu,\"failed\":%llu,\"bytes\":%llu}\n",
                static_cast<unsigned long long>(counts.Entries), static_cast<unsigned long long>(pictures),
                static_cast<unsigned long long>(failed), static_cast<unsigned long long>(bytes));
    return 0;
}
