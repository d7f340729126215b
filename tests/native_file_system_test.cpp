#include <gtest/gtest.h>

#ifdef _WIN32
#include "fs/wide_text.h"
#include "fs/windows_api.h"
#else
#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <thread>

#include "fs/file_system.h"
#include "catalogue/generate.h"
#include "pictures/image_size.h"
#include "catalogue/scan.h"
#include "support/test_support.h"

namespace kavo {
namespace {

const std::string kPictures = std::string(KAVO_TEST_DATA) + "/pictures/";
const std::string kSep(1, kPathSep);

#ifdef _WIN32

/// The longest path the system takes without the \\?\ prefix.
constexpr size_t kPathLimit = MAX_PATH;

std::wstring Long(const std::string& path) {
    return LR"(\\?\)" + WideFromUtf8(path);
}

/// Removes the folder and everything below it, through prefixed paths.
void RemoveTree(const std::wstring& folder) {
    WIN32_FIND_DATAW data;
    HANDLE find = ::FindFirstFileW((folder + L"\\*").c_str(), &data);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = data.cFileName;
            if (name == L"." || name == L"..")
                continue;
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(folder + L"\\" + name);
            else
                ::DeleteFileW((folder + L"\\" + name).c_str());
        } while (::FindNextFileW(find, &data));
        ::FindClose(find);
    }
    ::RemoveDirectoryW(folder.c_str());
}

#else

constexpr size_t kPathLimit = PATH_MAX;

/// Removes everything below the folder open as `fd`, one level at a time by
/// descriptor (the paths are too long for std::filesystem).
void RemoveBelow(int fd) {
    DIR* dir = ::fdopendir(::dup(fd));
    if (dir == nullptr)
        return;
    while (dirent* e = ::readdir(dir)) {
        const std::string name = e->d_name;
        if (name == "." || name == "..")
            continue;
        const int sub = ::openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW);
        if (sub >= 0) {
            RemoveBelow(sub);
            ::close(sub);
            ::unlinkat(fd, name.c_str(), AT_REMOVEDIR);
        } else {
            ::unlinkat(fd, name.c_str(), 0);
        }
    }
    ::closedir(dir);
}

#endif

/// A chain of folders whose path from the temporary folder is longer than the
/// system takes in one piece (PATH_MAX, or MAX_PATH on Windows), made with *at
/// calls or prefixed paths; removed again the same way.
class DeepTree : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string level(200, 'd');
        const std::string png = test::ReadFile(kPictures + "plain.png");
        deep = tmp.str();
#ifdef _WIN32
        while (deep.size() <= kPathLimit + 300) {
            deep += level + kSep;
            ASSERT_TRUE(::CreateDirectoryW(Long(deep).c_str(), nullptr));
        }
        HANDLE out = ::CreateFileW(Long(deep + "photo.png").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
        ASSERT_NE(out, INVALID_HANDLE_VALUE);
        DWORD written = 0;
        ASSERT_TRUE(::WriteFile(out, png.data(), static_cast<DWORD>(png.size()), &written, nullptr));
        ::CloseHandle(out);
#else
        int fd = ::open(tmp.path().c_str(), O_RDONLY | O_DIRECTORY);
        ASSERT_GE(fd, 0);
        while (deep.size() <= kPathLimit + 300) {
            ASSERT_EQ(::mkdirat(fd, level.c_str(), 0777), 0);
            const int next = ::openat(fd, level.c_str(), O_RDONLY | O_DIRECTORY);
            ::close(fd);
            ASSERT_GE(next, 0);
            fd = next;
            deep += level + kSep;
        }
        const int out = ::openat(fd, "photo.png", O_WRONLY | O_CREAT, 0666);
        ASSERT_GE(out, 0);
        ASSERT_EQ(::write(out, png.data(), png.size()), static_cast<ssize_t>(png.size()));
        ::close(out);
        ::close(fd);
#endif
    }
    void TearDown() override {
#ifdef _WIN32
        RemoveTree(Long(tmp.str() + std::string(200, 'd')));
#else
        const int fd = ::open(tmp.path().c_str(), O_RDONLY | O_DIRECTORY);
        RemoveBelow(fd);
        ::close(fd);
#endif
    }

    test::TempDir tmp;
    std::string deep;  // the deepest folder, with a trailing separator
    FileSystem& fs = NativeFileSystem();
};

