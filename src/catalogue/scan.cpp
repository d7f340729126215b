#include "catalogue/scan.h"

#include <vector>

#include "catalogue/classify.h"
#include "fs/paths.h"
#include "html/html_writer.h"
#include "thumbs/thumbnails.h"
#include "walk/folder_walk.h"

namespace kavo {
namespace {

class Scanner {
public:
    Scanner(ScanResult& result, FileSystem& fs, RunObserver& obs, const CancelToken& cancel)
        : m_result(result), m_fs(fs), m_obs(obs), m_cancel(cancel) {}

    void ScanTree(const std::string& root, bool includeSubfolders, ListingMemory* keep) {
        // Counts do not depend on the order (a cancelled scan's counts are
        // dropped), so only the subfolders, which set the order of the walk, are sorted.
        FolderWalk walk(m_cancel, m_fs, m_obs, root, {.Subfolders = includeSubfolders, .SortEntries = false, .Keep = keep},
                        [this](const std::string& path) { m_obs.ShowStatus(path + " を検索しています..."); });
        while (walk.Next())
            CountFolderEntries(walk.Path(), walk.Entries());
        m_unreadable = walk.Unreadable();
    }

    const UnreadableFolders& Unreadable() const { return m_unreadable; }

private:
    bool Cancelled() {
        m_obs.Yield();
        return m_cancel.Requested();
    }

    void CountFolderEntries(const std::string& path, const std::vector<DirEntry>& entries) {
        for (int i = 0; i < kDotEntries; ++i) {
            if (Cancelled())
                return;
        }
        ScanCounts& c = m_result.Counts;
        for (const DirEntry& e : entries) {
            if (Cancelled())
                return;
            ++c.AllFileCount;
            switch (ClassifyEntry(e, path)) {
                case PictureType::Jpeg:
                    ++c.JpgCount;
                    break;
                case PictureType::Gif:
                    ++c.GifCount;
                    break;
                case PictureType::Bmp:
                    ++c.BmpCount;
                    break;
                case PictureType::Png:
                    ++c.PngCount;
                    break;
                case PictureType::SupportPicture:
                    m_result.SupportPicturesFound = true;
                    break;
                case PictureType::NotPicture:
                    break;
            }
        }
    }

    ScanResult& m_result;
    FileSystem& m_fs;
    RunObserver& m_obs;
    const CancelToken& m_cancel;
    UnreadableFolders m_unreadable;
};

}  // namespace

ScanResult RunScan(const RunRequest& request, FileSystem& fs, RunObserver& obs, const CancelToken& cancel,
                   bool nameUnreadable) {
    ScanResult result;
    obs.ShowStatus("検索開始");
    const std::string root = WithTrailingSeparator(ResolveFolder(request.Folder));
    if (request.GenerateAtOnce)
        result.Listings = std::make_shared<ListingMemory>();
    Scanner scanner(result, fs, obs, cancel);
    scanner.ScanTree(root, request.IncludeSubfolders, result.Listings.get());
    result.UnreadableFolders = scanner.Unreadable().Count;
    obs.ShowStatus("検索が終了しました。");
    result.Cancelled = cancel.Requested();
    result.UnreadableNamed = nameUnreadable && !result.Cancelled && result.UnreadableFolders > 0;
    if (result.UnreadableNamed)
        obs.ShowMessage(scanner.Unreadable().Notice(), MessageKind::Notice, kUnreadableNoticeTitle);
    // For the window, which takes its next run's settings from it; a generation
    // that follows at once has its settings already and would read it for nothing.
    if (!result.Cancelled && !request.GenerateAtOnce)
        result.CatalogueThumbnails = CatalogueThumbnails(fs, root);
    return result;
}

int32_t CatalogueThumbnails(FileSystem& fs, const std::string& folder) {
    // Lower-case names find the catalogue on either kind of file system; an
    // earlier version wrote capitalised ones where names ignore case.
    std::string catalogue, head;
    for (const char* name : {"kavo", "Kavo"}) {
        catalogue = folder + name + kPathSep;
        if (fs.ReadPrefix(catalogue + "index.html", kFramesetHeadSize, head) && IsFramesetText(head))
            break;
        catalogue.clear();
    }
    if (catalogue.empty())
        return -1;
    // The pages tell whether they show thumbnails; a record an older run left
    // beside pages without them does not.
    bool shown = false;
    for (const char* page : {"page0001.html", "Page0001.html"})
        shown = shown || (fs.ReadPrefix(catalogue + page, 64 * 1024, head) && head.find("SRC=\"thumbs/") != std::string::npos);
    if (!shown)
        return 0;
    const int32_t box = RecordedThumbnailBox(fs, catalogue);
    return box > 0 ? kThumbnailBox.Clamp(box) : kThumbnailBox.Default;
}

}  // namespace kavo
