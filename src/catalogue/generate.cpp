#include "catalogue/generate.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <memory>
#include <optional>
#include <unordered_map>
#include <utility>
#include <vector>

#include "catalogue/catalogue_files.h"
#include "catalogue/classify.h"
#include "catalogue/folder_checks.h"
#include "fs/file_writes.h"
#include "fs/paths.h"
#include "fs/temporary_names.h"
#include "walk/folder_listing.h"
#include "walk/folder_walk.h"
#include "pictures/image_size.h"
#include "base/number_format.h"
#include "catalogue/scan.h"
#include "pictures/size_prefetcher.h"
#include "pictures/size_record.h"
#include "html/escape.h"
#include "html/html_writer.h"
#include "thumbs/thumbnails.h"

namespace kavo {
namespace {

constexpr int kMaxJobs = SizePrefetcher::kMaxReaders;
/// Size readers a run starts with when it adapts their number: few, for a local disk.
constexpr int kFirstJobs = 4;

std::string BusyMessage(const std::string& catalogue) {
    return "'" + catalogue + "' は、ほかの実行が書き出し中です。\r\nその実行が終わってから、もう一度実行してください。";
}

std::string CatalogueFolderMessage(const std::string& folder) {
    return "'" + folder + "' は、Kavo が作ったカタログのフォルダです。\r\n画像のあるフォルダを指定してください。";
}

/// Said ahead of the failed writes when the folder lies on a file system mounted read-only.
std::string ReadOnlyMessage(const std::string& folder) {
    return "'" + folder + "' は読み取り専用のファイルシステムにあります。\r\nカタログを書き出せません。";
}

std::string ForeignLinkMessage(const std::string& link) {
    return "'" + link + "' は、ほかのユーザーが作ったリンクです。\r\nこのリンクの先には書き出しません。";
}

std::string ForeignFolderMessage(const std::string& folder) {
    return "'" + folder + "' は、だれでも書き込めるフォルダにほかのユーザーが作ったフォルダです。\r\nこのフォルダには書き出しません。";
}

/// Said when a folder of the run was renamed away or replaced while it wrote:
/// what it wrote went into the folder it had opened, wherever that is now.
std::string MovedFolderMessage(const std::string& folder) {
    return "'" + folder + "' は、書き出しの途中で移動されたか、置き換えられました。\r\nカタログは元のフォルダに書き出されました。もう一度実行してください。";
}

/// Whether names in the folder tell letter case apart: a probe file is made in
/// upper case and looked for in lower case. A folder that cannot be written is
/// taken as case-sensitive. Only how earlier files are matched depends on it;
/// the names written are the same either way. `error` gets why the probe could
/// not be made (0 when it was).
bool ProbeCaseSensitive(FileSystem& fs, const std::string& base, int& error) {
    for (int tries = 0; tries < kTemporaryNameTries; ++tries) {
        const std::string stem = CaseProbeName();
        const int made = fs.CreateNewFile(base + stem);
        if (made == EEXIST)
            continue;
        error = made;
        if (made != 0)
            return true;
        const bool sensitive = !fs.Exists(base + AsciiLower(stem));
        fs.RemoveFile(base + stem);
        return sensitive;
    }
    return true;
}

/// The name of `lower` (ASCII letters) in `folder` as the disk spells it: an earlier run may
/// have made "Kavo" where names ignore case, and a run on either kind of
/// system must then write into that one folder, lock it, and link to it as it
/// is spelt. `lower` itself where nothing of that name is there.
std::string SpeltOnDisk(FileSystem& fs, const std::string& folder, std::string_view lower) {
    const std::string exact = folder + std::string(lower);
    if (fs.Exists(exact)) {
        std::string onDisk = fs.NameOnDisk(exact);
        if (!onDisk.empty())
            return onDisk;
        // The system does not say (Linux). Names that ignore case there (a FAT
        // stick, a share) find the upper-case spelling too; only then is a listing needed.
        std::string upper(lower);
        for (char& c : upper)
            c = static_cast<char>(c - 'a' + 'A');
        if (!fs.Exists(folder + upper))
            return std::string(lower);
    }
    // Only a listing finds another spelling: the one spelt as asked, else the
    // first in name order, as on every run. Listed whole, even amid a cancel:
    // a second catalogue folder beside the first is what this prevents.
    std::vector<DirEntry> entries;
    std::string found;
    if (fs.ListFolder(folder, entries, nullptr)) {
        for (const DirEntry& e : entries) {
            if (!e.IsDir || AsciiLower(e.Name) != lower)
                continue;
            if (e.Name == lower)
                return e.Name;
            if (found.empty() || e.Name < found)
                found = e.Name;
        }
    }
    return found.empty() ? std::string(lower) : found;
}

/// Counts the failures the helpers report, passing every call on.
class FailureCounter : public RunObserver {
public:
    explicit FailureCounter(RunObserver& inner) : m_inner(inner) {}
    void Yield() override { m_inner.Yield(); }
    void ShowStatus(std::string_view text) override { m_inner.ShowStatus(text); }
    void ShowProgress(const ProgressFigures& f) override { m_inner.ShowProgress(f); }
    void ShowMessage(std::string_view text, MessageKind kind, std::string_view title) override {
        if (kind == MessageKind::WriteFailure)
            ++failures;
        m_inner.ShowMessage(text, kind, title);
    }
    int failures = 0;

private:
    RunObserver& m_inner;
};

class Generator {
public:
    Generator(const RunRequest& in, int32_t selected, ListingMemory* listings, FileSystem& fs, RunObserver& obs,
              const CancelToken& cancel)
        : m_in(in), m_selected(selected), m_listings(listings), m_fs(fs), m_obs(obs), m_cancel(cancel),
          m_set(in.Layout), m_c(m_result.Counters) {}

