#include "html/html_writer.h"

#include <initializer_list>
#include <string>

#include "base/number_format.h"
#include "html/escape.h"

namespace kavo {
namespace {

using Block = std::initializer_list<std::string_view>;

void Add(std::string& out, std::string_view line) {
    out.append(line);
    out.append("\r\n");
}

void Add(std::string& out, Block lines) {
    for (std::string_view line : lines)
        Add(out, line);
}

std::string Join(Block parts) {
    std::string text;
    for (std::string_view part : parts)
        text.append(part);
    return text;
}

/// prefix, then `value` escaped for markup, then suffix: one quoted value.
void AppendQuoted(std::string& out, std::string_view prefix, std::string_view value, std::string_view suffix) {
    out.append(prefix);
    AppendMarkup(out, value);
    out.append(suffix);
}

std::string Marker(std::string_view type) {
    return Join({kMarkerPrefix, EscapeMarkup(type), " このコメント文は削除しないでください-->"});
}

/// Lower-cases the ASCII letters of an address, leaving the hex digits of its
/// percent escapes in upper case (both spellings mean the same byte).
std::string LowerAddress(std::string_view address) {
    std::string out(address);
    for (size_t i = 0; i < out.size(); ++i) {
        if (out[i] == '%' && i + 2 < out.size()) {
            i += 2;
        } else if (out[i] >= 'A' && out[i] <= 'Z') {
            out[i] = static_cast<char>(out[i] - 'A' + 'a');
        }
    }
    return out;
}

/// Makes the frame in `out` name the navigation pictures' folder as an earlier
/// run spelt it ("Images"), so the links resolve where names tell case apart.
/// Every such link is a quoted address beginning with "images/".
void RespellImages(std::string& out, std::string_view images) {
    if (images == "images")
        return;
    for (std::string_view quote : {"\"images/", "'images/"}) {
        for (size_t at = out.find(quote); at != std::string::npos; at = out.find(quote, at + 1 + images.size()))
            out.replace(at + 1, images.size(), images);
    }
}

/// The home page address without its final "index.html".
std::string_view HomePageFolder() {
    constexpr std::string_view kIndex = "index.html";
    std::string_view home = kHomePage;
    if (home.ends_with(kIndex)) {
        home.remove_suffix(kIndex.size());
    }
    return home;
}

constexpr std::string_view kDoctype = R"(<!DOCTYPE HTML PUBLIC "-//W3C//DTD HTML 3.2//EN">)";
constexpr std::string_view kContentType =
    R"(    <META HTTP-EQUIV="Content-Type" CONTENT="text/html;CHARSET=Shift_JIS">)";
constexpr std::string_view kScriptType = R"(    <META HTTP-EQUIV="Content-Script-Type" CONTENT="text/javascript">)";
constexpr std::string_view kTitleKavo = "    <TITLE>Kavo</TITLE>";
constexpr std::string_view kDefaultBody =
    R"(<BODY ALINK="#EF4455" BGCOLOR="#FFFFFF" LINK="#555555" TEXT="#000000" VLINK="#503080">)";

std::string GeneratorLine() {
    return Join({R"(    <META NAME="GENERATOR" Content=")", kVersionText, R"( for Windows">)"});
}

}  // namespace

// ---------------------------------------------------------------------------
// Page head and body

void WriteHead(std::string& out, std::string_view type, std::string_view title) {
    out.clear();
    Add(out, Marker(type));
    Add(out, {kDoctype, "<HTML>", "", "<HEAD>", R"(    <LINK REV="MADE"> )",
              R"(    <LINK REL="INDEX" HREF="index.html">)", kContentType, GeneratorLine()});
    Add(out, Join({"    <TITLE>", EscapeMarkup(title), "</TITLE>"}));
    Add(out, {"</HEAD>", ""});
}

void WriteBodyStart(std::string& out, std::string_view backgroundPicture, std::string_view backgroundColour) {
    if (!backgroundPicture.empty()) {
        Add(out, Join({R"(<BODY BACKGROUND=")", EscapeMarkup(LowerAddress(backgroundPicture)),
                       R"(" ALINK="#EF4455" BGCOLOR="#FFFFFF" LINK="#555555" TEXT="#000000" VLINK="#503080">)"}));
    } else if (!backgroundColour.empty()) {
        Add(out, Join({R"(<BODY ALINK="#EF4455" BGCOLOR=")", EscapeMarkup(backgroundColour),
                       R"(" LINK="#555555" TEXT="#000000" VLINK="#503080">)"}));
    } else {
        Add(out, kDefaultBody);
    }
    Add(out, "");
}

void WriteBodyEnd(std::string& out) {
    Add(out, {"</BODY>", "", "</HTML>"});
}

// ---------------------------------------------------------------------------
// Picture entries and table markup

void WritePictureEntry(std::string& out, const EntryNumbers& numbers, std::string_view src, int32_t width, int32_t height, std::string_view alt,
                       std::string_view align, std::string_view clickAction, std::string_view link) {
    // Written straight into the page: this runs once per picture of the tree.
    if (!src.empty()) {
        out.append("<!--Picture 絵--No.")
            .append(FormatNumber(numbers.OnPage, "000"))
            .append("/Page (All Images:")
            .append(FormatNumber(numbers.Written, "000000"))
            .append("/")
            .append(FormatNumber(numbers.Selected, "000000"))
            .append(")-->\r\n");
        AppendQuoted(out, R"(<P ALIGN=")", align, "\">\r\n");
        const bool anchor = clickAction == "View" || clickAction == "Folder";
        if (anchor) {
            AppendQuoted(out, R"(<A HREF=")", link, "\">\r\n");
        }

        // The user's own spelling: the catalogue is read where names tell case apart too.
        AppendQuoted(out, R"(    <IMG SRC=")", src, "\"");
        if (width != 0) {
            out.append(R"( WIDTH=")").append(FormatNumber(width, "0")).append("\"");
        }
        if (height != 0) {
            out.append(R"( HEIGHT=")").append(FormatNumber(height, "0")).append("\"");
        }
        out.append(R"( ALIGN="bottom" BORDER="0")");
        if (!alt.empty()) {
            AppendQuoted(out, R"( ALT=")", alt, "\"");
        }
        out.append(">\r\n");

        if (anchor) {
            Add(out, "</A>");
        }
        Add(out, {"</P>", ""});
    }
    Add(out, {"<BR>", "<BR>"});
}

