#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "base/encoding.h"
#include "fs/windows_api.h"
#include "cli/cli_options.h"
#include "cli/cli_run.h"
#include "cli/console_output.h"
#include "cli/interrupt.h"
#include "support/fault_file_system.h"
#include "support/test_support.h"

namespace kavo::cli {
namespace {

namespace fs = std::filesystem;
using test::ReadFile;
using test::TempDir;

class CliTest : public ::testing::Test {
protected:
    int Run(std::vector<std::string> args, FileSystem& fsys = NativeFileSystem()) {
        out.str("");
        err.str("");
        CliEnvironment env{fsys, out, err, KAVO_BIN_DIR, &interrupt, false};
        return RunCli(args, env);
    }

    /// Nothing at all was written into the folder.
    bool Untouched() const {
        return !fs::exists(dir.path() / "kavo" / "frame1.html") && !fs::exists(dir.path() / "index.html");
    }

    TempDir dir;
    std::ostringstream out, err;
    volatile std::sig_atomic_t interrupt = 0;
};

TEST_F(CliTest, EveryFileOfASmallCatalogueByteForByte) {
    const std::string pictures = std::string(KAVO_TEST_DATA) + "/pictures/";
    const fs::path trip = dir.path() / "trip";
    fs::create_directories(trip / "sub");
    fs::copy_file(pictures + "plain.png", trip / "Sea.png");
    fs::copy_file(pictures + "plain.gif", trip / "sub" / test::Utf8Path("写真 1.gif"));
    dir.Write("trip/notes.txt", "not a picture");

    ASSERT_EQ(Run({trip.string(), "--per-page=5", "--click=view"}), 0) << err.str();
    EXPECT_EQ(out.str(), (trip / "index.html").string() + "\n");

    const std::string expected = std::string(KAVO_TEST_DATA) + "/cli/trip/";
    const std::string html = std::string(KAVO_TEST_DATA) + "/html/";
    auto onDisk = [](const std::string& utf8) { return ToCp932(utf8) + "\r\n"; };
    std::string index = ReadFile(expected + "index.html");
    std::string page = ReadFile(expected + "page0001.html");
#ifdef _WIN32
    // Names ignore case on Windows, yet the catalogue is spelt as on Linux, so it
    // opens where names tell case apart too.
    std::set<std::string> names;  // as the disk keeps them
    for (auto& e : fs::directory_iterator(trip))
        names.insert(e.path().filename().string());
    for (auto& e : fs::directory_iterator(trip / "kavo"))
        names.insert(e.path().filename().string());
    EXPECT_TRUE(names.count("kavo") && names.count("page0001.html") && names.count("images"));
    // Typed in other letter case, the summary still names the folder as the disk does.
    ASSERT_EQ(Run({(dir.path() / "TRIP").string(), "--per-page=5", "--click=view"}), 0) << err.str();
#endif
    EXPECT_EQ(ReadFile(trip / "index.html"), onDisk(index));
    EXPECT_EQ(ReadFile(trip / "kavo/page0001.html"), onDisk(page));
    EXPECT_EQ(ReadFile(trip / "kavo/frame1.html"), onDisk(ReadFile(expected + "frame1.html")));
    EXPECT_EQ(ReadFile(trip / "kavo/frame2.html"), onDisk(ReadFile(html + "navigation_1.html")));
    EXPECT_EQ(ReadFile(trip / "kavo/index.html"), onDisk(ReadFile(html + "frameset.html")));
    for (auto& e : fs::directory_iterator(fs::path(KAVO_BIN_DIR) / "Images")) {
        EXPECT_EQ(ReadFile(trip / "kavo/images" / e.path().filename()), ReadFile(e.path()));
    }
    int files = 0;
    for (auto& e : fs::recursive_directory_iterator(trip / "kavo"))
        files += e.is_regular_file();
#ifndef _WIN32
    files -= fs::is_regular_file(trip / "kavo/sizes.txt");  // the pixel sizes kept for the next run
    files -= fs::is_regular_file(trip / "kavo/pages.txt");  // and what the pages hold
#endif
    EXPECT_EQ(files, 4 + 9 + 1);  // pages and frames, navigation pictures, the lock file
}

TEST_F(CliTest, ScanPrintsTheCountsAsJson) {
    dir.Write("a.jpg");
    dir.Write("b.JPEG");
    dir.Write("sub/c.png");
    dir.Write("kavo/images/ball1.gif");
    ASSERT_EQ(Run({dir.path().string(), "--scan"}), 0);
    EXPECT_EQ(out.str(), "{\"jpg\":2,\"gif\":0,\"bmp\":0,\"png\":1,\"all\":7,\"support\":true}\n");
    EXPECT_NE(err.str().find("全ファイル数にはカウントしますが"), std::string::npos);
    EXPECT_TRUE(Untouched());

    ASSERT_EQ(Run({dir.path().string(), "--scan", "--no-subfolders", "-q"}), 0);
    EXPECT_EQ(out.str(), "{\"jpg\":2,\"gif\":0,\"bmp\":0,\"png\":0,\"all\":4,\"support\":false}\n");
    EXPECT_EQ(err.str(), "");
}

TEST_F(CliTest, BadOptionsNameTheOptionAndWriteNothing) {
    dir.Write("a.jpg");
    for (std::vector<std::string> bad : {std::vector<std::string>{"--per-page=4"},
                                         {"--per-page=201"},
                                         {"--per-page=x"},
                                         {"--types=jpg,tiff"},
                                         {"--same-size=9x100"},
                                         {"--same-size=100"},
                                         {"--click=open"},
                                         {"--align=middle"},
                                         {"--table=11"},
                                         {"--table=0"},
                                         {"--thumbnails=49"},
                                         {"--thumbnails=401"},
                                         {"--bogus"}}) {
        bad.insert(bad.begin(), dir.path().string());
        EXPECT_EQ(Run(bad), 1) << bad[1];
        std::string e = err.str();
        std::string option = bad[1].substr(0, bad[1].find('='));
        EXPECT_NE(e.find(option), std::string::npos) << e;
        EXPECT_NE(e.find("--help"), std::string::npos) << e;
        EXPECT_EQ(std::count(e.begin(), e.end(), '\n'), 2) << e;
        EXPECT_TRUE(Untouched()) << bad[1];
    }
    EXPECT_EQ(Run({}), 1);
}

TEST_F(CliTest, HelpAndVersion) {
    EXPECT_EQ(Run({"--help"}), 0);
    EXPECT_NE(out.str().find("--per-page"), std::string::npos);
    EXPECT_EQ(Run({"--version"}), 0);
    EXPECT_NE(out.str().find("Kavo Version1.02C"), std::string::npos);
#ifdef _WIN32
    // "/?" asks for the help wherever it stands, and the help says what redirected output is.
    EXPECT_EQ(Run({R"(D:\pics)", "/?"}), 0);
    EXPECT_NE(out.str().find("code page"), std::string::npos);
    EXPECT_EQ(InCodePage("Café 旅行", 1252), "Caf\xE9 ??");
    EXPECT_EQ(InCodePage("Café 旅行", 932), "Caf? \x97\xB7\x8D\x73");  // no look-alike "e"
    EXPECT_EQ(InCodePage("Café", 65001), "Café");
#endif
}

TEST_F(CliTest, AFolderThatCannotBeEnteredIsExit2) {
    EXPECT_EQ(Run({(dir.path() / "missing").string()}), 2);
    EXPECT_NE(err.str().find("missing"), std::string::npos);
    dir.Write("file.jpg");
    EXPECT_EQ(Run({(dir.path() / "file.jpg").string()}), 2);
    EXPECT_FALSE(fs::exists(dir.path() / "kavo"));

    // A catalogue is not catalogued again: its frameset would become a summary page.
    dir.Write("trip/a.png", "x");
    ASSERT_EQ(Run({(dir.path() / "trip").string(), "-q"}), 0);
    const std::string frameset = ReadFile(dir.path() / "trip/kavo/index.html");
    EXPECT_EQ(Run({(dir.path() / "trip/kavo").string(), "-q"}), 2);
    EXPECT_NE(err.str().find("' は、Kavo が作ったカタログのフォルダです。"), std::string::npos) << err.str();
    EXPECT_EQ(ReadFile(dir.path() / "trip/kavo/index.html"), frameset);
    EXPECT_FALSE(fs::exists(dir.path() / "trip/kavo/kavo"));
}

TEST_F(CliTest, OptionsReachTheSettings) {
    CliOptions o;
    ASSERT_TRUE(
        ParseCommandLine({"d", "--types=png,gif", "--same-size=20x200", "--click=no", "--align=left"}, o).Proceed);
    EXPECT_FALSE(o.Request.Types.Jpg);
    EXPECT_TRUE(o.Request.Types.Gif);
    EXPECT_FALSE(o.Request.Types.Bmp);
    EXPECT_TRUE(o.Request.Types.Png);
    EXPECT_TRUE(o.Request.Layout.SameSize);
    EXPECT_EQ(o.Request.Layout.ImageWidth, 20);
    EXPECT_EQ(o.Request.Layout.ImageHeight, 200);
    EXPECT_EQ(o.Request.Layout.Click, ClickAction::No);
    EXPECT_EQ(o.Request.Layout.Align, Alignment::Left);

    CliOptions t;
    ASSERT_TRUE(ParseCommandLine({"d", "--align=right", "--table=4", "--no-size", "--no-subfolders"}, t).Proceed);
    EXPECT_TRUE(t.Request.Layout.UseTable);
    EXPECT_EQ(t.Request.Layout.ImagesPerLine, 4);
    EXPECT_EQ(t.Request.Layout.Align, Alignment::Center);  // a table always centres
    EXPECT_FALSE(t.Request.Layout.GetImageSize);
    EXPECT_FALSE(t.Request.IncludeSubfolders);

    // A folder that begins with "/" is a folder on every system, never an option.
    CliOptions root;
    ASSERT_TRUE(ParseCommandLine({"/pics"}, root).Proceed);
    EXPECT_EQ(root.Request.Folder, "/pics");

    CliOptions d;
    ASSERT_TRUE(ParseCommandLine({"d"}, d).Proceed);
    EXPECT_EQ(d.Request.PicturesPerPage, 50);
    EXPECT_EQ(d.Request.Layout.Click, ClickAction::Folder);
    EXPECT_TRUE(d.Request.Layout.GetImageSize);
    EXPECT_EQ(d.Request.Layout.ThumbnailBox, 0);

    // The size needs "=", so a folder after the flag stays the folder.
    CliOptions thumbs;
    ASSERT_TRUE(ParseCommandLine({"--thumbnails", "pics"}, thumbs).Proceed);
    EXPECT_EQ(thumbs.Request.Folder, "pics");
    EXPECT_EQ(thumbs.Request.Layout.ThumbnailBox, 200);
    ASSERT_TRUE(ParseCommandLine({"pics", "--thumbnails=400"}, thumbs).Proceed);
    EXPECT_EQ(thumbs.Request.Layout.ThumbnailBox, 400);
}

TEST_F(CliTest, InterruptIsTheCancelButton) {
    for (int i = 0; i < 12; ++i)
        dir.Write("p" + std::to_string(i) + ".png");
    interrupt = 1;
    EXPECT_EQ(Run({dir.path().string(), "--per-page=5"}), 130);
    EXPECT_NE(err.str().find("ファイル検索処理を中止しました。"), std::string::npos);
    EXPECT_TRUE(Untouched());
}

TEST(CliInterrupt, CtrlCSetsTheFlagInsteadOfEndingTheProgram) {
    static volatile std::sig_atomic_t caught = 0;
    CatchInterrupt(&caught);
#ifdef _WIN32
    // The event goes to every process of this console, this one included, on a thread of its own.
    // Under Wine there is a console only on a terminal; ctest runs this case once more on one.
    if (!::GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0)) {
        if (std::getenv("KAVO_NEED_CONSOLE"))
            FAIL() << "no console to send Ctrl-C through";
        GTEST_SKIP() << "no console to send Ctrl-C through";
    }
    for (int i = 0; i < 500 && !caught; ++i)
        ::Sleep(10);
#else
    std::raise(SIGINT);
    std::signal(SIGINT, SIG_DFL);
#endif
    EXPECT_EQ(caught, 1);
}

#ifdef _WIN32
// Run by the Wine test script on a terminal, with KAVO_LARGE_PICTURES naming a
// folder of large JPEGs: Ctrl-C amid their decoding ends kavo-cli.exe as the
// cancel button does, within 1.5 s on a loaded machine (the codec's decode of
// one picture, a few tenths of a second, is the longest wait there should be).
// The time taken goes to ctrl-c-ms.txt there, for the script to show.
TEST(CliInterrupt, CtrlCAmidLargePicturesEndsKavoCliSoon) {
    const wchar_t* folder = ::_wgetenv(L"KAVO_LARGE_PICTURES");
    if (folder == nullptr)
        GTEST_SKIP() << "run by the Wine test script";
    static volatile std::sig_atomic_t caught = 0;
    CatchInterrupt(&caught);  // the event reaches this process too, which goes on
    const fs::path thumbs = fs::path(folder) / "kavo" / "thumbs";
    std::wstring command = L"\"" + (fs::path(KAVO_BIN_DIR) / "kavo-cli.exe").wstring() + L"\" \"" + folder +
                           L"\" --thumbnails -q";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION child{};
    ASSERT_TRUE(::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                                 &child));
    ::CloseHandle(child.hThread);
    // Once the first thumbnail is in, the pool is decoding the others.
    auto madeOne = [&] {
        std::error_code ec;
        for (fs::directory_iterator it(thumbs, ec), end; !ec && it != end; it.increment(ec))
            if (it->path().extension() == ".jpg")
                return true;
        return false;
    };
    for (int i = 0; i < 6000 && !madeOne() && ::WaitForSingleObject(child.hProcess, 10) == WAIT_TIMEOUT; ++i) {
    }
    ASSERT_TRUE(madeOne()) << "no thumbnail was made";
    const auto sent = std::chrono::steady_clock::now();
    ASSERT_TRUE(::GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0));
    const bool ended = ::WaitForSingleObject(child.hProcess, 30000) == WAIT_OBJECT_0;
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - sent);
    DWORD code = 0;
    ::GetExitCodeProcess(child.hProcess, &code);
    if (!ended)
        ::TerminateProcess(child.hProcess, 1);
    ::CloseHandle(child.hProcess);
    std::ofstream(fs::path(folder) / "ctrl-c-ms.txt") << took.count();
    ASSERT_TRUE(ended);
    EXPECT_EQ(code, 130u);
    EXPECT_LT(took.count(), 1500);
}
#endif

