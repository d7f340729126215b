#include "catalogue/scan.h"

#include <vector>

#include "catalogue/classify.h"
#include "fs/paths.h"
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
    return result;
}

}  // namespace kavo
