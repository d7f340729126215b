#include "catalogue/scan.h"

#include <vector>

#include "catalogue/classify.h"
#include "catalogue/file_helpers.h"
#include "walk/folder_listing.h"

namespace kavo {
namespace {

class Scanner {
public:
    Scanner(KavoContext& ctx, FileSystem& fs, RunObserver& obs) : m_ctx(ctx), m_fs(fs), m_obs(obs) {}

    void ScanFolder(const std::string& path, bool includeSubfolders) {
        m_obs.ShowStatus(path + " を検索しています...");
        if (Cancelled())
            return;
        // One listing serves both the counting and the subfolders. Counts do not
        // depend on the order (a cancelled scan's counts are dropped), so only
        // the subfolders, which set the order of the walk, are sorted.
        std::vector<DirEntry> entries;
        FolderId id;
        bool listed = m_fs.ListFolderInBatches(path, entries, &id, YieldWhileListing(m_ctx, m_obs));
        if (listed && !m_walked.FirstVisit(id))
            return;
        if (listed)
            CountFolderEntries(path, entries);
        if (!includeSubfolders || !listed)
            return;
        KeepSubfolders(entries);
        SortByName(entries);
        for (const DirEntry& sub : entries) {
            if (Cancelled())
                break;
            std::string subPath = path + sub.Name + kPathSep;
            if (m_walked.MayEnter(m_fs, sub, subPath))
                ScanFolder(subPath, includeSubfolders);
        }
    }

private:
    bool Cancelled() {
        m_obs.Yield();
        return m_ctx.CancelRequested;
    }

    void CountFolderEntries(const std::string& path, const std::vector<DirEntry>& entries) {
        for (int i = 0; i < kDotEntries; ++i) {
            if (Cancelled())
                return;
        }
        ScanCounts& c = m_ctx.Counts;
        for (const DirEntry& e : entries) {
            if (Cancelled())
                return;
            ++c.AllFileCount;
            switch (ClassifyPicture(e.Name, path)) {
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
                    m_ctx.SupportImagesFound = true;
                    break;
                case PictureType::NotPicture:
                    break;
            }
        }
    }

    KavoContext& m_ctx;
    FileSystem& m_fs;
    RunObserver& m_obs;
    WalkedFolders m_walked;
};

}  // namespace

bool RunScan(KavoContext& ctx, const ScanInputs& in, FileSystem& fs, RunObserver& obs) {
    ctx.CancelRequested = false;
    ctx.SupportImagesFound = false;
    obs.ShowStatus("検索開始");
    const std::string root = WithTrailingSeparator(ResolveFolder(in.Folder));
    ctx.ResetCounts();
    Scanner(ctx, fs, obs).ScanFolder(root, in.IncludeSubfolders);
    obs.ShowStatus("検索が終了しました。");
    return ctx.CancelRequested;
}

}  // namespace kavo
