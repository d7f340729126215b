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
    TerminalObserver(KavoContext& ctx, CliEnvironment& env, bool quiet) : m_ctx(ctx), m_env(env), m_quiet(quiet) {}
    ~TerminalObserver() override { EndLine(); }

    void Yield() override {
        if (m_env.Interrupt && *m_env.Interrupt) m_ctx.Cancel.Request();
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

    void ShowMessage(std::string_view text, MessageIcon icon, std::string_view title) override {
        if (m_quiet && icon == MessageIcon::Information) return;
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

    KavoContext& m_ctx;
    CliEnvironment& m_env;
    bool m_quiet;
    bool m_drawing = false;
    bool m_lineOpen = false;
    std::string m_file;
    std::chrono::steady_clock::time_point m_lastDraw{};
};

void PrintCounts(std::ostream& out, const KavoContext& ctx) {
    const ScanCounts& c = ctx.Counts;
    out << "{\"jpg\":" << c.JpgCount << ",\"gif\":" << c.GifCount << ",\"bmp\":" << c.BmpCount
        << ",\"png\":" << c.PngCount << ",\"all\":" << c.AllFileCount
        << ",\"support\":" << (ctx.SupportImagesFound ? "true" : "false") << "}\n";
}

}  // namespace

int RunCli(const std::vector<std::string>& args, CliEnvironment& env) {
    CliOptions options;
    ParseOutcome parsed = ParseCommandLine(args, options);
    env.Out << parsed.Output;
    env.Err << parsed.Error;
    if (!parsed.Proceed) return parsed.ExitCode;

    if (int err = CheckTypedFolder(env.Fs, options.Folder); err != 0) {
        env.Err << "kavo-cli: cannot open folder '" << options.Folder << "': " << std::strerror(err) << "\n";
        return kExitFolder;
    }

    KavoContext ctx;
    ctx.Settings = options.Settings;
    TerminalObserver obs(ctx, env, options.Quiet);

    // The same flow as the main window: scan, then generate from its counts.
    // The generation that follows names the folders it could not read; the scan need not.
    if (RunScan(ctx, {options.Folder, options.IncludeSubfolders, options.ScanOnly}, env.Fs, obs)) {
        obs.ShowMessage("ファイル検索処理を中止しました。", MessageIcon::Information, "Ｋａｖｏ");
        return kExitCancelled;
    }
    if (ctx.SupportImagesFound) obs.ShowMessage(kSupportNoticeText, MessageIcon::Information, kSupportNoticeTitle);
    if (options.ScanOnly) {
        PrintCounts(env.Out, ctx);
        return ctx.UnreadableFolderCount > 0 ? kExitWriteFailed : kExitOk;
    }

    ctx.SelectTypes(options.Jpg, options.Gif, options.Bmp, options.Png);
    ctx.ImagesPerPage = options.ImagesPerPage;
    ctx.Cancel.Reset();
    GenerateInputs in;
    in.Folder = options.Folder;
    in.IncludeSubfolders = options.IncludeSubfolders;
    in.Jpg = options.Jpg;
    in.Gif = options.Gif;
    in.Bmp = options.Bmp;
    in.Png = options.Png;
    in.ProgramFolder = env.ProgramFolder;
    in.Jobs = options.Jobs;
    obs.StartProgress();
    GenerateResult result = RunGeneration(ctx, in, env.Fs, obs);
    obs.EndLine();
    if (result.CatalogueFolder) return kExitFolder;
    if (result.FolderMissing) {
        env.Err << "kavo-cli: cannot open folder '" << options.Folder << "'\n";
        return kExitFolder;
    }
    if (result.Busy) return kExitBusy;
    if (result.SummaryWritten) env.Out << result.SummaryPage << "\n";
    if (result.Cancelled) {
        obs.ShowMessage("ＨＴＭＬ作成処理を中止しました。", MessageIcon::Information, "Ｋａｖｏ");
        return kExitCancelled;
    }
    return result.WriteFailures > 0 || result.UnreadableFolders > 0 ? kExitWriteFailed : kExitOk;
}

}  // namespace kavo::cli
