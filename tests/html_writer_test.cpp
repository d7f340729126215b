#include "html/html_writer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/encoding.h"
#include "catalogue/generate.h"
#include "support/test_support.h"

namespace kavo {
namespace {

using test::Lines;

std::string Expected(const std::string& name) {
    return test::ReadFile(std::string(KAVO_TEST_DATA) + "/html/" + name);
}

/// Splits text that must consist of whole CR LF lines; fails on a stray CR or LF.
std::vector<std::string> SplitCrLf(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        const size_t end = text.find("\r\n", start);
        if (end == std::string::npos) {
            ADD_FAILURE() << "text does not end with CR LF";
            break;
        }
        std::string line = text.substr(start, end - start);
        EXPECT_EQ(line.find_first_of("\r\n"), std::string::npos) << "stray line break in: " << line;
        lines.push_back(std::move(line));
        start = end + 2;
    }
    return lines;
}

class HtmlWriterTest : public ::testing::Test {
protected:
    struct {
        GenerationCounters Counters;
        int32_t SelectedImageCount = 0;
        int32_t ImagesPerPage = kPicturesPerPage.Default;
        CatalogueSettings Settings;
    } ctx;  // the values a generation hands the writers
    std::string out;

    EntryNumbers Numbers() const {
        return {ctx.Counters.PageImageCount, ctx.Counters.WrittenImageCount, ctx.SelectedImageCount};
    }
    SummaryFacts Facts(std::string_view folderName) const {
        return {.FolderName = folderName,
                .Pictures = ctx.Counters.WrittenImageCount,
                .PicturesPerPage = ctx.ImagesPerPage,
                .Pages = ctx.Counters.PageCount,
                .PicturesPerRow = ctx.Settings.UseTable ? ctx.Settings.ImagesPerLine : 0};
    }

