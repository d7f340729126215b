#include "fs/temporary_names.h"

#include <algorithm>

namespace kavo {
namespace {

constexpr std::string_view kTemporaryMark = ".kavo-tmp-";
constexpr std::string_view kStagedTail = "staged";
constexpr std::string_view kStagingStem = "kavo-staging-";
constexpr std::string_view kProbeStem = "KAVO-CASE-PROBE-";
constexpr std::string_view kProbeEnd = ".TMP";

constexpr size_t kRandomDigits = 16;

/// 64 bits from the system's random source as 16 hex digits: a name another
/// user of the folder cannot know in advance, so cannot plant a link at.
std::string RandomDigits() {
    uint64_t bits = SystemRandomBits();
    static constexpr char kHex[] = "0123456789abcdef";
    std::string text(kRandomDigits, '0');
    for (size_t i = 0; i < kRandomDigits; ++i, bits >>= 4)
        text[i] = kHex[bits & 0xF];
    return text;
}

bool IsDigits(std::string_view s) {
    return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool IsRandomDigits(std::string_view s) {
    return s.size() == kRandomDigits &&
           std::all_of(s.begin(), s.end(), [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); });
}

}  // namespace

bool IsOurLeftover(const DirEntry& e) { return !e.IsDir && !e.IsLink && IsLeftoverName(e.Name); }

void RemoveLeftovers(FileSystem& fs, const std::string& folder, const std::vector<DirEntry>& entries) {
    for (const DirEntry& e : entries) {
        if (IsOurLeftover(e)) {
            fs.RemoveFile(folder + e.Name);
        } else if (e.IsDir && !e.IsLink && IsStagingFolderName(e.Name)) {
            // Only our files in it go, one level down (a run stages no deeper):
            // anything else keeps it there.
            const std::string staging = folder + e.Name + kPathSep;
            std::vector<DirEntry> inside;
            if (fs.ListFolder(staging, inside, nullptr)) {
                for (const DirEntry& file : inside) {
                    if (IsOurLeftover(file))
                        fs.RemoveFile(staging + file.Name);
                }
                fs.RemoveEmptyFolder(staging);
            }
        }
    }
}

std::string TemporaryPath(const std::string& path) { return path + std::string(kTemporaryMark) + RandomDigits(); }

std::string StagedPath(const std::string& path) { return path + std::string(kTemporaryMark) + std::string(kStagedTail); }

std::string StagingFolderPath(const std::string& folder) {
    return folder + std::string(kStagingStem) + RandomDigits();
}

bool IsStagingFolderName(std::string_view name) {
    return name.starts_with(kStagingStem) && IsRandomDigits(name.substr(kStagingStem.size()));
}

std::string CaseProbeName() { return std::string(kProbeStem) + RandomDigits() + std::string(kProbeEnd); }

bool IsLeftoverName(std::string_view name) {
    // Earlier versions put the process number and a serial where the random digits are now.
    const auto processAndSerial = [](std::string_view tail) {
        const size_t dash = tail.find('-');
        return dash != std::string_view::npos && IsDigits(tail.substr(0, dash)) && IsDigits(tail.substr(dash + 1));
    };
    if (const size_t pos = name.rfind(kTemporaryMark); pos != std::string_view::npos && pos > 0) {
        const std::string_view tail = name.substr(pos + kTemporaryMark.size());
        return tail == kStagedTail || IsRandomDigits(tail) || processAndSerial(tail);
    }
    if (!name.starts_with(kProbeStem) || !name.ends_with(kProbeEnd) || name.size() <= kProbeStem.size() + kProbeEnd.size())
        return false;
    const std::string_view middle = name.substr(kProbeStem.size(), name.size() - kProbeStem.size() - kProbeEnd.size());
    return IsRandomDigits(middle) || IsDigits(middle);
}

}  // namespace kavo