    GenerateResult Run() {
        GenerateResult& result = m_result;
        const std::string folder = ResolveFolder(m_in.Folder);
        m_base = WithTrailingSeparator(folder);
        result.SummaryPage = m_base + "index.html";
        // The user's folder is never made again: gone since the scan, it has nothing to catalogue.
        if (m_fs.CheckFolder(m_base) != 0) {
            result.FolderMissing = result.Cancelled = true;
            return result;
        }
        // One spelling on every system: "kavo", "images" and "page0001.html" as
        // the links name them, or the folders an earlier run made in another case.
        m_catalogueName = SpeltOnDisk(m_fs, m_base, "kavo");
        const std::string catalogue = m_base + m_catalogueName;
        m_imagesName = SpeltOnDisk(m_fs, catalogue + kPathSep, "images");
        const std::string images = catalogue + kPathSep + m_imagesName;
        if (Refused(folder, catalogue, images, result))
            return result;
        int probeError = 0;
        m_caseSensitive = m_in.CaseSensitive ? *m_in.CaseSensitive : ProbeCaseSensitive(m_fs, m_base, probeError);
        if (probeError == EROFS) {
            // The failures that follow would each name only a file.
            m_obs.ShowMessage(ReadOnlyMessage(folder), MessageKind::WriteFailure, "Kavo");
        }
        result.CaseSensitive = m_caseSensitive;
        // From here every write goes through the folders opened once, never their names again.
        m_held = m_fs.HoldFolders();
        m_held->Hold(m_base);
        for (const std::string& path : {catalogue, images}) {
            MakeFolderPath(m_fs, m_obs, path);
            if (!Held(path, result))
                return result;
        }
        // The lock is in the folder that is written, whichever system made it.
        bool busy = false;
        const std::unique_ptr<FolderLock> lock = m_fs.LockFolder(catalogue, busy);
        if (busy) {
            m_obs.ShowMessage(BusyMessage(catalogue), MessageKind::Refusal, "Kavo");
            result.Busy = result.Cancelled = true;
            return result;
        }
        m_catalogue = catalogue + kPathSep;
        m_files.emplace(m_fs, m_obs, m_caseSensitive, m_in.Writers, m_listings && m_listings->SlowDrive(), m_held.get());
        m_files->Survey(m_catalogue, YieldWhileListing(m_cancel, m_obs));

        m_c.PageCount = m_c.PageImageCount = 0;
        m_c.WrittenJpgCount = m_c.WrittenGifCount = m_c.WrittenBmpCount = m_c.WrittenPngCount = 0;
        m_c.WrittenImageCount = 0;
        BeginPage(1);
        if (m_set.ThumbnailBox > 0) {
            // Made quietly here: the thumbnails report a folder they cannot make, once.
            const std::string thumbs = m_catalogue + kThumbFolder;
            m_fs.CreateFolder(thumbs, nullptr);
            if (m_fs.CheckFolder(thumbs) == 0 && !Held(thumbs, result))
                return result;
            m_thumbs = StartThumbnails(m_fs, m_set.ThumbnailBox, m_base, m_catalogue, m_obs, m_in.Jobs);
        }
        if (!m_thumbs && m_set.GetImageSize && !m_set.SameSize) {
            m_sizes = std::make_unique<SizeRecord>(m_fs, m_base, m_catalogue + std::string(kSizeRecordName));
            m_sizes->Load();
        }
        if (m_sizes && m_in.Jobs != 1 && m_fs.ReadsAreThreadSafe()) {
            const bool adapt = m_in.Jobs <= 0;
            m_prefetch = std::make_unique<SizePrefetcher>(m_fs, adapt ? kFirstJobs : std::min(m_in.Jobs, kMaxJobs),
                                                          adapt);
            m_prefetch->UseRecord(m_sizes.get());
        }
        WalkFolder(m_base, m_in.IncludeSubfolders);
        m_prefetch.reset();  // no reader outlives the walk
        if (m_sizes && !m_sizes->Save(!m_cancel.Requested()))
            ReportWriteFailure(m_obs, m_catalogue + std::string(kSizeRecordName));

        m_obs.ShowStatus(kWritingHtmlText);
        if (m_c.PageImageCount != 0) {
            EndPage();
            SavePage();
        }
        const std::string name = CatalogueName(m_fs, folder);
        std::vector<std::pair<std::string, std::string>> files;
        WriteFramesetPage(m_text);
        files.emplace_back(m_catalogue + "index.html", m_text);
        WriteTreeFrame(m_text, m_c.PageCount, name, m_imagesName);
        files.emplace_back(m_catalogue + "frame1.html", m_text);
        WriteNavigationFrame(m_text, m_c.PageCount, m_imagesName);
        files.emplace_back(m_catalogue + "frame2.html", m_text);
        WriteSummaryPage(m_text, {.FolderName = name,
                                  .CatalogueFolder = m_catalogueName,
                                  .ImagesFolder = m_imagesName,
                                  .Pictures = m_c.WrittenImageCount,
                                  .PicturesPerPage = m_in.PicturesPerPage,
                                  .Pages = m_c.PageCount,
                                  .PicturesPerRow = m_set.UseTable ? m_set.ImagesPerLine : 0});
        files.emplace_back(result.SummaryPage, m_text);
        // A cancel the walk saw leaves the smaller catalogue; one heard while its
        // files are still being written (a network drive) leaves the earlier one.
        const bool hurry = m_cancel.Requested();
        result.SummaryWritten = m_files->Commit(files, hurry, hurry ? std::function<bool()>() : [this] { return Cancelled(); });
        // Old thumbnails go, and the record names the new ones, only once the pages that show them are in.
        if (m_thumbs)
            m_thumbs->End(!m_cancel.Requested(), result.SummaryWritten);
        // Pages without thumbnails are in: those of an earlier run would only be published unused.
        if (m_set.ThumbnailBox == 0 && result.SummaryWritten) {
            // The survey's listing serves: the run made nothing there since.
            if (const std::vector<DirEntry>* listed = m_files->SurveyedSubfolders())
                RemoveThumbnails(m_fs, m_catalogue, *listed, m_obs);
            else
                RemoveThumbnails(m_fs, m_catalogue, m_obs);
        }
        if (!m_files->Abandoned())
            m_files->CopyFolderFiles(JoinPath(m_in.ProgramFolder, "Images"), images);
        m_files->ReportKept();
        if (const std::string moved = m_held->Moved(); !moved.empty())
            m_obs.ShowMessage(MovedFolderMessage(moved), MessageKind::WriteFailure, "Kavo");
        result.BackupOfIndex = m_files->BackupOf(result.SummaryPage);
        result.Cancelled = m_cancel.Requested();
        return result;
    }

