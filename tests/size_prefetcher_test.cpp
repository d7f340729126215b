#include "pictures/size_prefetcher.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <map>
#include <mutex>
#include <set>
#include <thread>

#include "walk/folder_listing.h"
#include "catalogue/generate.h"
#include "catalogue/scan.h"
#include "support/test_support.h"

namespace kavo {
namespace {

namespace fs = std::filesystem;
using test::RecordingObserver;

const std::string kPictures = std::string(KAVO_TEST_DATA) + "/pictures/";

using Clock = std::chrono::steady_clock;
constexpr std::chrono::milliseconds kPress{30};

/// A JPEG start and then fill bytes without end, four bytes a millisecond.
class EndlessFile : public InputFile {
public:
    size_t Read(void* buffer, size_t n) override {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        n = std::min<size_t>(n, 4);
        std::memset(buffer, 0xFF, n);
        static_cast<unsigned char*>(buffer)[1 % n] = m_reads++ == 0 ? 0xD8 : 0xFF;
        return n;
    }
    bool Skip(int64_t) override { return true; }

private:
    int m_reads = 0;
};

/// The machine's file system, slowed down and made to fail by name, counting
/// its opens and the threads that made them. Safe for parallel reads when told so.
class SlowFileSystem : public FileSystem {
public:
    explicit SlowFileSystem(bool threadSafe) : m_threadSafe(threadSafe) {}

    std::atomic<int> opens{0};
    std::atomic<int> inFlight{0};
    std::atomic<Clock::rep> firstEndlessOpen{0};  // files named "endless..." never end

    std::set<std::thread::id> OpeningThreads() {
        std::lock_guard lock(m_mutex);
        return m_threads;
    }

    bool ListFolder(const std::string& f, std::vector<DirEntry>& out, FolderId* id) override {
        return m_real.ListFolder(f, out, id);
    }
    bool GetFolderId(const std::string& p, FolderId& id) override { return m_real.GetFolderId(p, id); }
    int CheckFolder(const std::string& p) override { return m_real.CheckFolder(p); }
    bool Exists(const std::string& p) override { return m_real.Exists(p); }
    bool CreateFolder(const std::string& p, std::string* err) override { return m_real.CreateFolder(p, err); }
    bool WriteFileAtomic(const std::string& p, std::string_view d, std::string* err) override {
        return m_real.WriteFileAtomic(p, d, err);
    }
    bool ReadPrefix(const std::string& p, size_t n, std::string& out) override { return m_real.ReadPrefix(p, n, out); }
    bool RemoveFile(const std::string& p) override { return m_real.RemoveFile(p); }
    bool RenameFile(const std::string& a, const std::string& b) override { return m_real.RenameFile(a, b); }
    int CopyFile(const std::string& a, const std::string& b) override { return m_real.CopyFile(a, b); }
    bool IsRegularFile(const std::string& p) override { return m_real.IsRegularFile(p); }
    std::unique_ptr<InputFile> OpenRead(const std::string& path) override {
        if (path.find("endless") != std::string::npos) {
            Clock::rep none = 0;
            firstEndlessOpen.compare_exchange_strong(none, Clock::now().time_since_epoch().count());
            return std::make_unique<EndlessFile>();
        }
        ++opens;
        ++inFlight;
        {
            std::lock_guard lock(m_mutex);
            m_threads.insert(std::this_thread::get_id());
        }
        // Uneven delays make the readers finish out of order.
        std::this_thread::sleep_for(std::chrono::microseconds(path.size() % 7 * 150));
        std::unique_ptr<InputFile> file = path.find("bad") != std::string::npos ? nullptr : m_real.OpenRead(path);
        --inFlight;
        return file;
    }
    bool ReadsAreThreadSafe() const override { return m_threadSafe; }

private:
    FileSystem& m_real = NativeFileSystem();
    bool m_threadSafe;
    std::mutex m_mutex;
    std::set<std::thread::id> m_threads;
};

/// Everything a run leaves behind: each file of the catalogue and what the observer saw.
struct Outcome {
    std::map<std::string, std::string> files;
    long yields = 0;
    std::vector<std::string> statuses;
    std::vector<int32_t> placed;
    bool operator==(const Outcome&) const = default;
};

class SizePrefetchTest : public ::testing::Test {
protected:
    void SetUp() override {
        // Pictures of every kind in several folders, some that cannot be opened, and other files between them.
        const char* kinds[] = {"baseline.jpg", "progressive.jpg", "exif_large.jpg", "plain.png",    "interlaced.png",
                               "palette.png",  "plain.gif",       "interlaced.gif", "top_down.bmp", "truncated.jpg"};
        int n = 0;
        for (const char* folder : {"", "a/", "a/deeper/", "b/", "empty/"}) {
            if (std::string(folder) == "empty/") {
                tmp.MakeDir(folder);
                continue;
            }
            for (int i = 0; i < 14; ++i, ++n) {
                const std::string kind = kinds[n % 10];
                const std::string ext = kind.substr(kind.find('.'));
                const std::string name = std::string(folder) + (n % 9 == 4 ? "bad" : "pic") + std::to_string(n) + ext;
                tmp.Write(name, test::ReadFile(kPictures + kind));
                if (i % 3 == 0)
                    tmp.Write(std::string(folder) + "note" + std::to_string(n) + ".txt", "x");
            }
        }
    }

