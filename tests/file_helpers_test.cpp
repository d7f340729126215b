#include "catalogue/folder_checks.h"
#include "fs/file_writes.h"
#include "fs/paths.h"
#include "fs/temporary_names.h"

#include "catalogue/catalogue_files.h"

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

TEST(PathHelpers, TheFolderAsTypedBecomesOnePath) {
    using test::Native;
    for (const char* typed :
         {"/pics/trip", "/pics/trip/", "/pics//trip//", "/pics/trip/.", "/pics/./trip/x/..", "/../pics/trip"})
        EXPECT_EQ(NormalizeFolder(typed), Native("/pics/trip")) << typed;
    EXPECT_EQ(NormalizeFolder("/"), Native("/"));
    EXPECT_EQ(NormalizeFolder("/.."), Native("/"));
    EXPECT_EQ(NormalizeFolder(""), ".");
    EXPECT_EQ(NormalizeFolder("./"), ".");
    EXPECT_EQ(NormalizeFolder("trip/../.."), "..");
    EXPECT_EQ(NormalizeFolder("../a/./b//"), Native("../a/b"));
#ifdef _WIN32
    // Two separators begin a network path there: its server and share are the root;
    // after "\\?\" or "\\.\" a drive, or "UNC" with a server and share.
    const std::pair<std::string, std::string> windows[] = {
        {"//server/share/x/..", R"(\\server\share)"},
        {R"(\\server\share\pics)", R"(\\server\share\pics)"},
        {"//server/share/pics/", R"(\\server\share\pics)"},
        {R"(\\?\UNC\server\share\pics\..\trip)", R"(\\?\UNC\server\share\trip)"},
        {R"(\\?\UNC\server\share\..)", R"(\\?\UNC\server\share)"},
        {R"(\\?\Z:\photos\)", R"(\\?\Z:\photos)"},
        {R"(\\?\P:\)", R"(\\?\P:\)"},
        {R"(\\?\P:\..)", R"(\\?\P:\)"},
        {R"(\\.\Z:\photos)", R"(\\.\Z:\photos)"},
        {"C:/pics/../trip", R"(C:\trip)"},
        {"C:pics/", "C:pics"},
    };
    for (const auto& [typed, normal] : windows)
        EXPECT_EQ(NormalizeFolder(typed), normal) << typed;
    // Windows makes a typed path whole first; "\\?\" keeps the text as it stands.
    EXPECT_EQ(ResolveFolder(R"(C:\pics. )"), R"(C:\pics)");
    EXPECT_EQ(ResolveFolder(R"(C:\pics.\trip\)"), R"(C:\pics\trip)");
    EXPECT_EQ(ResolveFolder(R"(\\?\C:\pics.)"), R"(\\?\C:\pics.)");
    EXPECT_EQ(ResolveFolder("trip"), (fs::current_path() / "trip").string());
#else
    EXPECT_EQ(NormalizeFolder("//pics/trip"), "/pics/trip");
    EXPECT_EQ(NormalizeFolder("//"), "/");
    EXPECT_EQ(ResolveFolder("trip/. /"), "trip/. ");  // names keep their dots and spaces
#endif
    EXPECT_EQ(CatalogueName(NativeFileSystem(), "/pics/trip"), "trip");
    EXPECT_EQ(CatalogueName(NativeFileSystem(), "."), fs::current_path().filename().string());
    EXPECT_EQ(CatalogueName(NativeFileSystem(), ".."), fs::current_path().parent_path().filename().string());
    // The name as the disk spells it, where the disk ignores letter case.
    TempDir dir;
    dir.Write("Trip/a.jpg");
    const std::string typed = dir.str() + "TRIP";
    EXPECT_EQ(CatalogueName(NativeFileSystem(), typed), NativeFileSystem().CheckFolder(typed) == 0 ? "Trip" : "TRIP");
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
#ifdef _WIN32
    // The levels of a "\\?\" prefix are no folders to make.
    EXPECT_EQ(MakeFolderPath(NativeFileSystem(), obs, R"(\\?\)" + dir.str() + R"(kavo\more)"), 0);
    EXPECT_TRUE(fs::is_directory(dir.path() / "kavo" / "more"));
#endif
    EXPECT_TRUE(obs.messages.empty());
}

