// Runs that something tries to break: a disk that fills up in the middle of a
// page, folders and pictures that vanish during the run, files that are not
// ours, link loops, cancels at any point of a table layout, and the faults the
// fuzz targets found.

#include <gtest/gtest.h>
#ifndef _WIN32
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <map>
#include <regex>
#include <utility>

#include "base/encoding.h"
#include "catalogue/folder_checks.h"
#include "fs/file_writes.h"
#include "fs/paths.h"
#include "fs/temporary_names.h"
#include "catalogue/generate.h"
#include "catalogue/scan.h"
#include "html/escape.h"
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
        const std::string name = e.path().filename().string();
        if (name.find(".kavo-tmp-") != std::string::npos || name.starts_with("kavo-staging-"))
            ++n;
    }
    return n;
}

int Count(const std::string& text, const std::string& what) {
    int n = 0;
    for (size_t pos = text.find(what); pos != std::string::npos; pos = text.find(what, pos + what.size()))
        ++n;
    return n;
}

class HostileRun : public ::testing::Test {
protected:
    void SetUp() override {
        in.Folder = dir.path().string();
        in.ProgramFolder = program.path().string();
        in.CaseSensitive = true;
        in.Layout.GetImageSize = false;
        program.Write("Images/ball1.gif", "GIF89a");
        program.Write("Images/logo1.gif", "GIF89a");
    }

    GenerateResult Generate(RunObserver& obs, FileSystem& fsys = NativeFileSystem()) {
        // As a front-end runs them: scan, then generate from its counts, each with a token not cancelled yet.
        RecordingObserver scanObs;
        cancel.Reset();
        scan = RunScan(in, fsys, scanObs, cancel);
        cancel.Reset();
        last = RunGeneration(in, scan, fsys, obs, cancel);
        return last;
    }

    GenerateResult Generate(FileSystem& fsys = NativeFileSystem()) {
        RecordingObserver obs;
        return Generate(obs, fsys);
    }

    fs::path Catalogue() const { return fs::path(in.Folder) / "kavo"; }

    /// Page numbers of the page files on disk, in order.
    std::vector<int> PagesOnDisk() const {
        std::vector<int> pages;
        std::regex name(R"(page(\d{4,})\.html)");
        for (auto& e : fs::directory_iterator(Catalogue())) {
            std::smatch m;
            const std::string n = e.path().filename().string();
            if (std::regex_match(n, m, name))
                pages.push_back(std::stoi(m[1]));
        }
        std::sort(pages.begin(), pages.end());
        return pages;
    }

    std::string Page(int n) const {
        char name[32];
        std::snprintf(name, sizeof name, "page%04d.html", n);
        return ReadFile(Catalogue() / name);
    }

    /// The page count as the tree frame, the navigation frame and the summary page tell it.
    void ExpectFramesCount(int pages) const {
        const std::string tree = ReadFile(Catalogue() / "frame1.html");
        EXPECT_EQ(Count(tree, "TARGET=\"frame3\""), pages);
        if (pages > 0) {
            EXPECT_NE(tree.find("onClick=\"SetPage(" + std::to_string(pages) + ")\""), std::string::npos);
        }
        EXPECT_NE(ReadFile(Catalogue() / "frame2.html").find("(n <= " + std::to_string(pages) + "))"),
                  std::string::npos);
        const std::string summary = ReadFile(fs::path(in.Folder) / "index.html");
        const std::string row = ToCp932("ページ数</FONT>\r\n</TD>\r\n<TD>\r\n<FONT COLOR=\"#666666\" SIZE=\"4\">") +
                                std::to_string(pages) + "</FONT>";
        EXPECT_NE(summary.find(row), std::string::npos) << "summary page with " << pages << " pages";
    }

    /// The frameset, the frames, the summary page and the pages the tree frame
    /// names, by name; a file that is not there maps to "-".
    std::map<std::string, std::string> CatalogueOnDisk() const {
        std::map<std::string, std::string> files;
        auto take = [&](const fs::path& p) {
            files[p.lexically_relative(dir.path()).generic_string()] = fs::exists(p) ? ReadFile(p) : "-";
        };
        for (const char* f : {"index.html", "frame1.html", "frame2.html"})
            take(Catalogue() / f);
        take(dir.path() / "index.html");
        const int pages = Count(files["kavo/frame1.html"], "TARGET=\"frame3\"");
        for (int p = 1; p <= pages; ++p) {
            char name[32];
            std::snprintf(name, sizeof name, "page%04d.html", p);
            take(Catalogue() / name);
        }
        return files;
    }

    /// Pages 1 … PageCount all on disk, none empty, and the frames counting exactly them.
    void ExpectConsistent() const {
        std::vector<int> expected;
        for (int p = 1; p <= last.Counters.PageCount; ++p)
            expected.push_back(p);
        EXPECT_EQ(PagesOnDisk(), expected);
        for (int p : expected)
            EXPECT_GT(Count(Page(p), "<IMG SRC="), 0) << "page " << p;
        ExpectFramesCount(last.Counters.PageCount);
        EXPECT_EQ(CountTemporaryFiles(dir.path()), 0);
    }

    TempDir program;
    TempDir dir;
    ScanResult scan;
    GenerateResult last;
    CancelToken cancel;
    RunRequest in;
};

// ---------------------------------------------------------------------------
// The disk filling up in the middle of a file: the machine's own writer under a
// file size limit, which fails a write() part way as a full disk does. Windows
// has no such limit; there the injected failures of the other tests stand in.
#ifndef _WIN32

class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &m_old);
        m_handler = std::signal(SIGXFSZ, SIG_IGN);  // the write then fails with EFBIG
        rlimit limit = m_old;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &m_old);
        std::signal(SIGXFSZ, m_handler);
    }

private:
    rlimit m_old{};
    void (*m_handler)(int);
};

