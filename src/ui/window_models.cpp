#include "ui/window_models.h"

#include <charconv>

#include "catalogue/folder_checks.h"
#include "fs/paths.h"

namespace kavo {
namespace {

/// Corrects a value to the range, beeping; an empty box takes `ifEmpty`.
FieldCheck Corrected(std::optional<int32_t> typed, const SettingRange& range, int32_t ifEmpty) {
    if (!typed)
        return {ifEmpty, true, {}};
    if (*typed > range.Max)
        return {range.Max, true, {}};
    // Pasted text that is no number reads as 0 and is raised to the minimum.
    if (*typed < range.Min)
        return {range.Min, true, {}};
    return {*typed, false, {}};
}

std::string_view Flag(bool on) { return on ? "1" : "0"; }

}  // namespace

std::vector<std::pair<std::string, std::string>> StoredLayout(const CatalogueSettings& s, bool clickChosen) {
    return {{"SameSize", std::string(Flag(s.SameSize))},
            {"GetImageSize", std::string(Flag(s.GetImageSize))},
            {"ImageWidth", std::to_string(s.ImageWidth)},
            {"ImageHeight", std::to_string(s.ImageHeight)},
            {"Click", std::string(ClickActionText(s.Click))},
            {"ClickChosen", std::string(Flag(clickChosen))},
            {"Align", std::string(AlignmentText(s.Align))},
            {"UseTable", std::string(Flag(s.UseTable))},
            {"ImagesPerLine", std::to_string(s.ImagesPerLine)},
            {"ThumbnailBox", std::to_string(s.ThumbnailBox)}};
}

CatalogueSettings LoadedLayout(const std::function<std::optional<std::string>(const std::string&)>& value,
                               bool& clickChosen) {
    CatalogueSettings s;
    auto flag = [&](const char* name, bool& out) {
        const std::optional<std::string> v = value(name);
        if (v == "0" || v == "1")
            out = *v == "1";
    };
    auto number = [&](const char* name, const SettingRange& range, int32_t& out, bool zeroAllowed = false) {
        const std::optional<std::string> v = value(name);
        int64_t n = 0;
        if (!v || v->empty() || std::from_chars(v->data(), v->data() + v->size(), n).ptr != v->data() + v->size())
            return;
        out = zeroAllowed && n == 0 ? 0 : range.Clamp(n);
    };
    flag("SameSize", s.SameSize);
    flag("GetImageSize", s.GetImageSize);
    number("ImageWidth", kPictureSide, s.ImageWidth);
    number("ImageHeight", kPictureSide, s.ImageHeight);
    number("ThumbnailBox", kThumbnailBox, s.ThumbnailBox, true);
    clickChosen = false;
    flag("ClickChosen", clickChosen);
    s.Click = DefaultClick(s.ThumbnailBox > 0);
    if (clickChosen) {
        for (ClickAction c : {ClickAction::Folder, ClickAction::View, ClickAction::No}) {
            if (value("Click") == ClickActionText(c))
                s.Click = c;
        }
    }
    for (Alignment a : {Alignment::Left, Alignment::Center, Alignment::Right}) {
        if (value("Align") == AlignmentText(a))
            s.Align = a;
    }
    number("ImagesPerLine", kPicturesPerRow, s.ImagesPerLine);
    bool table = false;
    flag("UseTable", table);
    if (table)
        s.SetTable(s.ImagesPerLine);
    return s;
}

std::string ThumbnailTip(ClickAction click) {
    const std::string made = "小さな画像を作ってページに表示します。";
    switch (click) {
        case ClickAction::View:
            return made + "クリックすると元の画像を開きます。";
        case ClickAction::Folder:
            return made + "クリックすると画像のあるフォルダを開きます。";
        case ClickAction::No:
            break;
    }
    return made + "クリックしても何もしません。";
}

std::string NoLauncherMessage(std::string_view path) {
    return "'" + std::string(path) +
           "' を開けませんでした。\r\nページを開くプログラムが見つかりません。";
}

std::string UnquotedFolderText(std::string_view text) {
    auto trim = [](std::string_view t) {
        const size_t from = t.find_first_not_of(" \t\r\n");
        if (from == std::string_view::npos)
            return std::string_view();
        return t.substr(from, t.find_last_not_of(" \t\r\n") - from + 1);
    };
    text = trim(text);
    if (text.size() >= 2 && (text.front() == '"' || text.front() == '\'') && text.back() == text.front())
        text = trim(text.substr(1, text.size() - 2));
    return std::string(text);
}

FieldCheck CheckPicturesPerPage(std::optional<int32_t> typed) {
    if (!typed)
        return {10, true, "値を設定してください。"};
    if (*typed > kPicturesPerPage.Max)
        return {kPicturesPerPage.Max, true, "２００以上は設定できません。"};
    if (*typed < kPicturesPerPage.Min)
        return {kPicturesPerPage.Min, true, "５未満は設定できません。"};
    return {*typed, false, {}};
}

bool MainWindowModel::BrowserEnabled() const {
    // The folder text is read as the generation reads it (ResolveFolder).
    const bool samePage = !m_summaryPage.empty() && !Folder.empty() &&
                          WithTrailingSeparator(ResolveFolder(Folder)) + "index.html" == m_summaryPage;
    return samePage && m_fs.IsRegularFile(m_summaryPage);
}

void MainWindowModel::FolderEdited() {
    // Counts of another folder text no longer apply, whatever the new text
    // names; a folder that cannot be used is explained when the search is asked for.
    m_scan = ScanResult{};
    m_role = OkRole::Search;
    m_okEnabled = !Folder.empty();
}

void MainWindowModel::TypesChanged() {
    // ＨＴＭＬ作成 follows a scan of this very folder text; after a scan that
    // found nothing a type box does not make it start an empty catalogue.
    const bool found = m_scan.Counts.Pictures() != 0;
    m_okEnabled = !Folder.empty() && Types.Any() && (m_role == OkRole::Search || found);
}

std::string MainWindowModel::FolderProblem() const { return kavo::FolderProblem(m_fs, Folder); }

RunRequest MainWindowModel::Request(const std::string& programFolder) const {
    RunRequest r;
    r.Folder = Folder;
    r.IncludeSubfolders = IncludeSubfolders;
    r.Types = Types;
    r.PicturesPerPage = PicturesPerPage;
    r.Layout = Layout;
    r.ProgramFolder = programFolder;
    return r;
}

std::string_view MainWindowModel::ScanEnded(const ScanResult& scan) {
    if (scan.Cancelled) {
        m_scan = ScanResult{};
        m_okEnabled = true;
        m_role = OkRole::Search;
        return kScanCancelledText;
    }
    m_scan = scan;
    if (scan.CatalogueThumbnails >= 0) {
        // The catalogue there keeps what it was made with, also after a restart.
        Layout.ThumbnailBox = scan.CatalogueThumbnails;
        if (!ClickChosen)
            Layout.Click = DefaultClick(Layout.ThumbnailBox > 0);
    }
    m_role = OkRole::CreateHtml;
    m_okEnabled = scan.Counts.Pictures() != 0;
    return {};
}

MainWindowModel::AfterGeneration MainWindowModel::GenerationEnded(const GenerateResult& result, bool cancelled) {
    m_generation = result;
    m_summaryPage = !cancelled && result.SummaryWritten ? result.SummaryPage : std::string();
    switch (OutcomeOf(result)) {
        case Outcome::FolderMissing:
            // Deleted or moved since the scan: the core wrote nothing and did not
            // make the folder again. Said as for a typed folder, which it now is.
            return AfterGeneration::FolderGone;
        case Outcome::Busy:
        case Outcome::CatalogueFolder:
        case Outcome::ForeignLink:
            return AfterGeneration::Nothing;  // refused with a message already shown; nothing was written
        default:
            return cancelled ? AfterGeneration::TellCancelled : AfterGeneration::Nothing;
    }
}

LayoutDialogModel::LayoutDialogModel(const CatalogueSettings& s, bool clickChosen)
    : SameSize(s.SameSize),
      GetImageSize(s.GetImageSize),
      Click(s.Click),
      UseTable(s.UseTable),
      Align(s.Align),
      Thumbnails(s.ThumbnailBox > 0),
      ThumbnailBox(s.ThumbnailBox > 0 ? kThumbnailBox.Clamp(s.ThumbnailBox) : kThumbnailBox.Default),
      // A click other than the one that goes with the thumbnails was picked, stored or not.
      ClickChosen(clickChosen || s.Click != DefaultClick(s.ThumbnailBox > 0)) {}

void LayoutDialogModel::SetThumbnails(bool on) {
    Thumbnails = on;
    if (!ClickChosen)
        Click = DefaultClick(on);
}

void LayoutDialogModel::PickClick(ClickAction click) {
    ClickChosen = ClickChosen || click != Click;
    Click = click;
}

FieldCheck LayoutDialogModel::CheckSide(std::optional<int32_t> typed) {
    return Corrected(typed, kPictureSide, kPictureSide.Default);
}

FieldCheck LayoutDialogModel::CheckPerRow(std::optional<int32_t> typed) {
    return Corrected(typed, kPicturesPerRow, kPicturesPerRow.Min);
}

FieldCheck LayoutDialogModel::CheckThumbnailBox(std::optional<int32_t> typed) {
    return Corrected(typed, kThumbnailBox, kThumbnailBox.Default);
}

CatalogueSettings LayoutDialogModel::Accept(int32_t width, int32_t height, int32_t perRow, int32_t thumbnailBox) const {
    CatalogueSettings s;
    s.SameSize = SameSize;
    s.GetImageSize = GetImageSize;
    s.ImageWidth = width;
    s.ImageHeight = height;
    s.Click = Click;
    s.Align = Align;
    s.ImagesPerLine = perRow;
    if (UseTable)
        s.SetTable(perRow);
    s.ThumbnailBox = Thumbnails ? thumbnailBox : 0;
    return s;
}

std::vector<Report> GroupReports(const std::vector<Report>& reports) {
    std::vector<Report> shown;
    const Report* first = nullptr;
    int more = 0;
    for (const Report& r : reports) {
        if (r.Kind != MessageKind::WriteFailure)
            continue;
        if (first == nullptr)
            first = &r;
        else
            ++more;
    }
    if (first != nullptr) {
        shown.push_back(*first);
        if (more > 0)
            shown.back().Text += "\r\nほかに" + std::to_string(more) + "件の書き出しに失敗しました。";
    }
    for (const Report& r : reports) {
        if (r.Kind != MessageKind::WriteFailure)
            shown.push_back(r);
    }
    return shown;
}

}  // namespace kavo
