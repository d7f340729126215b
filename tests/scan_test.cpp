#include "catalogue/scan.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "catalogue/generate.h"
#include "walk/folder_listing.h"
#include "support/fault_file_system.h"
#include "support/test_support.h"

namespace kavo {
namespace {

using test::RecordingObserver;
using test::TempDir;

class ScanTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* f : {"a.jpg", "b.GIF", "c.bmp", "d.png", "notes.txt", "sub/e.jpeg", ".cache/f.jpg",
                              "kavo/images/ball1.gif", "kavo/page0001.html"}) {
            dir.Write(f, "x");
        }
        dir.MakeDir("Album.jpg");
    }

    /// A scan as a front-end starts one: with a token no cancel was asked of yet.
    bool Scan(bool subfolders, RunObserver& obs, std::string folder = {}) {
        cancel.Reset();
        scan = RunScan(test::RequestFor(folder.empty() ? dir.path().string() : folder, subfolders),
                       NativeFileSystem(), obs, cancel);
        return scan.Cancelled;
    }

    TempDir dir;
    ScanResult scan;
    CancelToken cancel;
};

TEST_F(ScanTest, CountsEveryTypeAndAllEntriesOfTheTree) {
    RecordingObserver obs;
    EXPECT_FALSE(Scan(true, obs));
    // Root: 5 files and 4 folders; sub: 1; kavo: 2; kavo/images: 1; .cache is not entered.
    EXPECT_EQ(scan.Counts.AllFileCount, 9 + 1 + 2 + 1);
    EXPECT_EQ(scan.Counts.JpgCount, 2);  // a.jpg and e.jpeg; the folder Album.jpg is no picture
    EXPECT_EQ(scan.Counts.GifCount, 1);  // ball1.gif is a support picture
    EXPECT_EQ(scan.Counts.BmpCount, 1);
    EXPECT_EQ(scan.Counts.PngCount, 1);
    EXPECT_TRUE(scan.SupportPicturesFound);
    ASSERT_GE(obs.statuses.size(), 3u);
    EXPECT_EQ(obs.statuses.front(), "検索開始");
    EXPECT_EQ(obs.statuses[1], dir.str() + " を検索しています...");
    EXPECT_EQ(obs.statuses.back(), "検索が終了しました。");
}

TEST_F(ScanTest, WithoutSubfoldersOnlyTheRootIsCounted) {
    RecordingObserver obs;
    EXPECT_FALSE(Scan(false, obs));
    EXPECT_EQ(scan.Counts.AllFileCount, 9);
    EXPECT_EQ(scan.Counts.JpgCount, 1);
    EXPECT_FALSE(scan.SupportPicturesFound);
    // One yield before the folder, then one per entry with "." and "..".
    EXPECT_EQ(obs.yields, 1 + kDotEntries + 9);
}

TEST_F(ScanTest, TrailingSeparatorMakesNoDifference) {
    RecordingObserver a, b;
    Scan(true, a, dir.path().string());
    ScanCounts first = scan.Counts;
    Scan(true, b, dir.str());
    EXPECT_EQ(scan.Counts.AllFileCount, first.AllFileCount);
    EXPECT_EQ(scan.Counts.JpgCount, first.JpgCount);
    EXPECT_EQ(a.yields, b.yields);
}

TEST_F(ScanTest, CancelAfterAnyYieldStopsAndReportsIt) {
    RecordingObserver full;
    Scan(true, full);
    for (long k = 1; k <= full.yields; ++k) {
        RecordingObserver obs(&cancel, k);
        EXPECT_TRUE(Scan(true, obs)) << "k=" << k;
        // Each open folder level still yields once more before its loop sees the flag.
        EXPECT_LE(obs.yields, k + 3) << "no loop may go on after the cancel";
        EXPECT_LE(scan.Counts.AllFileCount, 13);
    }
    RecordingObserver late(&cancel, full.yields + 1);
    EXPECT_FALSE(Scan(true, late));
}

TEST_F(ScanTest, EachScanCountsAfreshAndACancelledTokenStopsIt) {
    RecordingObserver obs;
    scan.Counts.JpgCount = 99;
    EXPECT_FALSE(Scan(false, obs));
    EXPECT_EQ(scan.Counts.JpgCount, 1);
    EXPECT_EQ(scan.Selected({}), 4);
    EXPECT_EQ(scan.Selected({.Jpg = false}), 3);
    // A cancel asked before the scan began is not lost.
    cancel.Request();
    EXPECT_TRUE(RunScan(test::RequestFor(dir.path().string()), NativeFileSystem(), obs, cancel).Cancelled);
}

