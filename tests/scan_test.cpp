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

    bool Scan(bool subfolders, RunObserver& obs, std::string folder = {}) {
        return RunScan(ctx, {folder.empty() ? dir.path().string() : folder, subfolders}, NativeFileSystem(), obs);
    }

    TempDir dir;
    KavoContext ctx;
};

TEST_F(ScanTest, CountsEveryTypeAndAllEntriesOfTheTree) {
    RecordingObserver obs;
    EXPECT_FALSE(Scan(true, obs));
    // Root: 5 files and 4 folders; sub: 1; kavo: 2; kavo/images: 1; .cache is not entered.
    EXPECT_EQ(ctx.Counts.AllFileCount, 9 + 1 + 2 + 1);
    EXPECT_EQ(ctx.Counts.JpgCount, 2);  // a.jpg and e.jpeg; the folder Album.jpg is no picture
    EXPECT_EQ(ctx.Counts.GifCount, 1);  // ball1.gif is a support picture
    EXPECT_EQ(ctx.Counts.BmpCount, 1);
    EXPECT_EQ(ctx.Counts.PngCount, 1);
    EXPECT_TRUE(ctx.SupportImagesFound);
    ASSERT_GE(obs.statuses.size(), 3u);
    EXPECT_EQ(obs.statuses.front(), "検索開始");
    EXPECT_EQ(obs.statuses[1], dir.str() + " を検索しています...");
    EXPECT_EQ(obs.statuses.back(), "検索が終了しました。");
}

TEST_F(ScanTest, WithoutSubfoldersOnlyTheRootIsCounted) {
    RecordingObserver obs;
    EXPECT_FALSE(Scan(false, obs));
    EXPECT_EQ(ctx.Counts.AllFileCount, 9);
    EXPECT_EQ(ctx.Counts.JpgCount, 1);
    EXPECT_FALSE(ctx.SupportImagesFound);
    // One yield before the folder, then one per entry with "." and "..".
    EXPECT_EQ(obs.yields, 1 + kDotEntries + 9);
}

TEST_F(ScanTest, TrailingSeparatorMakesNoDifference) {
    RecordingObserver a, b;
    Scan(true, a, dir.path().string());
    ScanCounts first = ctx.Counts;
    Scan(true, b, dir.str());
    EXPECT_EQ(ctx.Counts.AllFileCount, first.AllFileCount);
    EXPECT_EQ(ctx.Counts.JpgCount, first.JpgCount);
    EXPECT_EQ(a.yields, b.yields);
}

TEST_F(ScanTest, CancelAfterAnyYieldStopsAndReportsIt) {
    RecordingObserver full;
    Scan(true, full);
    for (long k = 1; k <= full.yields; ++k) {
        RecordingObserver obs(&ctx.Cancel, k);
        EXPECT_TRUE(Scan(true, obs)) << "k=" << k;
        // Each open folder level still yields once more before its loop sees the flag.
        EXPECT_LE(obs.yields, k + 3) << "no loop may go on after the cancel";
        EXPECT_LE(ctx.Counts.AllFileCount, 13);
    }
    RecordingObserver late(&ctx.Cancel, full.yields + 1);
    EXPECT_FALSE(Scan(true, late));
}

TEST_F(ScanTest, EachStartClearsTheCountsAndTheCancel) {
    RecordingObserver obs;
    ctx.Counts.JpgCount = 99;
    ctx.SelectedImageCount = 5;
    ctx.Cancel.Request();
    EXPECT_FALSE(Scan(false, obs));
    EXPECT_EQ(ctx.Counts.JpgCount, 1);
    EXPECT_EQ(ctx.SelectedImageCount, 0);
}

TEST(Scan, EmptyAndUnreadableFolders) {
    TempDir dir;
    KavoContext ctx;
    RecordingObserver obs;
    EXPECT_FALSE(RunScan(ctx, {dir.path().string(), true}, NativeFileSystem(), obs));
    EXPECT_EQ(ctx.Counts.AllFileCount, 0);

    dir.Write("ok/a.png", "x");
    for (const char* locked : {"locked/b.png", "x/locked/c.png", "y/locked/d.png", "z/locked/e.png"})
        dir.Write(locked, "x");
    test::FaultFileSystem faults;
    faults.failList = [](const std::string& p) { return p.ends_with(test::Native("locked/")); };
    EXPECT_FALSE(RunScan(ctx, {dir.path().string(), true}, faults, obs));
    EXPECT_EQ(ctx.Counts.PngCount, 1);
    EXPECT_EQ(ctx.Counts.AllFileCount, 9);
    // The walk goes on; one notice at the end names the first three and how many there were.
    EXPECT_EQ(ctx.UnreadableFolderCount, 4);
    ASSERT_EQ(obs.messages.size(), 1u);
    EXPECT_EQ(obs.messages[0], "読み取れないフォルダが 4 個ありました。\r\nこれらのフォルダの画像は含まれていません。\r\n'" +
                                   dir.str() + test::Native("locked/'\r\n'") + dir.str() +
                                   test::Native("x/locked/'\r\n'") + dir.str() + test::Native("y/locked/'\r\nほか 1 個"));

    EXPECT_EQ(obs.titles[0], kUnreadableNoticeTitle);

    // The generation counts them too, no write failure among them, and names them only
    // where the scan before it did not (the command line leaves that to the generation).
    ctx.SelectTypes(true, true, true, true);
    TempDir program;
    program.MakeDir("Images");
    GenerateInputs in;
    in.Folder = dir.str();
    in.ProgramFolder = program.str();
    for (bool scanTold : {true, false}) {
        ctx.UnreadableNoticeShown = scanTold;
        RecordingObserver generation;
        GenerateResult r = RunGeneration(ctx, in, faults, generation);
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
    KavoContext ctx;
    RecordingObserver obs;
    EXPECT_FALSE(RunScan(ctx, {dir.path().string(), true}, NativeFileSystem(), obs));
    // p.png and q.png through a/tob (b is then not walked again); the dangling link is an entry, no picture.
    EXPECT_EQ(ctx.Counts.PngCount, 2);
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