TEST_F(CliTest, InterruptDuringTheGenerationLeavesASmallerCatalogue) {
    for (int i = 0; i < 12; ++i)
        dir.Write("p" + std::to_string(i) + ".png");
    test::FaultFileSystem faults;
    const std::string root = dir.str();
    faults.lookupError = [&](const std::string& path) {
        if (path.rfind(root + "kavo", 0) == 0)
            interrupt = 1;  // the scan never looks there; the generation does first
        return 0;
    };
    EXPECT_EQ(Run({dir.path().string(), "--per-page=5"}, faults), 130);
    EXPECT_NE(err.str().find("ＨＴＭＬ作成処理を中止しました。"), std::string::npos);
    EXPECT_EQ(out.str(), root + "index.html\n");
    EXPECT_TRUE(fs::exists(dir.path() / "kavo/frame1.html"));
    EXPECT_FALSE(fs::exists(dir.path() / "kavo/page0001.html"));
}

TEST_F(CliTest, ARunWithoutThumbnailsLeavesNoneOfTheEarlierOnesToPublish) {
    dir.Write("a.jpg", ReadFile(std::string(KAVO_TEST_DATA) + "/pictures/exif_large.jpg"));
    EXPECT_EQ(Run({dir.path().string(), "--thumbnails=50", "-q"}), 0);
    const fs::path thumbs = dir.path() / "kavo" / "thumbs";
    ASSERT_TRUE(fs::exists(thumbs / "record.txt"));  // the test pictures fit the box: only the record
    EXPECT_EQ(Run({dir.path().string(), "-q"}), 0);
    EXPECT_FALSE(fs::exists(thumbs));
    EXPECT_EQ(ReadFile(dir.path() / "kavo" / "page0001.html").find("thumbs/"), std::string::npos);
}