TEST_F(HostileRun, DiskFullInTheMiddleOfAPageLeavesNoHalfFile) {
    for (int i = 0; i < 12; ++i)
        dir.Write("picture-with-a-longer-name-" + std::to_string(i) + ".png", "x");
    in.PicturesPerPage = 5;
    Generate();
    const auto fullPage = static_cast<rlim_t>(fs::file_size(Catalogue() / "page0001.html"));
    const auto shortPage = static_cast<rlim_t>(fs::file_size(Catalogue() / "page0003.html"));
    const std::string oldSummary = ReadFile(dir.path() / "index.html");
    ASSERT_LT(shortPage + 200, fullPage);

    // Full pages no longer fit, the short last page does. Every page changes: unchanged ones are not written at all.
    in.Layout.Click = ClickAction::View;
    RecordingObserver obs;
    GenerateResult r;
    {
        FileSizeLimit limit(shortPage + 100);
        r = Generate(obs);
    }
    EXPECT_FALSE(r.Cancelled);
    EXPECT_EQ(last.Counters.PageCount, 3);
    EXPECT_EQ(PagesOnDisk(), (std::vector<int>{1, 2, 3})) << "the pages that did not fit are the earlier ones, whole";
    ExpectFramesCount(3);
    EXPECT_EQ(Count(Page(3), "<IMG SRC="), 2);
    EXPECT_TRUE(Page(3).ends_with("</HTML>\r\n\r\n"));
    for (const char* p : {"page0001.html", "page0002.html"}) {
        EXPECT_NE(std::find_if(obs.messages.begin(), obs.messages.end(),
                               [&](const std::string& m) { return m.find(p) != std::string::npos; }),
                  obs.messages.end())
            << p << " is reported";
    }
    EXPECT_EQ(r.WriteFailures, static_cast<int>(obs.messages.size()));
    // Whatever was written is whole; whatever could not be is the earlier whole file or nothing.
    for (const char* f : {"kavo/index.html", "kavo/frame1.html", "kavo/frame2.html", "index.html"}) {
        if (!fs::exists(dir.path() / f))
            continue;
        EXPECT_TRUE(ReadFile(dir.path() / f).ends_with("</HTML>\r\n\r\n")) << f;
    }
    EXPECT_EQ(ReadFile(dir.path() / "index.html"), oldSummary) << "the earlier frames and summary stay with their pages";
    EXPECT_EQ(CountTemporaryFiles(dir.path()), 0);

    // With room again the same run is whole.
    Generate();
    ExpectConsistent();
}
#endif

TEST_F(HostileRun, ARerunKilledAtAnyPointLeavesAWholeCatalogue) {
    for (int i = 0; i < 12; ++i)
        dir.Write("p" + std::to_string(i) + ".png", "x");
    in.PicturesPerPage = 5;
    Generate();
    const auto earlier = CatalogueOnDisk();
    // To more pages, to fewer, and a picture renamed (one page changes, the rest is not written);
    // one file after another, and side by side; pages too large to keep in memory.
    struct Change {
        int perPage;
        bool rename;
        bool large = false;
    };
    for (int writers : {1, 4}) {
        for (const Change change : {Change{3, false}, Change{10, false}, Change{5, true}, Change{3, false, true}}) {
            std::vector<std::map<std::string, std::string>> after;  // killed after 0, 1, … changes
            std::vector<std::pair<char, std::string>> whole;        // the changes of the run not killed
            while (whole.empty()) {
                in.PicturesPerPage = 5;
                in.Writers = 1;
                Generate();
                in.PicturesPerPage = change.perPage;
                in.Writers = writers;
                if (change.rename)
                    fs::rename(dir.path() / "p7.png", dir.path() / "p7b.png");
                test::FaultFileSystem killed;
                killed.parallelWrites = writers > 1;
                killed.changesLeft = static_cast<int>(after.size());
                if (change.large)
                    killed.failReadWhole = [](const std::string& path) { return path.find("page0") != std::string::npos; };
                Generate(killed);
                after.push_back(CatalogueOnDisk());
                if (change.rename)
                    fs::rename(dir.path() / "p7b.png", dir.path() / "p7.png");
                if (killed.changesLeft > 0)
                    whole = killed.changes;
                ASSERT_LT(after.size(), 100u);
            }
            // Neither catalogue is whole only once every file is written, until the last is renamed in.
            size_t written = 0, renamed = 0;
            for (size_t i = 0; i < whole.size(); ++i) {
                const bool page = whole[i].second.find(".html") != std::string::npos;
                // Staged writes: a large page's copy aside comes with its rename.
                written = page && whole[i].first == 'w' && whole[i].second.ends_with("staged") ? i + 1 : written;
                renamed = page && whole[i].first == 'r' ? i + 1 : renamed;
            }
            if (change.rename) {
                EXPECT_EQ(std::count_if(whole.begin(), whole.end(), [](const auto& c) { return c.first == 'r'; }), 1)
                    << "only the page that changed is renamed in";
            }
            for (size_t k = 0; k < after.size(); ++k) {
                // The frameset opens on the first page: it is there at every moment.
                EXPECT_TRUE(after[k].at("kavo/index.html") == "-" || after[k].at("kavo/page0001.html") != "-")
                    << change.perPage << " per page, " << writers << " writers, killed after " << k;
                const bool mixed = after[k] != earlier && after[k] != after.back();
                EXPECT_TRUE(!mixed || (k >= written && k < renamed))
                    << change.perPage << " per page, " << writers << " writers, killed after " << k;
            }
            in.PicturesPerPage = change.perPage;
            Generate();
            ExpectConsistent();
        }
    }
}

