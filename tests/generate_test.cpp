#include "catalogue/generate.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <map>
#include <mutex>
#include <regex>
#include <set>
#include <thread>
#ifdef _WIN32
#include "fs/windows_api.h"
#else
#include <sys/stat.h>
#endif

#include "base/ascii.h"
#include "base/encoding.h"
#include "fs/paths.h"
#include "pictures/image_size.h"
#include "catalogue/scan.h"
#include "support/fault_file_system.h"
#include "support/test_support.h"
#include "thumbs/thumbnails.h"

namespace kavo {
namespace {

namespace fs = std::filesystem;
using test::Lines;
using test::ReadFile;
using test::RecordingObserver;
using test::TempDir;

// The opening lines of every catalogue page, written out from the page layout.
std::vector<std::string> PageStart(const std::string& title) {
    return {"<!--Kavo Type=Kavo このコメント文は削除しないでください-->",
            "<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 3.2//EN\">",
            "<HTML>",
            "",
            "<HEAD>",
            "    <LINK REV=\"MADE\"> ",
            "    <LINK REL=\"INDEX\" HREF=\"index.html\">",
            "    <META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html;CHARSET=Shift_JIS\">",
            "    <META NAME=\"GENERATOR\" Content=\"Kavo Version1.02C for Windows\">",
            "    <TITLE>" + title + "</TITLE>",
            "</HEAD>",
            "",
            "<BODY ALINK=\"#EF4455\" BGCOLOR=\"#FFFFFF\" LINK=\"#555555\" TEXT=\"#000000\" VLINK=\"#503080\">",
            ""};
}

const std::vector<std::string> kPageEnd = {"</BODY>", "", "</HTML>"};

void Append(std::vector<std::string>& to, const std::vector<std::string>& lines) {
    to.insert(to.end(), lines.begin(), lines.end());
}

/// A page file on disk: the CP932 form of the lines plus the saver's own line end.
std::string OnDisk(const std::vector<std::string>& lines) {
    return ToCp932(Lines(lines)) + "\r\n";
}

class GenerateTest : public ::testing::Test {
protected:
    GenerateResult Generate(RunObserver& obs, FileSystem& fsys = NativeFileSystem()) {
        // As a front-end runs them: scan, then generate from its counts, each with a token not cancelled yet.
        RecordingObserver scanObs;
        cancel.Reset();
        scan = RunScan(in, fsys, scanObs, cancel);
        cancel.Reset();
        last = RunGeneration(in, scan, fsys, obs, cancel);
        return last;
    }

    GenerateResult Generate() {
        RecordingObserver obs;
        return Generate(obs);
    }