TEST_F(DeepTree, EveryCallReachesPastPathMax) {
    ASSERT_GT(deep.size(), kPathLimit);
    std::vector<DirEntry> entries;
    FolderId id;
    ASSERT_TRUE(fs.ListFolder(deep, entries, &id));
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].Name, "photo.png");
    EXPECT_FALSE(entries[0].IsDir);
    FolderId again;
    EXPECT_TRUE(fs.GetFolderId(deep, again));
    EXPECT_EQ(again, id);
    EXPECT_EQ(fs.CheckFolder(deep), 0);
    EXPECT_EQ(fs.CheckFolder(deep + "photo.png"), ENOTDIR);
    EXPECT_EQ(fs.CheckFolder(deep + "missing" + kSep), ENOENT);
#ifdef _WIN32
    // "/" as users type it and "." or ".." steps reach that far as well.
    std::string slashed = deep;
    std::replace(slashed.begin(), slashed.end(), '\\', '/');
    EXPECT_EQ(fs.CheckFolder(slashed), 0);
    EXPECT_TRUE(fs.IsRegularFile(deep + "." + kSep + "photo.png"));
    EXPECT_TRUE(fs.IsRegularFile(deep + ".." + kSep + std::string(200, 'd') + kSep + "photo.png"));
#endif

    const std::string photo = deep + "photo.png";
    EXPECT_TRUE(fs.Exists(photo));
    EXPECT_TRUE(fs.IsRegularFile(photo));
    PixelSize size;
    ASSERT_TRUE(ReadPixelSize(fs, photo, size));
    EXPECT_EQ(size.Width, 31);
    EXPECT_EQ(size.Height, 19);

    // Writing, reading back, renaming, copying and removing at that depth.
    EXPECT_TRUE(fs.CreateFolder(deep + "out", nullptr));
    const std::string page = deep + "out" + kSep + "page.html";
    ASSERT_TRUE(fs.WriteFileAtomic(page, "<!--x", nullptr));
    std::string head;
    ASSERT_TRUE(fs.ReadPrefix(page, 3, head));
    EXPECT_EQ(head, "<!-");
    EXPECT_TRUE(fs.RenameFile(page, page + ".bak"));
    EXPECT_FALSE(fs.Exists(page));
    EXPECT_EQ(fs.CopyFile(page + ".bak", page), 0);
    EXPECT_TRUE(fs.RemoveFile(page + ".bak"));
    fs.ListFolder(deep + "out" + kSep, entries, nullptr);
    ASSERT_EQ(entries.size(), 1u);  // no temporary file left behind
    EXPECT_EQ(entries[0].Name, "page.html");
}

TEST_F(DeepTree, TheWalksPlaceAndSizeThePictureAtTheBottom) {
    ScanResult scan;
    GenerateResult last;
    CancelToken cancel;
    test::RecordingObserver obs;
    scan = RunScan(test::RequestFor(tmp.str(), true), fs, obs, cancel);
    EXPECT_EQ(scan.Counts.PngCount, 1);
    RunRequest in;
    in.Folder = tmp.str();
    in.CaseSensitive = true;
    for (int jobs : {1, 4}) {
        in.Jobs = jobs;
        last = RunGeneration(in, scan, fs, obs, cancel);
        EXPECT_EQ(last.Counters.WrittenPngCount, 1);
        const std::string page = test::ReadFile(tmp.path() / "kavo" / "page0001.html");
        EXPECT_NE(page.find("photo.png\" WIDTH=\"31\" HEIGHT=\"19\""), std::string::npos) << jobs;
    }
}

// Links and pipes are POSIX matters: on Windows a link needs a privilege to make and pipes live
// outside the file system, so these two run on POSIX systems only.
#ifndef _WIN32
TEST(NativeFileSystem, ListsTypesAndLinksWithoutFollowingThemForTheName) {
    test::TempDir tmp;
    tmp.MakeDir("folder");
    tmp.Write("file.txt", "x");
    ASSERT_EQ(::symlink("folder", (tmp.path() / "to-folder").c_str()), 0);
    ASSERT_EQ(::symlink("file.txt", (tmp.path() / "to-file").c_str()), 0);
    ASSERT_EQ(::symlink("nowhere", (tmp.path() / "dangling").c_str()), 0);
    std::vector<DirEntry> entries;
    ASSERT_TRUE(NativeFileSystem().ListFolder(tmp.str(), entries, nullptr));
    std::map<std::string, std::pair<bool, bool>> seen;  // name -> (IsDir, IsLink)
    for (const DirEntry& e : entries)
        seen[e.Name] = {e.IsDir, e.IsLink};
    const std::map<std::string, std::pair<bool, bool>> expected = {{"dangling", {false, true}},
                                                                   {"file.txt", {false, false}},
                                                                   {"folder", {true, false}},
                                                                   {"to-file", {false, true}},
                                                                   {"to-folder", {true, true}}};
    EXPECT_EQ(seen, expected);
    EXPECT_TRUE(NativeFileSystem().ReadsAreThreadSafe());
}