TEST_F(HostileRun, LargePagesWithoutRoomForTheirCopiesAsideAreMovedAside) {
    for (int i = 0; i < 12; ++i)
        dir.Write("p" + std::to_string(i) + ".png", "x");
    in.PicturesPerPage = 5;
    Generate();
    in.PicturesPerPage = 3;
    test::FaultFileSystem faults;
    faults.failReadWhole = [](const std::string& path) { return path.find("page0") != std::string::npos; };
    faults.failWrite = [](const std::string& path) {
        return path.find(".kavo-tmp-") != std::string::npos && !path.ends_with("staged");
    };
    RecordingObserver obs;
    const GenerateResult r = Generate(obs, faults);
    EXPECT_EQ(r.WriteFailures, 0);
    EXPECT_TRUE(r.SummaryWritten);
    ExpectConsistent();
    EXPECT_EQ(CountTemporaryFiles(dir.path()), 0);
}

TEST_F(HostileRun, AFileThatCannotBeReplacedKeepsTheEarlierCatalogueWhole) {
    for (int i = 0; i < 12; ++i)
        dir.Write("p" + std::to_string(i) + ".png", "x");
    for (const std::string held : {"kavo/frame2.html", "index.html", "kavo/page0002.html", "kavo/frame1.html",
                                   "kavo/page0003.html"}) {
        in.PicturesPerPage = 5;
        in.Writers = 1;
        Generate();
        const auto earlier = CatalogueOnDisk();
        in.PicturesPerPage = 3;  // one page more
        in.Writers = held.ends_with("3.html") ? 4 : 1;  // the pages put in side by side
        test::FaultFileSystem faults;
        faults.parallelWrites = in.Writers > 1;
        const std::string path = dir.str() + test::Native(held);
        faults.failRename = [&](const std::string& p) { return p == path; };
        RecordingObserver obs;
        GenerateResult r = Generate(obs, faults);
        EXPECT_FALSE(r.SummaryWritten) << held;
        EXPECT_EQ(obs.messages, std::vector<std::string>{WriteFailureMessage(path)}) << held;
        EXPECT_EQ(CatalogueOnDisk(), earlier) << held;
        EXPECT_EQ(PagesOnDisk(), (std::vector<int>{1, 2, 3})) << held;
        EXPECT_EQ(CountTemporaryFiles(dir.path()), 0) << held;
    }
}

TEST_F(HostileRun, AFirstRunCutShortLeavesNoPageWithoutFrames) {
    for (int i = 0; i < 12; ++i)
        dir.Write("p" + std::to_string(i) + ".png", "x");
    in.PicturesPerPage = 5;
    // The disk full after two pages: nothing stays. Only the summary page's folder full: the rest goes in.
    bool filled = false;
    test::FaultFileSystem full, summaryFull;
    full.failWrite = [&](const std::string& p) { return std::exchange(filled, filled || p.find("page0002") != std::string::npos); };
    summaryFull.failWrite = [&](const std::string& p) { return p.starts_with(dir.str() + "index.html"); };
    for (auto* faults : {&full, &summaryFull}) {
        GenerateResult r = Generate(*faults);
        EXPECT_FALSE(r.SummaryWritten);
        EXPECT_EQ(PagesOnDisk(), (faults == &full ? std::vector<int>{} : std::vector<int>{1, 2, 3}));
        EXPECT_EQ(fs::exists(Catalogue() / "frame1.html"), faults == &summaryFull);
        EXPECT_FALSE(fs::exists(dir.path() / "index.html"));
        EXPECT_EQ(CountTemporaryFiles(dir.path()), 0);
    }
    EXPECT_EQ(Count(ReadFile(Catalogue() / "frame1.html"), "TARGET=\"frame3\""), 3);
}

TEST_F(HostileRun, LeftoversOfAKilledRunGoWithTheNextAndNothingElse) {
    dir.Write("p.png", "x");
    // Today's random names, as a killed run leaves them, and the process-number forms of earlier versions.
    const std::string temporary = LastFolderName(TemporaryPath(dir.str() + "page0002.html"));
    ASSERT_NE(temporary, LastFolderName(TemporaryPath(dir.str() + "page0002.html")));
    const std::vector<std::string> leftovers = {"index.html.kavo-tmp-4242-0", "KAVO-CASE-PROBE-4242.TMP",
                                                "kavo/page0001.html.kavo-tmp-4242-7", "kavo/frame1.html.kavo-tmp-staged",
                                                "kavo/images/ball1.gif.kavo-tmp-4242-9", "kavo/" + temporary,
                                                CaseProbeName()};
    const std::vector<std::string> mine = {"notes.kavo-tmp-", "x.kavo-tmp-1-2-3", "KAVO-CASE-PROBE-.TMP",
                                           "KAVO-CASE-PROBE-12a.TMP", "kavo/.kavo-tmp-1-1",
                                           "y.kavo-tmp-0123456789abcdeg", "y.kavo-tmp-0123456789ABCDEF"};
    for (const auto& name : leftovers)
        dir.Write(name, "x");
    for (const auto& name : mine)
        dir.Write(name, "x");
    in.CaseSensitive.reset();  // the probe runs too
    Generate();
    for (const auto& name : leftovers)
        EXPECT_FALSE(fs::exists(dir.path() / name)) << name;
    for (const auto& name : mine)
        EXPECT_TRUE(fs::exists(dir.path() / name)) << name;
}

