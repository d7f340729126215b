#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "fs/file_system.h"
#include "base/cancel.h"
#include "base/observer.h"
#include "catalogue/settings.h"

namespace kavo::test {

/// A path from UTF-8 text. MinGW's std::filesystem reads narrow text byte by
/// byte as Latin-1, so names beyond ASCII must come in as UTF-8 explicitly.
inline std::filesystem::path Utf8Path(std::string_view utf8) {
    return std::u8string(utf8.begin(), utf8.end());
}

/// A fresh folder below the system's temporary folder, removed again at the end.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return m_path; }
    /// The path as text with a trailing separator.
    std::string str() const { return m_path.string() + kPathSep; }

    /// Creates a file (and its folders) below the temporary folder.
    void Write(const std::string& relative, std::string_view content = {}) const;
    void MakeDir(const std::string& relative) const;

private:
    std::filesystem::path m_path;
};

std::string ReadFile(const std::filesystem::path& path);

/// The path written with "/" as this system writes it (with "\\" on Windows).
std::string Native(std::string path);

/// Joins lines, each followed by CR LF, as the writer composes them.
std::string Lines(const std::vector<std::string>& lines);

/// Symbolic links need a privilege on Windows and MinGW's std::filesystem cannot make them,
/// so tests of links run on POSIX systems only.
#ifdef _WIN32
#define KAVO_SKIP_WITHOUT_LINKS() GTEST_SKIP() << "no symbolic links on Windows"
#else
#define KAVO_SKIP_WITHOUT_LINKS() static_cast<void>(0)
#endif

/// Observer that records everything and can cancel after a number of yields.
/// A request for the folder, everything else as the programs' defaults.
inline RunRequest RequestFor(std::string folder, bool subfolders = true) {
    RunRequest r;
    r.Folder = std::move(folder);
    r.IncludeSubfolders = subfolders;
    return r;
}

class RecordingObserver : public RunObserver {
public:
    explicit RecordingObserver(CancelToken* cancel = nullptr, long cancelAfterYields = -1)
        : m_cancel(cancel), m_cancelAfter(cancelAfterYields) {}

    void Yield() override;
    void ShowStatus(std::string_view text) override { statuses.emplace_back(text); }
    void ShowProgress(const ProgressFigures& f) override {
        progress.push_back(f);
        if (m_cancel && cancelAfterPlaced >= 0 && f.Placed >= cancelAfterPlaced)
            m_cancel->Request();
    }
    void ShowMessage(std::string_view text, MessageKind kind, std::string_view title) override {
        messages.emplace_back(text);
        kinds.push_back(kind);
        titles.emplace_back(title);
    }

    /// Cancels once this many pictures are placed, which unlike yields (or the
    /// entries of the catalogue folder, where staged files come and go) does not depend on timing.
    long cancelAfterPlaced = -1;
    long yields = 0;
    std::vector<std::string> statuses;
    std::vector<ProgressFigures> progress;
    std::vector<std::string> messages;
    std::vector<std::string> titles;
    std::vector<MessageKind> kinds;

private:
    CancelToken* m_cancel;
    long m_cancelAfter;
};

}  // namespace kavo::test