TEST_F(CliTest, WriteFailuresAreExit3) {
    dir.Write("p.png");
    test::FaultFileSystem faults;
    // Page0001.html where names ignore case.
    faults.failWrite = [](const std::string& p) { return p.find("age0001.html") != std::string::npos; };
    EXPECT_EQ(Run({dir.path().string(), "-q"}, faults), 3);
    EXPECT_NE(err.str().find("age0001.html' ファイルの書き出しに失敗しました。"), std::string::npos);
    EXPECT_TRUE(fs::exists(dir.path() / "index.html"));
    EXPECT_EQ(out.str(), dir.str() + "index.html\n");

    // The summary page's path is printed only when the page was written. A first
    // run: over this catalogue the frame would have the same bytes and not be written.
    fs::remove_all(dir.path() / "kavo");
    faults.failWrite = [](const std::string& p) { return p.find("frame2.html") != std::string::npos; };
    EXPECT_EQ(Run({dir.path().string(), "-q"}, faults), 3);
    EXPECT_EQ(out.str(), "");
    EXPECT_NE(err.str().find("frame2.html' ファイルの書き出しに失敗しました。"), std::string::npos);

    // So is a folder that could not be read, named once, whether scanning or generating.
    dir.Write("locked/q.png");
    faults.failWrite = [](const std::string&) { return false; };
    faults.failList = [](const std::string& p) { return p.ends_with(test::Native("locked/")); };
    for (const char* mode : {"--scan", "-q"}) {
        err.str("");
        EXPECT_EQ(Run({dir.path().string(), mode}, faults), 3) << mode;
        const std::string text = err.str();
        const size_t first = text.find("読み取れないフォルダが 1 個ありました。");
        EXPECT_NE(first, std::string::npos) << mode;
        EXPECT_EQ(text.find("読み取れないフォルダ", first + 1), std::string::npos) << mode;
    }
}

TEST_F(CliTest, ACatalogueBeingWrittenByAnotherRunIsExit4) {
    dir.Write("p.png");
    dir.MakeDir("kavo");
    bool busy = false;
    auto held = NativeFileSystem().LockFolder(dir.str() + "kavo", busy);
    EXPECT_EQ(Run({dir.path().string()}), 4);
    EXPECT_NE(err.str().find("ほかの実行が書き出し中です。"), std::string::npos);
    EXPECT_TRUE(Untouched());
}

}  // namespace
}  // namespace kavo::cli