TEST_F(HostileRun, ASecondRunWhileOneHoldsTheCatalogueWritesNothing) {
    dir.Write("p.png", "x");
    bool busy = false;
    dir.MakeDir("kavo");
    auto held = NativeFileSystem().LockFolder(dir.str() + "kavo", busy);
    ASSERT_TRUE(held && !busy);
    RecordingObserver obs;
    GenerateResult r = Generate(obs);
    EXPECT_TRUE(r.Busy);
    EXPECT_TRUE(r.Cancelled);
    ASSERT_EQ(obs.messages.size(), 1u);
    EXPECT_NE(obs.messages[0].find(dir.str() + "kavo' は、ほかの実行が書き出し中です。"), std::string::npos);
    EXPECT_TRUE(fs::is_empty(Catalogue() / "images"));
    EXPECT_FALSE(fs::exists(dir.path() / "index.html"));
    held.reset();
    EXPECT_FALSE(Generate().Busy);
    ExpectConsistent();
#ifndef _WIN32
    // A plain fcntl lock on the lock file, as Wine takes one for a Windows run, keeps a run out too.
    const std::string lockFile = (Catalogue() / "kavo.lock").string();
    const int fd = ::open(lockFile.c_str(), O_WRONLY);
    struct flock range {};
    range.l_type = F_WRLCK;
    range.l_whence = SEEK_SET;
    range.l_len = 1;
    ASSERT_EQ(::fcntl(fd, F_SETLK, &range), 0);
    EXPECT_TRUE(Generate().Busy);
    ::close(fd);
    EXPECT_FALSE(Generate().Busy);
    // Only those who may write the lock file may read it: a mere reader's read lock would keep every run out.
    struct stat st {};
    ASSERT_EQ(::lstat(lockFile.c_str(), &st), 0);
    EXPECT_EQ((st.st_mode & 0444) >> 1, st.st_mode & 0222) << std::oct << st.st_mode;
#endif
}

TEST_F(HostileRun, NothingIsWrittenThroughLinksPlantedAtTheNamesOfTemporaryFiles) {
    KAVO_SKIP_WITHOUT_LINKS();
#ifndef _WIN32
    TempDir outside;
    outside.Write("precious.txt", "precious");
    dir.Write("p.png", "x");
    dir.MakeDir("kavo/images");
    // The names a run used to take from its process number, and the staged names, which are fixed.
    const std::string pid = std::to_string(::getpid());
    std::vector<std::string> planted = {"KAVO-CASE-PROBE-" + pid + ".TMP", "index.html.kavo-tmp-staged",
                                        "kavo/index.html.kavo-tmp-staged", "kavo/frame1.html.kavo-tmp-staged"};
    for (const char* name : {"index.html", "kavo/page0001.html", "kavo/frame2.html", "kavo/images/ball1.gif",
                             ("KAVO-CASE-PROBE-" + pid + ".TMP").c_str()}) {
        for (int n = 0; n < 50; ++n)
            planted.push_back(name + (".kavo-tmp-" + pid + "-") + std::to_string(n));
    }
    for (const std::string& name : planted)
        fs::create_symlink(outside.path() / "precious.txt", dir.path() / name);
    in.CaseSensitive.reset();
    EXPECT_EQ(Generate().WriteFailures, 0);
    EXPECT_EQ(ReadFile(outside.path() / "precious.txt"), "precious");
    EXPECT_TRUE(last.CaseSensitive);
    // The links are someone else's: the sweep of leftovers leaves them.
    for (size_t i = 4; i < planted.size(); ++i)
        EXPECT_TRUE(fs::is_symlink(dir.path() / planted[i])) << planted[i];
#endif
}

TEST_F(HostileRun, AnotherUsersLinkAsTheCatalogueOrItsPicturesIsNotFollowed) {
    KAVO_SKIP_WITHOUT_LINKS();
#ifndef _WIN32
    if (::geteuid() != 0)
        GTEST_SKIP() << "only root can give a link to another user";
    const auto plant = [](const fs::path& target, const fs::path& link, uid_t owner) {
        fs::create_directory_symlink(target, link);
        ASSERT_EQ(::lchown(link.c_str(), owner, owner), 0);
    };
    TempDir theirs;
    theirs.Write("kavo/page0001.html", "their page");
    dir.Write("p.png", "x");
    plant(theirs.path() / "kavo", Catalogue(), 4242);
    RecordingObserver obs;
    GenerateResult r = Generate(obs);
    EXPECT_TRUE(r.ForeignLink);
    // A refusal, not a failed write; the command line still ends with 3.
    EXPECT_EQ(r.WriteFailures, 0);
    EXPECT_EQ(obs.kinds, std::vector<MessageKind>{MessageKind::Refusal});
    EXPECT_EQ(OutcomeOf(r), Outcome::ForeignLink);
    EXPECT_EQ(obs.messages, std::vector<std::string>{"'" + dir.str() +
                                                      "kavo' は、ほかのユーザーが作ったリンクです。\r\nこのリンクの先には書き出しません。"});
    EXPECT_FALSE(fs::exists(dir.path() / "index.html"));
    EXPECT_EQ(std::distance(fs::directory_iterator(theirs.path() / "kavo"), fs::directory_iterator()), 1);

    // One's own link (root's here) is followed, and a foreign images folder through it is not.
    fs::remove(Catalogue());
    plant(theirs.path() / "kavo", Catalogue(), 0);
    plant(theirs.path(), theirs.path() / "kavo/images", 4242);
    RecordingObserver second;
    r = Generate(second);
    EXPECT_TRUE(r.ForeignLink);
    ASSERT_EQ(second.messages.size(), 1u);
    EXPECT_EQ(second.messages[0].rfind("'" + dir.str() + test::Native("kavo/images' は、"), 0), 0u);
    fs::remove(theirs.path() / "kavo/images");
    // A foreign thumbnail folder matters only to a run that makes thumbnails.
    plant(theirs.path(), theirs.path() / "kavo/thumbs", 4242);
    EXPECT_FALSE(Generate().ForeignLink);
    in.Layout.ThumbnailBox = 200;
    EXPECT_TRUE(Generate().ForeignLink);
    in.Layout.ThumbnailBox = 0;
    fs::remove(theirs.path() / "kavo/thumbs");
    EXPECT_FALSE(Generate().ForeignLink);
    EXPECT_EQ(ReadFile(theirs.path() / "kavo/page0001.html").rfind("<!--Kavo", 0), 0u);
#endif
}

/// Every file under a folder, by relative name, with its bytes.
std::map<std::string, std::string> FilesUnder(const fs::path& root) {
    std::map<std::string, std::string> files;
    for (auto& e : fs::recursive_directory_iterator(root)) {
        if (e.is_regular_file() && !e.is_symlink())
            files[e.path().lexically_relative(root).generic_string()] = ReadFile(e.path());
    }
    return files;
}