    /// Page files of the catalogue, by name.
    std::vector<std::string> PageFiles() const {
        std::vector<std::string> names;
        for (auto& e : fs::directory_iterator(fs::path(in.Folder) / "kavo")) {
            std::string n = e.path().filename().string();
            if (n.rfind("page", 0) == 0 && n.ends_with(".html"))
                names.push_back(n);
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    std::string Page(int n) const {
        char name[32];
        std::snprintf(name, sizeof name, "page%04d.html", n);
        return ReadFile(fs::path(in.Folder) / "kavo" / name);
    }

    /// Alternative texts of the pictures on a page, in order.
    std::vector<std::string> Alts(int n) const {
        std::vector<std::string> alts;
        std::string page = Page(n);
        std::regex alt(R"re(ALT="([^"]*)")re");
        for (auto it = std::sregex_iterator(page.begin(), page.end(), alt); it != std::sregex_iterator(); ++it) {
            alts.push_back((*it)[1]);
        }
        return alts;
    }

    void SetUp() override {
        in.Folder = dir.path().string();
        in.ProgramFolder = program.path().string();
        in.CaseSensitive = true;
        in.Layout.GetImageSize = false;
        program.Write("Images/ball1.gif", "GIF89a");
        program.Write("Images/logo1.gif", "GIF89a");
    }

    TempDir program;  // where the executable and its Images would lie
    TempDir dir;
    ScanResult scan;
    GenerateResult last;
    CancelToken cancel;
    RunRequest in;
};

TEST_F(GenerateTest, TableLayoutAcrossTwoPages) {
    // Seven pictures, five per page, two per table row.
    dir.MakeDir("pics");
    in.Folder = dir.str() + "pics";
    for (int i = 1; i <= 7; ++i)
        dir.Write("pics/p" + std::to_string(i) + ".png", "x");
    in.PicturesPerPage = 5;
    in.Layout.UseTable = true;
    in.Layout.ImagesPerLine = 2;
    GenerateResult r = Generate();
    EXPECT_FALSE(r.Cancelled);
    EXPECT_EQ(r.WriteFailures, 0);
    EXPECT_EQ(last.Counters.PageCount, 2);
    EXPECT_EQ(scan.Selected(in.Types), 7);

    auto entry = [](int onPage, int running) {
        std::string n = std::to_string(onPage), k = std::to_string(running);
        return std::vector<std::string>{
            "<TD>",
            "<!--Picture 絵--No.00" + n + "/Page (All Images:00000" + k + "/000007)-->",
            "<P ALIGN=\"CENTER\">",
            "<A HREF=\"../\">",
            "    <IMG SRC=\"../p" + k + ".png\" ALIGN=\"bottom\" BORDER=\"0\" ALT=\"00" + n + " : p" + k + ".png\">",
            "</A>",
            "</P>",
            "",
            "<BR>",
            "<BR>",
            "</TD>"};
    };
    std::vector<std::string> page1 = PageStart("Kavo-Page0001");
    Append(page1, {"<P ALIGN=\"CENTER\">", "<TABLE BORDER=\"0\" ALIGN=\"CENTER\">", "<TR>"});
    Append(page1, entry(1, 1));
    Append(page1, entry(2, 2));
    Append(page1, {"</TR>", "<TR>"});
    Append(page1, entry(3, 3));
    Append(page1, entry(4, 4));
    Append(page1, {"</TR>", "<TR>"});
    Append(page1, entry(5, 5));
    Append(page1, {"</TR>", "</TABLE>", "</P>"});
    Append(page1, kPageEnd);
    EXPECT_EQ(Page(1), OnDisk(page1));

    std::vector<std::string> page2 = PageStart("Kavo-Page0002");
    Append(page2, {"<P ALIGN=\"CENTER\">", "<TABLE BORDER=\"0\" ALIGN=\"CENTER\">", "<TR>"});
    Append(page2, entry(1, 6));
    Append(page2, entry(2, 7));
    Append(page2, {"</TR>", "<TR>", "</TR>", "</TABLE>", "</P>"});  // the full row leaves an empty one
    Append(page2, kPageEnd);
    EXPECT_EQ(Page(2), OnDisk(page2));

    EXPECT_EQ(PageFiles(), (std::vector<std::string>{"page0001.html", "page0002.html"}));
    for (const char* f : {"index.html", "frame1.html", "frame2.html", "images/ball1.gif", "images/logo1.gif"}) {
        EXPECT_TRUE(fs::exists(dir.path() / "pics" / "kavo" / f)) << f;
    }
    EXPECT_EQ(r.SummaryPage, dir.str() + test::Native("pics/index.html"));
    EXPECT_TRUE(fs::exists(r.SummaryPage));
}

TEST_F(GenerateTest, PagesFillAcrossFolders) {
    for (const char* sub : {"a", "b", "c"}) {
        for (int i = 1; i <= 4; ++i)
            dir.Write(std::string(sub) + "/" + std::to_string(i) + ".jpg", "x");
    }
    in.PicturesPerPage = 5;
    Generate();
    EXPECT_EQ(last.Counters.PageCount, 3);
    EXPECT_EQ(Alts(1), (std::vector<std::string>{"001 : a/1.jpg", "002 : a/2.jpg", "003 : a/3.jpg", "004 : a/4.jpg",
                                                 "005 : b/1.jpg"}));
    EXPECT_EQ(Alts(2), (std::vector<std::string>{"001 : b/2.jpg", "002 : b/3.jpg", "003 : b/4.jpg", "004 : c/1.jpg",
                                                 "005 : c/2.jpg"}));
    EXPECT_EQ(Alts(3), (std::vector<std::string>{"001 : c/3.jpg", "002 : c/4.jpg"}));
}

// The command line generates right after its scan: the generation takes the
// scan's listings instead of listing the tree again, and writes the same files.
// A folder the scan could not list is listed again.
TEST_F(GenerateTest, AGenerationRightAfterItsScanListsNoFolderTwiceAndWritesTheSameFiles) {
    for (const char* sub : {"a", "a/deep", "b", "c"}) {
        for (int i = 1; i <= 3; ++i)
            dir.Write(std::string(sub) + "/" + std::to_string(i) + ".jpg", "x");
    }
    in.PicturesPerPage = 4;
    auto catalogue = [&] {
        std::map<std::string, std::string> files;
        for (auto& e : fs::recursive_directory_iterator(dir.path())) {
            if (e.is_regular_file())
                files[fs::relative(e.path(), dir.path()).string()] = ReadFile(e.path());
        }
        return files;
    };
    RecordingObserver obs;
    test::FaultFileSystem disk;
    std::mutex mutex;
    std::map<std::string, int> listed;
    bool failB = false;
    disk.failList = [&](const std::string& folder) {
        std::lock_guard lock(mutex);
        if (folder.rfind(dir.str(), 0) == 0)
            ++listed[fs::relative(folder, dir.path()).generic_string()];
        return folder.ends_with(std::string{kPathSep} + "b" + kPathSep) && std::exchange(failB, false);
    };
    Generate(obs, disk);
    const auto apart = catalogue();

    // Over the catalogue just written, as every refresh is.
    in.GenerateAtOnce = true;
    listed.clear();
    Generate(obs, disk);
    // The catalogue folder once more, by the survey under the run's lock (the
    // removal of thumbnails after the commit takes that listing), and its
    // pictures' folder by the copy of the navigation pictures.
    EXPECT_EQ(listed, (std::map<std::string, int>{
                          {".", 1}, {"a", 1}, {"a/deep", 1}, {"b", 1}, {"c", 1}, {"kavo", 2}, {"kavo/images", 2}}));
    EXPECT_EQ(last.Counters.PageCount, 3);
    EXPECT_EQ(apart, catalogue());

    listed.clear();
    failB = true;
    Generate(obs, disk);
    EXPECT_EQ(listed["b"], 2);
    EXPECT_EQ(Alts(2), (std::vector<std::string>{"001 : a/deep/2.jpg", "002 : a/deep/3.jpg", "003 : b/1.jpg",
                                                 "004 : b/2.jpg"}));
}

TEST_F(GenerateTest, OwnPicturesBeforeSubfoldersAndChosenTypesOnly) {
    dir.Write("z.gif", "x");
    dir.Write("sub/deeper/a.JPG", "x");
    dir.Write("B.bmp", "x");
    dir.Write("c.png", "x");
    dir.Write(".hidden/h.jpg", "x");
    dir.MakeDir("Album.jpg");
    dir.Write("kavo/images/ball1.gif", "x");  // an earlier catalogue's own picture
    dir.Write("old/kavo/images/next2.gif", "x");
    in.Types.Png = false;
    Generate();
    EXPECT_EQ(last.Counters.PageCount, 1);
    EXPECT_EQ(Alts(1),
              (std::vector<std::string>{"001 : B.bmp", "002 : z.gif", "003 : sub/deeper/a.JPG"}));
    std::string page = Page(1);
    EXPECT_NE(page.find("<A HREF=\"../sub/deeper\">"), std::string::npos);
    // On a file system that tells case apart the picture keeps its own name.
    EXPECT_NE(page.find("SRC=\"../sub/deeper/a.JPG\""), std::string::npos);
    EXPECT_EQ(last.Counters.WrittenJpgCount, 1);  // the folder Album.jpg is no picture
    EXPECT_EQ(last.Counters.WrittenBmpCount, 1);
    EXPECT_EQ(last.Counters.WrittenGifCount, 1);
    EXPECT_EQ(last.Counters.WrittenPngCount, 0);
}

TEST_F(GenerateTest, SubfoldersOff) {
    dir.Write("top.png", "x");
    dir.Write("sub/below.png", "x");
    in.IncludeSubfolders = false;
    Generate();
    EXPECT_EQ(Alts(1), std::vector<std::string>{"001 : top.png"});
}

TEST_F(GenerateTest, NamesThatCouldBreakThePage) {
    dir.Write("a b/写真 1.jpg", "x");
    dir.Write("é#1.png", "x");
#ifndef _WIN32  // names Windows does not allow
    dir.Write("\"><script>x.gif", "x");
    dir.Write("100%?.bmp", "x");
#endif
    in.Layout.Click = ClickAction::View;
    Generate();
    std::string page = Page(1);
    EXPECT_EQ(page.find("<script>"), std::string::npos);
#ifndef _WIN32
    EXPECT_NE(page.find("SRC=\"../&quot;&gt;&lt;script&gt;x.gif\""), std::string::npos);
    EXPECT_NE(page.find("SRC=\"../100%25%3F.bmp\""), std::string::npos);
#endif
    EXPECT_NE(page.find("SRC=\"../&#233;%231.png\""), std::string::npos);
    EXPECT_NE(page.find("<A HREF=\"../&#233;%231.png\">"), std::string::npos);
    EXPECT_NE(page.find(ToCp932("SRC=\"../a b/写真 1.jpg\"")), std::string::npos);
#ifdef _WIN32
    EXPECT_NE(page.find("ALT=\"001 : &#233;#1.png\""), std::string::npos);
#else
    EXPECT_NE(page.find("ALT=\"003 : &#233;#1.png\""), std::string::npos);
#endif
}

TEST_F(GenerateTest, NoPictureStillWritesTheFramesAndSummary) {
    dir.Write("readme.txt", "x");
    GenerateResult r = Generate();
    EXPECT_EQ(last.Counters.PageCount, 0);
    EXPECT_TRUE(PageFiles().empty());
    for (const char* f : {"index.html", "frame1.html", "frame2.html", "images/ball1.gif"}) {
        EXPECT_TRUE(fs::exists(dir.path() / "kavo" / f)) << f;
    }
    EXPECT_NE(ReadFile(r.SummaryPage).find("<FONT COLOR=\"#666666\" SIZE=\"4\">0</FONT>\r\n</TD>\r\n</TR>\r\n<TR>"),
              std::string::npos);
    // Without the program's own pictures the pages lack their buttons: that is a failure, not a success.
    in.ProgramFolder = (program.path() / "elsewhere").string();
    RecordingObserver obs;
    EXPECT_EQ(Generate(obs).WriteFailures, 1);
    ASSERT_EQ(obs.messages.size(), 1u);
    EXPECT_NE(obs.messages[0].find("elsewhere"), std::string::npos);
}

TEST_F(GenerateTest, ExactlyFullPagesLeaveNoEmptyPage) {
    for (int i = 0; i < 10; ++i)
        dir.Write("p" + std::to_string(i) + ".png", "x");
    in.PicturesPerPage = 5;
    Generate();
    EXPECT_EQ(last.Counters.PageCount, 2);
    EXPECT_EQ(last.Counters.PageImageCount, 0);
    EXPECT_EQ(PageFiles().size(), 2u);
    dir.Write("p99.png", "x");
    Generate();
    EXPECT_EQ(PageFiles().size(), 3u);
    EXPECT_EQ(Alts(3), std::vector<std::string>{"001 : p99.png"});
}

TEST_F(GenerateTest, ASecondShorterRunLeavesNoStalePageAndKeepsForeignFiles) {
    for (int i = 0; i < 12; ++i)
        dir.Write("p" + std::to_string(i) + ".png", "x");
    dir.Write("index.html", "<html>the user's own start page</html>");
    in.PicturesPerPage = 5;
    RecordingObserver first;
    GenerateResult r1 = Generate(first);
    EXPECT_EQ(last.Counters.PageCount, 3);
    EXPECT_EQ(r1.BackupOfIndex, dir.str() + "index.html.bak");
    EXPECT_EQ(ReadFile(dir.path() / "index.html.bak"), "<html>the user's own start page</html>");
    EXPECT_EQ(first.messages.size(), 1u);

    dir.Write("kavo/notes.html", "mine");
    in.PicturesPerPage = 10;
    RecordingObserver second;
    GenerateResult r2 = Generate(second);
    EXPECT_EQ(last.Counters.PageCount, 2);
    EXPECT_EQ(PageFiles(), (std::vector<std::string>{"page0001.html", "page0002.html"}));
    EXPECT_EQ(ReadFile(dir.path() / "kavo/notes.html"), "mine");
    EXPECT_TRUE(r2.BackupOfIndex.empty()) << "our own summary page is simply replaced";
    EXPECT_TRUE(second.messages.empty());

    dir.Write("index.html", "another");
    GenerateResult r3 = Generate();
    EXPECT_EQ(r3.BackupOfIndex, dir.str() + "index.html.bak2");
}

TEST_F(GenerateTest, ProgressAfterEveryEntry) {
    for (int i = 0; i < 8; ++i)
        dir.Write("p" + std::to_string(i) + ".png", "x");
    dir.Write("zz.txt", "x");
    in.IncludeSubfolders = false;
    RecordingObserver obs;
    Generate(obs);
    // ".", "..", the catalogue folder, eight pictures and the text file.
    ASSERT_EQ(obs.progress.size(), 12u);
    EXPECT_EQ(obs.progress[2].Placed, 0);
    EXPECT_EQ(obs.progress[3].Placed, 1);
    EXPECT_EQ(obs.progress[3].Selected, 8);
    EXPECT_EQ(obs.progress[3].Percent, 12);  // 12.5 rounds to even
    EXPECT_EQ(obs.progress[5].Percent, 38);  // 37.5
    EXPECT_EQ(obs.progress.back().Percent, 100);
    EXPECT_EQ(obs.statuses.back(), kWritingHtmlText);
    EXPECT_EQ(obs.statuses.front(), dir.str() + "p0.png");
}

TEST(ProgressTexts, LabelsAndCaption) {
    EXPECT_EQ(FileCountLabel(37, 150), "37/150ファイル");
    EXPECT_EQ(FileCountLabel(0, 0), "0/0ファイル");
    EXPECT_EQ(ProgressPercent(37, 150, 0), 25);
    EXPECT_EQ(ProgressPercent(1, 8, 0), 12);
    EXPECT_EQ(ProgressPercent(3, 8, 0), 38);
    EXPECT_EQ(ProgressPercent(5, 0, 7), 7);
    EXPECT_EQ(ProgressPercent(3, 2, 0), 150);
    EXPECT_EQ(PercentLabel(25), "25％");
    EXPECT_EQ(ProgressCaption(25), "25％処理しました．．． - Kavo");
    EXPECT_EQ(ProgressCaption(0), "0％処理しました．．． - Kavo");
}

TEST_F(GenerateTest, CancelAfterAnyYieldLeavesAConsistentCatalogue) {
    for (int f = 0; f < 3; ++f) {
        for (int i = 0; i < 4; ++i)
            dir.Write("f" + std::to_string(f) + "/" + std::to_string(i) + ".png", "x");
    }
    in.PicturesPerPage = 5;
    RecordingObserver full;
    Generate(full);
    ASSERT_GT(full.yields, 10);
    for (long k = 1; k <= full.yields; ++k) {
        RecordingObserver obs(&cancel, k);
        GenerateResult r = Generate(obs);
        ASSERT_TRUE(r.Cancelled) << "k=" << k;
        EXPECT_LE(obs.yields, k + 2);
        const int pages = last.Counters.PageCount;
        auto files = PageFiles();
        ASSERT_EQ(static_cast<int>(files.size()), pages) << "k=" << k;
        for (int p = 1; p <= pages; ++p)
            EXPECT_FALSE(Alts(p).empty());
        std::string tree = ReadFile(dir.path() / "kavo/frame1.html");
        std::string last = "onClick=\"SetPage(" + std::to_string(pages) + ")\"";
        std::string beyond = "onClick=\"SetPage(" + std::to_string(pages + 1) + ")\"";
        if (pages > 0) {
            EXPECT_NE(tree.find(last), std::string::npos);
        }
        EXPECT_EQ(tree.find(beyond), std::string::npos);
        EXPECT_LE(r.Counters.PageImageCount, in.PicturesPerPage);
        EXPECT_LE(r.Counters.WrittenImageCount, 12);
    }
}

TEST_F(GenerateTest, TheSummaryCountsThePicturesThePagesHold) {
    for (int i = 0; i < 5; ++i)
        dir.Write(std::to_string(i) + ".png", "x");
    RecordingObserver obs;
    scan = RunScan(test::RequestFor(in.Folder, in.IncludeSubfolders), NativeFileSystem(), obs, cancel);
    for (int i = 5; i < 8; ++i)
        dir.Write(std::to_string(i) + ".png", "x");  // added after the scan
    last = RunGeneration(in, scan, NativeFileSystem(), obs, cancel);
    EXPECT_EQ(scan.Selected(in.Types), 5);
    const std::string row = ToCp932("画像数</FONT>\r\n</TD>\r\n<TD>\r\n<FONT COLOR=\"#666666\" SIZE=\"4\">8</FONT>");
    EXPECT_NE(ReadFile(dir.path() / "index.html").find(row), std::string::npos);
}

TEST_F(GenerateTest, AFailedPageIsReportedAndItsNumberConsumed) {
    for (int i = 0; i < 12; ++i)
        dir.Write("p" + std::to_string(i) + ".png", "x");
    in.PicturesPerPage = 5;
    test::FaultFileSystem faults;
    faults.failWrite = [](const std::string& p) { return p.find("page0002.html") != std::string::npos; };
    RecordingObserver obs;
    GenerateResult r = Generate(obs, faults);
    EXPECT_EQ(r.WriteFailures, 1);
    ASSERT_EQ(obs.messages.size(), 1u);
    EXPECT_NE(obs.messages[0].find("page0002.html' ファイルの書き出しに失敗しました。"), std::string::npos);
    EXPECT_EQ(last.Counters.PageCount, 3);
    EXPECT_EQ(PageFiles(), (std::vector<std::string>{"page0001.html", "page0003.html"}));
    // Names sort p0, p1, p10, p11, p2 … so the third page holds the last two.
    EXPECT_EQ(Alts(3), (std::vector<std::string>{"001 : p8.png", "002 : p9.png"}));
}

TEST_F(GenerateTest, AFolderOnAReadOnlyFileSystemIsSaidToBeSoFirst) {
    dir.Write("p.png", "x");
    dir.Write("kavo/page0001.html", "an earlier catalogue");
    // Every write fails as on a read-only mount; the probe tells why.
    class ReadOnly : public test::FaultFileSystem {
    public:
        int CreateNewFile(const std::string&) override { return EROFS; }
    } disk;
    disk.failWrite = [](const std::string&) { return true; };
    disk.failRename = [](const std::string&) { return true; };
    in.CaseSensitive.reset();
    RecordingObserver obs;
    const GenerateResult r = Generate(obs, disk);
    ASSERT_FALSE(obs.messages.empty());
    EXPECT_EQ(obs.messages[0], "'" + dir.path().string() + "' は読み取り専用のファイルシステムにあります。\r\nカタログを書き出せません。");
    EXPECT_EQ(obs.kinds[0], MessageKind::WriteFailure);
    EXPECT_EQ(OutcomeOf(r), Outcome::Incomplete);
    EXPECT_EQ(ReadFile(dir.path() / "kavo" / "page0001.html"), "an earlier catalogue");
}

TEST_F(GenerateTest, TheOutputFolderBeingAFile) {
    dir.Write("p.png", "x");
    dir.Write("kavo", "a file where the catalogue goes");
    RecordingObserver obs;
    GenerateResult r = Generate(obs);
    EXPECT_GT(r.WriteFailures, 0);
    EXPECT_EQ(ReadFile(dir.path() / "kavo"), "a file where the catalogue goes");
    EXPECT_FALSE(r.Cancelled);
}

TEST_F(GenerateTest, PictureSizesAreReadOnlyWhenAsked) {
    dir.Write("p.png", "not really a picture");
    test::FaultFileSystem faults;
    in.Layout.GetImageSize = true;
    in.Layout.SameSize = true;
    in.Layout.ImageWidth = 120;
    in.Layout.ImageHeight = 30;
    RecordingObserver obs;
    Generate(obs, faults);
    EXPECT_EQ(faults.opens, 0);
    EXPECT_NE(Page(1).find("WIDTH=\"120\" HEIGHT=\"30\""), std::string::npos);

    in.Layout.SameSize = false;
    Generate(obs, faults);
    EXPECT_EQ(faults.opens, 1);
    // A picture whose size cannot be read is placed without a size.
    EXPECT_NE(Page(1).find("    <IMG SRC=\"../p.png\" ALIGN=\"bottom\""), std::string::npos);
}

TEST_F(GenerateTest, AnEarlierCatalogueSpeltOtherwiseIsTheOneWrittenLockedAndLinked) {
    // Names as the folder lists them: where names ignore case, a look-up would find any spelling.
    const auto names = [](const fs::path& folder) {
        std::set<std::string> out;
        for (auto& e : fs::directory_iterator(folder))
            out.insert(e.path().filename().string());
        return out;
    };
    // By way of another name: Wine renames nothing by case alone.
    const auto respell = [](const fs::path& from, const fs::path& to) {
        fs::rename(from, from.string() + "~");
        fs::rename(from.string() + "~", to);
    };
    dir.Write("PHOTO.JPG", "x");
    in.CaseSensitive.reset();  // earlier files are matched as the disk matches names
    Generate();
    // As a run where names ignore case leaves it.
    const fs::path old = dir.path() / "Kavo";
    respell(dir.path() / "kavo", old);
    respell(old / "images", old / "Images");
    respell(old / "page0001.html", old / "Page0001.html");
    dir.Write("b.png", "x");

    bool busy = false;
    {
        auto held = NativeFileSystem().LockFolder(old.string(), busy);
        EXPECT_TRUE(Generate().Busy) << "a run of the other system holds the same lock";
        EXPECT_EQ(names(dir.path()).count("kavo"), 0u);
    }
    RecordingObserver obs;
    Generate(obs);
    EXPECT_TRUE(obs.messages.empty());
    EXPECT_EQ(names(dir.path()).count("kavo"), 0u) << "a second catalogue beside the first";
    const std::set<std::string> spelt = names(old);
    EXPECT_TRUE(spelt.count("page0001.html") && spelt.count("Images") && !spelt.count("Page0001.html") && !spelt.count("images"));
    EXPECT_NE(ReadFile(old / "page0001.html").find("SRC=\"../PHOTO.JPG\""), std::string::npos);
    const std::string summary = ReadFile(dir.path() / "index.html");
    EXPECT_NE(summary.find("CONTENT=\"5;URL=Kavo/index.html\""), std::string::npos);
    EXPECT_NE(summary.find("SRC=\"Kavo/Images/logo1.gif\""), std::string::npos);
    EXPECT_NE(ReadFile(old / "frame1.html").find("SRC=\"Images/ball1.gif\""), std::string::npos);
    EXPECT_EQ(ReadFile(old / "Images" / "logo1.gif"), "GIF89a");

    // Where the system finds any spelling but does not say which is on disk (Linux
    // on a FAT stick or a share), the folder is still the one there.
    class CaseBlind : public test::FaultFileSystem {
        bool Exists(const std::string& path) override {
            const fs::path p = test::Utf8Path(path);
            std::error_code ec;
            for (auto& e : fs::directory_iterator(p.parent_path(), ec)) {
                if (AsciiLower(e.path().filename().string()) == AsciiLower(p.filename().string()))
                    return true;
            }
            return false;
        }
    } blind;
    dir.Write("c.png", "x");
    Generate(obs, blind);
    EXPECT_EQ(names(dir.path()).count("kavo"), 0u) << "a second catalogue beside the first";
    EXPECT_NE(ReadFile(dir.path() / "index.html").find("URL=Kavo/index.html"), std::string::npos);
}

// ---------------------------------------------------------------------------
// A refresh writes only what changed.

#ifndef _WIN32
/// Inode and modification time of each file of the catalogue: what stays when a file is not written.
std::map<std::string, std::pair<ino_t, int64_t>> Identities(const fs::path& folder) {
    std::map<std::string, std::pair<ino_t, int64_t>> out;
    for (const fs::path& p : {folder / "index.html", folder / "kavo"}) {
        const auto take = [&](const fs::path& f) {
            struct stat st {};
            ::stat(f.c_str(), &st);
            out[f.lexically_relative(folder).string()] = {st.st_ino, st.st_mtim.tv_sec * 1000000000 + st.st_mtim.tv_nsec};
        };
        if (fs::is_directory(p)) {
            for (auto& e : fs::directory_iterator(p))
                if (e.is_regular_file() && e.path().extension() == ".html")
                    take(e.path());
        } else {
            take(p);
        }
    }
    return out;
}

TEST_F(GenerateTest, ARerunWritesAndRenamesOnlyTheFilesWhoseBytesChange) {
    for (int i = 0; i < 12; ++i)
        dir.Write("p" + std::to_string(i) + ".png", "x");
    in.PicturesPerPage = 5;
    for (int writers : {1, 4}) {
        in.Writers = writers;
        fs::remove_all(dir.path() / "kavo");
        Generate();
        const auto before = Identities(dir.path());
        const std::string page3 = Page(3);

        test::FaultFileSystem same;
        same.parallelWrites = writers > 1;
        std::atomic<int> pagesRead{0};
        same.failReadWhole = [&](const std::string& p) {
            pagesRead += p.find(test::Native("kavo/")) != std::string::npos && p.ends_with(".html");
            return false;
        };
        RecordingObserver obs;
        EXPECT_TRUE(Generate(obs, same).SummaryWritten);
        EXPECT_EQ(same.changes, (std::vector<std::pair<char, std::string>>{})) << "nothing changed, nothing written";
        EXPECT_EQ(pagesRead, 0) << "the record vouches for every earlier page";
        EXPECT_EQ(Identities(dir.path()), before);
        EXPECT_TRUE(obs.messages.empty());

        // A picture renamed in place: its page changes, the count on the others, the frames and the summary page do not.
        fs::rename(dir.path() / "p5.png", dir.path() / "p5b.png");
        test::FaultFileSystem renamed;
        renamed.parallelWrites = writers > 1;
        Generate(obs, renamed);
        std::set<std::string> changed;
        for (const auto& [change, path] : renamed.changes) {
            if (change == 'w' || change == 'r')
                changed.insert(LastFolderName(path).substr(0, LastFolderName(path).find(".kavo-tmp")));
        }
        EXPECT_EQ(changed.erase("pages.txt"), 1u) << "the record takes the new page's stamp";
        // Side by side, files are made in staging folders of their own, gone once the files are in.
        EXPECT_EQ(std::any_of(renamed.changes.begin(), renamed.changes.end(),
                              [](const auto& c) { return c.first == 'w' && c.second.find("kavo-staging-") != std::string::npos; }),
                  writers > 1);
        for (const auto& e : fs::directory_iterator(dir.path() / "kavo"))
            EXPECT_FALSE(e.path().filename().string().starts_with("kavo-staging-")) << e.path();
        EXPECT_EQ(changed, std::set<std::string>{"page0002.html"}) << writers;
        const auto after = Identities(dir.path());
        for (const char* unchanged : {"kavo/page0001.html", "kavo/page0003.html", "kavo/frame1.html",
                                      "kavo/frame2.html", "kavo/index.html", "index.html"})
            EXPECT_EQ(after.at(unchanged), before.at(unchanged)) << unchanged;
        EXPECT_EQ(Alts(2)[2], "003 : p5b.png");
        EXPECT_EQ(Page(3), page3);
        fs::rename(dir.path() / "p5b.png", dir.path() / "p5.png");
    }
}
#endif

TEST_F(GenerateTest, AKilledRunsStagingFoldersGoButNothingElseAtTheirNames) {
    dir.Write("p.png", "x");
    Generate();
    dir.Write("kavo/kavo-staging-0123456789abcdef/page0001.html.kavo-tmp-staged", "killed");
    dir.Write("kavo/kavo-staging-fedcba9876543210/notes.txt", "someone's");
    dir.Write("kavo/kavo-staging-aaaaaaaaaaaaaaaa/kavo-staging-bbbbbbbbbbbbbbbb/x.html.kavo-tmp-staged", "deeper");
#ifndef _WIN32
    dir.Write("outside/page0001.html.kavo-tmp-staged", "keep");
    fs::create_directory_symlink(dir.path() / "outside", dir.path() / "kavo/kavo-staging-1111111111111111");
#endif
    Generate();
    EXPECT_FALSE(fs::exists(dir.path() / "kavo/kavo-staging-0123456789abcdef"));
    EXPECT_EQ(ReadFile(dir.path() / "kavo/kavo-staging-fedcba9876543210/notes.txt"), "someone's");
    EXPECT_TRUE(fs::exists(dir.path() / "kavo/kavo-staging-aaaaaaaaaaaaaaaa/kavo-staging-bbbbbbbbbbbbbbbb/x.html.kavo-tmp-staged"))
        << "never deeper than a run stages: a nest of such folders is not followed down";
#ifndef _WIN32
    EXPECT_EQ(ReadFile(dir.path() / "outside/page0001.html.kavo-tmp-staged"), "keep");
#endif
}

TEST_F(GenerateTest, ACancelLeavesOldPagesBeyondTheNewCountToTheNextRunWhenRemovingThemWouldTakeLong) {
    for (int i = 0; i < 20; ++i)
        dir.Write("p" + std::to_string(100 + i) + ".png", "x");
    in.PicturesPerPage = 1;
    Generate();
    ASSERT_EQ(PageFiles().size(), 20u);
    test::FaultFileSystem slow;
    slow.removeDelay = std::chrono::milliseconds(100);
    RecordingObserver obs(&cancel, 12);  // cancelled among the first pictures
    const auto began = std::chrono::steady_clock::now();
    EXPECT_TRUE(Generate(obs, slow).Cancelled);
    EXPECT_LT(std::chrono::steady_clock::now() - began, std::chrono::milliseconds(1200)) << "not a removal of 100 ms for each old page";
    const int pages = last.Counters.PageCount;
    ASSERT_GT(pages, 0);
    ASSERT_LT(pages, 10);
    // The pages the frames count are all there; some of the old ones beyond them may be too.
    const std::string tree = ReadFile(dir.path() / "kavo/frame1.html");
    EXPECT_NE(tree.find("onClick=\"SetPage(" + std::to_string(pages) + ")\""), std::string::npos);
    EXPECT_EQ(tree.find("onClick=\"SetPage(" + std::to_string(pages + 1) + ")\""), std::string::npos);
    for (int p = 1; p <= pages; ++p)
        EXPECT_EQ(Alts(p).size(), 1u);
    EXPECT_GT(PageFiles().size(), static_cast<size_t>(pages));
    in.PicturesPerPage = 10;
    Generate();
    EXPECT_EQ(PageFiles(), (std::vector<std::string>{"page0001.html", "page0002.html"})) << "the next run removes them";
}

#ifndef _WIN32
TEST_F(GenerateTest, ACancelHeardWhileThePagesAreStillBeingWrittenKeepsTheEarlierCatalogue) {
    for (int i = 0; i < 40; ++i)
        dir.Write("p" + std::to_string(100 + i) + ".png", "x");
    in.PicturesPerPage = 2;
    Generate();
    const auto before = Identities(dir.path());
    // The walk is over; the new pages (of other pictures per page) go slowly to a slow drive.
    struct CancelOnceWritten : RecordingObserver {
        using RecordingObserver::RecordingObserver;
        void ShowStatus(std::string_view text) override {
            writing = writing || text == kWritingHtmlText;
            RecordingObserver::ShowStatus(text);
        }
        void Yield() override {
            if (writing)
                cancel->Request();
        }
        bool writing = false;
        CancelToken* cancel = nullptr;
    } obs;
    obs.cancel = &cancel;
    test::FaultFileSystem slow;
    slow.parallelWrites = true;
    std::atomic<int> written{0};
    slow.failWrite = [&](const std::string& path) {
        written += path.find(".html") != std::string::npos;
        for (int i = 0; i < 500 && !cancel.Requested(); ++i)  // a write lasts until the cancel
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        return false;
    };
    in.PicturesPerPage = 3;
    in.Writers = 4;
    const GenerateResult r = Generate(obs, slow);
    EXPECT_TRUE(r.Cancelled);
    EXPECT_FALSE(r.SummaryWritten);
    EXPECT_LE(written, in.Writers) << "only the pages being written when it came";
    EXPECT_EQ(Identities(dir.path()), before) << "nothing moved";
    for (const auto& e : fs::directory_iterator(dir.path() / "kavo")) {
        const std::string name = e.path().filename().string();
        EXPECT_TRUE(name.find(".kavo-tmp-") == std::string::npos && !name.starts_with("kavo-staging-")) << name;
    }
}
#endif

TEST_F(GenerateTest, AnEarlierPageThatCannotBeReadOrIsDamagedIsWrittenAgain) {
    for (int i = 0; i < 12; ++i)
        dir.Write("p" + std::to_string(i) + ".png", "x");
    in.PicturesPerPage = 5;
    Generate();
    const std::string page1 = Page(1), page2 = Page(2);
    // Ours by its first line, but its bytes are not those the run would write.
    dir.Write("kavo/page0001.html", page1.substr(0, page1.size() / 2));
    test::FaultFileSystem faults;
    const std::string unreadable = dir.str() + test::Native("kavo/page0002.html");
    faults.failReadWhole = [&](const std::string& p) { return p == unreadable; };
    // Touched back to its own time: the record no longer vouches for it, so it is read (and fails).
    // Past the clock tick of the run's own write first, or its change time would be the same.
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    fs::last_write_time(unreadable, fs::last_write_time(unreadable));
    RecordingObserver obs;
    EXPECT_TRUE(Generate(obs, faults).SummaryWritten);
    EXPECT_EQ(Page(1), page1);
    EXPECT_EQ(Page(2), page2);
    int renamed = 0;
    for (const auto& [change, path] : faults.changes)
        renamed += change == 'r' && (path.find("page0001") != std::string::npos || path.find("page0002") != std::string::npos);
    EXPECT_GE(renamed, 2) << "both pages replaced";
    EXPECT_TRUE(obs.messages.empty()) << "nothing kept aside: both are ours";
    EXPECT_FALSE(fs::exists(dir.path() / "kavo/page0002.html.bak"));
#ifndef _WIN32
    // A page record cut short is not believed: the pages are read again, and the record written whole.
    const std::string record = ReadFile(dir.path() / "kavo/pages.txt");
    dir.Write("kavo/pages.txt", record.substr(0, record.size() - 7));
    test::FaultFileSystem counting;
    std::atomic<int> reads{0};
    counting.failReadWhole = [&](const std::string& p) {
        reads += p.ends_with(".html");
        return false;
    };
    Generate(obs, counting);
    EXPECT_GE(reads, 6);  // three pages, the frameset and two frames
    EXPECT_EQ(ReadFile(dir.path() / "kavo/pages.txt"), record);
#endif
}

// ---------------------------------------------------------------------------
// Pixel sizes kept between runs. The Windows file layer gives no file identity
// to stamp a picture with, so no record is kept there and every run reads again.
#ifndef _WIN32

class SizeRecordTest : public GenerateTest {
protected:
    void SetUp() override {
        GenerateTest::SetUp();
        in.Layout.GetImageSize = true;
        faults.threadSafe = true;
        faults.failOpen = [this](const std::string& path) {
            if (path.find(test::Native("kavo/")) == std::string::npos)
                ++pictureOpens;
            return false;
        };
        Copy("plain.png", "a.png");
        Copy("baseline.jpg", "sub/b.jpg");
        dir.Write("sub/c.png", "named like one, but no picture: known as such, not read again");
    }
    void Copy(const char* picture, const std::string& as) {
        dir.Write(as, ReadFile(std::string(KAVO_TEST_DATA) + "/pictures/" + picture));
    }
    int Run() {
        pictureOpens = 0;
        RecordingObserver obs;
        EXPECT_EQ(Generate(obs, faults).WriteFailures, 0);
        return pictureOpens;
    }
    std::string Record() const { return ReadFile(dir.path() / "kavo" / "sizes.txt"); }

    test::FaultFileSystem faults;
    std::atomic<int> pictureOpens{0};
};

TEST_F(SizeRecordTest, ARerunOpensOnlyPicturesThatChanged) {
    for (int jobs : {1, 0}) {
        in.Jobs = jobs;
        fs::remove_all(dir.path() / "kavo");
        Copy("plain.png", "a.png");
        EXPECT_EQ(Run(), 3);
        const std::string page = Page(1);
        EXPECT_NE(page.find("WIDTH=\"31\" HEIGHT=\"19\""), std::string::npos);
        EXPECT_EQ(Run(), 0) << jobs;
        EXPECT_EQ(Page(1), page);

        // The same bytes' length and modification time, other pixels: the change time tells.
        std::string bytes = ReadFile(dir.path() / "a.png");
        bytes[19] = 32;  // IHDR width 31 -> 32
        const auto modified = fs::last_write_time(dir.path() / "a.png");
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        dir.Write("a.png", bytes);
        fs::last_write_time(dir.path() / "a.png", modified);
        EXPECT_EQ(Run(), 1) << jobs;
        EXPECT_NE(Page(1).find("WIDTH=\"32\" HEIGHT=\"19\""), std::string::npos);

        // A picture taken away and another put at its name is another file.
        fs::remove(dir.path() / "sub/b.jpg");
        Copy("turned6.jpg", "sub/b.jpg");
        EXPECT_EQ(Run(), 1) << jobs;
        EXPECT_EQ(Record().find("\tsub/b.jpg\n") != std::string::npos, true);

        // A walk cut short keeps what it did not reach; a whole walk drops the pictures gone.
        const std::string whole = Record();
        fs::rename(dir.path() / "sub/b.jpg", dir.path() / "sub/b.txt");
        RecordingObserver cut(&cancel);
        cut.cancelAfterPlaced = 1;
        Generate(cut, faults);
        EXPECT_EQ(Record(), whole) << jobs;
        EXPECT_EQ(Run(), 0) << jobs;
        EXPECT_EQ(Record().find("\tsub/b.jpg\n"), std::string::npos) << jobs;
        EXPECT_NE(Record().find("\ta.png\n"), std::string::npos) << jobs;
        fs::rename(dir.path() / "sub/b.txt", dir.path() / "sub/b.jpg");
    }
}

// Where listings show round trips, each look at a picture would wait for one:
// the readers look side by side, and still open no picture that did not change.
TEST_F(SizeRecordTest, OnADriveWithRoundTripsTheRecordIsCheckedSideBySide) {
    for (int d = 0; d < 6; ++d)
        Copy("plain.png", "day" + std::to_string(d) + "/p.png");
    in.GenerateAtOnce = true;
    EXPECT_EQ(Run(), 9);
    const std::string page = Page(1);
    faults.batchDelay = std::chrono::milliseconds(2);
    const auto walker = std::this_thread::get_id();
    std::atomic<int> aside{0}, alone{0};
    faults.onIdentity = [&](const std::string& path) {
        if (path.find(test::Native("kavo/")) == std::string::npos)
            ++(std::this_thread::get_id() == walker ? alone : aside);
    };
    EXPECT_EQ(Run(), 0);
    EXPECT_EQ(Page(1), page);
    EXPECT_EQ(alone, 0);
    EXPECT_EQ(aside, 9);
}

TEST_F(SizeRecordTest, ARecordThatIsDamagedForeignOrOfAnotherVersionIsIgnoredAndWrittenAgain) {
    EXPECT_EQ(Run(), 3);
    const std::string good = Record();
    const std::string page = Page(1);
    const std::string line = good.substr(good.find('\n') + 1);
    for (const std::string& bad : {good.substr(0, good.size() - 3),                  // cut short
                                   "Kavo sizes 2\n" + line,                           // another version
                                   "<html>" + good,                                   // someone else's
                                   good.substr(0, good.find('\n') + 1) + "1\t2\tx\t" + line}) {
        dir.Write("kavo/sizes.txt", bad);
        EXPECT_EQ(Run(), 3);
        EXPECT_EQ(Page(1), page);
        EXPECT_EQ(Record().substr(0, 13), "Kavo sizes 1\n");
        EXPECT_EQ(Run(), 0) << "written again whole";
    }
    // A record that names a picture with a size, but the picture is another file since, is not believed.
    std::string forged = Record();
    const size_t width = forged.find("\t31\t19\t");
    ASSERT_NE(width, std::string::npos);
    forged.replace(width, 7, "\t99\t99\t");
    forged.replace(0, forged.find('\t', 13), "Kavo sizes 1\n1");  // another file length
    dir.Write("kavo/sizes.txt", forged);
    EXPECT_GE(Run(), 1);
    EXPECT_EQ(Page(1), page);
}

TEST_F(SizeRecordTest, ALinkAtTheRecordIsReplacedNeverWrittenThrough) {
    TempDir elsewhere;
    elsewhere.Write("target.txt", "not to be touched");
    Run();
    fs::remove(dir.path() / "kavo/sizes.txt");
    fs::create_symlink(elsewhere.path() / "target.txt", dir.path() / "kavo/sizes.txt");
    Run();
    EXPECT_EQ(ReadFile(elsewhere.path() / "target.txt"), "not to be touched");
    EXPECT_FALSE(fs::is_symlink(dir.path() / "kavo/sizes.txt"));
    EXPECT_EQ(Run(), 0);
}
#endif

}  // namespace
}  // namespace kavo

namespace kavo {
namespace {

class ThumbnailGenerateTest : public GenerateTest {
protected:
    void SetUp() override {
        if (!NativeThumbnailMaker())
            GTEST_SKIP() << "no thumbnail maker on this platform";
        GenerateTest::SetUp();
        in.Layout.ThumbnailBox = 30;
        faults.threadSafe = true;
        faults.failOpen = [this](const std::string& path) {
            if (path.find(test::Native("kavo/thumbs/")) == std::string::npos)
                ++pictureOpens;
            return false;
        };
    }
    void Copy(const char* picture, const std::string& as) {
        dir.Write(as, ReadFile(std::string(KAVO_TEST_DATA) + "/pictures/" + picture));
    }
    bool Thumb(const std::string& name) const { return fs::exists(dir.path() / "kavo" / "thumbs" / name); }
    /// The thumbnail page 1 shows for a picture; a thumbnail made again takes another name.
    std::string ThumbOf(const std::string& picture) const {
        const std::string page = Page(1);
        std::smatch m;
        const std::regex img("SRC=\"thumbs/([^\"]+)\"[^>]*ALT=\"\\d+ : " + picture + "\"");
        return std::regex_search(page, m, img) ? m[1].str() : std::string();
    }
    int Run() {
        pictureOpens = 0;
        RecordingObserver obs;
        const GenerateResult r = Generate(obs, faults);
        EXPECT_EQ(r.WriteFailures, 0);
        return pictureOpens;
    }

    test::FaultFileSystem faults;
    std::atomic<int> pictureOpens{0};
};

TEST_F(ThumbnailGenerateTest, PageShowsThumbnailsSmallPicturesAsTheyAreAndTheRestAsBefore) {
    Copy("turned6.jpg", "a.jpg");  // 40 x 20 turned: shown 15 x 30
    Copy("os2.bmp", "b.bmp");      // 19 x 7 fits: the picture itself
    Copy("random.png", "c.png");   // unreadable: as without thumbnails
    in.Layout.Click = ClickAction::View;
    faults.threadSafe = false;  // each made by the walk itself
    Run();
    const std::string expected = ReadFile(std::string(KAVO_TEST_DATA) + "/html/page_thumbs.html");
    EXPECT_EQ(Page(1), ToCp932(expected) + "\r\n");
    EXPECT_TRUE(Thumb("4c079bb53aa9b7c1.jpg"));
}

TEST_F(ThumbnailGenerateTest, ARerunOpensOnlyChangedPicturesAndRemovesOnlyItsOwnFiles) {
    Copy("turned6.jpg", "a.jpg");
    Copy("animated.gif", "sub/d.gif");
    Copy("alpha.png", "sub/e.png");
    EXPECT_EQ(Run(), 3);
    EXPECT_EQ(scan.Selected(in.Types), 3);
    const std::string page = Page(1);
    // Files of our form that the record does not name are someone else's.
    dir.Write("kavo/thumbs/0000000000000000.jpg", "mine");
    dir.Write("kavo/thumbs/notes.txt", "mine");

    EXPECT_EQ(Run(), 0);
    EXPECT_EQ(scan.Selected(in.Types), 3);  // the thumbnails are never catalogued
    EXPECT_EQ(Page(1), page);

    Copy("plain.png", "sub/e.png");  // another size: made again
    EXPECT_EQ(Run(), 1);
    fs::remove(dir.path() / "kavo" / "thumbs" / ThumbnailName("sub/d.gif"));  // gone by hand: made again
    EXPECT_EQ(Run(), 1);
    EXPECT_TRUE(Thumb(ThumbOf("sub/d.gif")));

    fs::remove(dir.path() / "a.jpg");
    EXPECT_EQ(Run(), 0);
    EXPECT_FALSE(Thumb(ThumbnailName("a.jpg")));
    EXPECT_TRUE(Thumb("0000000000000000.jpg") && Thumb("notes.txt"));

    // A first run killed before its record: its thumbnails, which no record names, are swept.
    const fs::path thumbs = dir.path() / "kavo" / "thumbs";
    fs::copy_file(thumbs / ThumbOf("sub/d.gif"), thumbs / "0123456789abcdef-2.jpg");
    fs::remove(thumbs / "record.txt");
    EXPECT_EQ(Run(), 2);
    EXPECT_FALSE(Thumb("0123456789abcdef-2.jpg"));
    EXPECT_TRUE(Thumb(ThumbOf("sub/d.gif")) && Thumb("0000000000000000.jpg"));

    in.Layout.ThumbnailBox = 12;  // another size remakes every one
    EXPECT_EQ(Run(), 2);
    EXPECT_NE(Page(1).find("WIDTH=\"12\" HEIGHT=\"6\""), std::string::npos);
}

// A changed picture's thumbnail goes under a new name and the earlier one stays
// until the new pages are in: killed at any point, or with the commit failing,
// the pages on disk name thumbnails that are there, at the size they show.
TEST_F(ThumbnailGenerateTest, AKilledOrFailedRerunLeavesPagesAndThumbnailsThatAgree) {
    Copy("turned6.jpg", "a.jpg");
    const auto agree = [&](const std::string& when) {
        const std::string page = Page(1);
        const std::regex img(R"re(SRC="thumbs/([^"]+)" WIDTH="(\d+)" HEIGHT="(\d+)")re");
        int shown = 0;
        for (auto it = std::sregex_iterator(page.begin(), page.end(), img); it != std::sregex_iterator(); ++it) {
            ++shown;
            PixelSize size;
            auto file = NativeFileSystem().OpenRead((dir.path() / "kavo" / "thumbs" / (*it)[1].str()).string());
            ASSERT_TRUE(file && ReadPixelSizeOf(*file, size)) << when << ": " << (*it)[1];
            // Kept sharper than shown, up to twice: the shapes agree.
            const double made = static_cast<double>(size.Width) / size.Height;
            const double shown = std::stod((*it)[2].str()) / std::stod((*it)[3].str());
            EXPECT_NEAR(made / shown, 1.0, 0.06) << when << ": " << size.Width << "x" << size.Height << " shown "
                                                  << (*it)[2] << "x" << (*it)[3];
        }
        EXPECT_EQ(shown, 2) << when;
    };
    bool whole = false;
    for (int k = 0; !whole; ++k) {
        ASSERT_LT(k, 100);
        Copy("plain.png", "b.png");
        Run();
        Copy("palette.png", "b.png");  // another shape: another thumbnail size
        test::FaultFileSystem killed;
        killed.changesLeft = k;
        RecordingObserver obs;
        Generate(obs, killed);
        whole = killed.changesLeft > 0;
        agree("killed after " + std::to_string(k) + " changes");
    }
    // A page that cannot be written: the earlier pages and their thumbnails stay.
    Copy("plain.png", "b.png");
    Run();
    Copy("palette.png", "b.png");
    faults.failWrite = [](const std::string& path) { return path.find("page0001") != std::string::npos; };
    RecordingObserver obs;
    Generate(obs, faults);
    agree("the commit failed");
    faults.failWrite = [](const std::string&) { return false; };
    EXPECT_EQ(Run(), 1);  // made again: the failed run's record was not kept
    agree("after");
}

TEST_F(ThumbnailGenerateTest, APictureThatCannotBeReadOrItsThumbnailWrittenIsTriedAgainNextRun) {
    Copy("turned6.jpg", "a.jpg");
    faults.failWrite = [](const std::string& path) { return path.ends_with(".jpg"); };
    RecordingObserver obs;
    EXPECT_EQ(Generate(obs, faults).WriteFailures, 1);
    // The picture itself, fitted into the box as its thumbnail would be (shown 20 x 40).
    EXPECT_NE(Page(1).find("<IMG SRC=\"../a.jpg\" WIDTH=\"15\" HEIGHT=\"30\" ALIGN"), std::string::npos);
    faults.failWrite = [](const std::string&) { return false; };
    EXPECT_EQ(Run(), 1);
    EXPECT_TRUE(Thumb(ThumbnailName("a.jpg")));

    Copy("alpha.png", "b.png");
    in.Layout.GetImageSize = true;  // its size is then looked for without a thumbnail
    faults.failOpen = [](const std::string& path) { return path.ends_with("b.png"); };
    Generate(obs, faults);
    EXPECT_FALSE(Thumb(ThumbnailName("b.png")));
    faults.failOpen = [](const std::string&) { return false; };
    Generate(obs, faults);
    EXPECT_TRUE(Thumb(ThumbnailName("b.png")));
}

TEST_F(ThumbnailGenerateTest, ACancelledRunKeepsTheThumbnailsOfTheTreeItDidNotReach) {
    Copy("turned6.jpg", "a/p.jpg");
    Copy("alpha.png", "b/q.png");
    Run();
    RecordingObserver stopper(&cancel, 3);
    cancel.Reset();
    EXPECT_TRUE(RunGeneration(in, scan, faults, stopper, cancel).Cancelled);
    EXPECT_TRUE(Thumb(ThumbnailName("a/p.jpg")) && Thumb(ThumbnailName("b/q.png")));
    EXPECT_EQ(Run(), 0);
}

#ifdef _WIN32
TEST_F(ThumbnailGenerateTest, AThumbnailHeldOpenElsewhereIsReportedAndRemovedByALaterRun) {
    Copy("alpha.png", "e.png");
    Run();
    const std::string thumb = ThumbnailName("e.png");
    ASSERT_TRUE(Thumb(thumb));
    fs::remove(dir.path() / "e.png");
    // Open without delete sharing, as a viewer or an indexer may hold it: the system refuses the removal.
    const HANDLE held = ::CreateFileW((dir.path() / "kavo" / "thumbs" / thumb).wstring().c_str(), GENERIC_READ,
                                      FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    RecordingObserver obs;
    const GenerateResult r = Generate(obs);
    ::CloseHandle(held);
    EXPECT_EQ(r.WriteFailures, 1);
    EXPECT_EQ(OutcomeOf(r), Outcome::Incomplete);
    EXPECT_TRUE(Thumb(thumb));
    EXPECT_NE(ReadFile(dir.path() / "kavo" / "thumbs" / "record.txt").find("e.png"), std::string::npos);
    Run();
    EXPECT_FALSE(Thumb(thumb));
}
#endif

TEST_F(ThumbnailGenerateTest, PicturesOutsideTheRunKeepTheirThumbnailsAndFailuresAreNotOpenedAgain) {
    in.Layout.GetImageSize = true;
    Copy("turned6.jpg", "a.jpg");
    Copy("alpha.png", "sub/e.png");
    Copy("random.png", "bad.png");  // no thumbnail: its size is read once, with the attempt
    EXPECT_EQ(Run(), 2 + 1);
    EXPECT_EQ(Run(), 0);
    const std::string thumb = ThumbnailName("sub/e.png");
    ASSERT_TRUE(Thumb(thumb));

    in.IncludeSubfolders = false;
    Run();
    in.IncludeSubfolders = true;
    in.Types.Png = false;
    Run();
    in.Types.Png = true;
    faults.failList = [](const std::string& path) { return path.ends_with(test::Native("sub/")); };
    Run();
    faults.failList = [](const std::string&) { return false; };
    EXPECT_TRUE(Thumb(thumb));
    EXPECT_EQ(Run(), 0);  // nothing of theirs was forgotten either

    // A folder gone takes its thumbnails along; one held open by another program is
    // reported and removed by a later run.
    fs::remove_all(dir.path() / "sub");
    faults.failRemove = [&](const std::string& path) { return path.ends_with(thumb); };
    RecordingObserver obs;
    EXPECT_EQ(Generate(obs, faults).WriteFailures, 1);
    EXPECT_TRUE(Thumb(thumb));
    faults.failRemove = [](const std::string&) { return false; };
    Run();
    EXPECT_FALSE(Thumb(thumb));
}

TEST_F(ThumbnailGenerateTest, AThumbnailIsTrustedOnlyWhileItAndThePictureAreAsRecorded) {
    Copy("turned6.jpg", "a.jpg");
    Copy("alpha.png", "b.png");
    Run();
    const fs::path thumbs = dir.path() / "kavo" / "thumbs";
    dir.Write("kavo/thumbs/" + ThumbnailName("a.jpg"), "emptied by a tool");
    EXPECT_EQ(Run(), 1);
    EXPECT_EQ(ReadFile(thumbs / ThumbOf("a.jpg")).substr(0, 2), "\xFF\xD8");

    // Changed in place with its size and time kept: the change time tells.
    const fs::path b = dir.path() / "b.png";
    const auto time = fs::last_write_time(b);
    Copy("alpha.png", "b.png");
    fs::last_write_time(b, time);
    EXPECT_EQ(Run(), 1);

#ifndef _WIN32
    // A link at a thumbnail's or a leftover's name is not ours: never removed, nothing written through it.
    const std::string outside = (dir.path() / "outside.txt").string();
    dir.Write("outside.txt", "keep");
    const std::string named = ThumbOf("a.jpg");
    fs::remove(thumbs / named);
    fs::create_symlink(outside, thumbs / named);
    fs::create_symlink(outside, thumbs / "x.jpg.kavo-tmp-staged");
    fs::remove(dir.path() / "a.jpg");
    Run();
    EXPECT_TRUE(fs::is_symlink(thumbs / named));
    EXPECT_TRUE(fs::is_symlink(thumbs / "x.jpg.kavo-tmp-staged"));
    EXPECT_EQ(ReadFile(outside), "keep");
#endif
}

TEST_F(ThumbnailGenerateTest, APictureWithoutAThumbnailIsFittedIntoTheBoxByTheSizeItsHeaderGives) {
    std::string damaged = ReadFile(std::string(KAVO_TEST_DATA) + "/pictures/plain.png");
    damaged.replace(16, 8, std::string("\0\0\x01\xF4\0\0\x01\x90", 8));  // says 500 x 400; its pixels do not
    dir.Write("a.png", damaged);
    Copy("truncated.jpg", "b.jpg");  // no size at all: none written, as before
    Run();
    EXPECT_NE(Page(1).find("<IMG SRC=\"../a.png\" WIDTH=\"30\" HEIGHT=\"24\" ALIGN"), std::string::npos);
    EXPECT_NE(Page(1).find("<IMG SRC=\"../b.jpg\" ALIGN"), std::string::npos);
}

TEST_F(ThumbnailGenerateTest, ARunWithoutThumbnailsRemovesThemAndTheirRecordAndNothingElse) {
    const fs::path thumbs = dir.path() / "kavo" / "thumbs";
    Copy("turned6.jpg", "a.jpg");
    Copy("alpha.png", "b.png");
    EXPECT_EQ(CatalogueThumbnails(NativeFileSystem(), dir.str()), -1);  // no catalogue yet
    Run();
    // What the window takes after a scan: the box the record names, in the window's range.
    EXPECT_EQ(CatalogueThumbnails(NativeFileSystem(), dir.str()), kThumbnailBox.Min);  // what the window takes after a scan
    dir.Write("kavo/thumbs/0000000000000000.jpg", "mine");  // of our form but not ours
    dir.Write("kavo/thumbs/notes.txt", "mine");
    // A commit that fails keeps the earlier pages, and with them their thumbnails.
    in.Layout.ThumbnailBox = 0;
    faults.failRename = [](const std::string& path) { return path.ends_with("page0001.html"); };
    RecordingObserver obs;
    EXPECT_FALSE(Generate(obs, faults).SummaryWritten);
    EXPECT_TRUE(Thumb(ThumbnailName("a.jpg")) && Thumb("record.txt"));
    faults.failRename = [](const std::string&) { return false; };
    Run();
    EXPECT_FALSE(Thumb(ThumbnailName("a.jpg")) || Thumb(ThumbnailName("b.png")) || Thumb("record.txt"));
    EXPECT_EQ(ReadFile(thumbs / "0000000000000000.jpg"), "mine");
    EXPECT_EQ(ReadFile(thumbs / "notes.txt"), "mine");
    EXPECT_EQ(CatalogueThumbnails(NativeFileSystem(), dir.str()), 0);
    dir.Write("kavo/thumbs/record.txt", "Kavo thumbnails 2\n");  // left by an older version: the pages tell
    EXPECT_EQ(CatalogueThumbnails(NativeFileSystem(), dir.str()), 0);
    fs::remove(thumbs / "record.txt");
    // Only our own files there: the folder goes with them.
    fs::remove(thumbs / "0000000000000000.jpg");
    fs::remove(thumbs / "notes.txt");
    in.Layout.ThumbnailBox = 30;
    Run();
    in.Layout.ThumbnailBox = 0;
    Run();
    EXPECT_FALSE(fs::exists(thumbs));
    EXPECT_TRUE(fs::exists(dir.path() / "kavo" / "page0001.html"));
#ifndef _WIN32
    // A link at the folder's name is never gone into.
    in.Layout.ThumbnailBox = 30;
    Run();
    const fs::path elsewhere = dir.path() / "elsewhere";
    fs::rename(thumbs, elsewhere);
    fs::create_directory_symlink(elsewhere, thumbs);
    in.Layout.ThumbnailBox = 0;
    Run();
    EXPECT_TRUE(fs::exists(elsewhere / ThumbnailName("a.jpg")) && fs::exists(elsewhere / "record.txt"));
#endif
}

TEST_F(ThumbnailGenerateTest, AFileWhereTheThumbnailFolderGoesIsReportedOnce) {
    for (const char* name : {"a.jpg", "b.jpg", "c.jpg"})
        Copy("turned6.jpg", name);
    dir.Write("kavo/thumbs", "a file of my own");
    RecordingObserver obs;
    Generate(obs, faults);
    EXPECT_EQ(obs.messages.size(), 1u);
    EXPECT_EQ(ReadFile(dir.path() / "kavo" / "thumbs"), "a file of my own");
    EXPECT_NE(Page(1).find("<IMG SRC=\"../c.jpg\" WIDTH=\"15\" HEIGHT=\"30\" ALIGN"), std::string::npos);
}

}  // namespace
}  // namespace kavo