    Outcome Run(FileSystem& fsys, int jobs, long cancelAfter = -1) {
        CancelToken cancel;
        RunRequest in;
        in.PicturesPerPage = 8;
        in.Folder = tmp.str();
        in.CaseSensitive = true;
        in.Jobs = jobs;
        RecordingObserver scanObs;
        const ScanResult scan = RunScan(in, fsys, scanObs, cancel);
        RecordingObserver obs(&cancel);
        obs.cancelAfterPlaced = cancelAfter;
        RunGeneration(in, scan, fsys, obs, cancel);
        Outcome out;
        for (const auto& e : fs::recursive_directory_iterator(tmp.path() / "kavo")) {
            // The size record keeps what was read, which after a cancel includes the reads ahead.
            if (e.is_regular_file() && e.path().filename() != "sizes.txt" && e.path().filename() != "pages.txt")
                out.files[e.path().filename().string()] = test::ReadFile(e.path());
        }
        out.files["index.html"] = test::ReadFile(tmp.path() / "index.html");
        out.yields = obs.yields;
        out.statuses = obs.statuses;
        for (const ProgressFigures& f : obs.progress)
            out.placed.push_back(f.Placed);
        // The reports after the last picture are the catalogue folder's own entries, last in the walk,
        // where the staged files are there or not yet as the writers go.
        while (out.placed.size() >= 2 && out.placed.back() == out.placed[out.placed.size() - 2])
            out.placed.pop_back();
        fs::remove_all(tmp.path() / "kavo");
        fs::remove(tmp.path() / "index.html");
        return out;
    }

