#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "catalogue/file_system.h"
#include "catalogue/observer.h"

namespace kavo::test {

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

/// Joins lines, each followed by CR LF, as the writer composes them.
std::string Lines(const std::vector<std::string>& lines);

/// Observer that records everything and can cancel after a number of yields.
class RecordingObserver : public RunObserver {
public:
    explicit RecordingObserver(bool* cancelFlag = nullptr, long cancelAfterYields = -1)
        : m_cancelFlag(cancelFlag), m_cancelAfter(cancelAfterYields) {}

    void Yield() override;
    void ShowStatus(std::string_view text) override { statuses.emplace_back(text); }
    void ShowProgress(const ProgressFigures& f) override { progress.push_back(f); }
    void ShowMessage(std::string_view text, MessageIcon, std::string_view title) override {
        messages.emplace_back(text);
        titles.emplace_back(title);
    }

    long yields = 0;
    std::vector<std::string> statuses;
    std::vector<ProgressFigures> progress;
    std::vector<std::string> messages;
    std::vector<std::string> titles;

private:
    bool* m_cancelFlag;
    long m_cancelAfter;
};

}  // namespace kavo::test
