#pragma once

#include <csignal>
#include <ostream>
#include <string>
#include <vector>

#include "fs/file_system.h"

namespace kavo::cli {

/// Exit codes of kavo-cli.
enum ExitCode : int {
    kExitOk = 0,
    kExitUsage = 1,
    kExitFolder = 2,
    kExitWriteFailed = 3,
    kExitBusy = 4,
    kExitCancelled = 130,
};

/// Where a run reads and writes; the real program passes the machine's.
struct CliEnvironment {
    FileSystem& Fs;
    std::ostream& Out;
    std::ostream& Err;
    std::string ProgramFolder;                        // holds Images/ (and Readme.txt)
    volatile std::sig_atomic_t* Interrupt = nullptr;  // set by Ctrl-C; acts as the cancel button
    bool ErrIsTerminal = false;                       // draw the progress line
};

/// Runs kavo-cli with its arguments (without the program name) and returns the exit code.
int RunCli(const std::vector<std::string>& args, CliEnvironment& env);

}  // namespace kavo::cli