void WriteTableStart(std::string& out, int32_t border) {
    Add(out,
        {R"(<P ALIGN="CENTER">)", Join({R"(<TABLE BORDER=")", FormatNumber(border, "0"), R"(" ALIGN="CENTER">)"})});
}

void WriteTableEnd(std::string& out) {
    Add(out, {"</TABLE>", "</P>"});
}
void WriteRowStart(std::string& out) {
    Add(out, "<TR>");
}
void WriteRowEnd(std::string& out) {
    Add(out, "</TR>");
}
void WriteCellStart(std::string& out) {
    Add(out, "<TD>");
}
void WriteCellEnd(std::string& out) {
    Add(out, "</TD>");
}

// ---------------------------------------------------------------------------
// Frameset and page tree frame

void WriteFramesetPage(std::string& out) {
    out.clear();
    Add(out, Marker("index"));
    Add(out, {
                 kDoctype,
                 "<HTML>",
                 "",
                 "<HEAD>",
                 kContentType,
                 GeneratorLine(),
                 kTitleKavo,
                 "</HEAD>",
                 "",
                 R"(<FRAMESET COLS="145,*" FRAMESPACING=0 FRAMEBORDER="NO" BORDER=0>)",
                 R"(    <FRAMESET ROWS="*,110" FRAMESPACING=0 FRAMEBORDER="NO" BORDER=0>)",
                 R"(        <FRAME SRC="frame1.html" NAME="frame1" SCROLLING="AUTO">)",
                 R"(        <FRAME SRC="frame2.html" NAME="frame2" SCROLLING="NO" MARGINWIDTH="0" MARGINHEIGHT="10">)",
                 "    </FRAMESET>",
                 R"(    <FRAME SRC="page0001.html" NAME="frame3" SCROLLING="AUTO">)",
                 "    <NOFRAMES>",
                 "\u3000\u3000    <BODY BGCOLOR=\"#FFFFFF\">",
                 "\u3000\u3000        <CENTER>フレーム機能がないと見られないページです。IE4.0以上推奨です。</CENTER>",
                 "        </BODY>",
                 "  \u3000</NOFRAMES>",
                 "</FRAMESET>",
                 "</HTML>",
             });
}

