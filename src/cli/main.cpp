// kavo-cli: makes a catalogue from the command line, driving the same core as the window.

#ifdef _WIN32
#include "fs/windows_api.h"
#else
#include <unistd.h>

#include <filesystem>
#endif

#include <csignal>
#include <iostream>

#include "fs/paths.h"
#include "cli/cli_run.h"
#include "cli/interrupt.h"
#ifdef _WIN32
#include "cli/console_output.h"
#include "fs/wide_text.h"
#endif

namespace {

volatile std::sig_atomic_t g_interrupted = 0;

#ifdef _WIN32

std::string ExecutableFolder() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0)
            return ".";
        if (n < path.size()) {
            path.resize(n);
            break;
        }
        path.resize(path.size() * 2);  // the name was cut short; a long path needs more room
    }
    return kavo::Utf8FromWide(path.substr(0, path.find_last_of(L"\\/")));
}

/// True when stderr is a console that understands the escape that clears the progress line.
bool ErrIsTerminal() {
    HANDLE err = ::GetStdHandle(STD_ERROR_HANDLE);
    DWORD mode = 0;
    if (!::GetConsoleMode(err, &mode))
        return false;
    return ::SetConsoleMode(err, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0;
}

#else

std::string ExecutableFolder(const char* argv0) {
    std::error_code ec;
    auto self = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec) self = std::filesystem::absolute(argv0, ec);
    return self.parent_path().string();
}

#endif

int Run(const std::vector<std::string>& args, const std::string& exeFolder, bool errIsTerminal, std::ostream& out,
        std::ostream& err) {
    kavo::cli::CatchInterrupt(&g_interrupted);
    kavo::FileSystem& fs = kavo::NativeFileSystem();
    kavo::cli::CliEnvironment env{fs, out, err, kavo::ProgramDataFolder(fs, exeFolder), &g_interrupted, errIsTerminal};
    return kavo::cli::RunCli(args, env);
}

}  // namespace

#ifdef _WIN32

int wmain(int argc, wchar_t** argv) {
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i)
        args.push_back(kavo::Utf8FromWide(argv[i]));
    // Written as a console or a redirection expects it (see ConsoleOutput).
    kavo::cli::ConsoleOutput outBuffer(STD_OUTPUT_HANDLE), errBuffer(STD_ERROR_HANDLE);
    std::ostream out(&outBuffer), err(&errBuffer);
    err.setf(std::ios::unitbuf);
    const int exitCode = Run(args, ExecutableFolder(), ErrIsTerminal(), out, err);
    out.flush();
    return exitCode;
}

#else

int main(int argc, char** argv) {
    return Run(std::vector<std::string>(argv + 1, argv + argc), ExecutableFolder(argv[0]),
               ::isatty(STDERR_FILENO) == 1, std::cout, std::cerr);
}

#endif
