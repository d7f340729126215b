#pragma once

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kavo {

// The rules of the settings, once: the window corrects a value to its range,
// the command line refuses one outside it, and both start from the defaults.

/// The range and default of a number setting.
struct SettingRange {
    int32_t Min;
    int32_t Max;
    int32_t Default;
    constexpr bool Contains(int64_t value) const { return value >= Min && value <= Max; }
    constexpr int32_t Clamp(int64_t value) const {
        return static_cast<int32_t>(std::clamp<int64_t>(value, Min, Max));
    }
};

inline constexpr SettingRange kPicturesPerPage{5, 200, 50};
inline constexpr SettingRange kPictureSide{10, 200, 100};  // width and height of "same size"
inline constexpr SettingRange kPicturesPerRow{1, 10, 3};
inline constexpr SettingRange kThumbnailBox{50, 400, 200};
inline constexpr SettingRange kReaderJobs{1, 64, 0};  // 0: as many as the drive needs

/// What a click on a picture of a page does.
enum class ClickAction { Folder, View, No };
/// Where the pictures of a page stand.
enum class Alignment { Left, Center, Right };

/// The texts the pages are written with: "Folder", "View", "No"; "LEFT", "CENTER", "RIGHT".
std::string_view ClickActionText(ClickAction click);
std::string_view AlignmentText(Alignment align);

/// Layout of the generated catalogue; changed only by the layout dialog's OK.
struct CatalogueSettings {
    bool SameSize = false;
    bool GetImageSize = true;
    int32_t ImageWidth = kPictureSide.Default;
    int32_t ImageHeight = kPictureSide.Default;
    ClickAction Click = ClickAction::Folder;
    Alignment Align = Alignment::Center;
    bool UseTable = false;
    int32_t ImagesPerLine = kPicturesPerRow.Default;
    /// 0: pages show the pictures themselves. Else the long side (kThumbnailBox)
    /// of the thumbnails the pages show instead; they set the sizes.
    int32_t ThumbnailBox = 0;

    /// Lays the pages out in a table of `perRow` pictures a row. A table
    /// always centres its pictures.
    void SetTable(int32_t perRow) {
        UseTable = true;
        ImagesPerLine = perRow;
        Align = Alignment::Center;
    }
};

/// Counts of the pictures a scan found, by type.
struct ScanCounts {
    int32_t JpgCount = 0;
    int32_t GifCount = 0;
    int32_t BmpCount = 0;
    int32_t PngCount = 0;
    int32_t AllFileCount = 0;

    int32_t Pictures() const { return JpgCount + GifCount + BmpCount + PngCount; }
};

/// The picture types a run takes.
struct PictureTypes {
    bool Jpg = true, Gif = true, Bmp = true, Png = true;

    bool Any() const { return Jpg || Gif || Bmp || Png; }
    /// The pictures of these types among the counts.
    int32_t CountIn(const ScanCounts& c) const {
        return (Jpg ? c.JpgCount : 0) + (Gif ? c.GifCount : 0) + (Bmp ? c.BmpCount : 0) + (Png ? c.PngCount : 0);
    }
};

/// One run as a front-end asks for it: the folder, the pictures, how the pages look.
struct RunRequest {
    std::string Folder;             // as typed
    bool IncludeSubfolders = true;
    PictureTypes Types;
    int32_t PicturesPerPage = kPicturesPerPage.Default;
    CatalogueSettings Layout;
    std::string ProgramFolder;  // folder holding the program's Images folder
    /// Whether the folder's file system tells letter case apart; probed when not given.
    std::optional<bool> CaseSensitive;
    /// Reader threads that read the pixel sizes of a folder's pictures ahead of
    /// the walk (kReaderJobs; 1 starts none; 0 adapts their number to how long a
    /// read takes). The output is the same for every value. Used only with a
    /// file system whose reads are thread-safe.
    int Jobs = 0;
    /// Threads that write the catalogue's files side by side (1 to 8; 1 writes
    /// one after another; 0 starts them once writes take as long as round
    /// trips to a server). Used only with a file system whose writes are thread-safe.
    int Writers = 0;
    /// The generation follows the scan at once (kavo-cli): the scan keeps what
    /// it listed and the generation lists nothing twice. A window, whose user may
    /// generate long after the scan, lists again.
    bool GenerateAtOnce = false;
};

}  // namespace kavo