TEST(NativeFileSystem, OnlyFilesArePicturesAndPipesNeverBlockARun) {
    test::TempDir tmp;
    ASSERT_EQ(::mkfifo((tmp.path() / "pipe.jpg").c_str(), 0600), 0);
    // Folders, pipes and dangling links named like pictures are entries; a link to a file is a picture.
    tmp.Write("holiday.jpg/in.png", "x");
    tmp.Write("real.gif", "x");
    std::filesystem::create_symlink(tmp.path() / "real.gif", tmp.path() / "link.gif");
    std::filesystem::create_symlink(tmp.path() / "gone", tmp.path() / "gone.png");
    ASSERT_EQ(::mkfifo((tmp.path() / "index.html").c_str(), 0600), 0);
    FileSystem& fs = NativeFileSystem();
    EXPECT_EQ(fs.OpenRead(tmp.str() + "pipe.jpg"), nullptr);
    std::string head;
    EXPECT_FALSE(fs.ReadPrefix(tmp.str() + "index.html", 16, head));

    ScanResult scan;

    GenerateResult last;

    CancelToken cancel;
    test::RecordingObserver obs;
    scan = RunScan(test::RequestFor(tmp.str(), true), fs, obs, cancel);
    EXPECT_EQ(scan.Counts.AllFileCount, 7);
    EXPECT_EQ(scan.Counts.JpgCount + scan.Counts.GifCount + scan.Counts.PngCount, 3);  // in.png, real.gif, link.gif
    test::TempDir program;
    std::filesystem::create_directory(program.path() / "Images");
    RunRequest in;
    in.Folder = tmp.str();
    in.ProgramFolder = program.str();
    in.CaseSensitive = true;
    GenerateResult r = last = RunGeneration(in, scan, fs, obs, cancel);
    EXPECT_EQ(last.Counters.WrittenJpgCount, 0);
    EXPECT_EQ(last.Counters.WrittenImageCount, 3);
    // Only a file is kept aside: the pipe stays where it is, unwritten and named.
    EXPECT_EQ(r.BackupOfIndex, "");
    EXPECT_FALSE(r.SummaryWritten);
    EXPECT_EQ(r.WriteFailures, 1);
    EXPECT_TRUE(std::filesystem::is_fifo(tmp.path() / "index.html"));
}

