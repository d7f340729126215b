#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/observer.h"
#include "catalogue/generate.h"
#include "catalogue/scan.h"
#include "catalogue/settings.h"
#include "fs/file_system.h"

namespace kavo {

// What the windows decide, apart from the toolkit that draws them: which
// controls are enabled, what a value may be, what a click does next, what a
// run asks for and how its reports are shown. The forms in app/ bind their
// controls to these and draw; the same models serve every platform's window.

/// A number box checked when it loses the focus: the value it keeps, and what
/// the user is told when it was corrected.
struct FieldCheck {
    int32_t Value = 0;
    bool Corrected = false;     // the box gets Value, with a beep
    std::string Warning;        // a message box besides the beep; empty for none
};

/// The pictures-per-page box of the main window. `typed` is empty for an empty box.
FieldCheck CheckPicturesPerPage(std::optional<int32_t> typed);

/// The layout settings the window keeps between program runs, as names and texts.
/// `clickChosen`: the user picked the click action; otherwise it follows the thumbnails.
std::vector<std::pair<std::string, std::string>> StoredLayout(const CatalogueSettings& s, bool clickChosen);
/// Reads them back through `value` (empty for a name not stored); a value that
/// is missing or damaged keeps the default, a number out of range is brought into it.
CatalogueSettings LoadedLayout(const std::function<std::optional<std::string>(const std::string&)>& value,
                               bool& clickChosen);

/// The click action that goes with thumbnails on or off while the user has picked none.
inline ClickAction DefaultClick(bool thumbnails) { return thumbnails ? ClickAction::View : ClickAction::Folder; }

/// The tip of the thumbnail box: what thumbnails are, and what a click on one does.
std::string ThumbnailTip(ClickAction click);

/// Said when no program could be started to open `path`.
std::string NoLauncherMessage(std::string_view path);

/// The folder text as the user means it, apart from what only the toolkit
/// knows (a file:// address, the home folder): spaces around it and a pair of
/// quotes around the whole, as a copied path often has, dropped.
std::string UnquotedFolderText(std::string_view text);

/// What the main window's ＯＫ button does next.
enum class OkRole { Search, CreateHtml };

/// The main window: the user's choices for one program run, the last scan
/// and the last catalogue written.
class MainWindowModel {
public:
    explicit MainWindowModel(FileSystem& fs) : m_fs(fs) {}

    // The choices, as the controls show them.
    std::string Folder;  // the folder text as the user means it (see frmKavo::folderPath)
    bool IncludeSubfolders = true;
    PictureTypes Types;
    int32_t PicturesPerPage = kPicturesPerPage.Default;
    CatalogueSettings Layout;
    bool ClickChosen = false;  // the click action was picked by the user, not left to follow the thumbnails

    OkRole Role() const { return m_role; }
    bool OkEnabled() const { return m_okEnabled; }
    /// ブラウザ起動: only while the folder shown is the one whose summary page the
    /// last generation wrote, and that page is still there.
    bool BrowserEnabled() const;
    const ScanCounts& Counts() const { return m_scan.Counts; }
    const std::string& SummaryPage() const { return m_summaryPage; }
    const GenerateResult& LastGeneration() const { return m_generation; }

    /// The folder text changed: counts of another folder no longer apply.
    void FolderEdited();
    /// A type box changed.
    void TypesChanged();
    /// The generation button was disabled for the run, or the folder picker is open.
    void DisableOk() { m_okEnabled = false; }

    /// Why the folder cannot be used, as a message; empty when it can.
    std::string FolderProblem() const;

    /// What a scan of the folder asks for.
    RunRequest Request(const std::string& programFolder) const;

    /// Takes a finished scan: a catalogue already in the folder gives the
    /// thumbnail setting and size. Returns the message to show: the cancel text,
    /// or empty.
    std::string_view ScanEnded(const ScanResult& scan);

    /// Takes a generation's end (`cancelled` also when the window was closed
    /// before the run began) and says what the window does next.
    enum class AfterGeneration { Nothing, FolderGone, TellCancelled };
    AfterGeneration GenerationEnded(const GenerateResult& result, bool cancelled);

    /// The scan the generation follows.
    const ScanResult& Scan() const { return m_scan; }

private:
    FileSystem& m_fs;
    OkRole m_role = OkRole::Search;
    bool m_okEnabled = false;
    ScanResult m_scan;
    GenerateResult m_generation;
    std::string m_summaryPage;
};

/// The layout dialog, on its choices; the settings change only on ＯＫ.
struct LayoutDialogModel {
    explicit LayoutDialogModel(const CatalogueSettings& settings, bool clickChosen = false);

    bool SameSize;
    bool GetImageSize;
    ClickAction Click;
    bool UseTable;
    Alignment Align;
    bool Thumbnails;
    int32_t ThumbnailBox;  // what its box shows
    bool ClickChosen;

    /// 作成する changed: the click follows it until the user picks one.
    void SetThumbnails(bool on);
    /// The user picked a click action.
    void PickClick(ClickAction click);

    // Which controls are enabled, from the choices. Thumbnails set the sizes
    // themselves: the size choices are then ignored, and greyed.
    bool SizeChoiceEnabled() const { return !Thumbnails; }  // 元の大きさ, 揃える and their frame
    bool SizeReadEnabled() const { return !SameSize && !Thumbnails; }   // 画像サイズ取得 and its frame
    bool SameSizeFieldsEnabled() const { return SameSize && !Thumbnails; }
    bool AlignmentEnabled() const { return !UseTable; }
    bool PerRowEnabled() const { return UseTable; }

    /// The boxes, checked when they lose the focus; `typed` is empty for an empty box.
    static FieldCheck CheckSide(std::optional<int32_t> typed);
    static FieldCheck CheckPerRow(std::optional<int32_t> typed);
    static FieldCheck CheckThumbnailBox(std::optional<int32_t> typed);

    /// The settings ＯＫ stores, from the choices and the checked numbers.
    CatalogueSettings Accept(int32_t width, int32_t height, int32_t perRow, int32_t thumbnailBox) const;
};

/// The messages a generation window shows once its run has ended: the failed
/// writes as one message that names the first and counts the others, then
/// each other message in the order it came.
struct Report {
    std::string Text;
    MessageKind Kind;
    std::string Title;
};
std::vector<Report> GroupReports(const std::vector<Report>& reports);

/// How often a progress window puts the last report into its controls:
/// reports come after every entry, and drawing each would slow a large run down.
inline constexpr int kProgressPaintIntervalMs = 30;

}  // namespace kavo
