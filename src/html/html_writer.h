#pragma once

#include <cstdint>
#include <string_view>

#include "catalogue/context.h"

namespace kavo {

/// The product's home page, linked from the tree frame and named on the summary page.
inline constexpr std::string_view kHomePage = "http://www.marlun.example/kavo/index.html";
/// The summary page's footer line.
inline constexpr std::string_view kFooter = "Copyright (C) 2026 Marlun";
/// How every file the writer makes begins: files that do not are not ours.
inline constexpr std::string_view kMarkerPrefix = "<!--Kavo Type=";

// Every writer composes text in ctx.OutputText (UTF-8, each line ending in CR LF)
// and never touches the disk. WriteHead and the whole-file writers start a new
// file; all others append. Inserted values are made safe for markup: `&`, `"`,
// `<` and `>` become entities, and text that is not UTF-8 shows U+FFFD.

// Page head and body.
void WriteHead(KavoContext& ctx, std::string_view type, std::string_view title);
void WriteBodyStart(KavoContext& ctx, std::string_view backgroundPicture, std::string_view backgroundColour);
void WriteBodyEnd(KavoContext& ctx);

// Picture entries and table markup. `src` and `link` are addresses already
// escaped for URLs (see EscapeAddress); SRC is lower-cased unless
// ctx.CaseSensitiveOutput.
void WritePictureEntry(KavoContext& ctx, std::string_view src, int32_t width, int32_t height, std::string_view alt,
                       std::string_view align, std::string_view clickAction, std::string_view link);
void WriteTableStart(KavoContext& ctx, int32_t border);
void WriteTableEnd(KavoContext& ctx);
void WriteRowStart(KavoContext& ctx);
void WriteRowEnd(KavoContext& ctx);
void WriteCellStart(KavoContext& ctx);
void WriteCellEnd(KavoContext& ctx);

// Whole files of the catalogue; they read the final ctx.Counters.PageCount.
void WriteFramesetPage(KavoContext& ctx);
void WriteTreeFrame(KavoContext& ctx, std::string_view folderName);
void WriteNavigationFrame(KavoContext& ctx);
void WriteSummaryPage(KavoContext& ctx, std::string_view folderName);

/// How many bytes from its start tell a frameset this writer made (IsFramesetText).
inline constexpr size_t kFramesetHeadSize = 512;
/// True when a file beginning with `head` (bytes as on disk) is a frameset this writer made.
bool IsFramesetText(std::string_view head);

}  // namespace kavo
