#pragma once

#include <string>

#include "catalogue/context.h"
#include "fs/file_system.h"
#include "base/observer.h"

namespace kavo {

/// What the scan reads from the main window.
struct ScanInputs {
    std::string Folder;             // txtFolder, as typed
    bool IncludeSubfolders = true;  // chkSubFolder
    /// Ends the scan with the notice of folders that could not be read; off when a generation follows, which gives it.
    bool ReportUnreadable = true;
};

/// The scan window's work: resets the counts and counts the pictures of the
/// folder (and its subfolders when asked) into ctx.Counts, setting
/// ctx.SupportImagesFound and ctx.UnreadableFolderCount. Reports its status
/// texts, and one notice naming folders that could not be read, through the observer.
/// Returns the window's m_fCancel: true when the scan was cancelled.
bool RunScan(KavoContext& ctx, const ScanInputs& in, FileSystem& fs, RunObserver& obs);

/// Title of the notice that names the folders a walk could not read.
inline constexpr const char* kUnreadableNoticeTitle = "フォルダの読み取り - Kavo";

/// Texts of the support-picture notice.
inline constexpr const char* kSupportNoticeTitle = "画像ファイル(\\Kavo\\*.Gif)の確認 - Kavo";
inline constexpr const char* kSupportNoticeText =
    "Ｋａｖｏで使用している画像ファイル(\\Kavo\\*.Gif)を検索しました。\r\n"
    "全ファイル数にはカウントしますが、ＧＩＦファイルとしてはカウントしません。";

}  // namespace kavo
