#pragma once

#include <cstdint>
#include <string>

#include "base/cancel.h"

namespace kavo {

/// Layout of the generated catalogue; changed only by the layout dialog's OK.
struct CatalogueSettings {
    bool SameSize = false;
    bool GetImageSize = true;
    int32_t ImageWidth = 100;
    int32_t ImageHeight = 100;
    std::string ClickAction = "Folder";  // "Folder", "View" or "No"
    std::string Align = "CENTER";        // "LEFT", "CENTER" or "RIGHT"
    bool UseTable = false;
    int32_t ImagesPerLine = 3;
    /// 0: pages show the pictures themselves. Else the long side (50 to 400 CSS
    /// pixels) of the thumbnails the pages show instead; they set the sizes.
    int32_t ThumbnailBox = 0;
};

/// Results of the last folder scan.
struct ScanCounts {
    int32_t JpgCount = 0;
    int32_t GifCount = 0;
    int32_t BmpCount = 0;
    int32_t PngCount = 0;
    int32_t AllFileCount = 0;
};

/// Counters of one generation run; they keep their final values after it.
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

/// The state the windows, the command line and the generator share during one
/// program run. The program creates exactly one; tests make their own.
struct KavoContext {
    CatalogueSettings Settings;
    ScanCounts Counts;
    int32_t SelectedImageCount = 0;
    int32_t ImagesPerPage = 50;
    CancelToken Cancel;
    bool SupportImagesFound = false;
    int32_t UnreadableFolderCount = 0;  // folders the last scan could not read
    bool UnreadableNoticeShown = false;  // the last scan named them to the user
    int32_t WindowTop = 0;
    int32_t WindowLeft = 0;

    GenerationCounters Counters;

    /// True when the catalogue goes onto a file system that tells letter case
    /// apart: then every name of the catalogue is lower case so links resolve,
    /// and picture addresses keep the user's letter case.
    bool CaseSensitiveOutput = false;

    /// Zeroes the five scan counts and SelectedImageCount together.
    void ResetCounts() {
        Counts = ScanCounts{};
        SelectedImageCount = 0;
    }

    /// SelectedImageCount from the counts of the chosen types, JPEG, GIF, BMP, PNG in that order.
    void SelectTypes(bool jpg, bool gif, bool bmp, bool png) {
        SelectedImageCount = 0;
        if (jpg) SelectedImageCount += Counts.JpgCount;
        if (gif) SelectedImageCount += Counts.GifCount;
        if (bmp) SelectedImageCount += Counts.BmpCount;
        if (png) SelectedImageCount += Counts.PngCount;
    }
};

}  // namespace kavo