TEST_F(HostileRun, AFolderSwappedMidRunForAnotherUsersLinkReceivesNothing) {
#ifndef _WIN32
    if (::geteuid() != 0)
        GTEST_SKIP() << "only root can give a link to another user";
    const std::string png = ReadFile(std::string(KAVO_TEST_DATA) + "/pictures/plain.png");
    in.Layout.ThumbnailBox = 200;
    in.PicturesPerPage = 5;
    // The runner's other catalogue, which the neighbour's link would have the run take for this one.
    TempDir mine;
    mine.Write("a.png", png);
    in.Folder = mine.str();
    Generate();
    const auto before = FilesUnder(mine.path());
    ASSERT_TRUE(before.count("kavo/thumbs/record.txt"));
    in.Folder = dir.str();
    for (int i = 0; i < 4; ++i) {
        dir.Write("p" + std::to_string(i) + ".png", png);
        dir.Write("sub/q" + std::to_string(i) + ".png", png);
    }
    for (const std::string swapped : {"kavo", "kavo/images", "kavo/thumbs"}) {
        SCOPED_TRACE(swapped);
        Generate();
        dir.Write("p0.png", png + "changed");  // so the rerun writes pages and a thumbnail
        test::FaultFileSystem faults;
        faults.parallelListings = false;
        RecordingObserver scanObs;
        cancel.Reset();
        scan = RunScan(in, faults, scanObs, cancel);
        // While the walk lists the subfolder, the neighbour renames the folder away and puts their link there.
        bool done = false;
        faults.afterList = [&](const std::string& folder) {
            if (done || folder.find("sub") == std::string::npos)
                return;
            done = true;
            fs::rename(dir.path() / swapped, dir.path() / (swapped + ".away"));
            fs::create_directory_symlink(mine.path() / swapped, dir.path() / swapped);
            ASSERT_EQ(::lchown((dir.path() / swapped).c_str(), 4242, 4242), 0);
        };
        RecordingObserver obs;
        cancel.Reset();
        last = RunGeneration(in, scan, faults, obs, cancel);
        ASSERT_TRUE(done);
        EXPECT_TRUE(FilesUnder(mine.path()) == before) << "the runner's other catalogue changed";
        EXPECT_EQ(OutcomeOf(last), Outcome::Incomplete);
        ASSERT_FALSE(obs.messages.empty());
        EXPECT_EQ(obs.messages.back().rfind("'" + dir.str() + test::Native(swapped) + "' は、書き出しの途中で", 0), 0u);
        // What the run wrote is whole, in the folder it had opened.
        fs::remove(dir.path() / swapped);
        fs::rename(dir.path() / (swapped + ".away"), dir.path() / swapped);
        ExpectConsistent();
        EXPECT_EQ(last.Counters.WrittenImageCount, 8);
    }

    // Where anyone may write, a catalogue folder a neighbour made first is refused as their link is.
    fs::remove_all(Catalogue());
    fs::create_directory(Catalogue());
    ASSERT_EQ(::chown(Catalogue().c_str(), 4242, 4242), 0);
    ASSERT_EQ(::chmod(dir.path().c_str(), 01777), 0);
    RecordingObserver refused;
    EXPECT_TRUE(Generate(refused).ForeignLink);
    EXPECT_EQ(refused.kinds, std::vector<MessageKind>{MessageKind::Refusal});
    EXPECT_TRUE(fs::is_empty(Catalogue()));
    // In a group's folder its members share one catalogue.
    ASSERT_EQ(::chmod(dir.path().c_str(), 02775), 0);
    EXPECT_FALSE(Generate().ForeignLink);
    ExpectConsistent();
#endif
}

TEST_F(HostileRun, TheFolderNameSurvivesHowItWasTyped) {
    dir.Write("trip/p.png", "x");
    in.Folder = dir.str() + "trip";
    Generate();
    const std::string summary = ReadFile(dir.path() / "trip/index.html");
    const std::string tree = ReadFile(dir.path() / "trip/kavo/frame1.html");
    for (const std::string typed : {"trip//", "trip/.", "trip/./", "./trip/x/..//", "trip///"}) {
        in.Folder = dir.str() + typed;
        GenerateResult r = Generate();
        EXPECT_EQ(r.SummaryPage, dir.str() + test::Native("trip/index.html")) << typed;
        EXPECT_EQ(ReadFile(dir.path() / "trip/index.html"), summary) << typed;
        EXPECT_EQ(ReadFile(dir.path() / "trip/kavo/frame1.html"), tree) << typed;
    }
    // Gone between the scan and the run: nothing is made again.
    fs::remove_all(dir.path() / "trip");
    in.Folder = dir.str() + "trip";
    RecordingObserver obs;
    GenerateResult r = RunGeneration(in, scan, NativeFileSystem(), obs, cancel);
    EXPECT_TRUE(r.FolderMissing);
    EXPECT_FALSE(r.SummaryWritten);
    EXPECT_FALSE(fs::exists(dir.path() / "trip"));
}

// ---------------------------------------------------------------------------
// The tree changing behind the run's back.

TEST_F(HostileRun, AFolderVanishingBetweenListingAndReading) {
    dir.Write("a.png", "x");
    for (int i = 0; i < 6; ++i)
        dir.Write("gone/" + std::to_string(i) + ".png", "x");
    dir.Write("stays/z.png", "x");
    in.PicturesPerPage = 5;
    test::FaultFileSystem faults;
    const std::string root = dir.str();
    int rootListings = 0;
    faults.afterList = [&](const std::string& folder) {
        if (folder == root && ++rootListings == 2)  // the generation's listing; the first is the scan's
            fs::remove_all(dir.path() / "gone");
    };
    RecordingObserver obs;
    GenerateResult r = Generate(obs, faults);
    EXPECT_FALSE(r.Cancelled);
    EXPECT_EQ(r.WriteFailures, 0);
    EXPECT_EQ(scan.Selected(in.Types), 8);
    EXPECT_EQ(last.Counters.WrittenImageCount, 2);
    EXPECT_EQ(last.Counters.PageCount, 1);
    ExpectConsistent();
    EXPECT_NE(Page(1).find("SRC=\"../stays/z.png\""), std::string::npos);
}

