#pragma once

#include <cstdint>
#include <memory>

#include "base/cancel.h"
#include "base/observer.h"
#include "catalogue/settings.h"
#include "fs/file_system.h"
#include "walk/folder_listing.h"

namespace kavo {

/// What a scan found.
struct ScanResult {
    ScanCounts Counts;
    bool Cancelled = false;
    bool SupportPicturesFound = false;  // the catalogue's own navigation pictures were among the entries
    int32_t UnreadableFolders = 0;      // folders the walk could not read
    bool UnreadableNamed = false;       // the scan's notice named them to the user
    /// The scan's listings, when the request said a generation follows at once.
    std::shared_ptr<ListingMemory> Listings;
    /// The catalogue already in the folder: -1 none, 0 one without thumbnails,
    /// else the box its thumbnails were made for.
    int32_t CatalogueThumbnails = -1;

    /// The pictures of the request's types: the whole of a generation's progress.
    int32_t Selected(const PictureTypes& types) const { return types.CountIn(Counts); }
};

/// The scan window's work: counts the pictures of the request's folder (and
/// its subfolders when asked). Reports its status texts through the observer,
/// and, when `nameUnreadable`, one notice naming folders that could not be
/// read (off when a generation follows at once, which gives it). Stops early
/// once `cancel` is requested; a cancelled scan's counts mean nothing.
ScanResult RunScan(const RunRequest& request, FileSystem& fs, RunObserver& obs, const CancelToken& cancel,
                   bool nameUnreadable = true);

/// The catalogue already in `folder` (with its trailing separator), as
/// ScanResult::CatalogueThumbnails tells it.
int32_t CatalogueThumbnails(FileSystem& fs, const std::string& folder);

/// Title of the notice that names the folders a walk could not read.
inline constexpr const char* kUnreadableNoticeTitle = "フォルダの読み取り - Kavo";

/// Texts of the support-picture notice.
inline constexpr const char* kSupportNoticeTitle = "画像ファイル(\\Kavo\\*.Gif)の確認 - Kavo";
inline constexpr const char* kSupportNoticeText =
    "Ｋａｖｏで使用している画像ファイル(\\Kavo\\*.Gif)を検索しました。\r\n"
    "全ファイル数にはカウントしますが、ＧＩＦファイルとしてはカウントしません。";

/// What the user is told after a cancelled scan or generation.
inline constexpr const char* kScanCancelledText = "ファイル検索処理を中止しました。";
inline constexpr const char* kGenerationCancelledText = "ＨＴＭＬ作成処理を中止しました。";
inline constexpr const char* kCancelledTitle = "Ｋａｖｏ";

}  // namespace kavo
