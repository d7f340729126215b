#include "catalogue/generate.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

#include "catalogue/classify.h"
#include "catalogue/file_helpers.h"
#include "catalogue/folder_listing.h"
#include "catalogue/image_size.h"
#include "catalogue/number_format.h"
#include "catalogue/size_prefetcher.h"
#include "html/escape.h"
#include "html/html_writer.h"

namespace kavo {
namespace {

constexpr std::string_view kMarker = "<!--Kavo Type=";
constexpr int kMaxJobs = 64;

bool EndsWithHtml(std::string_view name) {
    return name.size() >= 5 && AsciiLower(name.substr(name.size() - 5)) == ".html";
}

/// Whether names in the folder tell letter case apart: a probe file is made in
/// upper case and looked for in lower case. A folder that cannot be written is
/// taken as case-sensitive, whose lower-case names resolve on either kind.
bool ProbeCaseSensitive(FileSystem& fs, const std::string& base) {
    const std::string stem = "KAVO-CASE-PROBE-" + std::to_string(::getpid()) + ".TMP";
    const std::string probe = base + stem;
    if (!fs.WriteFileAtomic(probe, {}, nullptr))
        return true;
    bool sensitive = !fs.Exists(base + AsciiLower(stem));
    fs.RemoveFile(probe);
    return sensitive;
}

/// Counts the failures the helpers report, passing every call on.
class FailureCounter : public RunObserver {
public:
    explicit FailureCounter(RunObserver& inner) : m_inner(inner) {}
    void Yield() override { m_inner.Yield(); }
    void ShowStatus(std::string_view text) override { m_inner.ShowStatus(text); }
    void ShowProgress(const ProgressFigures& f) override { m_inner.ShowProgress(f); }
    void ShowMessage(std::string_view text, MessageIcon icon, std::string_view title) override {
        if (icon == MessageIcon::Exclamation)
            ++failures;
        m_inner.ShowMessage(text, icon, title);
    }
    int failures = 0;

private:
    RunObserver& m_inner;
};

class Generator {
public:
    Generator(KavoContext& ctx, const GenerateInputs& in, FileSystem& fs, RunObserver& obs)
        : m_ctx(ctx), m_in(in), m_fs(fs), m_obs(obs), m_set(ctx.Settings), m_c(ctx.Counters) {}

    GenerateResult Run() {
        GenerateResult result;
        m_ctx.CancelRequested = false;
        m_base = WithTrailingSeparator(m_in.Folder);
        m_ctx.CaseSensitiveOutput = m_in.CaseSensitive.value_or(ProbeCaseSensitive(m_fs, m_base));
        const bool lower = m_ctx.CaseSensitiveOutput;
        m_catalogue = m_base + (lower ? "kavo" : "Kavo") + kPathSep;

        DeleteOldPages();
        m_c.PageCount = m_c.PageImageCount = 0;
        m_c.WrittenJpgCount = m_c.WrittenGifCount = m_c.WrittenBmpCount = m_c.WrittenPngCount = 0;
        m_c.WrittenImageCount = 0;
        // Only the catalogue's own levels are created in lower case.
        MakeFolderPath(m_fs, m_obs, m_base + "kavo");
        MakeFolderPath(m_fs, m_obs, m_base + "kavo" + kPathSep + "images");

        BeginPage(1);
        if (m_set.GetImageSize && !m_set.SameSize && m_in.Jobs > 1 && m_fs.ReadsAreThreadSafe()) {
            m_prefetch = std::make_unique<SizePrefetcher>(m_fs, std::min(m_in.Jobs, kMaxJobs));
        }
        WalkFolder(m_base, m_in.IncludeSubfolders);
        m_prefetch.reset();  // no reader outlives the walk

        m_obs.ShowStatus(kWritingHtmlText);
        if (m_c.PageImageCount != 0) {
            EndPage();
            SaveOutputText(m_fs, m_obs, PagePath(m_c.PageCount + 1), m_ctx.OutputText);
            ++m_c.PageCount;
        }
        WriteFramesetPage(m_ctx);
        SaveOutputText(m_fs, m_obs, m_catalogue + "index.html", m_ctx.OutputText);
        const std::string name = LastFolderName(m_base);
        WriteTreeFrame(m_ctx, name);
        SaveOutputText(m_fs, m_obs, m_catalogue + "frame1.html", m_ctx.OutputText);
        WriteNavigationFrame(m_ctx);
        SaveOutputText(m_fs, m_obs, m_catalogue + "frame2.html", m_ctx.OutputText);
        WriteSummaryPage(m_ctx, name);
        result.SummaryPage = m_base + "index.html";
        if (KeepForeignFile(result.SummaryPage, result.BackupOfIndex)) {
            SaveOutputText(m_fs, m_obs, result.SummaryPage, m_ctx.OutputText);
        } else {
            m_obs.ShowMessage(WriteFailureMessage(result.SummaryPage), MessageIcon::Exclamation, "Kavo");
        }
        CopyFolderFiles(m_fs, JoinPath(m_in.ProgramFolder, "Images"), m_catalogue + (lower ? "images" : "Images"));

        result.Cancelled = m_ctx.CancelRequested;
        return result;
    }

private:
    bool Cancelled() {
        m_obs.Yield();
        return m_ctx.CancelRequested;
    }