TEST_F(HostileRun, PicturesDeletedWhileTheRunGoesOn) {
    const std::string png = ReadFile(std::string(KAVO_TEST_DATA) + "/pictures/plain.png");  // 31 × 19
    for (int i = 0; i < 7; ++i)
        dir.Write("p" + std::to_string(i) + ".png", png);
    in.PicturesPerPage = 5;
    in.Layout.GetImageSize = true;
    test::FaultFileSystem faults;
    const std::string root = dir.str();
    int rootListings = 0;
    faults.afterList = [&](const std::string& folder) {
        // The scan's listing, the look for a catalogue folder spelt otherwise, then the walk's.
        if (folder == root && ++rootListings == 3) {
            fs::remove(dir.path() / "p1.png");
            fs::remove(dir.path() / "p6.png");
        }
    };
    RecordingObserver obs;
    GenerateResult r = Generate(obs, faults);
    EXPECT_EQ(r.WriteFailures, 0);
    EXPECT_TRUE(obs.messages.empty());
    // Listed pictures keep their place; only the sizes of the deleted ones are missing.
    EXPECT_EQ(last.Counters.PageCount, 2);
    ExpectConsistent();
    EXPECT_NE(Page(1).find("    <IMG SRC=\"../p0.png\" WIDTH=\"31\" HEIGHT=\"19\" ALIGN"), std::string::npos);
    EXPECT_NE(Page(1).find("    <IMG SRC=\"../p1.png\" ALIGN=\"bottom\""), std::string::npos);
    EXPECT_NE(Page(2).find("    <IMG SRC=\"../p6.png\" ALIGN=\"bottom\""), std::string::npos);
}

TEST_F(HostileRun, AFolderThatCannotBeListedDuringTheGeneration) {
    dir.Write("a.png", "x");
    dir.Write("locked/b.png", "x");
    test::FaultFileSystem faults;
    faults.failList = [](const std::string& p) { return p.ends_with(test::Native("locked/")); };
    GenerateResult r = Generate(faults);
    EXPECT_EQ(r.WriteFailures, 0);
    EXPECT_EQ(last.Counters.WrittenImageCount, 1);
    ExpectConsistent();

    // A damaged folder fails to be looked up as well as listed: reported, not taken for deleted.
#ifdef EUCLEAN
    const int damaged = EUCLEAN;  // what ext4 gives for a damaged folder
#else
    const int damaged = EIO;
#endif
    faults.lookupError = [&](const std::string& p) { return p.ends_with("locked") ? damaged : 0; };
    r = Generate(faults);
    EXPECT_EQ(r.UnreadableFolders, 1);
}

TEST_F(HostileRun, TheOutputFolderBeingAFileLeavesNothingHalfDone) {
    for (int i = 0; i < 7; ++i)
        dir.Write("p" + std::to_string(i) + ".png", "x");
    dir.Write("kavo", "a file where the catalogue goes");
    in.PicturesPerPage = 5;
    RecordingObserver obs;
    GenerateResult r = Generate(obs);
    EXPECT_FALSE(r.Cancelled);
    EXPECT_EQ(ReadFile(dir.path() / "kavo"), "a file where the catalogue goes");
    // A message for each of the two folder levels, then one per file: two pages, the
    // frameset (which stops the frames and the summary page that would lead to it)
    // and each of the two navigation pictures.
    EXPECT_EQ(r.WriteFailures, 2 + 2 + 1 + 2);
    EXPECT_EQ(last.Counters.PageCount, 2);
    EXPECT_FALSE(r.SummaryWritten);
    EXPECT_FALSE(fs::exists(dir.path() / "index.html"));
    EXPECT_EQ(CountTemporaryFiles(dir.path()), 0);
}

// ---------------------------------------------------------------------------
// What is not ours stays.

TEST_F(HostileRun, OnlyFilesThatBeginWithTheMarkerAreDeleted) {
    KAVO_SKIP_WITHOUT_LINKS();
    dir.Write("p.png", "x");
    const std::string marker = "<!--Kavo Type=Kavo このコメント文は削除しないでください-->\r\n";
    const std::vector<std::pair<std::string, std::string>> foreign = {
        {"kavo/lower.html", "<!--kavo type=Kavo-->"},
        {"kavo/space.html", " " + marker},
        {"kavo/bom.html", "\xEF\xBB\xBF" + marker},
        {"kavo/short.html", "<!--Kavo"},
        {"kavo/empty.html", ""},
        {"kavo/page0001.htm", marker},
        {"kavo/Page0007.HTML.txt", marker},
        {"mine.html", marker},  // the chosen folder is never cleared
    };
    for (const auto& [path, content] : foreign)
        dir.Write(path, content);
    dir.MakeDir("kavo/folder.html");
    dir.Write("outside/own.html", marker);
    fs::create_symlink(dir.path() / "outside/own.html", dir.path() / "kavo/page0009.html");
    dir.Write("kavo/page0005.html", marker);  // an earlier catalogue's page

    Generate();
    for (const auto& [path, content] : foreign)
        EXPECT_EQ(ReadFile(dir.path() / path), content) << path;
    EXPECT_TRUE(fs::is_directory(dir.path() / "kavo/folder.html"));
    // A link is removed as the link it is; the file it leads to stays.
    EXPECT_FALSE(fs::exists(fs::symlink_status(dir.path() / "kavo/page0009.html")));
    EXPECT_EQ(ReadFile(dir.path() / "outside/own.html"), marker);
    EXPECT_FALSE(fs::exists(dir.path() / "kavo/page0005.html"));
    ExpectConsistent();
}

