#pragma once

#include <optional>
#include <string>

#include "catalogue/context.h"
#include "fs/file_system.h"
#include "base/observer.h"

namespace kavo {

/// What the generation reads from the main window, besides the context.
struct GenerateInputs {
    std::string Folder;                                   // txtFolder, as typed
    bool IncludeSubfolders = true;                        // chkSubFolder
    bool Jpg = true, Gif = true, Bmp = true, Png = true;  // chkJPG … chkPNG
    std::string ProgramFolder;                            // folder holding the executable and its Images folder
    /// Whether the folder's file system tells letter case apart; probed when not given.
    std::optional<bool> CaseSensitive;
    /// Reader threads that read the pixel sizes of a folder's pictures ahead of
    /// the walk (1 to 64; 1 starts none; 0 adapts their number to how long a
    /// read takes). The output is the same for every value. Used only with a
    /// file system whose reads are thread-safe.
    int Jobs = 0;
    /// Threads that write the catalogue's files side by side (1 to 8; 1 writes
    /// one after another; 0 starts them once writes take as long as round
    /// trips to a server). Used only with a file system whose writes are thread-safe.
    int Writers = 0;
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
};

/// The generation window's work, from clearing the old pages to copying the
/// navigation pictures. ctx.SelectedImageCount, ctx.ImagesPerPage and
/// ctx.Settings are read; ctx.Counters are written.
GenerateResult RunGeneration(KavoContext& ctx, const GenerateInputs& in, FileSystem& fs, RunObserver& obs);

/// Percentage shown by the generation window, rounded half to even.
int32_t ProgressPercent(int32_t placed, int32_t selected, int32_t previous);

/// Texts of the generation window's display.
std::string FileCountLabel(int32_t placed, int32_t selected);  // "37/150ファイル"
std::string PercentLabel(int32_t percent);                     // "25％"
std::string ProgressCaption(int32_t percent);                  // "25％処理しました．．． - Kavo"

inline constexpr const char* kWritingHtmlText = "ＨＴＭＬファイルを書き出し中です。";

}  // namespace kavo
