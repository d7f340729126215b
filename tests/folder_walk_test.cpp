#include "walk/folder_walk.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <mutex>
#include <thread>

#include "catalogue/generate.h"
#include "catalogue/page_record.h"
#include "catalogue/scan.h"
#include "support/fault_file_system.h"
#include "support/test_support.h"

#ifndef _WIN32
#include <fcntl.h>
#include <pthread.h>
#include <unistd.h>
#endif

namespace kavo {
namespace {

namespace fs = std::filesystem;
using test::RecordingObserver;
using test::TempDir;

size_t ThreadsOfThisProcess() {
#ifdef __linux__
    size_t n = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator("/proc/self/task"))
        ++n;
    return n;
#else
    return 0;
#endif
}

struct WalkOutcome {
    std::vector<std::string> order;  // each folder and the names of its entries
    std::map<std::string, std::string> files;
    std::vector<std::string> messages;
    int32_t unreadable = 0;
    bool operator==(const WalkOutcome&) const = default;
};

class ListingAhead : public ::testing::Test {
protected:
    WalkOutcome Run(FileSystem& fsys, int threads) {
        WalkOutcome out;
        CancelToken cancel;
        RecordingObserver walkObs;
        FolderWalk walk(cancel, fsys, walkObs, dir.str(), {.Threads = threads});
        while (walk.Next()) {
            out.order.push_back(walk.Path());
            for (const DirEntry& e : walk.Entries())
                out.order.push_back("  " + e.Name);
        }
        out.unreadable = walk.Unreadable().Count;

        RecordingObserver obs;
        const ScanResult scan = RunScan(test::RequestFor(dir.str()), fsys, obs, cancel, false);
        RunRequest in;
        in.PicturesPerPage = 5;
        in.Folder = dir.str();
        in.ProgramFolder = program.str();
        in.CaseSensitive = true;
        GenerateResult r = RunGeneration(in, scan, fsys, obs, cancel);
        EXPECT_EQ(r.UnreadableFolders, out.unreadable);
        for (const auto& e : fs::recursive_directory_iterator(dir.path() / "kavo"))
            if (e.is_regular_file() && e.path().filename() != kPageRecordName)  // its stamps are the files' times
                out.files[e.path().filename().string()] = test::ReadFile(e.path());
        out.files["index.html"] = test::ReadFile(dir.path() / "index.html");
        out.messages = obs.messages;
        fs::remove_all(dir.path() / "kavo");
        fs::remove(dir.path() / "index.html");
        return out;
    }

    void SetUp() override { program.MakeDir("Images"); }