TEST_F(HostileRun, FilesNotOursAtTheCatalogueNamesAreKeptAsideWithOneNotice) {
    KAVO_SKIP_WITHOUT_LINKS();
    // The catalogue folder is a link to a folder elsewhere that already holds
    // files of the user's at the catalogue's names.
    for (int i = 0; i < 7; ++i)
        dir.Write("p" + std::to_string(i) + ".png", "x");
    TempDir elsewhere;
    const std::vector<std::pair<std::string, std::string>> theirs = {
        {"page0002.html", "<html>mine</html>"}, {"index.html", "<html>my frames</html>"},
        {"frame2.html", ""}, {"images/ball1.gif", "GIF89a my own ball"}};
    for (const auto& [name, content] : theirs)
        elsewhere.Write(name, content);
    elsewhere.Write("page0001.html.bak", "an earlier backup");
    fs::create_directory_symlink(elsewhere.path(), dir.path() / "kavo");
    in.PicturesPerPage = 5;
    RecordingObserver obs;
    Generate(obs);
    ASSERT_EQ(obs.messages.size(), 1u);
    for (const auto& [name, content] : theirs) {
        EXPECT_EQ(ReadFile(elsewhere.path() / (name + ".bak")), content) << name;
        EXPECT_NE(obs.messages[0].find(dir.str() + "kavo/" + name + "' は '"), std::string::npos) << name;
    }
    EXPECT_EQ(ReadFile(elsewhere.path() / "page0001.html.bak"), "an earlier backup");
    ExpectConsistent();
    EXPECT_EQ(ReadFile(Catalogue() / "images/ball1.gif"), "GIF89a");

    // Our own files are simply replaced the next time.
    RecordingObserver again;
    Generate(again);
    EXPECT_TRUE(again.messages.empty());
}

TEST_F(HostileRun, AFolderAtACatalogueNameStaysAndALinkIsKeptAside) {
    KAVO_SKIP_WITHOUT_LINKS();
    for (int i = 0; i < 12; ++i)
        dir.Write("p" + std::to_string(i) + ".png", "x");
    in.PicturesPerPage = 5;
    dir.Write("index.html/inside.txt", "the user's folder");
    dir.Write("kavo/page0002.html/inside.txt", "another folder");
    RecordingObserver obs;
    GenerateResult r = Generate(obs);
    EXPECT_EQ(ReadFile(dir.path() / "index.html/inside.txt"), "the user's folder");
    EXPECT_EQ(ReadFile(Catalogue() / "page0002.html/inside.txt"), "another folder");
    EXPECT_FALSE(fs::exists(dir.path() / "index.html.bak"));
    EXPECT_FALSE(r.SummaryWritten);
    ASSERT_EQ(r.WriteFailures, 1);
    for (const std::string name : {"index.html", "kavo/page0002.html"})
        EXPECT_NE(obs.messages[0].find("'" + dir.str() + test::Native(name) + "' はファイルではないため"), std::string::npos);
    // The rest is written: the other pages and the frames that lead to them.
    EXPECT_GT(Count(Page(3), "<IMG SRC="), 0);
    EXPECT_EQ(Count(ReadFile(Catalogue() / "frame1.html"), "TARGET=\"frame3\""), 3);

    // A link is moved aside as the name it is; what it leads to stays.
    fs::remove_all(dir.path() / "index.html");
    fs::remove_all(Catalogue() / "page0002.html");
    dir.Write("index.html.bak", "an earlier backup");
    dir.Write("elsewhere/start.html", "<html>start</html>");
    fs::create_symlink(dir.path() / "elsewhere/start.html", dir.path() / "index.html");
    r = Generate();
    EXPECT_EQ(r.BackupOfIndex, dir.str() + "index.html.bak2");
    EXPECT_TRUE(fs::is_symlink(dir.path() / "index.html.bak2"));
    EXPECT_EQ(ReadFile(dir.path() / "index.html.bak"), "an earlier backup");
    EXPECT_EQ(ReadFile(dir.path() / "elsewhere/start.html"), "<html>start</html>");
    EXPECT_FALSE(fs::is_symlink(dir.path() / "index.html"));
    ExpectConsistent();
}

// ---------------------------------------------------------------------------
// Links and loops.

class LinkLoops : public HostileRun {
protected:
    void SetUp() override {
        KAVO_SKIP_WITHOUT_LINKS();
        HostileRun::SetUp();
        dir.Write("p.png", "x");
        dir.Write("a/pa.png", "x");
        dir.Write("b/pb.png", "x");
        dir.Write("c/pc.png", "x");
        // A chain through the siblings that closes into a ring, links back up, and one to nowhere.
        fs::create_directory_symlink(dir.path() / "b", dir.path() / "a/toB");
        fs::create_directory_symlink(dir.path() / "c", dir.path() / "b/toC");
        fs::create_directory_symlink(dir.path() / "a", dir.path() / "c/toA");
        fs::create_directory_symlink(dir.path(), dir.path() / "self");
        fs::create_directory_symlink("..", dir.path() / "c/up");
        fs::create_symlink(dir.path() / "gone", dir.path() / "dangling");
    }
};