    test::TempDir tmp;
};

TEST_F(SizePrefetchTest, ManyReadersGiveExactlyTheOutputOfOne) {
    SlowFileSystem one(true);
    const Outcome expected = Run(one, 1);
    EXPECT_EQ(one.OpeningThreads(), std::set{std::this_thread::get_id()});
    ASSERT_NE(expected.files.at("page0001.html").find("WIDTH=\"33\" HEIGHT=\"17\""), std::string::npos);
    ASSERT_GE(expected.files.size(), 9u);  // 56 pictures on pages of 8, the frames, the summary

    for (int jobs : {2, 8, 64}) {
        SlowFileSystem many(true);
        Outcome got = Run(many, jobs);
        // A wait for a reader longer than the cancel poll yields once more; on a
        // loaded machine that happens, and is no difference in what was written.
        EXPECT_GE(got.yields, expected.yields) << jobs << " readers";
        got.yields = expected.yields;
        EXPECT_EQ(got, expected) << jobs << " readers";
        EXPECT_EQ(many.opens, one.opens) << "each picture is opened once";
        EXPECT_FALSE(many.OpeningThreads().contains(std::this_thread::get_id())) << "the walk reads no size itself";
    }
}

TEST_F(SizePrefetchTest, ACancelStopsTheReadersAndKeepsTheOutputOfOne) {
    SlowFileSystem probe(true);
    const long pictures = Run(probe, 1).placed.back();
    for (long k : {1L, 2L, 5L, pictures / 2, pictures - 1, pictures}) {
        SlowFileSystem one(true);
        SlowFileSystem many(true);
        const Outcome expected = Run(one, 1, k);
        Outcome got = Run(many, 8, k);
        // A wait for a reader longer than the cancel poll yields once more: no difference in what was written.
        const std::string when = "cancel after " + std::to_string(k) + " of " + std::to_string(pictures) + " pictures";
        EXPECT_EQ(got.statuses, expected.statuses) << when;
        EXPECT_EQ(got.placed, expected.placed) << when;
        for (const auto& [name, bytes] : expected.files)
            EXPECT_TRUE(got.files.count(name) && got.files.at(name) == bytes) << name << ", " << when;
        EXPECT_EQ(got.files.size(), expected.files.size()) << when;
        // The run has returned: no reader is left reading, and none starts later.
        EXPECT_EQ(many.inFlight, 0);
        const int opens = many.opens;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        EXPECT_EQ(many.opens, opens);
    }
}

TEST_F(SizePrefetchTest, CancelActsWithinATenthOfASecondWhileReadsHang) {
    for (int i = 0; i < 6; ++i)
        tmp.Write("slow/endless" + std::to_string(i) + ".jpg");
    for (int jobs : {1, 8}) {
        SlowFileSystem fsys(true);
        const ScanResult scan;
        CancelToken cancel;
        RunRequest in;
        in.Folder = tmp.str();
        in.CaseSensitive = true;
        in.Jobs = jobs;
        // The user presses cancel 30 ms into the first endless read.
        struct : RunObserver {
            void Yield() override {
                const Clock::rep opened = fsys->firstEndlessOpen;
                if (opened != 0 && Clock::now() >= Clock::time_point(Clock::duration(opened)) + kPress)
                    flag->Request();
            }
            SlowFileSystem* fsys;
            CancelToken* flag;
        } obs;
        obs.fsys = &fsys;
        obs.flag = &cancel;
        EXPECT_TRUE(RunGeneration(in, scan, fsys, obs, cancel).Cancelled);
        const Clock::time_point pressed = Clock::time_point(Clock::duration(fsys.firstEndlessOpen.load())) + kPress;
        EXPECT_LT(Clock::now() - pressed, std::chrono::milliseconds(100)) << jobs << " readers";
        EXPECT_EQ(fsys.inFlight, 0);
        fs::remove_all(tmp.path() / "kavo");
    }
}

TEST_F(SizePrefetchTest, NoReaderThreadWithoutThreadSafeReads) {
    SlowFileSystem unsafe(false);
    const Outcome expected = Run(unsafe, 8);
    EXPECT_EQ(unsafe.OpeningThreads(), std::set{std::this_thread::get_id()});
    SlowFileSystem safe(true);
    EXPECT_EQ(Run(safe, 8), expected);
}

TEST(SizePrefetcher, HandsOutSizesInOrderAndForgetsTheRestOnFinish) {
    SlowFileSystem fsys(true);
    const std::string folder = kPictures;
    const std::vector<DirEntry> entries = {
        {"plain.png"}, {"notes.txt"}, {"plain.gif"}, {"missing.png"}, {"baseline.jpg"}};
    SizePrefetcher prefetcher(fsys, 3);
    prefetcher.Start(folder, entries, {0, 2, 3, 4});
    PixelSize s = prefetcher.Next();
    EXPECT_EQ(s.Width, 31);
    EXPECT_EQ(s.Height, 19);
    s = prefetcher.Next();
    EXPECT_EQ(s.Width, 41);
    s = prefetcher.Next();
    EXPECT_EQ(s.Width, 0);  // cannot be opened
    prefetcher.Finish();    // baseline.jpg is dropped, read or not
    EXPECT_EQ(fsys.inFlight, 0);
    prefetcher.Start(folder, entries, {4});
    EXPECT_EQ(prefetcher.Next().Width, 33);

    // A folder queued ahead is read once: Start takes its reads over; one the walk skipped is dropped.
    prefetcher.Finish();
    const int opened = fsys.opens;
    auto only = [](std::vector<uint32_t> pictures) { return [pictures] { return pictures; }; };
    EXPECT_TRUE(prefetcher.Ahead(folder + "skipped/", entries, only({0})));
    EXPECT_TRUE(prefetcher.Ahead(folder, entries, only({0, 2})));
    // Offered again, as at each folder of the walk: its pictures are not picked out again.
    EXPECT_TRUE(prefetcher.Ahead(folder, entries, [] {
        ADD_FAILURE() << "pictures asked for a folder queued already";
        return std::vector<uint32_t>{};
    }));
    prefetcher.Start(folder, entries, {0, 2});
    EXPECT_EQ(prefetcher.Next().Width, 31);
    EXPECT_EQ(prefetcher.Next().Width, 41);
    prefetcher.Finish();
    EXPECT_LE(fsys.opens, opened + 3);

    // Readers are added while reads wait as long as round trips, and only when asked to adapt.
    struct RoundTrips : SlowFileSystem {
        RoundTrips() : SlowFileSystem(true) {}
        std::unique_ptr<InputFile> OpenRead(const std::string& path) override {
            std::this_thread::sleep_for(std::chrono::milliseconds(2));  // whole milliseconds sleep on Windows too
            return SlowFileSystem::OpenRead(path);
        }
    };
    for (bool adapt : {false, true}) {
        RoundTrips drive;
        SizePrefetcher readers(drive, 2, adapt);
        const std::vector<uint32_t> same(40, 0);
        readers.Start(folder, entries, same);
        for (size_t i = 0; i < same.size(); ++i)
            EXPECT_EQ(readers.Next().Width, 31);
        readers.Finish();
        EXPECT_EQ(readers.Readers() > 2, adapt);
    }
}

TEST(NameOrder, WordAtATimeAgreesWithTheByteRule) {
    // The byte rule written out plainly: ASCII letters upper-cased, code points, then the exact name.
    const auto reference = [](const std::string& a, const std::string& b) {
        auto fold = [](std::string s) {
            for (char& c : s)
                if (c >= 'a' && c <= 'z')
                    c = static_cast<char>(c - 32);
            return s;
        };
        const std::string fa = fold(a), fb = fold(b);
        const auto ua = std::basic_string<unsigned char>(fa.begin(), fa.end());
        const auto ub = std::basic_string<unsigned char>(fb.begin(), fb.end());
        if (ua != ub)
            return ua < ub;
        return a < b;
    };
    const std::string alphabet = std::string("aAzZ`{@[_09.~ ") + "\x7f\x80\xc3\xa9\xe3\x81\x82\xff";
    std::vector<std::string> names;
    uint32_t seed = 7;
    for (int i = 0; i < 400; ++i) {
        std::string name;
        const int length = static_cast<int>((seed = seed * 1103515245 + 12345) >> 16) % 20;
        for (int j = 0; j < length; ++j)
            name += alphabet[((seed = seed * 1103515245 + 12345) >> 16) % alphabet.size()];
        names.push_back(name.empty() ? "x" : name);
        names.push_back(names.back() + "a");
        names.push_back("IMG_0001" + names.back());
    }
    for (const std::string& a : names) {
        for (size_t j = 0; j < names.size(); j += 7) {
            ASSERT_EQ(NameLess(a, names[j]), reference(a, names[j])) << a << " / " << names[j];
        }
    }
    std::vector<DirEntry> entries;
    for (const std::string& n : names)
        entries.push_back({n});
    SortByName(entries);
    for (size_t i = 1; i < entries.size(); ++i)
        EXPECT_FALSE(reference(entries[i].Name, entries[i - 1].Name));
}

}  // namespace
}  // namespace kavo
