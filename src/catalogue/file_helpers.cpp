#include "catalogue/file_helpers.h"

#ifdef _WIN32
#include "fs/wide_text.h"
#include "fs/windows_api.h"
#include <bcrypt.h>
#else
#include <sys/random.h>
#endif

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <filesystem>
#include <vector>

#include "catalogue/classify.h"
#include "catalogue/encoding.h"

namespace kavo {
namespace {

/// Windows also takes "/" as a separator, and users type it.
#ifdef _WIN32
constexpr std::string_view kSeparators = "\\/";
#else
constexpr std::string_view kSeparators = "/";
#endif

bool IsSeparator(char c) { return kSeparators.find(c) != std::string_view::npos; }

constexpr std::string_view kTemporaryMark = ".kavo-tmp-";
constexpr std::string_view kStagedTail = "staged";
constexpr std::string_view kProbeStem = "KAVO-CASE-PROBE-";
constexpr std::string_view kProbeEnd = ".TMP";

constexpr size_t kRandomDigits = 16;

/// 64 bits from the system's random source as 16 hex digits: a name another
/// user of the folder cannot know in advance, so cannot plant a link at.
std::string RandomDigits() {
    uint64_t bits = 0;
#ifdef _WIN32
    ::BCryptGenRandom(nullptr, reinterpret_cast<PUCHAR>(&bits), sizeof bits, BCRYPT_USE_SYSTEM_PREFERRED_RNG);
#else
    for (size_t got = 0; got < sizeof bits;) {
        const ssize_t n = ::getrandom(reinterpret_cast<char*>(&bits) + got, sizeof bits - got, 0);
        if (n > 0)
            got += static_cast<size_t>(n);
        else if (errno != EINTR)
            break;
    }
#endif
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

size_t RootLength(std::string_view path);

}  // namespace

std::string OutputBytes(std::string_view text) {
    std::string bytes = ToCp932(text);
    bytes += "\r\n";
    return bytes;
}

int SaveOutputText(FileSystem& fs, RunObserver& obs, const std::string& path, std::string_view text) {
    std::string err;
    if (fs.WriteFileAtomic(path, OutputBytes(text), &err)) return 0;
    ReportWriteFailure(obs, path);
    return -1;
}

std::string WriteFailureMessage(std::string_view path) {
    return "'" + std::string(path) + "' ファイルの書き出しに失敗しました。\r\nこのファイルは、書き出し先を確認してください。";
}

void ReportWriteFailure(RunObserver& obs, std::string_view path) {
    obs.ShowMessage(WriteFailureMessage(path), MessageIcon::Exclamation, "Kavo");
}

std::string TemporaryPath(const std::string& path) { return path + std::string(kTemporaryMark) + RandomDigits(); }

std::string StagedPath(const std::string& path) { return path + std::string(kTemporaryMark) + std::string(kStagedTail); }

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

int MakeFolderPath(FileSystem& fs, RunObserver& obs, const std::string& path) {
    auto create = [&](const std::string& level) {
        if (fs.CheckFolder(level) == 0) return true;
        std::string err;
        if (fs.CreateFolder(level, &err)) return true;
        // The folder is named too: the system's text alone does not say which level failed.
        const std::string shown = level.size() > 1 && IsSeparator(level.back()) ? level.substr(0, level.size() - 1) : level;
        obs.ShowMessage("フォルダの作成中にエラーが発生しました。\r\n'" + shown + "'\r\n" + err, MessageIcon::Exclamation,
                        "Kavo");
        return false;
    };
    // The levels of the root (a drive, a server and its share) are never made.
    for (size_t i = std::max<size_t>(RootLength(path), 1) + 1; i < path.size(); ++i) {
        if (IsSeparator(path[i - 1]) && !create(path.substr(0, i))) return -1;
    }
    return create(path) ? 0 : -1;
}

int CheckFolder(FileSystem& fs, const std::string& path) {
#ifdef _WIN32
    // The typed text names the folder the run reads: "D:\photos " is D:\photos.
    if (!path.empty())
        return fs.CheckFolder(ResolveFolder(path));
#endif
    return fs.CheckFolder(path);
}

std::string FolderNotFoundMessage(std::string_view path) { return "'" + std::string(path) + "' フォルダが見つかりません。"; }

std::string FolderProblem(FileSystem& fs, const std::string& path) {
    switch (CheckFolder(fs, path)) {  // on Windows as Windows reads the text
        case 0:
            return {};
        case ENOTDIR:
            // A file at the path itself; a file on the way to it makes the folder missing.
            if (fs.Exists(path))
                return "'" + path + "' はフォルダではありません。";
            [[fallthrough]];
        case ENOENT:
            return FolderNotFoundMessage(path);
        default:
            return "'" + path + "' フォルダを開けません。";
    }
}

int FolderMissing(FileSystem& fs, const std::string& path) { return fs.CheckFolder(path) == 0 ? 0 : -1; }

std::string JoinPath(std::string_view folder, std::string_view name) {
    std::string out(folder);
    if (out.empty() || !IsSeparator(out.back())) out += kPathSep;
    out += name;
    return out;
}

std::string LastFolderName(std::string_view path) {
    if (!path.empty() && IsSeparator(path.back())) path.remove_suffix(1);
    size_t pos = path.find_last_of(kSeparators);
    return std::string(pos == std::string_view::npos ? path : path.substr(pos + 1));
}

std::string RelativeUrlPath(std::string_view fullPath, std::string_view baseFolder) {
    size_t skip = std::min(baseFolder.size(), fullPath.size());
    return ToUrlSeparators(std::string(fullPath.substr(skip)));
}

std::string ToUrlSeparators(std::string path) {
    std::replace(path.begin(), path.end(), kPathSep, '/');
    return path;
}

std::string UrlFolderPart(std::string_view urlPath) {
    size_t pos = urlPath.rfind('/');
    return pos == std::string_view::npos ? std::string() : std::string(urlPath.substr(0, pos));
}

std::string WithTrailingSeparator(std::string_view folder) {
    std::string out(folder);
    if (out.empty() || !IsSeparator(out.back())) out += kPathSep;
    return out;
}

namespace {

/// The part of a path that ".." cannot climb above: "/", or on Windows a
/// drive ("C:", "C:\\"), the server and share of a network path, or what
/// follows "\\?\" or "\\.\": a drive or volume, or UNC with a server and share.
size_t RootLength(std::string_view path) {
#ifdef _WIN32
    auto nameEnd = [&](size_t pos) {
        while (pos < path.size() && !IsSeparator(path[pos])) ++pos;
        return pos;
    };
    if (path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1])) {
        size_t pos = 2;
        if (path.size() >= 4 && (path[2] == '?' || path[2] == '.') && IsSeparator(path[3])) {
            const size_t end = nameEnd(4);
            const std::string_view device = path.substr(4, end - 4);
            const bool network = device.size() == 3 && AsciiLower(std::string(device)) == "unc";
            if (!network || end == path.size()) return end < path.size() ? end + 1 : end;
            pos = end + 1;
        }
        pos = nameEnd(pos);  // the server
        return pos < path.size() ? nameEnd(pos + 1) : pos;  // and the share
    }
    if (path.size() >= 2 && path[1] == ':') return path.size() >= 3 && IsSeparator(path[2]) ? 3 : 2;
#endif
    return !path.empty() && IsSeparator(path[0]) ? 1 : 0;
}

}  // namespace

