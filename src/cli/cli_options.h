#pragma once

#include <string>
#include <vector>

#include "catalogue/context.h"

namespace kavo::cli {

/// Everything the command line can ask for; defaults are the program's.
struct CliOptions {
    std::string Folder;
    bool IncludeSubfolders = true;
    bool Jpg = true, Gif = true, Bmp = true, Png = true;
    int ImagesPerPage = 50;
    CatalogueSettings Settings;
    bool ScanOnly = false;
    bool Quiet = false;
    int Jobs = 0;  // reader threads for the pixel sizes; 0 adapts them to the drive
};

/// Outcome of parsing: either go on with the options, or end at once with an
/// exit code after printing `output` (stdout) and `error` (stderr).
struct ParseOutcome {
    bool Proceed = false;
    int ExitCode = 0;
    std::string Output;
    std::string Error;
};

ParseOutcome ParseCommandLine(const std::vector<std::string>& args, CliOptions& options);

}  // namespace kavo::cli