TEST_F(LinkLoops, EveryPictureOncePerPathWithoutACycle) {
    in.PicturesPerPage = 50;
    GenerateResult r = Generate();
    EXPECT_FALSE(r.Cancelled);
    std::vector<std::string> alts;
    std::regex alt(R"re(ALT="([^"]*)")re");
    const std::string page = Page(1);
    for (auto it = std::sregex_iterator(page.begin(), page.end(), alt); it != std::sregex_iterator(); ++it)
        alts.push_back((*it)[1]);
    // Each folder once, by the first way the walk reaches it: b and c through the
    // ring, so the real b and c are not walked again; self, c/up and c/toA lead back.
    EXPECT_EQ(alts, (std::vector<std::string>{"001 : p.png", "002 : a/pa.png", "003 : a/toB/pb.png",
                                              "004 : a/toB/toC/pc.png"}));
    ExpectConsistent();
}

TEST_F(LinkLoops, TheScanEndsAndCountsTheDanglingLinkOnly) {
    RecordingObserver obs;
    scan = RunScan(test::RequestFor(dir.path().string(), true), NativeFileSystem(), obs, cancel);
    EXPECT_FALSE(scan.Cancelled);
    EXPECT_EQ(scan.Counts.PngCount, 4);
    // Root: p.png a b c self dangling; then a (pa toB), b (pb toC) and c (pc toA up), each once.
    EXPECT_EQ(scan.Counts.AllFileCount, 6 + 2 + 2 + 3);
}

TEST(LinkToAnAncestor, TheWalkEnds) {
    KAVO_SKIP_WITHOUT_LINKS();
    TempDir top;
    top.Write("chosen/p.png", "x");
    top.Write("other/q.png", "x");
    fs::create_directory_symlink(top.path(), top.path() / "chosen/top");
    ScanResult scan;
    GenerateResult last;
    CancelToken cancel;
    RecordingObserver obs;
    scan = RunScan(test::RequestFor((top.path() / "chosen").string(), true), NativeFileSystem(), obs, cancel);
    EXPECT_FALSE(scan.Cancelled);
    // chosen/p.png and top/other/q.png; top/chosen is the chosen folder again.
    EXPECT_EQ(scan.Counts.PngCount, 2);
}

TEST_F(HostileRun, EachFolderIsWalkedOnceHoweverManyLinksLeadToIt) {
    KAVO_SKIP_WITHOUT_LINKS();
    // Two links from each level to the next: 2^24 ways down if each were followed.
    constexpr int kDepth = 24;
    for (int level = 0; level < kDepth; ++level) {
        const std::string name = "d" + std::to_string(level);
        dir.Write(name + "/p.png", "x");
        for (const char* link : {"x", "y"})
            fs::create_directory_symlink(dir.path() / ("d" + std::to_string(level + 1)), dir.path() / name / link);
    }
    dir.MakeDir("d" + std::to_string(kDepth));
    in.PicturesPerPage = 100;
    Generate();
    EXPECT_EQ(scan.Counts.PngCount, kDepth);
    EXPECT_EQ(last.Counters.WrittenImageCount, kDepth);
    EXPECT_NE(Page(1).find("ALT=\"002 : d0/x/p.png\""), std::string::npos) << "the first way in walk order";
    ExpectConsistent();
}

// ---------------------------------------------------------------------------
// Cancel anywhere in a table layout.

TEST_F(HostileRun, CancelAfterAnyYieldOfATableLayout) {
    for (int f = 0; f < 3; ++f) {
        for (int i = 0; i < 3; ++i)
            dir.Write("f" + std::to_string(f) + "/" + std::to_string(i) + ".png", "x");
    }
    dir.Write("f1/notes.txt", "x");
    in.PicturesPerPage = 4;
    in.Layout.UseTable = true;
    in.Layout.ImagesPerLine = 3;
    Generate();  // from now on the catalogue folder is there and walked as well
    RecordingObserver full;
    Generate(full);
    ASSERT_EQ(last.Counters.PageCount, 3);
    for (long k = 1; k <= full.yields + 1; ++k) {
        RecordingObserver obs(&cancel, k);
        GenerateResult r = Generate(obs);
        EXPECT_EQ(r.Cancelled, k <= full.yields) << "k=" << k;
        const GenerationCounters& c = last.Counters;
        ASSERT_GE(c.PageCount, 0);
        ASSERT_LE(c.PageCount, 3);
        EXPECT_GE(c.PageImageCount, 0);
        EXPECT_LE(c.PageImageCount, in.PicturesPerPage);
        EXPECT_GE(c.RowImageCount, 0);
        EXPECT_LT(c.RowImageCount, in.Layout.ImagesPerLine);
        EXPECT_EQ(c.WrittenImageCount, c.WrittenJpgCount + c.WrittenGifCount + c.WrittenBmpCount + c.WrittenPngCount);
        EXPECT_EQ(c.WrittenPngCount, c.WrittenImageCount);
        EXPECT_LE(c.WrittenImageCount, 9);
        ExpectConsistent();
        // Every picture placed is on a page on disk, in a table that is closed.
        int placed = 0;
        for (int p = 1; p <= c.PageCount; ++p) {
            const std::string page = Page(p);
            placed += Count(page, "<IMG SRC=");
            EXPECT_EQ(Count(page, "<TD>"), Count(page, "</TD>"));
            EXPECT_EQ(Count(page, "<TD>"), Count(page, "<IMG SRC="));
            EXPECT_EQ(Count(page, "<TR>"), Count(page, "</TR>"));
            EXPECT_EQ(Count(page, "<TABLE "), 1);
            EXPECT_EQ(Count(page, "</TABLE>"), 1);
        }
        EXPECT_EQ(placed, c.WrittenImageCount) << "k=" << k;
    }
}

// ---------------------------------------------------------------------------
// Faults the fuzz targets found.

TEST(FuzzFindings, SpacesAtTheEndOfAnAddressAreKept) {
    // A browser trims them, which turned a link to the folder "trip " into one to "trip".
    EXPECT_EQ(EscapeAddress("trip "), "trip%20");
    EXPECT_EQ(EscapeAddress("my trip  "), "my trip%20%20");
    EXPECT_EQ(EscapeAddress(" "), "%20");
    EXPECT_EQ(EscapeAddress(" a b/c d.jpg"), " a b/c d.jpg");
    EXPECT_EQ(EscapeAddress("end\t "), "end%09%20");
}

}  // namespace
}  // namespace kavo
