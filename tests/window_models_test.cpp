#include "ui/window_models.h"

#include <gtest/gtest.h>

#include <map>

#include "support/test_support.h"

namespace kavo {
namespace {

using test::TempDir;

TEST(WindowModels, NumberBoxesAreCorrectedToTheirRanges) {
    EXPECT_EQ(CheckPicturesPerPage(50).Corrected, false);
    const FieldCheck empty = CheckPicturesPerPage(std::nullopt);
    EXPECT_EQ(empty.Value, 10);  // not the default: what the box has always taken
    EXPECT_EQ(empty.Warning, "値を設定してください。");
    EXPECT_EQ(CheckPicturesPerPage(201).Value, 200);
    EXPECT_EQ(CheckPicturesPerPage(201).Warning, "２００以上は設定できません。");
    EXPECT_EQ(CheckPicturesPerPage(0).Value, 5);
    EXPECT_EQ(CheckPicturesPerPage(0).Warning, "５未満は設定できません。");

    // The layout dialog's boxes only beep.
    EXPECT_EQ(LayoutDialogModel::CheckSide(std::nullopt).Value, 100);
    EXPECT_EQ(LayoutDialogModel::CheckSide(9).Value, 10);
    EXPECT_EQ(LayoutDialogModel::CheckSide(201).Value, 200);
    EXPECT_TRUE(LayoutDialogModel::CheckSide(9).Warning.empty());
    EXPECT_FALSE(LayoutDialogModel::CheckSide(200).Corrected);
    EXPECT_EQ(LayoutDialogModel::CheckPerRow(std::nullopt).Value, 1);
    EXPECT_EQ(LayoutDialogModel::CheckPerRow(11).Value, 10);
    EXPECT_EQ(LayoutDialogModel::CheckPerRow(0).Value, 1);
}

TEST(WindowModels, LayoutDialogEnablesByItsChoicesAndATableCentres) {
    CatalogueSettings stored;
    stored.Align = Alignment::Right;
    stored.ThumbnailBox = 999;
    LayoutDialogModel m(stored);
    EXPECT_TRUE(m.Thumbnails);
    EXPECT_EQ(m.ThumbnailBox, 400);
    // Thumbnails set the sizes: the size choices are greyed.
    EXPECT_FALSE(m.SizeChoiceEnabled() || m.SizeReadEnabled());
    m.SetThumbnails(false);
    EXPECT_TRUE(m.SizeChoiceEnabled() && m.SizeReadEnabled() && m.AlignmentEnabled());
    EXPECT_FALSE(m.SameSizeFieldsEnabled() || m.PerRowEnabled());
    m.SameSize = true;
    m.UseTable = true;
    EXPECT_FALSE(m.SizeReadEnabled() || m.AlignmentEnabled());
    EXPECT_TRUE(m.SameSizeFieldsEnabled() && m.PerRowEnabled());
    m.SetThumbnails(true);
    EXPECT_FALSE(m.SameSizeFieldsEnabled());
    const CatalogueSettings table = m.Accept(30, 40, 4, 120);
    EXPECT_TRUE(table.UseTable);
    EXPECT_EQ(table.Align, Alignment::Center);
    EXPECT_EQ(table.ImagesPerLine, 4);
    EXPECT_EQ(table.ThumbnailBox, 120);
    m.UseTable = false;
    m.Thumbnails = false;
    const CatalogueSettings plain = m.Accept(30, 40, 4, 120);
    EXPECT_EQ(plain.Align, Alignment::Right);
    EXPECT_EQ(plain.ThumbnailBox, 0);
}

TEST(WindowModels, ClickFollowsThumbnailsUntilTheUserPicksOneAndTheTipSaysIt) {
    LayoutDialogModel m{CatalogueSettings{}};
    EXPECT_FALSE(m.ClickChosen);
    m.SetThumbnails(true);
    EXPECT_EQ(m.Click, ClickAction::View);  // a click on a thumbnail opens the picture
    EXPECT_EQ(ThumbnailTip(m.Click), "小さな画像を作ってページに表示します。クリックすると元の画像を開きます。");
    m.SetThumbnails(false);
    EXPECT_EQ(m.Click, ClickAction::Folder);
    m.PickClick(ClickAction::Folder);  // the option already shown: no choice made
    EXPECT_FALSE(m.ClickChosen);
    m.PickClick(ClickAction::No);
    m.SetThumbnails(true);
    EXPECT_EQ(m.Click, ClickAction::No);
    EXPECT_EQ(ThumbnailTip(m.Click), "小さな画像を作ってページに表示します。クリックしても何もしません。");
    EXPECT_TRUE(m.Accept(10, 10, 1, 200).ThumbnailBox == 200 && m.ClickChosen);
    // Settings whose click does not go with their thumbnails were picked so.
    CatalogueSettings folderWithThumbs;
    folderWithThumbs.ThumbnailBox = 100;
    EXPECT_TRUE(LayoutDialogModel(folderWithThumbs).ClickChosen);
}

TEST(WindowModels, LayoutIsKeptBetweenRunsAndADamagedStoreKeepsTheDefaults) {
    CatalogueSettings s;
    s.SameSize = true;
    s.ImageWidth = 120;
    s.ThumbnailBox = 350;
    s.Click = ClickAction::View;
    s.SetTable(5);
    std::map<std::string, std::string> store;
    for (const auto& [name, text] : StoredLayout(s, false))
        store[name] = text;
    auto from = [&](const std::string& name) -> std::optional<std::string> {
        const auto it = store.find(name);
        return it == store.end() ? std::nullopt : std::optional(it->second);
    };
    bool chosen = true;
    CatalogueSettings back = LoadedLayout(from, chosen);
    EXPECT_FALSE(chosen);
    EXPECT_TRUE(back.SameSize && back.UseTable);
    EXPECT_EQ(back.ImageWidth, 120);
    EXPECT_EQ(back.ImagesPerLine, 5);
    EXPECT_EQ(back.ThumbnailBox, 350);
    EXPECT_EQ(back.Click, ClickAction::View);
    store = {{"ThumbnailBox", "9999"}, {"ImageWidth", "12x"}, {"SameSize", "yes"}, {"Click", "No"},
             {"ClickChosen", "1"}, {"Align", "LEFT"}, {"ImagesPerLine", "-4"}};
    back = LoadedLayout(from, chosen);
    EXPECT_EQ(back.ThumbnailBox, 400);
    EXPECT_EQ(back.ImageWidth, kPictureSide.Default);
    EXPECT_FALSE(back.SameSize);
    EXPECT_TRUE(chosen);
    EXPECT_EQ(back.Click, ClickAction::No);
    EXPECT_EQ(back.Align, Alignment::Left);
    EXPECT_EQ(back.ImagesPerLine, 1);
    store.clear();
    back = LoadedLayout(from, chosen);
    EXPECT_EQ(back.ThumbnailBox, 0);
    EXPECT_EQ(back.Click, ClickAction::Folder);
}

TEST(WindowModels, AScanTakesTheThumbnailsOfTheCatalogueThere) {
    TempDir dir;
    MainWindowModel m(NativeFileSystem());
    m.Folder = dir.path().string();
    ScanResult found;
    found.Counts.JpgCount = 1;
    found.CatalogueThumbnails = 250;
    m.ScanEnded(found);
    EXPECT_EQ(m.Layout.ThumbnailBox, 250);
    EXPECT_EQ(m.Layout.Click, ClickAction::View);
    found.CatalogueThumbnails = -1;  // no catalogue: the user's setting stays
    m.ScanEnded(found);
    EXPECT_EQ(m.Layout.ThumbnailBox, 250);
    m.ClickChosen = true;
    m.Layout.Click = ClickAction::No;
    found.CatalogueThumbnails = 0;
    m.ScanEnded(found);
    EXPECT_EQ(m.Layout.ThumbnailBox, 0);
    EXPECT_EQ(m.Layout.Click, ClickAction::No);
}

TEST(WindowModels, FolderTextLosesSpacesAndQuotesAroundIt) {
    EXPECT_EQ(UnquotedFolderText("  \"/home/a b/pics\" "), "/home/a b/pics");
    EXPECT_EQ(UnquotedFolderText("'/x'"), "/x");
    EXPECT_EQ(UnquotedFolderText("\"/x'"), "\"/x'");  // not a pair
    EXPECT_EQ(UnquotedFolderText("\""), "\"");
    EXPECT_EQ(UnquotedFolderText("   "), "");
}

TEST(WindowModels, MainWindowFollowsTheFolderTheScanAndTheGeneration) {
    TempDir dir;
    MainWindowModel m(NativeFileSystem());
    EXPECT_FALSE(m.OkEnabled());
    m.Folder = dir.path().string();
    m.FolderEdited();
    EXPECT_EQ(m.Role(), OkRole::Search);
    EXPECT_TRUE(m.OkEnabled());
    EXPECT_EQ(m.FolderProblem(), "");

    ScanResult found;
    found.Counts.PngCount = 2;
    EXPECT_EQ(m.ScanEnded(found), "");
    EXPECT_EQ(m.Role(), OkRole::CreateHtml);
    m.Types = {false, false, false, false};
    m.TypesChanged();
    EXPECT_FALSE(m.OkEnabled());
    m.Types = {};
    m.TypesChanged();
    EXPECT_TRUE(m.OkEnabled());
    EXPECT_EQ(m.Request("prog").PicturesPerPage, kPicturesPerPage.Default);

    // A generation that wrote its summary page enables the browser while the folder text leads to it.
    dir.Write("index.html", "x");
    GenerateResult written;
    written.SummaryWritten = true;
    written.SummaryPage = dir.str() + "index.html";
    EXPECT_EQ(m.GenerationEnded(written, false), MainWindowModel::AfterGeneration::Nothing);
    EXPECT_TRUE(m.BrowserEnabled());
    m.Folder += "/other";
    EXPECT_FALSE(m.BrowserEnabled());
    m.Folder = dir.path().string();
    EXPECT_EQ(m.GenerationEnded(written, true), MainWindowModel::AfterGeneration::TellCancelled);
    EXPECT_FALSE(m.BrowserEnabled());
    GenerateResult busy;
    busy.Busy = busy.Cancelled = true;
    EXPECT_EQ(m.GenerationEnded(busy, true), MainWindowModel::AfterGeneration::Nothing);
    GenerateResult gone;
    gone.FolderMissing = gone.Cancelled = true;
    EXPECT_EQ(m.GenerationEnded(gone, true), MainWindowModel::AfterGeneration::FolderGone);

    // A cancelled scan drops its counts and searches again; editing the folder does too.
    ScanResult cancelled;
    cancelled.Cancelled = true;
    EXPECT_EQ(m.ScanEnded(cancelled), kScanCancelledText);
    EXPECT_EQ(m.Role(), OkRole::Search);
    EXPECT_EQ(m.Counts().Pictures(), 0);
    EXPECT_TRUE(m.OkEnabled());
    m.ScanEnded(ScanResult{});
    EXPECT_FALSE(m.OkEnabled());  // nothing found: nothing to generate
    m.Folder.clear();
    m.FolderEdited();
    EXPECT_FALSE(m.OkEnabled());
}

TEST(WindowModels, FailedWritesComeAsOneReportAheadOfTheOthers) {
    const std::vector<Report> reports = {{"notice", MessageKind::Notice, "t1"},
                                         {"first", MessageKind::WriteFailure, "Kavo"},
                                         {"kept", MessageKind::Information, "t2"},
                                         {"second", MessageKind::WriteFailure, "Kavo"},
                                         {"third", MessageKind::WriteFailure, "Kavo"}};
    const std::vector<Report> shown = GroupReports(reports);
    ASSERT_EQ(shown.size(), 3u);
    EXPECT_EQ(shown[0].Text, "first\r\nほかに2件の書き出しに失敗しました。");
    EXPECT_EQ(shown[1].Text, "notice");
    EXPECT_EQ(shown[2].Text, "kept");
    EXPECT_EQ(GroupReports({{"only", MessageKind::WriteFailure, "Kavo"}})[0].Text, "only");
}

}  // namespace
}  // namespace kavo
