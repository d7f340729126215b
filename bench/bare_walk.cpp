// Baseline for the folder scan: the cheapest complete listing of a tree.
// Prints the counts as one JSON object.

#include <cstdio>

#include "tree_walk.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: bare_walk FOLDER\n");
        return 1;
    }
    bench::WalkCounts counts;
    uint64_t files = 0;
    bench::WalkTree(bench::RootFolder(argv[1]), counts, [&](const std::string&, const char*) { ++files; });
    if (counts.Unlisted != 0 && counts.Entries == 0) {
        std::fprintf(stderr, "bare_walk: cannot list %s\n", argv[1]);
        return 2;
    }
    std::printf("{\"entries\":%llu,\"folders\":%llu,\"files\":%llu,\"unlisted\":%llu}\n",
                static_cast<unsigned long long>(counts.Entries), static_cast<unsigned long long>(counts.Folders),
                static_cast<unsigned long long>(files), static_cast<unsigned long long>(counts.Unlisted));
    return 0;
}
