#pragma once

#include <cstdint>
#include <string>
#include <string_view>


namespace kavo {

/// Version texts shown in the window caption and written into every page.
inline constexpr const char* kVersionText = "Kavo Version1.02C";
/// The product's home page, linked from the tree frame and named on the summary page.
inline constexpr std::string_view kHomePage = "http://www.marlun.example/kavo/index.html";
/// The summary page's footer line.
inline constexpr std::string_view kFooter = "Copyright (C) 2026 Marlun";
/// How every file the writer makes begins: files that do not are not ours.
inline constexpr std::string_view kMarkerPrefix = "<!--Kavo Type=";

// Every writer composes text in the string `out` it is given (UTF-8, each line
// ending in CR LF) and never touches the disk. WriteHead and the whole-file
// writers start a new file there; all others append. Inserted values are made safe for markup: `&`, `"`,
// `<` and `>` become entities, and text that is not UTF-8 shows U+FFFD.

// Page head and body.
void WriteHead(std::string& out, std::string_view type, std::string_view title);
void WriteBodyStart(std::string& out, std::string_view backgroundPicture, std::string_view backgroundColour);
void WriteBodyEnd(std::string& out);

// Picture entries and table markup. `src` and `link` are addresses already
// escaped for URLs (see EscapeAddress), written as they are spelt.

/// Where an entry stands, for the comment line above it.
struct EntryNumbers {
    int32_t OnPage = 0;    // its number on its page
    int32_t Written = 0;   // pictures placed so far, itself included
    int32_t Selected = 0;  // pictures of the chosen types the scan counted
};
void WritePictureEntry(std::string& out, const EntryNumbers& numbers, std::string_view src, int32_t width, int32_t height, std::string_view alt,
                       std::string_view align, std::string_view clickAction, std::string_view link);
void WriteTableStart(std::string& out, int32_t border);
void WriteTableEnd(std::string& out);
void WriteRowStart(std::string& out);
void WriteRowEnd(std::string& out);
void WriteCellStart(std::string& out);
void WriteCellEnd(std::string& out);

// Whole files of the catalogue, written once the pages are counted.

/// What the summary page tells of a catalogue.
struct SummaryFacts {
    std::string_view FolderName;
    std::string_view CatalogueFolder = "kavo";  // as the disk spells it: an earlier run may have made "Kavo"
    std::string_view ImagesFolder = "images";   // in it, likewise
    int32_t Pictures = 0;        // pictures the pages hold
    int32_t PicturesPerPage = 0;
    int32_t Pages = 0;
    int32_t PicturesPerRow = 0;  // 0: no table
};

void WriteFramesetPage(std::string& out);
/// `images`: the navigation pictures' folder as the disk spells it.
void WriteTreeFrame(std::string& out, int32_t pageCount, std::string_view folderName,
                    std::string_view images = "images");
void WriteNavigationFrame(std::string& out, int32_t pageCount, std::string_view images = "images");
void WriteSummaryPage(std::string& out, const SummaryFacts& facts);

/// How many bytes from its start tell a frameset this writer made (IsFramesetText).
inline constexpr size_t kFramesetHeadSize = 512;
/// True when a file beginning with `head` (bytes as on disk) is a frameset this writer made.
bool IsFramesetText(std::string_view head);

}  // namespace kavo