    std::string PagePath(int32_t n) const {
        return m_catalogue + (m_ctx.CaseSensitiveOutput ? "page" : "Page") + FormatNumber(n, "0000") + ".html";
    }

    /// Removes the pages and frames of an earlier catalogue; files without
    /// the marker line are not ours and stay.
    void DeleteOldPages() {
        std::vector<DirEntry> entries;
        if (!m_fs.ListFolder(m_catalogue, entries, nullptr))
            return;
        std::string head;
        for (const DirEntry& e : entries) {
            if (e.IsDir || !EndsWithHtml(e.Name))
                continue;
            const std::string path = m_catalogue + e.Name;
            if (m_fs.ReadPrefix(path, kMarker.size(), head) && head == kMarker)
                m_fs.RemoveFile(path);
        }
    }

    /// A file at `path` that this program did not write is renamed to the first
    /// free "path.bak", "path.bak2", … and the user is told. False when such a
    /// file is there and could not be moved: then it must not be written over.
    bool KeepForeignFile(const std::string& path, std::string& backup) {
        std::string head;
        if (!m_fs.Exists(path))
            return true;
        if (m_fs.ReadPrefix(path, kMarker.size(), head) && head == kMarker)
            return true;
        for (int n = 1;; ++n) {
            backup = path + ".bak" + (n == 1 ? std::string() : std::to_string(n));
            if (m_fs.Exists(backup))
                continue;
            if (!m_fs.RenameFile(path, backup)) {
                backup.clear();
                return false;
            }
            m_obs.ShowMessage("既存の '" + path + "' は '" + backup + "' として残しました。", MessageIcon::Information,
                              "Ｋａｖｏ");
            return true;
        }
    }

    void BeginPage(int32_t number) {
        WriteHead(m_ctx, "Kavo", "Kavo-Page" + FormatNumber(number, "0000"));
        WriteBodyStart(m_ctx, "", "");
        if (m_set.UseTable) {
            WriteTableStart(m_ctx, 0);
            WriteRowStart(m_ctx);
            m_c.RowImageCount = 0;
        }
    }

    void EndPage() {
        if (m_set.UseTable) {
            WriteRowEnd(m_ctx);
            WriteTableEnd(m_ctx);
        }
        WriteBodyEnd(m_ctx);
    }

    void WalkFolder(const std::string& folder, bool includeSubfolders) {
        if (Cancelled())
            return;
        std::vector<DirEntry> entries;
        FolderId id;
        bool listed = ListFolderSorted(m_fs, folder, entries, &id);
        if (listed)
            BuildFolderPages(folder, entries);
        if (!includeSubfolders || !listed)
            return;
        KeepSubfolders(entries);
        m_path.Enter(id);
        for (const DirEntry& sub : entries) {
            if (Cancelled())
                break;
            std::string subPath = folder + sub.Name + kPathSep;
            if (m_path.MayEnter(m_fs, sub, subPath))
                WalkFolder(subPath, includeSubfolders);
        }
        m_path.Leave();
    }

    bool Selected(PictureType t) const {
        switch (t) {
            case PictureType::Jpeg:
                return m_in.Jpg;
            case PictureType::Gif:
                return m_in.Gif;
            case PictureType::Bmp:
                return m_in.Bmp;
            case PictureType::Png:
                return m_in.Png;
            default:
                return false;
        }
    }

    void BuildFolderPages(const std::string& folder, const std::vector<DirEntry>& entries) {
        if (m_prefetch) {
            // The folder's pictures are known before its first entry is placed.
            std::vector<uint32_t> pictures;
            for (size_t i = 0; i < entries.size(); ++i) {
                if (Selected(ClassifyPicture(entries[i].Name, folder)))
                    pictures.push_back(static_cast<uint32_t>(i));
            }
            m_prefetch->Start(folder, entries, std::move(pictures));
        }
        PlaceFolderPictures(folder, entries);
        // After a cancel the pictures not yet begun are not read.
        if (m_prefetch)
            m_prefetch->Finish();
    }

