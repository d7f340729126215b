#pragma once

#include <QString>
#include <cstdint>
#include <functional>

class QWidget;

namespace kavo {

/// Browse flags, as the main window passes them.
inline constexpr uint32_t kBrowseOnlyFileSystemFolders = 0x0001;
inline constexpr uint32_t kBrowseNotBelowDomain = 0x0002;
/// Asks for a computer instead of a folder; this platform has none to offer.
inline constexpr uint32_t kBrowseForComputer = 0x1000;

/// What one call of the folder picker asked for.
struct FolderDialogRequest {
    QString Title;
    QWidget* Owner = nullptr;
    QString Root;
    uint32_t Flags = 0;
    QString StartPath;
};

/// Shows the folder picker and returns the chosen folder's path, or an empty
/// text when the user cancels. `owner` null means the desktop; `root`, when not
/// empty, is the folder the picker opens at if there is no start path;
/// `startPath`, when not empty, is pre-selected (a path that names no folder
/// is handed over unchanged). With kBrowseForComputer the result is always
/// empty. An error inside is shown in a message box and gives an empty text.
QString proFolderDlg_Open(const QString& title, QWidget* owner, const QString& root, uint32_t flags,
                          const QString& startPath);

/// Replaces the picker itself (not the argument handling), for tests. An
/// empty function restores the real picker.
void SetFolderDialogHook(std::function<QString(const FolderDialogRequest&)> hook);

}  // namespace kavo
