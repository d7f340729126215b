// kavo-cli: makes a catalogue from the command line, driving the same core as the window.

#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <iostream>

#include "catalogue/file_helpers.h"
#include "cli/cli_run.h"

namespace {

volatile std::sig_atomic_t g_interrupted = 0;

void OnInterrupt(int) { g_interrupted = 1; }

std::string ExecutableFolder(const char* argv0) {
    std::error_code ec;
    auto self = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec) self = std::filesystem::absolute(argv0, ec);
    return self.parent_path().string();
}

}  // namespace

int main(int argc, char** argv) {
    std::signal(SIGINT, OnInterrupt);
    std::vector<std::string> args(argv + 1, argv + argc);
    kavo::FileSystem& fs = kavo::NativeFileSystem();
    kavo::cli::CliEnvironment env{fs, std::cout, std::cerr, kavo::ProgramDataFolder(fs, ExecutableFolder(argv[0])),
                                  &g_interrupted, ::isatty(STDERR_FILENO) == 1};
    return kavo::cli::RunCli(args, env);
}