TEST(NativeFileSystem, HeldFoldersReceiveTheCallsWhateverBecomesOfTheirNames) {
    namespace sfs = std::filesystem;
    test::TempDir tmp;
    tmp.Write("kavo/old.html", "old");
    tmp.Write("elsewhere/precious.html", "precious");
    FileSystem& fs = NativeFileSystem();
    const std::string kavo = tmp.str() + "kavo";
    {
        auto held = fs.HoldFolders();
        ASSERT_EQ(held->Hold(tmp.str()), 0);
        ASSERT_EQ(held->Hold(kavo + "/"), 0);
        EXPECT_EQ(held->Moved(), "");
        // Renamed away, and a link to another folder put at its name.
        sfs::rename(kavo, tmp.path() / "away");
        sfs::create_directory_symlink(tmp.path() / "elsewhere", kavo);
        EXPECT_EQ(held->Moved(), kavo);
        EXPECT_TRUE(fs.WriteFileAtomic(kavo + "/new.html", "new", nullptr));
        EXPECT_EQ(fs.WriteNewFile(kavo + "/staged.html", "staged"), 0);
        EXPECT_TRUE(fs.RenameFile(kavo + "/staged.html", kavo + "/precious.html"));
        EXPECT_TRUE(fs.RemoveFile(kavo + "/old.html"));
        std::vector<DirEntry> entries;
        ASSERT_TRUE(fs.ListFolder(kavo + "/", entries, nullptr));
        EXPECT_EQ(entries.size(), 2u);
        EXPECT_EQ(test::ReadFile(tmp.path() / "away/precious.html"), "staged");
        EXPECT_EQ(test::ReadFile(tmp.path() / "elsewhere/precious.html"), "precious");
        EXPECT_EQ(std::distance(sfs::directory_iterator(tmp.path() / "elsewhere"), sfs::directory_iterator()), 1);
        // Let go of before the others (a folder the run removes), it is reached by its name again.
        held->Release(kavo);
        EXPECT_EQ(held->Moved(), "");
        EXPECT_EQ(fs.WriteNewFile(kavo + "/released.html", "x"), 0);
        EXPECT_TRUE(sfs::remove(tmp.path() / "elsewhere/released.html"));
    }
    // Let go, the names lead again.
    EXPECT_TRUE(fs.WriteFileAtomic(kavo + "/new.html", "by name", nullptr));
    EXPECT_EQ(test::ReadFile(tmp.path() / "elsewhere/new.html"), "by name");
    sfs::remove(kavo);

    // One's own link is followed; another user's link, or their folder where anyone may write, is not entered.
    sfs::create_directory_symlink(tmp.path() / "away", kavo);
    auto held = fs.HoldFolders();
    ASSERT_EQ(held->Hold(tmp.str()), 0);
    EXPECT_EQ(held->Hold(kavo), 0);
    EXPECT_EQ(held->Hold(tmp.str() + "nothing"), ENOENT);
    if (::geteuid() != 0)
        return;  // only root can give a folder to another user
    ASSERT_EQ(::lchown(kavo.c_str(), 4242, 4242), 0);
    EXPECT_EQ(held->Hold(kavo), EPERM);
    sfs::remove(kavo);
    sfs::create_directory(kavo);
    ASSERT_EQ(::chown(kavo.c_str(), 4242, 4242), 0);
    ASSERT_EQ(::chmod(tmp.path().c_str(), 01777), 0);
    EXPECT_EQ(held->Hold(kavo), EPERM);
    // A group's shared folder: its members share one catalogue.
    ASSERT_EQ(::chmod(tmp.path().c_str(), 02775), 0);
    EXPECT_EQ(held->Hold(kavo), 0);
}
#endif

#ifdef _WIN32
TEST(NativeFileSystem, AFileHeldOpenWithoutDeleteSharingKeepsTheEarlierCatalogue) {
    test::TempDir tmp;
    for (int i = 0; i < 6; ++i)
        tmp.Write("p" + std::to_string(i) + ".png", "x");
    ScanResult scan;
    GenerateResult last;
    CancelToken cancel;
    RunRequest in;
    in.Folder = tmp.str();
    in.CaseSensitive = true;
    test::RecordingObserver obs;
    auto generate = [&](int perPage) {
        scan = RunScan(test::RequestFor(in.Folder, true), NativeFileSystem(), obs, cancel);
        in.PicturesPerPage = perPage;
        return last = RunGeneration(in, scan, NativeFileSystem(), obs, cancel);
    };
    for (const std::string held : {"kavo\\frame2.html", "index.html"}) {
        generate(3);
        const std::string tree = test::ReadFile(tmp.path() / "kavo\\frame1.html");
        HANDLE h = ::CreateFileW(Long(tmp.str() + held).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                 nullptr, OPEN_EXISTING, 0, nullptr);
        GenerateResult r = generate(2);  // one page more
        ::CloseHandle(h);
        EXPECT_FALSE(r.SummaryWritten) << held;
        EXPECT_EQ(test::ReadFile(tmp.path() / "kavo\\frame1.html"), tree) << held;
        EXPECT_FALSE(std::filesystem::exists(tmp.path() / "kavo\\page0003.html")) << held;
    }
}

TEST(NativeFileSystem, AHeldFolderRenamedAwayIsRefusedOrNoticed) {
    test::TempDir tmp;
    tmp.Write("kavo\\old.html", "old");
    FileSystem& fs = NativeFileSystem();
    const std::string kavo = tmp.str() + "kavo";
    auto held = fs.HoldFolders();
    ASSERT_EQ(held->Hold(tmp.str()), 0);
    ASSERT_EQ(held->Hold(kavo), 0);
    // What the run does inside goes on.
    EXPECT_TRUE(fs.WriteFileAtomic(kavo + "\\new.html", "new", nullptr));
    EXPECT_TRUE(fs.RemoveFile(kavo + "\\old.html"));
    EXPECT_EQ(held->Moved(), "");
    // Windows refuses to rename a folder opened without delete sharing; Wine does not, and then the run notices.
    const bool renamed = ::MoveFileExW(Long(kavo).c_str(), Long(tmp.str() + "away").c_str(), 0);
    EXPECT_EQ(held->Moved(), renamed ? kavo : "");
    held.reset();
    EXPECT_TRUE(renamed || ::MoveFileExW(Long(kavo).c_str(), Long(tmp.str() + "away").c_str(), 0));
    EXPECT_EQ(test::ReadFile(tmp.path() / "away\\new.html"), "new");
}
#endif