bool IsFramesetText(std::string_view head) {
    // The marker's ASCII part: on disk the rest of its line is CP932.
    return head.starts_with(Join({kMarkerPrefix, "index "})) && head.find("\r\n<FRAMESET ") != std::string_view::npos;
}

void WriteTreeFrame(std::string& out, int32_t pageCount, std::string_view folderName, std::string_view images) {
    out.clear();
    if (pageCount > 0) {
        out.reserve(6000 + static_cast<size_t>(pageCount) * 200);
    }
    Add(out, Marker("frame1"));
    Add(out,
        {
            kDoctype,
            "<HTML>",
            "",
            "<HEAD>",
            kContentType,
            GeneratorLine(),
            kScriptType,
            kTitleKavo,
            "</HEAD>",
            "",
            R"(<BODY BGCOLOR="#CFCFCF" LINK="#555555" VLINK="#FFFFFF" ALINK="#FFFF00" LEFTMARGIN="0" TOPMARGIN="10">)",
            "",
            R"(<SCRIPT LANGUAGE="JavaScript">)",
            "<!--",
            R"(    var sAppType = "";)",
            "    var sAppName = navigator.appName;",
            "    var nAppVer  = parseInt(navigator.appVersion);",
            "",
            "    // ブラウザの種類を識別する",
            R"(    if (sAppName == "Netscape" && nAppVer >= 3) sAppType = "ns3";)",
            R"(    else if (sAppName == "Microsoft Internet Explorer" && nAppVer >= 4) sAppType = "ie4";)",
            "",
            R"(    if (sAppType == "ie4" ) {)",
            "        document.body.onmouseover=makeCool;",
            "        document.body.onmouseout=makeNormal;",
            "    }",
            "    function makeCool(){",
            "        src = event.toElement;",
            R"(        if (src.tagName == "A") {)",
            "            src.oldcol = src.style.color;",
            R"(            src.style.color = "#5555FF";)",
            "        }",
            "    }",
            "    function makeNormal(){",
            "        src = event.fromElement;",
            R"(        if (src.tagName == "A") {)",
            "            src.style.color = src.oldcol;",
            "        }",
            "    }",
            // Pages opened from disk live in separate origins in today's
            // browsers; the navigation frame then takes the number by message.
            "    function SetPage(n){",
            "        try {",
            "            parent.frame2.document.frmPage.txtPageNo.value=n;",
            "        } catch (e) {",
            R"(            parent.frame2.postMessage("page:" + n, "*");)",
            "        }",
            "    }",
            "    function treeMenu(id) {",
            "        var disp = document.all(id).style.display;",
            R"(        if(disp != "none" || disp == "") {)",
            R"(            document.all(id).style.display = "none";)",
            "        }",
            "        else {",
            R"(            document.all(id).style.display = "block";)",
            "        }",
            "    }",
            "//-->",
            "</SCRIPT>",
            "",
            "<CENTER>",
        });
    Add(out, Join({R"(    <A HREF=")", EscapeMarkup(kHomePage), R"(" TARGET="_top" >)"}));
    Add(out,
        Join(
            {R"(        <IMG SRC="images/logo1.gif" BORDER="0" WIDTH="140" HEIGHT="50" ALIGN="MIDDLE" ALT="Kavo - Jump To )",
             EscapeMarkup(HomePageFolder()), R"(">)"}));
    Add(out, {
                 "    </A><BR>",
                 "</CENTER>",
                 "<BR>",
                 R"(<TABLE BORDER="0">)",
                 "<TR>",
                 "<TD>",
                 "<DL>",
                 // Today's browsers read a numeric id given to document.all as an index.
                 R"~(<span style="cursor:hand" onClick="treeMenu('PageList')">)~",
             });
    Add(out, Join({R"(<DT><IMG SRC="images/rect1.gif" WIDTH="16" HEIGHT="16" BORDER="0" ALIGN="TEXTTOP" ALT =")",
                   EscapeMarkup(folderName), R"(フォルダの検索結果">)"}));
    Add(out, {
                 R"(<FONT COLOR="#444444" SIZE="2">目次</FONT></DT>)",
                 "</span>",
                 R"(<FONT SIZE="2" id="PageList" style="display:none">)",
             });
    for (int32_t n = 1; n <= pageCount; ++n) {
        const std::string padded = FormatNumber(n, "0000");
        Add(out, Join({R"(<A HREF="page)", padded, R"(.html" TARGET="frame3" onClick="SetPage()",
                       FormatNumber(n, "####"), R"~()">)~"}));
        Add(out, Join({R"(    <IMG SRC="images/ball1.gif" BORDER="0" WIDTH="16" HEIGHT="16" ALIGN="TEXTTOP">Page)",
                       padded, ".html</A><BR>"}));
    }
    Add(out, {"</FONT>", "<BR>", "</DL>", "</TD>", "</TR>", "</TABLE>", "</B></FONT>", "", "</BODY>", "", "</HTML>"});
    RespellImages(out, images);
}

// ---------------------------------------------------------------------------
// Summary page

void WriteSummaryPage(std::string& out, const SummaryFacts& facts) {
    // The catalogue folder as the disk spells it, so the links resolve wherever the catalogue is read.
    const std::string frameset = Join({facts.CatalogueFolder, "/index.html"});
    const auto cell = [](std::string_view value) {
        return Join({R"(<FONT COLOR="#666666" SIZE="4">)", value, "</FONT>"});
    };
    const std::string tableText =
        facts.PicturesPerRow > 0 ? Join({FormatNumber(facts.PicturesPerRow, "0"), "画像／行"}) : "使用していません";

    out.clear();
    Add(out, Marker("index"));
    Add(out,
        {kDoctype,
         "<HTML>",
         "",
         "<HEAD>",
         kContentType,
         Join({R"(    <META HTTP-EQUIV="Refresh" CONTENT="5;URL=)", frameset, R"(">)"}),
         GeneratorLine(),
         kTitleKavo,
         "</HEAD>",
         "",
         kDefaultBody,
         R"(<P ALIGN="CENTER">)",
         Join(
             {R"(<IMG SRC=")", facts.CatalogueFolder, "/", facts.ImagesFolder,
              R"(/logo1.gif" BORDER="0" WIDTH="140" HEIGHT="50" ALIGN="MIDDLE" ALT="KAVO - Jump To )",
              EscapeMarkup(kHomePage), R"(">)"}),
         "</P>",
         "<BR>",
         "<BR>",
         "<BR>",
         R"(<P ALIGN="CENTER">)",
         Join({R"(<FONT COLOR="#666666" SIZE="5"><B>)", kVersionText, "</B></FONT>"}),
         "</P>",
         "<BR>",
         "<BR>",
         "<BR>",
         R"(<P ALIGN="CENTER">)",
         R"(<TABLE BORDER="1" ALIGN="CENTER">)"});
    const auto row = [&](std::string_view label, std::string_view value) {
        Add(out, {"<TR>", "<TD>", cell(label), "</TD>", "<TD>", cell(value), "</TD>", "</TR>"});
    };
    row("検索フォルダ", EscapeMarkup(facts.FolderName));
    // What the pages hold: a cancel, or pictures added since the scan, make it differ from the scan's count.
    row("画像数", FormatNumber(facts.Pictures, "#####0"));
    row("画像／ページ", FormatNumber(facts.PicturesPerPage, "##0"));
    row("ページ数", FormatNumber(facts.Pages, "###0"));
    row("テーブル", tableText);
    Add(out, {"</TABLE>", "</P>", "<BR>", "<BR>", R"(<P ALIGN="CENTER">)",
              Join({R"(<FONT COLOR="#666666" SIZE="4">５秒後に<A HREF=")", frameset,
                    R"(">１ページ目</A>へジャンプします。</FONT>)"}),
              "</P>"});
    for (int i = 0; i < 10; ++i)
        Add(out, "<BR>");
    Add(out, {R"(<P ALIGN="CENTER">)", Join({R"(<FONT COLOR="#666666" SIZE="3">)", EscapeMarkup(kFooter), "</FONT>"}),
              "</P>", "</BODY>", "</HTML>"});
}

// ---------------------------------------------------------------------------
// Page navigation frame

void WriteNavigationFrame(std::string& out, int32_t pageCount, std::string_view images) {
    // An empty catalogue still gets a frame whose bound reads 0, so SetPageNo never loads a page.
    const std::string count = pageCount == 0 ? std::string("0") : FormatNumber(pageCount, "####");
    const std::string writeCount = Join({R"(            document.write(")", count, R"(");)"});
    const std::string bound = Join({"        if ((n >= 1) && (n <= ", count, ")) {"});

    out.clear();
    Add(out, Marker("frame2"));
    Add(out,
        {
            kDoctype,
            "<HTML>",
            "",
            "<HEAD>",
            kContentType,
            GeneratorLine(),
            kScriptType,
            kTitleKavo,
            "",
            R"(<SCRIPT LANGUAGE="JavaScript">)",
            "    var nPage = 1;",
            R"(    var sAppType = "";)",
            "    var sAppName = navigator.appName;",
            "    var nAppVer  = parseInt(navigator.appVersion);",
            "",
            "    // ブラウザの種類を識別する",
            R"(    if (sAppName == "Netscape" && nAppVer >= 3) sAppType = "ns3";)",
            R"(    else if (sAppName == "Microsoft Internet Explorer" && nAppVer >= 3) sAppType = "ie3";)",
            "",
            R"(    if (sAppType == "ie3") {)",
            R"(        imgPrev1=new Image(70,35);    imgPrev1.src="images/prev3.gif";)",
            R"(        imgPrev2=new Image(70,35);    imgPrev2.src="images/prev2.gif";)",
            R"(        imgNext1=new Image(70,35);    imgNext1.src="images/next3.gif";)",
            R"(        imgNext2=new Image(70,35);    imgNext2.src="images/next2.gif";)",
            "    }",
            "",
            "    // ブラウザ別のHTMLフォーマット出力",
            "    function Disp(){",
            R"(        if (sAppType == "ie3") {)",
            R"(            document.write("<BODY BGCOLOR='#CFCFCF'>");)",
            R"(            document.write("<CENTER>");)",
            R"(            document.write("<FORM NAME='frmPage' METHOD='POST'>");)",
            R"(            document.write("<HR>");)",
            R"(            document.write("ページ： ");)",
            R"(            document.write("<INPUT NAME='txtPageNo'TYPE='text'  VALUE=1 SIZE=5>");)",
            R"(            document.write(" / ");)",
            writeCount,
            R"(            document.write("<BR>");)",
            R"(            document.write("<span style='cursor:hand'>");)",
            R"(            document.write("<IMG SRC='images/prev3.gif' NAME='imgPrev' BORDER=0 WIDTH=70 HEIGHT=35 ALIGN='MIDDLE'");)",
            R"(            document.write("    onMouseOut='ChangeBottom(3)' onMouseOver='ChangeBottom(4)' onClick='SetPageNo(eval(txtPageNo.value)-1)'>");)",
            R"(            document.write("</span>");)",
            R"(            document.write("<span style='cursor:hand'>");)",
            R"(            document.write("<IMG SRC='images/next3.gif' NAME='imgNext' BORDER=0 WIDTH=70 HEIGHT=35 ALIGN='MIDDLE'");)",
            R"(            document.write("    onMouseOut='ChangeBottom(5)' onMouseOver='ChangeBottom(6)' onClick='SetPageNo(eval(txtPageNo.value)+1)'>");)",
            R"(            document.write("</span>");)",
            R"(            document.write("</FORM>");)",
            R"(            document.write("</CENTER>");)",
            R"(            document.write("</BODY>");)",
            "        }",
            R"(        else if (sAppType == "ns3") {)",
            R"(            document.write("<BODY BGCOLOR='#CFCFCF'>");)",
            R"(            document.write("<HR>");)",
            R"(            document.write("<CENTER>");)",
            R"(            document.write("<FORM NAME='frmPage' METHOD='POST'>");)",
            R"(            document.write("ページ： ");)",
            R"(            document.write("<INPUT NAME='txtPageNo'TYPE='text'  VALUE=1 SIZE=5>");)",
            R"(            document.write(" / ");)",
            writeCount,
            R"(            document.write("<BR><BR>");)",
            R"(            document.write("<INPUT NAME='btnPrev' TYPE='button' VALUE='← 前'  onClick='SetPageNo(eval(txtPageNo.value)-1)'>");)",
            R"(            document.write("<INPUT NAME='btnNexr' TYPE='button' VALUE='次 →'  onClick='SetPageNo(eval(txtPageNo.value)+1)'>");)",
            R"(            document.write("</FORM>");)",
            R"(            document.write("</CENTER>");)",
            R"(            document.write("</BODY>");)",
            "        }",
            "    }",
            "",
            "    // ページを変更する",
            "    function SetPageNo(n) {",
            bound,
            "            nPage = n;",
            "            document.frmPage.txtPageNo.value = nPage;",
            R"(            if      (nPage <=   1) parent.frame3.location = "page0001.html";)",
            R"(            else if (nPage <   10) parent.frame3.location = "page000" + nPage + ".html";)",
            R"(            else if (nPage <  100) parent.frame3.location = "page00"  + nPage + ".html";)",
            R"(            else if (nPage < 1000) parent.frame3.location = "page0"  + nPage + ".html";)",
            R"(            else                   parent.frame3.location = "page"   + nPage + ".html";)",
            "        }",
            "    }",
            "",
            "    // マウスが通過したときにイメージを変えるための関数",
            "    function ChangeBottom(nID) {",
            "        if      (nID == 3) document.frmPage.imgPrev.src = imgPrev1.src;",
            "        else if (nID == 4) document.frmPage.imgPrev.src = imgPrev2.src;",
            "        else if (nID == 5) document.frmPage.imgNext.src = imgNext1.src;",
            "        else if (nID == 6) document.frmPage.imgNext.src = imgNext2.src;",
            "    }",
            // The tree frame posts the page number here when it may not reach in directly.
            "",
            "    // 別のフレームからページ番号を受け取る",
            "    function ReceivePage(e) {",
            "        var s = String(e.data);",
            R"(        if (s.indexOf("page:") != 0) return;)",
            "        var n = parseInt(s.substring(5), 10);",
            bound,
            "            nPage = n;",
            "            document.frmPage.txtPageNo.value = nPage;",
            "        }",
            "    }",
            R"(    if (window.addEventListener) window.addEventListener("message", ReceivePage, false);)",
            "//-->",
            "</SCRIPT>",
            "</HEAD>",
            "",
            R"(<SCRIPT LANGUAGE="JavaScript">)",
            "<!--",
            "    Disp();",
            "//-->",
            "</SCRIPT>",
            "",
            "</HTML>",
        });
    RespellImages(out, images);
}

}  // namespace kavo
