#pragma once

#include <optional>
#include <string>

#include "base/cancel.h"
#include "base/observer.h"
#include "catalogue/scan.h"
#include "catalogue/settings.h"
#include "fs/file_system.h"

namespace kavo {

/// Counters of one generation run; the result keeps their final values.
struct GenerationCounters {
    int32_t PageCount = 0;
    int32_t PageImageCount = 0;
    int32_t RowImageCount = 0;
    int32_t WrittenJpgCount = 0;
    int32_t WrittenGifCount = 0;
    int32_t WrittenBmpCount = 0;
    int32_t WrittenPngCount = 0;
    int32_t WrittenImageCount = 0;
};

struct GenerateResult {
    bool Cancelled = false;     // the window's m_fCancel
    int WriteFailures = 0;      // files or folders that could not be written
    bool FolderMissing = false;   // the chosen folder was gone: nothing was written
    bool Busy = false;            // another run was writing the catalogue: nothing was written
    bool CatalogueFolder = false;  // the folder holds a catalogue's frameset: nothing was written
    bool ForeignLink = false;      // the catalogue or its images folder is another user's link: nothing was written
    bool SummaryWritten = false;  // the summary page went in, with the frames and pages
    std::string SummaryPage;      // path of the summary page
    std::string BackupOfIndex;  // where a foreign index.html was kept, if one was
    int32_t UnreadableFolders = 0;  // folders the walk could not read, named in one notice
    bool CaseSensitive = false;     // the names were written for a file system that tells letter case apart
    GenerationCounters Counters;
};

/// The generation window's work, from clearing the old pages to copying the
/// navigation pictures. `scan` is the scan it follows: its count of the
/// request's types is the progress's whole, and folders it named as
/// unreadable are not named again. Stops early once `cancel` is requested
/// and commits the smaller catalogue.
GenerateResult RunGeneration(const RunRequest& request, const ScanResult& scan, FileSystem& fs, RunObserver& obs,
                             const CancelToken& cancel);

/// How a generation ended, in the order a front-end tells it: each shows or
/// maps it its own way (a message box, an exit code).
enum class Outcome {
    CatalogueFolder,  // refused: the folder is a catalogue's own
    FolderMissing,    // the folder was gone; nothing was written
    Busy,             // refused: another run is writing the catalogue
    ForeignLink,      // refused: another user's link where the catalogue goes
    Cancelled,        // the smaller catalogue was committed
    Incomplete,       // written, but some file could not be, or some folder not read
    Written,
};
Outcome OutcomeOf(const GenerateResult& result);

/// Percentage shown by the generation window, rounded half to even.
int32_t ProgressPercent(int32_t placed, int32_t selected, int32_t previous);

/// Texts of the generation window's display.
std::string FileCountLabel(int32_t placed, int32_t selected);  // "37/150ファイル"
std::string PercentLabel(int32_t percent);                     // "25％"
std::string ProgressCaption(int32_t percent);                  // "25％処理しました．．． - Kavo"

inline constexpr const char* kWritingHtmlText = "ＨＴＭＬファイルを書き出し中です。";

}  // namespace kavo