TEST(Scan, EmptyAndUnreadableFolders) {
    TempDir dir;
    CancelToken cancel;
    RecordingObserver obs;
    ScanResult scan = RunScan(test::RequestFor(dir.path().string()), NativeFileSystem(), obs, cancel);
    EXPECT_FALSE(scan.Cancelled);
    EXPECT_EQ(scan.Counts.AllFileCount, 0);

    dir.Write("ok/a.png", "x");
    for (const char* locked : {"locked/b.png", "x/locked/c.png", "y/locked/d.png", "z/locked/e.png"})
        dir.Write(locked, "x");
    test::FaultFileSystem faults;
    faults.failList = [](const std::string& p) { return p.ends_with(test::Native("locked/")); };
    scan = RunScan(test::RequestFor(dir.path().string()), faults, obs, cancel);
    EXPECT_FALSE(scan.Cancelled);
    EXPECT_EQ(scan.Counts.PngCount, 1);
    EXPECT_EQ(scan.Counts.AllFileCount, 9);
    // The walk goes on; one notice at the end names the first three and how many there were.
    EXPECT_EQ(scan.UnreadableFolders, 4);
    EXPECT_TRUE(scan.UnreadableNamed);
    EXPECT_EQ(obs.kinds, std::vector<MessageKind>{MessageKind::Notice});
    ASSERT_EQ(obs.messages.size(), 1u);
    EXPECT_EQ(obs.messages[0], "読み取れないフォルダが 4 個ありました。\r\nこれらのフォルダの画像は含まれていません。\r\n'" +
                                   dir.str() + test::Native("locked/'\r\n'") + dir.str() +
                                   test::Native("x/locked/'\r\n'") + dir.str() + test::Native("y/locked/'\r\nほか 1 個"));

    EXPECT_EQ(obs.titles[0], kUnreadableNoticeTitle);

    // The generation counts them too, no write failure among them, and names them only
    // where the scan before it did not (the command line leaves that to the generation).
    TempDir program;
    program.MakeDir("Images");
    RunRequest in;
    in.Folder = dir.str();
    in.ProgramFolder = program.str();
    for (bool scanTold : {true, false}) {
        scan.UnreadableNamed = scanTold;
        RecordingObserver generation;
        GenerateResult r = RunGeneration(in, scan, faults, generation, cancel);
        EXPECT_EQ(r.UnreadableFolders, 4);
        EXPECT_EQ(r.WriteFailures, 0);
        EXPECT_EQ(generation.messages, scanTold ? std::vector<std::string>{} : obs.messages);
    }
}

TEST(Scan, LinksBackIntoTheWalkAreNotEntered) {
    KAVO_SKIP_WITHOUT_LINKS();
    TempDir dir;
    dir.Write("a/p.png", "x");
    dir.Write("b/q.png", "x");
    std::filesystem::create_directory_symlink(dir.path(), dir.path() / "a" / "loop");
    std::filesystem::create_directory_symlink(dir.path() / "b", dir.path() / "a" / "tob");
    std::filesystem::create_symlink(dir.path() / "gone", dir.path() / "dangling.png");
    CancelToken cancel;
    RecordingObserver obs;
    const ScanResult scan = RunScan(test::RequestFor(dir.path().string()), NativeFileSystem(), obs, cancel);
    EXPECT_FALSE(scan.Cancelled);
    // p.png and q.png through a/tob (b is then not walked again); the dangling link is an entry, no picture.
    EXPECT_EQ(scan.Counts.PngCount, 2);
}

TEST(NameOrder, AsciiCaseFoldedThenByCodePoint) {
    EXPECT_TRUE(NameLess("a.jpg", "B.jpg"));
    EXPECT_TRUE(NameLess("B.jpg", "b.jpg"));  // exact name breaks the tie
    EXPECT_FALSE(NameLess("b.jpg", "B.jpg"));
    EXPECT_TRUE(NameLess("img", "img1"));
    EXPECT_TRUE(NameLess("Z.jpg", "あ.jpg"));
    EXPECT_TRUE(NameLess("a", "_x"));  // letters are compared upper-cased, and 'A' < '_'
}

}  // namespace
}  // namespace kavo
