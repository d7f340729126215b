#pragma once

#include <string>
#include <vector>

#include "catalogue/settings.h"

namespace kavo::cli {

/// Everything the command line can ask for; defaults are the program's.
struct CliOptions {
    RunRequest Request;
    bool ScanOnly = false;
    bool Quiet = false;
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