    const UnreadableFolders& Unreadable() const { return m_unreadable; }

private:
    /// A catalogue is not catalogued again (its frameset would become a summary
    /// page), and nothing is written through a link that another user put
    /// where the catalogue or its pictures go. Says why when it refuses.
    bool Refused(const std::string& folder, const std::string& catalogue, const std::string& images,
                 GenerateResult& result) {
        std::string head;
        if (m_fs.ReadPrefix(m_base + "index.html", kFramesetHeadSize, head) && IsFramesetText(head)) {
            m_obs.ShowMessage(CatalogueFolderMessage(folder), MessageKind::Refusal, "Kavo");
            return result.CatalogueFolder = true;
        }
        std::vector<std::string> ours = {catalogue, images};
        if (m_set.ThumbnailBox > 0)
            ours.push_back(catalogue + kPathSep + kThumbFolder);
        for (const std::string& path : ours) {
            if (m_fs.IsForeignLink(path)) {
                m_obs.ShowMessage(ForeignLinkMessage(path), MessageKind::Refusal, "Kavo");
                return result.ForeignLink = true;
            }
        }
        return false;
    }

    /// Holds a folder of the catalogue open; false, having said why, when it
    /// is another user's that the run must not write into. A folder that could
    /// not be made is not held: its writes fail and are reported as they come.
    bool Held(const std::string& folder, GenerateResult& result) {
        const int err = m_held->Hold(folder);
        if (err != EPERM)
            return true;
        m_obs.ShowMessage(m_fs.IsForeignLink(folder) ? ForeignLinkMessage(folder) : ForeignFolderMessage(folder),
                          MessageKind::Refusal, "Kavo");
        result.ForeignLink = true;
        return false;
    }