    void PlaceFolderPictures(const std::string& folder, const std::vector<DirEntry>& entries) {
        m_percent = 0;
        for (int i = 0; i < kDotEntries; ++i) {
            if (Cancelled())
                return;
            ShowProgress();
        }
        for (const DirEntry& e : entries) {
            if (Cancelled())
                return;
            PictureType type = ClassifyPicture(e.Name, folder);
            if (Selected(type)) {
                m_fullPath.assign(folder).append(e.Name);
                PlacePicture(type, m_fullPath);
            }
            ShowProgress();
            if (m_c.PageImageCount == m_ctx.ImagesPerPage)
                BreakPage();
        }
    }

    void PlacePicture(PictureType type, const std::string& fullPath) {
        m_obs.ShowStatus(fullPath);
        switch (type) {
            case PictureType::Jpeg:
                ++m_c.WrittenJpgCount;
                break;
            case PictureType::Gif:
                ++m_c.WrittenGifCount;
                break;
            case PictureType::Bmp:
                ++m_c.WrittenBmpCount;
                break;
            default:
                ++m_c.WrittenPngCount;
                break;
        }
        m_c.WrittenImageCount = m_c.WrittenJpgCount + m_c.WrittenGifCount + m_c.WrittenBmpCount + m_c.WrittenPngCount;
        ++m_c.PageImageCount;

        // The texts of an entry go into buffers kept from picture to picture.
        m_relative = RelativeUrlPath(fullPath, m_base);
        m_src.assign("../");
        AppendAddress(m_src, m_relative);
        m_link.clear();
        if (m_set.ClickAction == "Folder") {
            m_link.assign("../");
            AppendAddress(m_link, UrlFolderPart(m_relative));
        } else if (m_set.ClickAction == "View") {
            m_link.assign(m_src);
        }
        if (m_set.UseTable)
            WriteCellStart(m_ctx);
        PixelSize size;
        if (m_set.SameSize) {
            size = {m_set.ImageWidth, m_set.ImageHeight};
        } else if (m_set.GetImageSize) {
            // A read that lasts (a slow disk) still lets cancel and Ctrl-C through.
            const CancelCheck cancelled = [this] { return Cancelled(); };
            if (m_prefetch) {
                size = m_prefetch->Next(cancelled);
            } else {
                ReadPixelSize(m_fs, fullPath, size, cancelled);
            }
        }
        m_alt.assign(FormatNumber(m_c.PageImageCount, "000")).append(" : ").append(m_relative);
        WritePictureEntry(m_ctx, m_src, size.Width, size.Height, m_alt, m_set.Align, m_set.ClickAction, m_link);
        if (m_set.UseTable) {
            WriteCellEnd(m_ctx);
            if (++m_c.RowImageCount == m_set.ImagesPerLine) {
                WriteRowEnd(m_ctx);
                m_c.RowImageCount = 0;
                WriteRowStart(m_ctx);
            }
        }
    }

    void BreakPage() {
        EndPage();
        SaveOutputText(m_fs, m_obs, PagePath(m_c.PageCount + 1), m_ctx.OutputText);
        BeginPage(m_c.PageCount + 2);
        ++m_c.PageCount;
        m_c.PageImageCount = 0;
    }

    void ShowProgress() {
        m_percent = ProgressPercent(m_c.WrittenImageCount, m_ctx.SelectedImageCount, m_percent);
        m_obs.ShowProgress({m_c.WrittenImageCount, m_ctx.SelectedImageCount, m_percent});
    }

    KavoContext& m_ctx;
    const GenerateInputs& m_in;
    FileSystem& m_fs;
    RunObserver& m_obs;
    const CatalogueSettings& m_set;
    GenerationCounters& m_c;
    std::string m_base;
    std::string m_catalogue;  // the catalogue folder, with a trailing separator
    WalkPath m_path;
    int32_t m_percent = 0;
    std::unique_ptr<SizePrefetcher> m_prefetch;  // only with several jobs and sizes to read
    std::string m_fullPath, m_relative, m_src, m_link, m_alt;
};

}  // namespace

GenerateResult RunGeneration(KavoContext& ctx, const GenerateInputs& in, FileSystem& fs, RunObserver& obs) {
    FailureCounter counter(obs);
    GenerateResult result = Generator(ctx, in, fs, counter).Run();
    result.WriteFailures = counter.failures;
    return result;
}

int32_t ProgressPercent(int32_t placed, int32_t selected, int32_t previous) {
    if (selected == 0)
        return previous;
    // The default rounding mode sends halves to the even neighbour.
    return static_cast<int32_t>(std::nearbyint(static_cast<double>(placed) / selected * 100.0));
}

std::string FileCountLabel(int32_t placed, int32_t selected) {
    return FormatNumber(placed, "####0") + "/" + FormatNumber(selected, "####0") + "ファイル";
}

std::string PercentLabel(int32_t percent) {
    return FormatNumber(percent, "##0") + "％";
}

std::string ProgressCaption(int32_t percent) {
    return FormatNumber(percent, "##0") + "％処理しました．．． - Kavo";
}

}  // namespace kavo
