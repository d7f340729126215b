#include "catalogue/file_helpers.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "support/fault_file_system.h"
#include "support/test_support.h"

namespace kavo {
namespace {

namespace fs = std::filesystem;
using test::ReadFile;
using test::RecordingObserver;
using test::TempDir;

int CountTemporaryFiles(const fs::path& dir) {
    int n = 0;
    for (auto& e : fs::recursive_directory_iterator(dir)) {
        if (e.path().filename().string().find(".kavo-tmp") != std::string::npos)
            ++n;
    }
    return n;
}

TEST(PathHelpers, JoinAndFolderNames) {
    using test::Native;
    EXPECT_EQ(JoinPath(Native("/pics"), "a.jpg"), Native("/pics/a.jpg"));
    EXPECT_EQ(JoinPath(Native("/pics/"), "a.jpg"), Native("/pics/a.jpg"));
    EXPECT_EQ(JoinPath(Native("/pics/"), ""), Native("/pics/"));
    EXPECT_EQ(LastFolderName(Native("/pics/trip/")), "trip");
    EXPECT_EQ(LastFolderName(Native("/pics/trip")), "trip");
    EXPECT_EQ(LastFolderName("trip"), "trip");
    EXPECT_EQ(LastFolderName(Native("/")), "");
    EXPECT_EQ(WithTrailingSeparator(Native("/pics")), Native("/pics/"));
    EXPECT_EQ(WithTrailingSeparator(Native("/pics/")), Native("/pics/"));
#ifdef _WIN32
    // Windows takes "/" as a separator too, as a user may type it.
    EXPECT_EQ(JoinPath("C:/pics/", "a.jpg"), "C:/pics/a.jpg");
    EXPECT_EQ(WithTrailingSeparator("C:/pics/"), "C:/pics/");
    EXPECT_EQ(LastFolderName("C:/pics/trip/"), "trip");
#endif
}

TEST(PathHelpers, RelativeAddresses) {
    EXPECT_EQ(RelativeUrlPath("/pics/sub/a.JPG", "/pics/"), "sub/a.JPG");
    EXPECT_EQ(RelativeUrlPath("/pics/sub/a b.jpg", "/pics/"), "sub/a b.jpg");
    EXPECT_EQ(RelativeUrlPath("/pics/a.jpg", "/pics/"), "a.jpg");
    EXPECT_EQ(UrlFolderPart("sub/deeper/a.jpg"), "sub/deeper");
    EXPECT_EQ(UrlFolderPart("a.jpg"), "");
    EXPECT_EQ(UrlFolderPart("/a.jpg"), "");
}

TEST(SaveOutputText, WritesCp932WithOneMoreLineEnd) {
    TempDir dir;
    RecordingObserver obs;
    const std::string path = dir.str() + "page.html";
    ASSERT_EQ(SaveOutputText(NativeFileSystem(), obs, path, "目次\r\n"), 0);
    EXPECT_EQ(ReadFile(path), "\x96\xda\x8e\x9f\r\n\r\n");
    ASSERT_EQ(SaveOutputText(NativeFileSystem(), obs, path, ""), 0);
    EXPECT_EQ(ReadFile(path), "\r\n");
    EXPECT_TRUE(obs.messages.empty());
    EXPECT_EQ(CountTemporaryFiles(dir.path()), 0);
}

TEST(SaveOutputText, FailureIsReportedWithThePath) {
    TempDir dir;
    RecordingObserver obs;
    const std::string path = dir.str() + "missing/page.html";
    EXPECT_EQ(SaveOutputText(NativeFileSystem(), obs, path, "x\r\n"), -1);
    ASSERT_EQ(obs.messages.size(), 1u);
    EXPECT_EQ(obs.messages[0],
              "'" + path + "' ファイルの書き出しに失敗しました。\r\nこのファイルは、書き出し先を確認してください。");
    EXPECT_EQ(obs.titles[0], "Kavo");
    EXPECT_FALSE(fs::exists(path));
    EXPECT_EQ(CountTemporaryFiles(dir.path()), 0);
}

TEST(SaveOutputText, AFailedWriteLeavesTheOldFileWhole) {
    TempDir dir;
    dir.Write("page.html", "old page");
    test::FaultFileSystem faults;
    faults.failWrite = [](const std::string& p) { return p.ends_with("page.html"); };
    RecordingObserver obs;
    EXPECT_EQ(SaveOutputText(faults, obs, dir.str() + "page.html", "new"), -1);
    EXPECT_EQ(ReadFile(dir.path() / "page.html"), "old page");
}

TEST(MakeFolderPath, CreatesEveryMissingLevelQuietly) {
    TempDir dir;
    RecordingObserver obs;
    EXPECT_EQ(MakeFolderPath(NativeFileSystem(), obs, dir.str() + "kavo/images"), 0);
    EXPECT_TRUE(fs::is_directory(dir.path() / "kavo" / "images"));
    EXPECT_EQ(MakeFolderPath(NativeFileSystem(), obs, dir.str() + "kavo/images"), 0);
    EXPECT_TRUE(obs.messages.empty());
}

TEST(MakeFolderPath, AFileInTheWayIsReportedOnce) {
    TempDir dir;
    dir.Write("kavo", "not a folder");
    RecordingObserver obs;
    EXPECT_EQ(MakeFolderPath(NativeFileSystem(), obs, dir.str() + "kavo/images"), -1);
    ASSERT_EQ(obs.messages.size(), 1u);
    EXPECT_EQ(obs.messages[0].rfind("フォルダの作成中にエラーが発生しました。\r\n", 0), 0u);
    EXPECT_GT(obs.messages[0].size(), std::string("フォルダの作成中にエラーが発生しました。\r\n").size());
}

TEST(CheckFolder, TestsWithoutMovingTheCurrentFolder) {
    TempDir dir;
    dir.Write("file.txt", "x");
    auto before = fs::current_path();
    EXPECT_EQ(CheckFolder(NativeFileSystem(), dir.str()), 0);
    EXPECT_EQ(CheckFolder(NativeFileSystem(), dir.path().string()), 0);
    EXPECT_NE(CheckFolder(NativeFileSystem(), dir.str() + "nothing"), 0);
    EXPECT_NE(CheckFolder(NativeFileSystem(), dir.str() + "file.txt"), 0);
    EXPECT_NE(CheckFolder(NativeFileSystem(), ""), 0);
    EXPECT_EQ(fs::current_path(), before);
}

TEST(CopyFolderFiles, CopiesFilesOverOldCopies) {
    TempDir dir;
    dir.Write("Images/ball1.gif", "GIF89a-ball");
    dir.Write("Images/logo1.gif", "GIF89a-logo");
    dir.MakeDir("Images/sub");
    dir.Write("out/images/ball1.gif", "old");
    EXPECT_EQ(CopyFolderFiles(NativeFileSystem(), dir.str() + "Images", dir.str() + "out/images"), 0);
    EXPECT_EQ(ReadFile(dir.path() / "out/images/ball1.gif"), "GIF89a-ball");
    EXPECT_EQ(ReadFile(dir.path() / "out/images/logo1.gif"), "GIF89a-logo");
    EXPECT_FALSE(fs::exists(dir.path() / "out/images/sub"));
}

TEST(CopyFolderFiles, MissingSourceCopiesNothingButMakesTheDestination) {
    TempDir dir;
    EXPECT_EQ(CopyFolderFiles(NativeFileSystem(), dir.str() + "Images", dir.str() + "dest"), 0);
    EXPECT_TRUE(fs::is_directory(dir.path() / "dest"));
    EXPECT_TRUE(fs::is_empty(dir.path() / "dest"));
}

TEST(CopyFolderFiles, StopsAtTheFirstFailure) {
    TempDir dir;
    dir.Write("Images/a.gif", "a");
    dir.Write("Images/b.gif", "b");
    dir.Write("Images/c.gif", "c");
    dir.MakeDir("dest");
    test::FaultFileSystem faults;
    faults.failWrite = [](const std::string& p) { return p.ends_with("b.gif"); };
    EXPECT_NE(CopyFolderFiles(faults, dir.str() + "Images", dir.str() + "dest"), 0);
    EXPECT_TRUE(fs::exists(dir.path() / "dest/a.gif"));
    EXPECT_FALSE(fs::exists(dir.path() / "dest/b.gif"));
    EXPECT_FALSE(fs::exists(dir.path() / "dest/c.gif"));
}

TEST(ProgramDataFolder, PrefersImagesBesideTheExecutable) {
    TempDir dir;
    dir.MakeDir("bin/Images");
    dir.MakeDir("usr/bin");
    dir.MakeDir("usr/share/kavo/Images");
    EXPECT_EQ(ProgramDataFolder(NativeFileSystem(), dir.str() + "bin"), dir.str() + "bin");
    EXPECT_EQ(ProgramDataFolder(NativeFileSystem(), dir.str() + test::Native("usr/bin")),
              dir.str() + test::Native("usr/bin/../share/kavo"));
}

}  // namespace
}  // namespace kavo