std::string NormalizeFolder(std::string_view folder) {
    const size_t rootLength = RootLength(folder);
    std::string root(folder.substr(0, rootLength));
    for (char& c : root) {
        if (IsSeparator(c)) c = kPathSep;
    }
    if (root.size() == 1 && root[0] == kPathSep) root = std::string(1, kPathSep);
    std::vector<std::string_view> parts;
    for (size_t pos = rootLength; pos < folder.size();) {
        size_t end = pos;
        while (end < folder.size() && !IsSeparator(folder[end])) ++end;
        std::string_view part = folder.substr(pos, end - pos);
        if (part == "..") {
            if (!parts.empty() && parts.back() != "..") {
                parts.pop_back();
            } else if (root.empty()) {
                parts.push_back(part);  // a relative path may climb above its start
            }
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        pos = end + 1;
    }
    std::string out = root;
    // A network root (\\server\share) ends without the separator its names need.
    const bool networkRoot = root.size() > 2 && root[0] == kPathSep && root[1] == kPathSep && root.back() != kPathSep;
    for (size_t i = 0; i < parts.size(); ++i) {
        if (i > 0 || networkRoot) out += kPathSep;
        out += parts[i];
    }
    return out.empty() ? "." : out;
}

std::string ResolveFolder(std::string_view typed) {
#ifdef _WIN32
    // Windows reads a typed path its own way before a "\\?\" goes in front of it:
    // from the current folder of its drive ("Z:pics"), trailing dots and spaces
    // dropped. A path typed with "\\?\" asks for its text as it stands.
    const std::wstring wide = WideFromUtf8(typed);
    if (!wide.empty() && !wide.starts_with(LR"(\\?\)")) {
        std::wstring full(MAX_PATH, L'\0');
        DWORD n = ::GetFullPathNameW(wide.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
        if (n >= full.size()) {
            full.resize(n);
            n = ::GetFullPathNameW(wide.c_str(), n, full.data(), nullptr);
        }
        if (n != 0 && n < full.size()) {
            full.resize(n);
            return NormalizeFolder(Utf8FromWide(full));
        }
    }
#endif
    return NormalizeFolder(typed);
}

std::string CatalogueName(FileSystem& fs, const std::string& normalizedFolder) {
    std::string name = LastFolderName(normalizedFolder);
    if (name != "." && name != "..") {
        std::string onDisk = fs.NameOnDisk(normalizedFolder);
        return onDisk.empty() ? name : onDisk;
    }
    std::error_code ec;
    const std::filesystem::path absolute = std::filesystem::absolute(
        std::filesystem::path(std::u8string(normalizedFolder.begin(), normalizedFolder.end())), ec);
    if (ec) return name;
    const std::u8string text = absolute.u8string();
    return LastFolderName(NormalizeFolder(std::string(text.begin(), text.end())));
}

std::string ProgramDataFolder(FileSystem& fs, const std::string& executableFolder) {
    if (fs.CheckFolder(JoinPath(executableFolder, "Images")) == 0) return executableFolder;
    std::string installed = JoinPath(JoinPath(JoinPath(executableFolder, ".."), "share"), "kavo");
    if (fs.CheckFolder(installed) == 0) return installed;
    return executableFolder;
}

}  // namespace kavo