    bool Cancelled() {
        m_obs.Yield();
        return m_cancel.Requested();
    }

    std::string PagePath(int32_t n) const {
        return m_catalogue + "page" + FormatNumber(n, "0000") + ".html";
    }

    /// Stages the page in the buffer as the next page; it goes in with the
    /// frames. A page that fails still takes its number, so the later pages and
    /// the frames stay as planned.
    void SavePage() {
        m_files->Stage(PagePath(m_c.PageCount + 1), m_text);
        ++m_c.PageCount;
    }

    void BeginPage(int32_t number) {
        WriteHead(m_text, "Kavo", "Kavo-Page" + FormatNumber(number, "0000"));
        WriteBodyStart(m_text, "", "");
        if (m_set.UseTable) {
            WriteTableStart(m_text, 0);
            WriteRowStart(m_text);
            m_c.RowImageCount = 0;
        }
    }

    void EndPage() {
        if (m_set.UseTable) {
            WriteRowEnd(m_text);
            WriteTableEnd(m_text);
        }
        WriteBodyEnd(m_text);
    }

    void WalkFolder(const std::string& folder, bool includeSubfolders) {
        FolderWalk walk(m_cancel, m_fs, m_obs, folder, {.Subfolders = includeSubfolders, .Reuse = m_listings});
        m_walk = &walk;
        while (walk.Next()) {
            if (walk.Path() == m_base)
                RemoveLeftovers(m_fs, walk.Path(), walk.Entries());
            BuildFolderPages(walk.Path(), walk.Entries());
        }
        m_unreadable = walk.Unreadable();
        m_walk = nullptr;
    }

    bool Selected(PictureType t) const {
        switch (t) {
            case PictureType::Jpeg:
                return m_in.Types.Jpg;
            case PictureType::Gif:
                return m_in.Types.Gif;
            case PictureType::Bmp:
                return m_in.Types.Bmp;
            case PictureType::Png:
                return m_in.Types.Png;
            default:
                return false;
        }
    }

    /// The pictures of a folder the pages take, as indexes into its entries.
    std::vector<uint32_t> SelectedPictures(const std::string& folder, const std::vector<DirEntry>& entries) const {
        std::vector<uint32_t> pictures;
        for (size_t i = 0; i < entries.size(); ++i) {
            if (Selected(ClassifyEntry(entries[i], folder)))
                pictures.push_back(static_cast<uint32_t>(i));
        }
        return pictures;
    }

    void BuildFolderPages(const std::string& folder, const std::vector<DirEntry>& entries) {
        if (m_prefetch || m_thumbs) {
            // The folder's pictures are known before its first entry is placed; sizes
            // of the folders listed ahead are read next, so reads stay in flight.
            if (m_thumbs) {
                m_thumbs->Start(folder, entries, SelectedPictures(folder, entries));
            } else {
                m_prefetch->Start(folder, entries, SizesToRead(folder, entries));
                if (m_walk) {
                    m_walk->PeekAhead([this](const std::string& path, const std::vector<DirEntry>& ahead) {
                        return m_prefetch->Ahead(path, ahead, [&] { return SizesToRead(path, ahead); });
                    });
                }
            }
        }
        PlaceFolderPictures(folder, entries);
        m_recorded.erase(folder);
        // After a cancel the pictures not yet begun are not read.
        if (m_prefetch)
            m_prefetch->Finish();
        if (m_thumbs)
            m_thumbs->Finish();
    }