/// Creates an empty file through the system's own call, not the code under test.
void MakeFile(const std::string& path) {
#ifdef _WIN32
    HANDLE h = ::CreateFileW(Long(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE) << path;
    ::CloseHandle(h);
#else
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT, 0666);
    ASSERT_GE(fd, 0) << path;
    ::close(fd);
#endif
}

TEST(NativeFileSystem, ListsAFolderTooLargeForOneReadOfEntriesWhole) {
    // About 600 KB of entries: the system hands them over in many batches.
    test::TempDir tmp;
    const std::string stem(200, 'n');
    constexpr int kCount = 3000;
    for (int i = 0; i < kCount; ++i)
        MakeFile(tmp.str() + stem + std::to_string(i));
    // Names beyond ASCII and beyond the Basic Multilingual Plane come back as they were made.
    const std::vector<std::string> wide = {"写真 ü.png", "😀.JPG", "ｶﾅ～.gif"};
    for (const std::string& name : wide)
        MakeFile(tmp.str() + name);
    FolderId id;
    std::vector<DirEntry> entries;
    ASSERT_TRUE(NativeFileSystem().ListFolder(tmp.str(), entries, &id));
    std::set<std::string> names;
    for (const DirEntry& e : entries) {
        EXPECT_FALSE(e.IsDir || e.IsLink) << e.Name;
        names.insert(e.Name);
    }
    EXPECT_EQ(entries.size(), kCount + wide.size());
    EXPECT_EQ(names.size(), kCount + wide.size());
    EXPECT_TRUE(names.count(stem + "0") && names.count(stem + std::to_string(kCount - 1)));
    for (const std::string& name : wide) {
        EXPECT_TRUE(names.count(name)) << name;
        EXPECT_TRUE(NativeFileSystem().IsRegularFile(tmp.str() + name)) << name;
    }
#ifdef _WIN32
    BY_HANDLE_FILE_INFORMATION info;
    HANDLE h = ::CreateFileW(Long(tmp.str()).c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
                             nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    ASSERT_TRUE(::GetFileInformationByHandle(h, &info));
    ::CloseHandle(h);
    EXPECT_EQ(id, (FolderId{info.dwVolumeSerialNumber, uint64_t{info.nFileIndexHigh} << 32 | info.nFileIndexLow}));
#else
    struct stat st {};
    ASSERT_EQ(::stat(tmp.str().c_str(), &st), 0);
    EXPECT_EQ(id, (FolderId{static_cast<uint64_t>(st.st_dev), st.st_ino}));
#endif

    // In batches: the same entries in the same order; stopped, a failed listing with nothing in it.
    int asked = 0;
    std::vector<DirEntry> batched;
    ASSERT_TRUE(NativeFileSystem().ListFolderInBatches(tmp.str(), batched, nullptr, [&] { return ++asked > 0; }));
    EXPECT_GT(asked, 2);
    EXPECT_TRUE(std::equal(batched.begin(), batched.end(), entries.begin(), entries.end(),
                           [](const DirEntry& a, const DirEntry& b) { return a.Name == b.Name; }));
    EXPECT_FALSE(NativeFileSystem().ListFolderInBatches(tmp.str(), batched, nullptr, [] { return false; }));
    EXPECT_TRUE(batched.empty());
}

// Run by the Wine test script with KAVO_HOLD_LOCK naming a catalogue folder:
// holds its lock until a file "release" appears there, while a Linux program
// tries to take the same lock.
TEST(LockAcrossSystems, HoldsTheLockUntilReleased) {
    const char* folder = std::getenv("KAVO_HOLD_LOCK");
    if (folder == nullptr)
        GTEST_SKIP() << "run by the Wine test script";
    bool busy = false;
    const auto lock = NativeFileSystem().LockFolder(folder, busy);
    ASSERT_TRUE(lock && !busy);
    std::string err;
    ASSERT_TRUE(NativeFileSystem().WriteFileAtomic(std::string(folder) + kSep + "held", "", &err)) << err;
    for (int i = 0; i < 300 && !NativeFileSystem().Exists(std::string(folder) + kSep + "release"); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
}

}  // namespace
}  // namespace kavo
