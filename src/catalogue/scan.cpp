#include "catalogue/scan.h"

#include <vector>

#include "catalogue/classify.h"
#include "catalogue/folder_checks.h"
#include "fs/file_writes.h"
#include "fs/paths.h"
#include "fs/temporary_names.h"
#include "walk/folder_walk.h"

namespace kavo {
namespace {

class Scanner {
public:
    Scanner(KavoContext& ctx, FileSystem& fs, RunObserver& obs) : m_ctx(ctx), m_fs(fs), m_obs(obs) {}

    void ScanTree(const std::string& root, bool includeSubfolders) {
        // Counts do not depend on the order (a cancelled scan's counts are
        // dropped), so only the subfolders, which set the order of the walk, are sorted.
        FolderWalk walk(m_ctx.Cancel, m_fs, m_obs, root, {.Subfolders = includeSubfolders, .SortEntries = false},
                        [this](const std::string& path) { m_obs.ShowStatus(path + " を検索しています..."); });
        while (walk.Next())
            CountFolderEntries(walk.Path(), walk.Entries());
        m_unreadable = walk.Unreadable();
    }

    const UnreadableFolders& Unreadable() const { return m_unreadable; }

private:
    bool Cancelled() {
        m_obs.Yield();
        return m_ctx.Cancel.Requested();
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
    UnreadableFolders m_unreadable;
};

}  // namespace

bool RunScan(KavoContext& ctx, const ScanInputs& in, FileSystem& fs, RunObserver& obs) {
    ctx.Cancel.Reset();
    ctx.SupportImagesFound = false;
    obs.ShowStatus("検索開始");
    const std::string root = WithTrailingSeparator(ResolveFolder(in.Folder));
    ctx.ResetCounts();
    Scanner scanner(ctx, fs, obs);
    scanner.ScanTree(root, in.IncludeSubfolders);
    ctx.UnreadableFolderCount = scanner.Unreadable().Count;
    obs.ShowStatus("検索が終了しました。");
    ctx.UnreadableNoticeShown = in.ReportUnreadable && !ctx.Cancel.Requested() && ctx.UnreadableFolderCount > 0;
    if (ctx.UnreadableNoticeShown)
        obs.ShowMessage(scanner.Unreadable().Notice(), MessageIcon::Exclamation, kUnreadableNoticeTitle);
    return ctx.Cancel.Requested();
}

}  // namespace kavo