    /// The pictures of a folder whose sizes the readers are to read: those the
    /// size record does not know for the file there now. On a local disk the
    /// known ones are taken here, on the walk's thread, as a thread would only cost for them.
    /// A folder ahead is offered again at each turn until it is queued: it is looked at once.
    std::vector<uint32_t> SizesToRead(const std::string& folder, const std::vector<DirEntry>& entries) {
        // On a drive with round trips even the look at a picture the record
        // knows waits for the server: the readers take those too, side by side.
        if (!m_sizes->HasRecord() || (m_walk && m_walk->SlowDrive()))
            return SelectedPictures(folder, entries);
        // Not a structured binding: clang 14 cannot capture one in the lambda below.
        const auto emplaced = m_recorded.try_emplace(folder);
        const auto sizes = emplaced.first;
        if (emplaced.second) {
            sizes->second.ToRead = SelectedPictures(folder, entries);
            PixelSize size;
            std::erase_if(sizes->second.ToRead, [&](uint32_t i) {
                return m_sizes->Recorded(folder + entries[i].Name, size) && sizes->second.Known.emplace(i, size).second;
            });
        }
        return sizes->second.ToRead;
    }

    void PlaceFolderPictures(const std::string& folder, const std::vector<DirEntry>& entries) {
        const auto recorded = m_recorded.find(folder);
        m_known = recorded != m_recorded.end() ? &recorded->second.Known : nullptr;
        m_percent = 0;
        for (int i = 0; i < kDotEntries; ++i) {
            if (Cancelled())
                return;
            ShowProgress();
        }
        for (const DirEntry& e : entries) {
            if (Cancelled())
                return;
            PictureType type = ClassifyEntry(e, folder);
            if (Selected(type)) {
                m_fullPath.assign(folder).append(e.Name);
                PlacePicture(type, m_fullPath, static_cast<uint32_t>(&e - entries.data()));
            }
            ShowProgress();
            if (m_c.PageImageCount == m_in.PicturesPerPage)
                BreakPage();
        }
    }

    void PlacePicture(PictureType type, const std::string& fullPath, uint32_t entry) {
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
        if (m_set.Click == ClickAction::Folder) {
            m_link.assign("../");
            AppendAddress(m_link, UrlFolderPart(m_relative));
        } else if (m_set.Click == ClickAction::View) {
            m_link.assign(m_src);
        }
        if (m_set.UseTable)
            WriteCellStart(m_text);
        PixelSize size;
        const PlacedThumb thumb = m_thumbs ? m_thumbs->Next(m_cancelCheck) : PlacedThumb{};
        if (thumb.KnownSize) {
            size = {thumb.Width, thumb.Height};
        } else if (m_thumbs) {
            // Without its thumbnail (damaged, or given up for a cancel) a picture
            // still takes no more than the box among the others.
            if (thumb.HeaderRead)
                size = {thumb.Width, thumb.Height};
            else
                ReadPixelSize(m_fs, fullPath, size, m_cancelCheck);
            if (size.Width > 0 && size.Height > 0)
                FitInto(size.Width, size.Height, m_set.ThumbnailBox, size.Width, size.Height);
        } else if (m_set.SameSize) {
            size = {m_set.ImageWidth, m_set.ImageHeight};
        } else if (m_set.GetImageSize) {
            const auto known = m_known ? m_known->find(entry) : decltype(m_known->find(entry)){};
            if (m_known && known != m_known->end()) {
                size = known->second;
            } else if (m_prefetch) {
                size = m_prefetch->Next(m_cancelCheck);
            } else if (m_sizes) {
                m_sizes->Read(fullPath, size, m_cancelCheck);
            } else {
                ReadPixelSize(m_fs, fullPath, size, m_cancelCheck);
            }
        }
        m_alt.assign(FormatNumber(m_c.PageImageCount, "000")).append(" : ").append(m_relative);
        WritePictureEntry(m_text, {m_c.PageImageCount, m_c.WrittenImageCount, m_selected},
                          thumb.UseThumbnail ? thumb.Address : m_src, size.Width, size.Height, m_alt,
                          AlignmentText(m_set.Align), ClickActionText(m_set.Click), m_link);
        if (m_set.UseTable) {
            WriteCellEnd(m_text);
            if (++m_c.RowImageCount == m_set.ImagesPerLine) {
                WriteRowEnd(m_text);
                m_c.RowImageCount = 0;
                WriteRowStart(m_text);
            }
        }
    }

