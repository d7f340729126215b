#include "cli/cli_options.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <charconv>

#include "html/html_writer.h"

namespace kavo::cli {
namespace {

constexpr const char* kUsageHint = "Run 'kavo-cli --help' for usage.";

bool ParseInt(std::string_view text, int& value) {
    if (text.empty()) return false;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc() && end == text.data() + text.size();
}

// Checks that name a bad value in one line, as CLI11 does for its own.
struct ValueError {
    std::string message;
};

void ApplyTypes(const std::string& list, PictureTypes& o) {
    o.Jpg = o.Gif = o.Bmp = o.Png = false;
    size_t start = 0;
    while (start <= list.size()) {
        size_t comma = list.find(',', start);
        std::string t = list.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        if (t == "jpg") o.Jpg = true;
        else if (t == "gif") o.Gif = true;
        else if (t == "bmp") o.Bmp = true;
        else if (t == "png") o.Png = true;
        else throw ValueError{"--types: unknown type '" + t + "' (use jpg, gif, bmp, png)"};
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
}

std::string RangeText(const SettingRange& range) {
    return std::to_string(range.Min) + " to " + std::to_string(range.Max);
}

/// A value outside its range is refused here; the window corrects it instead.
void CheckRange(std::string_view option, int value, const SettingRange& range) {
    if (!range.Contains(value))
        throw ValueError{std::string(option) + ": " + std::to_string(value) + " is not from " + RangeText(range)};
}

void ApplySameSize(const std::string& text, CatalogueSettings& o) {
    size_t x = text.find_first_of("xX");
    int w = 0, h = 0;
    if (x == std::string::npos || !ParseInt(std::string_view(text).substr(0, x), w) ||
        !ParseInt(std::string_view(text).substr(x + 1), h) || !kPictureSide.Contains(w) || !kPictureSide.Contains(h)) {
        throw ValueError{"--same-size: '" + text + "' is not WIDTHxHEIGHT with each from " + RangeText(kPictureSide)};
    }
    o.SameSize = true;
    o.ImageWidth = w;
    o.ImageHeight = h;
}

}  // namespace

ParseOutcome ParseCommandLine(const std::vector<std::string>& args, CliOptions& options) {
    RunRequest& o = options.Request;
    CatalogueSettings& layout = o.Layout;
    CLI::App app{"Makes an HTML catalogue of the pictures in FOLDER (and its subfolders).", "kavo-cli"};
    app.set_version_flag("--version", std::string("kavo-cli ") + KAVO_VERSION + " (" + kVersionText + ")");
    bool noSubfolders = false, noSize = false;
    std::string types, sameSize, click, align;
    int perPage = kPicturesPerPage.Default, table = 0, jobs = 0, thumbnails = 0;
    // On Windows CLI11 would take "/pics", a folder on the current drive, for an option.
    app.allow_windows_style_options(false);
    app.add_option("FOLDER", o.Folder, "folder of pictures; the catalogue is written into it")->required();
    app.add_flag("--no-subfolders", noSubfolders, "only the pictures directly in FOLDER");
    app.add_option("--types", types, "picture types to include, any of jpg,gif,bmp,png (default all)");
    app.add_option("--per-page", perPage, "pictures per page, 5 to 200 (default 50)");
    app.add_option("--same-size", sameSize, "show every picture at WIDTHxHEIGHT, each 10 to 200");
    app.add_flag("--no-size", noSize, "do not read the pictures' pixel sizes");
    app.add_option("--click", click, "what a click on a picture does: folder, view or no (default folder)");
    app.add_option("--align", align, "alignment of the pictures: left, center or right (default center)");
    app.add_option("--table", table, "lay the pictures out in a table of N per row, 1 to 10");
    app.add_option("--jobs", jobs, "threads that read the pictures' sizes ahead, 1 to 64 (default: as the drive needs)");
    // A flag, so that "--thumbnails FOLDER" never takes the folder for its value.
    app.add_flag("--thumbnails{" + std::to_string(kThumbnailBox.Default) + "}", thumbnails, "pages show thumbnails of PX CSS pixels, 50 to 400 (--thumbnails=PX, default 200)");
    app.add_flag("--scan", options.ScanOnly, "only count the pictures and print the counts as JSON");
    app.add_flag("-q,--quiet", options.Quiet, "no progress line and no notices");

#ifdef _WIN32
    app.footer("Output to a file or pipe is in the console's code page (after chcp 65001, UTF-8),\n"
               "with '?' for characters it lacks; a console shows every character.");
#endif

    ParseOutcome out;
#ifdef _WIN32
    // "/?" asks a Windows program for its help; it is never a folder there.
    if (std::find(args.begin(), args.end(), "/?") != args.end()) {
        out.Output = app.help();
        return out;
    }
#endif
    std::vector<std::string> reversed(args.rbegin(), args.rend());
    try {
        app.parse(reversed);
        o.IncludeSubfolders = !noSubfolders;
        if (!types.empty() || app.count("--types")) ApplyTypes(types, o.Types);
        CheckRange("--per-page", perPage, kPicturesPerPage);
        o.PicturesPerPage = perPage;
        if (app.count("--jobs") > 0) CheckRange("--jobs", jobs, kReaderJobs);
        o.Jobs = jobs;
        if (!sameSize.empty() || app.count("--same-size")) ApplySameSize(sameSize, layout);
        if (noSize) layout.GetImageSize = false;
        if (app.count("--click")) {
            if (click == "folder") layout.Click = ClickAction::Folder;
            else if (click == "view") layout.Click = ClickAction::View;
            else if (click == "no") layout.Click = ClickAction::No;
            else throw ValueError{"--click: '" + click + "' is not folder, view or no"};
        }
        if (app.count("--align")) {
            if (align == "left") layout.Align = Alignment::Left;
            else if (align == "center") layout.Align = Alignment::Center;
            else if (align == "right") layout.Align = Alignment::Right;
            else throw ValueError{"--align: '" + align + "' is not left, center or right"};
        }
        if (app.count("--table")) {
            CheckRange("--table", table, kPicturesPerRow);
            layout.SetTable(table);
        }
        if (app.count("--thumbnails")) {
            CheckRange("--thumbnails", thumbnails, kThumbnailBox);
            layout.ThumbnailBox = thumbnails;
        }
    } catch (const CLI::CallForHelp&) {
        out.Output = app.help();
        return out;
    } catch (const CLI::CallForVersion& e) {
        out.Output = std::string(e.what()) + "\n";
        return out;
    } catch (const CLI::ParseError& e) {
        std::string what = e.what();
        out.ExitCode = 1;
        out.Error = "kavo-cli: " + what + "\n" + kUsageHint + "\n";
        return out;
    } catch (const ValueError& e) {
        out.ExitCode = 1;
        out.Error = "kavo-cli: " + e.message + "\n" + kUsageHint + "\n";
        return out;
    }
    out.Proceed = true;
    return out;
}

}  // namespace kavo::cli