TEST(MakeFolderPath, AFileInTheWayIsReportedOnce) {
    TempDir dir;
    dir.Write("kavo", "not a folder");
    RecordingObserver obs;
    EXPECT_EQ(MakeFolderPath(NativeFileSystem(), obs, dir.str() + "kavo/images"), -1);
    ASSERT_EQ(obs.messages.size(), 1u);
    EXPECT_EQ(obs.messages[0].rfind("フォルダの作成中にエラーが発生しました。\r\n", 0), 0u);
    EXPECT_NE(obs.messages[0].find("\r\n'" + dir.str() + "kavo'\r\n"), std::string::npos) << "names the folder";
}

TEST(CheckTypedFolder, TestsWithoutMovingTheCurrentFolder) {
    TempDir dir;
    dir.Write("file.txt", "x");
    auto before = fs::current_path();
    EXPECT_EQ(CheckTypedFolder(NativeFileSystem(), dir.str()), 0);
    EXPECT_EQ(CheckTypedFolder(NativeFileSystem(), dir.path().string()), 0);
    EXPECT_NE(CheckTypedFolder(NativeFileSystem(), dir.str() + "nothing"), 0);
    EXPECT_NE(CheckTypedFolder(NativeFileSystem(), dir.str() + "file.txt"), 0);
    EXPECT_NE(CheckTypedFolder(NativeFileSystem(), ""), 0);
    // The reasons as the window and the run tell them.
    EXPECT_EQ(FolderProblem(NativeFileSystem(), dir.str()), "");
    EXPECT_EQ(FolderProblem(NativeFileSystem(), dir.str() + "file.txt"), "'" + dir.str() + "file.txt' はフォルダではありません。");
    EXPECT_EQ(FolderProblem(NativeFileSystem(), dir.str() + "nothing"), FolderNotFoundMessage(dir.str() + "nothing"));
    EXPECT_EQ(fs::current_path(), before);
}

TEST(CopyFolderFiles, CopiesEveryFileReportsEachFailureAndKeepsOtherBytesAside) {
    TempDir dir;
    for (const char* name : {"a.gif", "b.gif", "c.gif", "d.gif"})
        dir.Write(std::string("Images/") + name, std::string("GIF89a-") + name);
    dir.MakeDir("Images/sub");
    dir.Write("dest/a.gif", "GIF89a-a.gif");           // ours already
    dir.Write("dest/d.gif", "the user's own picture");  // same name, other bytes
    dir.Write("dest/c.gif.kavo-tmp-99-1", "left by a killed run");
    test::FaultFileSystem faults;
    faults.failWrite = [](const std::string& p) { return p.ends_with("b.gif"); };
    RecordingObserver obs;
    CatalogueFiles files(faults, obs, true);
    files.CopyFolderFiles(dir.str() + "Images", dir.str() + "dest");
    ASSERT_EQ(obs.messages.size(), 1u);
    EXPECT_EQ(obs.messages[0], WriteFailureMessage(dir.str() + test::Native("dest/b.gif")));
    EXPECT_EQ(ReadFile(dir.path() / "dest/c.gif"), "GIF89a-c.gif");
    EXPECT_EQ(ReadFile(dir.path() / "dest/d.gif"), "GIF89a-d.gif");
    EXPECT_EQ(ReadFile(dir.path() / "dest/d.gif.bak"), "the user's own picture");
    EXPECT_FALSE(fs::exists(dir.path() / "dest/sub"));
    EXPECT_EQ(CountTemporaryFiles(dir.path()), 0);
    files.ReportKept();
    EXPECT_EQ(obs.messages.back(),
              "既存の '" + dir.str() + test::Native("dest/d.gif' は '") + dir.str() + test::Native("dest/d.gif.bak' として残しました。"));
}

TEST(CopyFolderFiles, MissingSourceCopiesNothingButMakesTheDestination) {
    TempDir dir;
    RecordingObserver obs;
    CatalogueFiles(NativeFileSystem(), obs, true).CopyFolderFiles(dir.str() + "Images", dir.str() + "dest");
    EXPECT_TRUE(fs::is_directory(dir.path() / "dest"));
    EXPECT_TRUE(fs::is_empty(dir.path() / "dest"));
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