    void BreakPage() {
        EndPage();
        SavePage();
        BeginPage(m_c.PageCount + 1);
        m_c.PageImageCount = 0;
    }

    void ShowProgress() {
        m_percent = ProgressPercent(m_c.WrittenImageCount, m_selected, m_percent);
        m_obs.ShowProgress({m_c.WrittenImageCount, m_selected, m_percent});
    }

    const RunRequest& m_in;
    const int32_t m_selected;  // pictures of the chosen types the scan counted
    ListingMemory* const m_listings;  // the scan's listings, when the generation follows it at once
    FileSystem& m_fs;
    RunObserver& m_obs;
    const CancelToken& m_cancel;
    GenerateResult m_result;
    bool m_caseSensitive = true;  // the file system tells letter case apart
    std::string m_catalogueName, m_imagesName;  // "kavo" and "images", or as an earlier run spelt them
    const CatalogueSettings& m_set;
    GenerationCounters& m_c;
    std::string m_base;
    std::string m_catalogue;  // the catalogue folder, with a trailing separator
    // Declared before what writes through them, so they are let go last.
    std::unique_ptr<HeldFolders> m_held;
    UnreadableFolders m_unreadable;
    std::optional<CatalogueFiles> m_files;
    int32_t m_percent = 0;
    std::unique_ptr<SizeRecord> m_sizes;         // only with sizes to read
    std::unique_ptr<SizePrefetcher> m_prefetch;  // only with several jobs and sizes to read
    // Sizes the record knows, of the folders given to the readers, by folder and entry.
    struct FolderSizes {
        std::vector<uint32_t> ToRead;                  // pictures the readers read
        std::unordered_map<uint32_t, PixelSize> Known;  // and the others' sizes
    };
    std::unordered_map<std::string, FolderSizes> m_recorded;
    const std::unordered_map<uint32_t, PixelSize>* m_known = nullptr;  // those of the folder being placed
    FolderWalk* m_walk = nullptr;                // the walk under way
    std::unique_ptr<Thumbnails> m_thumbs;        // only when the pages show thumbnails
    // A size read that lasts (a slow disk) still lets cancel and Ctrl-C through.
    const CancelCheck m_cancelCheck = [this] { return Cancelled(); };
    std::string m_fullPath, m_relative, m_src, m_link, m_alt;
    std::string m_text;  // the file being composed
};

}  // namespace

GenerateResult RunGeneration(const RunRequest& request, const ScanResult& scan, FileSystem& fs, RunObserver& obs,
                             const CancelToken& cancel) {
    FailureCounter counter(obs);
    Generator generator(request, scan.Selected(request.Types), scan.Listings.get(), fs, counter, cancel);
    GenerateResult result = generator.Run();
    result.WriteFailures = counter.failures;
    // Not a write failure: the catalogue is whole, but lacks what could not be read.
    result.UnreadableFolders = generator.Unreadable().Count;
    // Said once: not again when the scan before it named the same number of folders.
    const bool told = scan.UnreadableNamed && scan.UnreadableFolders == result.UnreadableFolders;
    if (!result.Cancelled && result.UnreadableFolders > 0 && !told)
        obs.ShowMessage(generator.Unreadable().Notice(), MessageKind::Notice, kUnreadableNoticeTitle);
    return result;
}

Outcome OutcomeOf(const GenerateResult& r) {
    if (r.CatalogueFolder) return Outcome::CatalogueFolder;
    if (r.FolderMissing) return Outcome::FolderMissing;
    if (r.Busy) return Outcome::Busy;
    if (r.ForeignLink) return Outcome::ForeignLink;
    if (r.Cancelled) return Outcome::Cancelled;
    if (r.WriteFailures > 0 || r.UnreadableFolders > 0) return Outcome::Incomplete;
    return Outcome::Written;
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
