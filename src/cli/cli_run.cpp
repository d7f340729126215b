#include "cli/cli_run.h"

#include <chrono>
#include <cstring>

#include "fs/paths.h"
#include "catalogue/generate.h"
#include "catalogue/scan.h"
#include "cli/cli_options.h"

namespace kavo::cli {
namespace {

/// Drives the core for the terminal: Ctrl-C is the cancel button, messages go
/// to stderr, and the generation's figures make one updating line on a terminal.
class TerminalObserver : public RunObserver {
public:
    TerminalObserver(CancelToken& cancel, CliEnvironment& env, bool quiet) : m_cancel(cancel), m_env(env), m_quiet(quiet) {}
    ~TerminalObserver() override { EndLine(); }

    void Yield() override {
        if (m_env.Interrupt && *m_env.Interrupt) m_cancel.Request();
    }

    void ShowStatus(std::string_view text) override {
        if (m_drawing) m_file.assign(text);
    }

    void ShowProgress(const ProgressFigures& f) override {
        if (!m_drawing) return;
        // Redrawing per entry would cost more than the work; a few times a second is enough.
        auto now = std::chrono::steady_clock::now();
        if (now - m_lastDraw < std::chrono::milliseconds(100)) return;
        m_lastDraw = now;
        m_env.Err << "\r\x1b[K" << FileCountLabel(f.Placed, f.Selected) << "  " << PercentLabel(f.Percent) << "  "
                  << m_file << std::flush;
        m_lineOpen = true;
    }

    void ShowMessage(std::string_view text, MessageKind kind, std::string_view title) override {
        if (m_quiet && kind == MessageKind::Information) return;
        EndLine();
        m_env.Err << title << ": " << OneLine(text) << "\n";
    }

    void StartProgress() { m_drawing = m_env.ErrIsTerminal && !m_quiet; }
    void EndLine() {
        if (m_lineOpen) m_env.Err << "\r\x1b[K" << std::flush;
        m_lineOpen = false;
    }

private:
    static std::string OneLine(std::string_view text) {
        std::string out;
        for (size_t i = 0; i < text.size(); ++i) {
            if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
            out += text[i] == '\n' ? ' ' : text[i];
        }
        return out;
    }

    CancelToken& m_cancel;
    CliEnvironment& m_env;
    bool m_quiet;
    bool m_drawing = false;
    bool m_lineOpen = false;
    std::string m_file;
    std::chrono::steady_clock::time_point m_lastDraw{};
};

void PrintCounts(std::ostream& out, const ScanResult& scan) {
    const ScanCounts& c = scan.Counts;
    out << "{\"jpg\":" << c.JpgCount << ",\"gif\":" << c.GifCount << ",\"bmp\":" << c.BmpCount
        << ",\"png\":" << c.PngCount << ",\"all\":" << c.AllFileCount
        << ",\"support\":" << (scan.SupportPicturesFound ? "true" : "false") << "}\n";
}

}  // namespace

int RunCli(const std::vector<std::string>& args, CliEnvironment& env) {
    CliOptions options;
    ParseOutcome parsed = ParseCommandLine(args, options);
    env.Out << parsed.Output;
    env.Err << parsed.Error;
    if (!parsed.Proceed) return parsed.ExitCode;

    if (int err = CheckTypedFolder(env.Fs, options.Request.Folder); err != 0) {
        env.Err << "kavo-cli: cannot open folder '" << options.Request.Folder << "': " << std::strerror(err) << "\n";
        return kExitFolder;
    }

    RunRequest& request = options.Request;
    request.ProgramFolder = env.ProgramFolder;
    request.GenerateAtOnce = !options.ScanOnly;
    CancelToken cancel;
    TerminalObserver obs(cancel, env, options.Quiet);

    // The same flow as the main window: scan, then generate from its counts.
    // The generation that follows names the folders it could not read; the scan need not.
    const ScanResult scan = RunScan(request, env.Fs, obs, cancel, options.ScanOnly);
    if (scan.Cancelled) {
        obs.ShowMessage(kScanCancelledText, MessageKind::Information, kCancelledTitle);
        return kExitCancelled;
    }
    if (scan.SupportPicturesFound)
        obs.ShowMessage(kSupportNoticeText, MessageKind::Information, kSupportNoticeTitle);
    if (options.ScanOnly) {
        PrintCounts(env.Out, scan);
        return scan.UnreadableFolders > 0 ? kExitWriteFailed : kExitOk;
    }

    obs.StartProgress();
    GenerateResult result = RunGeneration(request, scan, env.Fs, obs, cancel);
    obs.EndLine();
    if (result.SummaryWritten) env.Out << result.SummaryPage << "\n";
    switch (OutcomeOf(result)) {
        case Outcome::CatalogueFolder:
            return kExitFolder;
        case Outcome::FolderMissing:
            env.Err << "kavo-cli: cannot open folder '" << request.Folder << "'\n";
            return kExitFolder;
        case Outcome::Busy:
            return kExitBusy;
        case Outcome::ForeignLink:
        case Outcome::Incomplete:
            return kExitWriteFailed;
        case Outcome::Cancelled:
            obs.ShowMessage(kGenerationCancelledText, MessageKind::Information, kCancelledTitle);
            return kExitCancelled;
        case Outcome::Written:
            break;
    }
    return kExitOk;
}

}  // namespace kavo::cli
