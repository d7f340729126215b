// Floor of a generation without sizes, given how the catalogue is made: the
// tree is listed twice (the scan, then the generation's walk) and every page is
// written to a temporary file and renamed over its target. This does exactly
// that much and nothing else: no names are classified, no markup is built.
// Usage: page_floor TREE PAGES [PAGE_BYTES]; the pages go into TREE/kavo-floor/,
// which is removed again at the end. Prints the counts as one JSON object.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "tree_walk.h"

int main(int argc, char** argv) {
    if (argc < 3 || argc > 4) {
        std::fprintf(stderr, "usage: page_floor TREE PAGES [PAGE_BYTES]\n");
        return 1;
    }
    const std::string root = bench::RootFolder(argv[1]);
    const long pages = std::strtol(argv[2], nullptr, 10);
    // About what a page of 50 pictures with their addresses weighs.
    const long pageBytes = argc == 4 ? std::strtol(argv[3], nullptr, 10) : 18000;
    bench::WalkCounts first, second;
    const auto ignore = [](const std::string&, const char*) {};
    bench::WalkTree(root, first, ignore);
    bench::WalkTree(root, second, ignore);

    const std::string out = root + "kavo-floor/";
    if (mkdir(out.c_str(), 0777) != 0) {
        std::perror(out.c_str());
        return 2;
    }
    const std::string page(static_cast<size_t>(pageBytes), 'x');
    long failed = 0;
    for (long n = 1; n <= pages; ++n) {
        char name[32];
        std::snprintf(name, sizeof name, "page%04ld.html", n);
        const std::string target = out + name;
        const std::string temp = target + ".tmp";
        const int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
        if (fd < 0 || write(fd, page.data(), page.size()) != static_cast<ssize_t>(page.size()) ||
            close(fd) != 0 || rename(temp.c_str(), target.c_str()) != 0) {
            ++failed;
        }
    }
    std::error_code ec;
    std::filesystem::remove_all(out, ec);
    std::printf("{\"entries\":%llu,\"pages\":%ld,\"failed\":%ld}\n",
                static_cast<unsigned long long>(first.Entries + second.Entries), pages, failed);
    return failed == 0 ? 0 : 2;
}