    TempDir dir;
    TempDir program;
};

TEST_F(ListingAhead, GivesExactlyTheWalkOfOneThread) {
    for (int f = 0; f < 40; ++f) {
        const std::string folder = "f" + std::to_string(f % 7) + "/g" + std::to_string(f) + "/";
        dir.Write(folder + "p" + std::to_string(f) + ".png", "x");
        dir.Write(folder + "h" + std::to_string(f % 3) + "/q.jpg", "x");
    }
    dir.Write("locked/a/p.png", "x");
    dir.Write("gone/a/p.png", "x");
#ifndef _WIN32
    // A link back up, and a diamond: two links to one folder, walked once through the first.
    fs::create_directory_symlink(dir.path(), dir.path() / "f1" / "up");
    fs::create_directory_symlink(dir.path() / "f3", dir.path() / "f0" / "to3");
    fs::create_directory_symlink(dir.path() / "f3", dir.path() / "f2" / "to3");
#endif
    test::FaultFileSystem faults;
    faults.failList = [](const std::string& p) { return p.find(test::Native("locked/")) != std::string::npos; };
    const std::string root = dir.str();
    const std::string gone = (dir.path() / "gone").string();
    faults.afterList = [&](const std::string& folder) {
        if (folder == root)  // vanishes once it is listed, before the walk can enter it
            fs::remove_all(gone);
    };
    faults.parallelListings = false;
    faults.batchDelay = std::chrono::milliseconds(1);  // a drive slow enough to list ahead
    faults.batchSize = 1000;
    const WalkOutcome one = Run(faults, 1);
    ASSERT_EQ(one.unreadable, 1);  // locked/, named once; gone/ is not unreadable
    ASSERT_EQ(one.messages.size(), 1u);
    EXPECT_NE(one.messages[0].find(test::Native("locked/")), std::string::npos);

    faults.parallelListings = true;
    for (int round = 0; round < 3; ++round) {
        dir.Write("gone/a/p.png", "x");
        EXPECT_EQ(Run(faults, 16), one) << "round " << round;
    }
}

// An album of day folders without subfolders: once the drive shows round trips,
// the days still to come are listed ahead, not one after another to the end.
TEST_F(ListingAhead, BeginsWithinARunOfFoldersWithoutSubfolders) {
    for (int d = 0; d < 30; ++d)
        dir.Write("album/day" + std::to_string(100 + d) + "/p.png", "x");
    test::FaultFileSystem slow;
    slow.batchDelay = std::chrono::milliseconds(5);
    std::mutex mutex;
    const auto walker = std::this_thread::get_id();
    int daysAhead = 0;
    slow.afterList = [&](const std::string& folder) {
        std::lock_guard lock(mutex);
        daysAhead += folder.find("day") != std::string::npos && std::this_thread::get_id() != walker;
    };
    CancelToken cancel;
    RecordingObserver obs;
    FolderWalk walk(cancel, slow, obs, dir.str(), {});
    int folders = 0;
    while (walk.Next())
        ++folders;
    EXPECT_EQ(folders, 32);
    EXPECT_GT(daysAhead, 5);  // none at all when the threads wait for the next album
}

TEST_F(ListingAhead, CancelStopsSoonAndNoThreadOutlivesARun) {
    for (int f = 0; f < 60; ++f)
        dir.Write("f" + std::to_string(f) + "/p.png", "x");
    const size_t before = ThreadsOfThisProcess();
    test::FaultFileSystem slow;  // each listing of a folder takes 30 ms
    slow.batchDelay = std::chrono::milliseconds(30);
    slow.batchSize = 1;
    ScanResult scan;
    GenerateResult last;
    CancelToken cancel;
    RecordingObserver obs(&cancel, 40);
    const auto started = std::chrono::steady_clock::now();
    std::chrono::steady_clock::time_point cancelled;
    {
        FolderWalk walk(cancel, slow, obs, dir.str(), {});
        int folders = 0;
        while (walk.Next())
            ++folders;
        cancelled = std::chrono::steady_clock::now();
        EXPECT_TRUE(cancel.Requested());
        EXPECT_LT(folders, 61);
    }
    EXPECT_LT(std::chrono::steady_clock::now() - cancelled, std::chrono::milliseconds(100));
    EXPECT_LT(cancelled - started, std::chrono::seconds(2));
    EXPECT_EQ(ThreadsOfThisProcess(), before);

    cancel.Reset();
    RecordingObserver whole;
    scan = RunScan(test::RequestFor(dir.str(), true), NativeFileSystem(), whole, cancel);
    EXPECT_EQ(scan.Counts.PngCount, 60);
    EXPECT_EQ(ThreadsOfThisProcess(), before);
}

#ifndef _WIN32
// A chain of folders far deeper than PATH_MAX allows in one path, made with
// openat as no single path could, scanned and catalogued on a small stack.
TEST(ManyLevels, AreWalkedWithoutRecursionOrQuadraticCost) {
    TempDir dir;
    constexpr int kDepth = 3000;  // paths of some 6,000 bytes
    int fd = ::open(dir.path().c_str(), O_RDONLY | O_DIRECTORY);
    for (int i = 0; i < kDepth; ++i) {
        ASSERT_EQ(::mkdirat(fd, "d", 0755), 0);
        if (i % 1000 == 999 || i == kDepth - 1)
            ::close(::openat(fd, "p.png", O_CREAT | O_WRONLY, 0644));
        const int next = ::openat(fd, "d", O_RDONLY | O_DIRECTORY);
        ::close(fd);
        fd = next;
    }
    ::close(fd);

    ScanResult scan;

    GenerateResult last;

    CancelToken cancel;
    GenerateResult result;
    auto run = [&] {
        NullObserver obs;
        scan = RunScan(test::RequestFor(dir.str(), true), NativeFileSystem(), obs, cancel);
        RunRequest in;
        in.Folder = dir.str();
        in.CaseSensitive = true;
        result = last = RunGeneration(in, scan, NativeFileSystem(), obs, cancel);
    };
    // 256 KB of stack: a walk that recursed per level would need far more.
    pthread_attr_t attr;
    pthread_attr_init(&attr);
    pthread_attr_setstacksize(&attr, 256 * 1024);
    pthread_t thread;
    ASSERT_EQ(pthread_create(&thread, &attr, [](void* f) -> void* { (*static_cast<decltype(run)*>(f))(); return nullptr; },
                             &run), 0);
    pthread_join(thread, nullptr);
    pthread_attr_destroy(&attr);

    EXPECT_EQ(scan.Counts.AllFileCount, kDepth + kDepth / 1000);
    EXPECT_EQ(scan.Counts.PngCount, kDepth / 1000);
    EXPECT_EQ(last.Counters.WrittenPngCount, kDepth / 1000);
    EXPECT_EQ(result.UnreadableFolders, 0);
    EXPECT_NE(test::ReadFile(dir.path() / "kavo" / "page0001.html").find("/d/p.png\""), std::string::npos);

    // Too deep for remove_all: each step lifts the chain one level and removes the level above.
    fd = ::open(dir.path().c_str(), O_RDONLY | O_DIRECTORY);
    while (::renameat(fd, "d/d", fd, "next") == 0) {
        ::unlinkat(fd, "d/p.png", 0);
        ASSERT_EQ(::unlinkat(fd, "d", AT_REMOVEDIR), 0);
        ASSERT_EQ(::renameat(fd, "next", fd, "d"), 0);
    }
    ::close(fd);
}
#endif

}  // namespace
}  // namespace kavo