    void Entry(std::string_view src, int32_t width, int32_t height, std::string_view alt,
               std::string_view click = "Folder", std::string_view link = "../a/") {
        out.clear();
        WritePictureEntry(out, Numbers(), src, width, height, alt, "CENTER", click, link);
    }
    /// The IMG line of the one entry in the buffer.
    std::string ImageLine() {
        for (const std::string& line : SplitCrLf(out)) {
            if (line.starts_with("    <IMG "))
                return line;
        }
        return {};
    }
};

// ---------------------------------------------------------------------------
// Head and body

TEST_F(HtmlWriterTest, EmptyTypeKeepsTheSpaceBeforeTheComment) {
    WriteHead(out, "", "t");
    EXPECT_EQ(SplitCrLf(out).front(), "<!--Kavo Type= このコメント文は削除しないでください-->");
}

TEST_F(HtmlWriterTest, HeadStartsANewFile) {
    out = "an unwritten page\r\n";
    WriteHead(out, "Kavo", "x");
    const auto lines = SplitCrLf(out);
    ASSERT_EQ(lines.size(), 12u);
    EXPECT_EQ(lines[0], "<!--Kavo Type=Kavo このコメント文は削除しないでください-->");
    EXPECT_EQ(lines[9], "    <TITLE>x</TITLE>");
    EXPECT_EQ(lines[11], "");
}

TEST_F(HtmlWriterTest, BodyStartForms) {
    const std::string tail = R"( LINK="#555555" TEXT="#000000" VLINK="#503080">)";
    WriteBodyStart(out, "Back.GIF", "Silver");
    EXPECT_EQ(out, Lines({R"(<BODY BACKGROUND="back.gif" ALINK="#EF4455" BGCOLOR="#FFFFFF")" + tail, ""}));
    out.clear();
    WriteBodyStart(out, "", "Silver");
    EXPECT_EQ(out, Lines({R"(<BODY ALINK="#EF4455" BGCOLOR="Silver")" + tail, ""}));
    out.clear();
    WriteBodyStart(out, " ", "");  // spaces are not empty
    EXPECT_EQ(out, Lines({R"(<BODY BACKGROUND=" " ALINK="#EF4455" BGCOLOR="#FFFFFF")" + tail, ""}));
    out.clear();
    WriteBodyStart(out, "", "");
    EXPECT_EQ(out, Lines({R"(<BODY ALINK="#EF4455" BGCOLOR="#FFFFFF")" + tail, ""}));
}

TEST_F(HtmlWriterTest, SinglePicturePageWithoutTable) {
    ctx.Counters.PageImageCount = 1;
    ctx.Counters.WrittenImageCount = 1;
    ctx.SelectedImageCount = 3;
    WriteHead(out, "Kavo", "Trip <2024> & more");
    WriteBodyStart(out, "", "");
    WritePictureEntry(out, Numbers(), "../Trip/IMG_0001.JPG", 640, 480, "001 : Trip/IMG_0001.JPG", "CENTER", "View",
                      "../Trip/IMG_0001.JPG");
    WriteBodyEnd(out);
    EXPECT_EQ(out, Expected("page_single.html"));
}

TEST_F(HtmlWriterTest, PageWithTableEndsWithAnEmptyRow) {
    ctx.SelectedImageCount = 12;
    WriteHead(out, "Kavo", "Album");
    WriteBodyStart(out, "", "");
    WriteTableStart(out, 0);
    WriteRowStart(out);
    const char* names[] = {"a.gif", "b.png"};
    for (int i = 0; i < 2; ++i) {
        ctx.Counters.PageImageCount = i + 1;
        ctx.Counters.WrittenImageCount = 11 + i;
        WriteCellStart(out);
        WritePictureEntry(out, Numbers(), std::string("../") + names[i], 0, 0, "00" + std::to_string(i + 1) + " : " + names[i],
                          "LEFT", "No", "ignored");
        WriteCellEnd(out);
    }
    WriteRowEnd(out);
    WriteRowStart(out);
    WriteRowEnd(out);
    WriteTableEnd(out);
    WriteBodyEnd(out);
    EXPECT_EQ(out, Expected("page_table.html"));
}

// ---------------------------------------------------------------------------
// Picture entries

TEST_F(HtmlWriterTest, AnchorOnlyForExactlyViewOrFolder) {
    for (std::string_view click : {"No", "view", "FOLDER", "View ", ""}) {
        Entry("a.jpg", 0, 0, "", click, "../x.jpg");
        EXPECT_EQ(out.find("<A "), std::string::npos) << click;
        EXPECT_EQ(out.find("</A>"), std::string::npos) << click;
    }
    Entry("a.jpg", 0, 0, "", "View", "");
    EXPECT_EQ(out, Lines({"<!--Picture 絵--No.000/Page (All Images:000000/000000)-->", R"(<P ALIGN="CENTER">)",
                          R"(<A HREF="">)", R"(    <IMG SRC="a.jpg" ALIGN="bottom" BORDER="0">)", "</A>", "</P>", "",
                          "<BR>", "<BR>"}));
    Entry("a.jpg", 0, 0, "", "Folder", "../Some/Where/");
    EXPECT_NE(out.find("\r\n<A HREF=\"../Some/Where/\">\r\n"), std::string::npos);
}

TEST_F(HtmlWriterTest, ImageLineVariants) {
    Entry("a.jpg", 120, 0, "");
    EXPECT_EQ(ImageLine(), R"(    <IMG SRC="a.jpg" WIDTH="120" ALIGN="bottom" BORDER="0">)");
    Entry("a.jpg", 0, 90, "");
    EXPECT_EQ(ImageLine(), R"(    <IMG SRC="a.jpg" HEIGHT="90" ALIGN="bottom" BORDER="0">)");
    Entry("a.jpg", 0, 0, "");
    EXPECT_EQ(ImageLine(), R"(    <IMG SRC="a.jpg" ALIGN="bottom" BORDER="0">)");
    Entry("a.jpg", 7, 12345, "x");
    EXPECT_EQ(ImageLine(), R"(    <IMG SRC="a.jpg" WIDTH="7" HEIGHT="12345" ALIGN="bottom" BORDER="0" ALT="x">)");
}

TEST_F(HtmlWriterTest, SourceAndLinkKeepTheirLetterCase) {
    // Read where names tell case apart (a NAS, a phone, a web server), only the spelling on disk resolves.
    Entry("../Ä/PHOTO%5C%E9.JPG", 0, 0, "", "View", "../Ä/PHOTO.JPG");
    EXPECT_EQ(ImageLine(), R"(    <IMG SRC="../Ä/PHOTO%5C%E9.JPG" ALIGN="bottom" BORDER="0">)");
    EXPECT_NE(out.find(R"(<A HREF="../Ä/PHOTO.JPG">)"), std::string::npos);
}

TEST_F(HtmlWriterTest, NumberingComment) {
    ctx.Counters.PageImageCount = 7;
    ctx.Counters.WrittenImageCount = 1234;
    ctx.SelectedImageCount = 1000;
    Entry("a.jpg", 0, 0, "");
    EXPECT_EQ(SplitCrLf(out).front(), "<!--Picture 絵--No.007/Page (All Images:001234/001000)-->");
    ctx.Counters.PageImageCount = 1000;
    ctx.Counters.WrittenImageCount = 1234567;
    ctx.SelectedImageCount = 1234567;
    Entry("a.jpg", 0, 0, "");
    EXPECT_EQ(SplitCrLf(out).front(), "<!--Picture 絵--No.1000/Page (All Images:1234567/1234567)-->");
}

TEST_F(HtmlWriterTest, EmptyAddressWritesOnlyTheBreaks) {
    Entry("", 10, 10, "alt", "View", "x");
    EXPECT_EQ(out, Lines({"<BR>", "<BR>"}));
}

TEST_F(HtmlWriterTest, InsertedValuesCannotInjectMarkup) {
    Entry(R"(../"><script>x.jpg)", 0, 0, R"(001 : "><script>x.jpg)", "View", R"(../"><b>/)");
    EXPECT_EQ(out.find("<script>"), std::string::npos);
    EXPECT_EQ(out.find("<b>"), std::string::npos);
    EXPECT_EQ(
        ImageLine(),
        R"(    <IMG SRC="../&quot;&gt;&lt;script&gt;x.jpg" ALIGN="bottom" BORDER="0" ALT="001 : &quot;&gt;&lt;script&gt;x.jpg">)");

    // A line break in a title would otherwise split the line.
    WriteHead(out, "Kavo", "a\nb & c");
    EXPECT_EQ(SplitCrLf(out)[9], "    <TITLE>a&#10;b &amp; c</TITLE>");
}

TEST_F(HtmlWriterTest, TableMarkup) {
    WriteTableStart(out, 0);
    WriteTableStart(out, 12);
    WriteRowStart(out);
    WriteCellStart(out);
    WriteCellEnd(out);
    WriteRowEnd(out);
    WriteTableEnd(out);
    EXPECT_EQ(out,
              Lines({R"(<P ALIGN="CENTER">)", R"(<TABLE BORDER="0" ALIGN="CENTER">)", R"(<P ALIGN="CENTER">)",
                     R"(<TABLE BORDER="12" ALIGN="CENTER">)", "<TR>", "<TD>", "</TD>", "</TR>", "</TABLE>", "</P>"}));
}

// ---------------------------------------------------------------------------
// Whole files

TEST_F(HtmlWriterTest, Frameset) {
    for (int32_t pages : {0, 3}) {
        ctx.Counters.PageCount = pages;
        out = "old";
        WriteFramesetPage(out);
        EXPECT_EQ(out, Expected("frameset.html"));
    }
    EXPECT_EQ(SplitCrLf(out).size(), 23u);
}

TEST_F(HtmlWriterTest, TreeFrame) {
    ctx.Counters.PageCount = 0;
    out = "old";
    WriteTreeFrame(out, ctx.Counters.PageCount, "Pictures");
    EXPECT_EQ(out, Expected("tree_0.html"));

    ctx.Counters.PageCount = 12;
    WriteTreeFrame(out, ctx.Counters.PageCount, "旅行 & <2024>");
    EXPECT_EQ(out, Expected("tree_12.html"));
}

TEST_F(HtmlWriterTest, TreeFrameWithTenThousandPages) {
    ctx.Counters.PageCount = 10000;
    WriteTreeFrame(out, ctx.Counters.PageCount, "f");
    const auto lines = SplitCrLf(out);
    ASSERT_EQ(lines.size(), 85u + 20000u);
    // The page list follows the 70 fixed lines, the script's SetPage taking four more.
    EXPECT_EQ(lines[73], R"(<FONT SIZE="2" id="PageList" style="display:none">)");
    const auto link = [&](int32_t n) { return lines[74 + 2 * (n - 1)]; };
    const auto text = [&](int32_t n) { return lines[75 + 2 * (n - 1)]; };
    const std::string ball = R"(    <IMG SRC="images/ball1.gif" BORDER="0" WIDTH="16" HEIGHT="16" ALIGN="TEXTTOP">)";
    EXPECT_EQ(link(1), R"~(<A HREF="page0001.html" TARGET="frame3" onClick="SetPage(1)">)~");
    EXPECT_EQ(link(9999), R"~(<A HREF="page9999.html" TARGET="frame3" onClick="SetPage(9999)">)~");
    EXPECT_EQ(text(9999), ball + "Page9999.html</A><BR>");
    EXPECT_EQ(link(10000), R"~(<A HREF="page10000.html" TARGET="frame3" onClick="SetPage(10000)">)~");
    EXPECT_EQ(text(10000), ball + "Page10000.html</A><BR>");
    EXPECT_EQ(lines[74 + 20000], "</FONT>");
    EXPECT_EQ(lines.back(), "</HTML>");
}

TEST_F(HtmlWriterTest, NavigationFrame) {
    for (int32_t pages : {0, 1, 250}) {
        ctx.Counters.PageCount = pages;
        out = "old";
        WriteNavigationFrame(out, ctx.Counters.PageCount);
        EXPECT_EQ(out, Expected("navigation_" + std::to_string(pages) + ".html")) << pages;
    }
}

TEST_F(HtmlWriterTest, NavigationFrameDependsOnlyOnThePageCount) {
    ctx.Counters.PageCount = 250;
    ctx.Settings.UseTable = true;
    ctx.SelectedImageCount = 99;
    ctx.ImagesPerPage = 5;
    WriteNavigationFrame(out, ctx.Counters.PageCount);
    EXPECT_EQ(out, Expected("navigation_250.html"));
}

TEST_F(HtmlWriterTest, SummaryPage) {
    // The pictures the pages hold, not the scan's count of them.
    ctx.SelectedImageCount = 8;
    ctx.Counters.WrittenImageCount = 1234567;
    ctx.ImagesPerPage = 200;
    ctx.Counters.PageCount = 6173;
    ctx.Settings.UseTable = true;
    ctx.Settings.ImagesPerLine = 3;
    out = "old";
    WriteSummaryPage(out, Facts("旅行2024"));
    EXPECT_EQ(out, Expected("summary_table.html"));

    ctx.Counters.WrittenImageCount = 0;
    ctx.ImagesPerPage = 5;
    ctx.Counters.PageCount = 0;
    ctx.Settings.UseTable = false;
    WriteSummaryPage(out, Facts(R"(A&B "x" <y>)"));
    EXPECT_EQ(out, Expected("summary_plain.html"));
}

TEST_F(HtmlWriterTest, LinksNameTheFoldersAsAnEarlierRunSpeltThem) {
    ctx.ImagesPerPage = 5;
    SummaryFacts facts = Facts(R"(A&B "x" <y>)");
    facts.CatalogueFolder = "Kavo";
    facts.ImagesFolder = "Images";
    WriteSummaryPage(out, facts);
    auto expected = SplitCrLf(Expected("summary_plain.html"));
    expected[6] = R"(    <META HTTP-EQUIV="Refresh" CONTENT="5;URL=Kavo/index.html">)";
    expected[13].replace(expected[13].find("kavo/images/"), 12, "Kavo/Images/");
    expected[71] =
        R"(<FONT COLOR="#666666" SIZE="4">５秒後に<A HREF="Kavo/index.html">１ページ目</A>へジャンプします。</FONT>)";
    EXPECT_EQ(SplitCrLf(out), expected);

    // Every link of the frames into the pictures' folder, and nothing else.
    for (bool tree : {true, false}) {
        std::string lower;
        if (tree) {
            WriteTreeFrame(lower, 12, "images");
            WriteTreeFrame(out, 12, "images", "Images");
        } else {
            WriteNavigationFrame(lower, 12);
            WriteNavigationFrame(out, 12, "Images");
        }
        const size_t links = tree ? 14 : 6;
        size_t changed = 0;
        for (size_t at = lower.find("images/"); at != std::string::npos; at = lower.find("images/", at + 1)) {
            ++changed;
            lower.replace(at, 1, "I");
        }
        EXPECT_EQ(changed, links) << tree;
        EXPECT_EQ(out, lower) << tree;
    }
}

TEST_F(HtmlWriterTest, EveryFixedTextHasAShiftJisForm) {
    // A reference in place of a fixed text would mean a literal CP932 lacks.
    ctx.Counters.PageCount = 2;
    ctx.Settings.UseTable = true;
    const auto check = [&](const char* what) { EXPECT_EQ(ToCp932(out).find("&#"), std::string::npos) << what; };
    WriteFramesetPage(out);
    check("frameset");
    WriteTreeFrame(out, ctx.Counters.PageCount, "f");
    check("tree frame");
    WriteNavigationFrame(out, ctx.Counters.PageCount);
    check("navigation frame");
    WriteSummaryPage(out, Facts("f"));
    check("summary page, table");
    ctx.Settings.UseTable = false;
    WriteSummaryPage(out, Facts("f"));
    check("summary page");
    WriteHead(out, "Kavo", "t");
    WriteBodyStart(out, "", "");
    WritePictureEntry(out, Numbers(), "a.jpg", 0, 0, "", "CENTER", "View", "a.jpg");
    WriteBodyEnd(out);
    check("catalogue page");
}

}  // namespace
}  // namespace kavo
