#include "catalogue/file_helpers.h"

#include <algorithm>
#include <cerrno>

#include "catalogue/encoding.h"

namespace kavo {
namespace {

/// Windows also takes "/" as a separator, and users type it.
#ifdef _WIN32
constexpr std::string_view kSeparators = "\\/";
#else
constexpr std::string_view kSeparators = "/";
#endif

bool IsPathSep(char c) { return kSeparators.find(c) != std::string_view::npos; }

}  // namespace

int SaveOutputText(FileSystem& fs, RunObserver& obs, const std::string& path, std::string_view text) {
    std::string bytes = ToCp932(text);
    bytes += "\r\n";
    std::string err;
    if (fs.WriteFileAtomic(path, bytes, &err)) return 0;
    obs.ShowMessage(WriteFailureMessage(path), MessageIcon::Exclamation, "Kavo");
    return -1;
}

std::string WriteFailureMessage(std::string_view path) {
    return "'" + std::string(path) + "' ファイルの書き出しに失敗しました。\r\nこのファイルは、書き出し先を確認してください。";
}

int MakeFolderPath(FileSystem& fs, RunObserver& obs, const std::string& path) {
    auto create = [&](const std::string& level) {
        if (fs.CheckFolder(level) == 0) return true;
        std::string err;
        if (fs.CreateFolder(level, &err)) return true;
        obs.ShowMessage("フォルダの作成中にエラーが発生しました。\r\n" + err, MessageIcon::Exclamation, "Kavo");
        return false;
    };
    for (size_t i = 1; i < path.size(); ++i) {
        if (IsPathSep(path[i - 1]) && !create(path.substr(0, i))) return -1;
    }
    return create(path) ? 0 : -1;
}

int CheckFolder(FileSystem& fs, const std::string& path) { return fs.CheckFolder(path); }

int FolderMissing(FileSystem& fs, const std::string& path) { return fs.CheckFolder(path) == 0 ? 0 : -1; }

int CopyFolderFiles(FileSystem& fs, const std::string& source, const std::string& destination) {
    if (FolderMissing(fs, destination) == -1) {
        std::string err;
        if (!fs.CreateFolder(destination, &err)) return EIO;
    }
    const std::string from = JoinPath(source, "");
    const std::string to = JoinPath(destination, "");
    std::vector<DirEntry> entries;
    if (!fs.ListFolder(from, entries, nullptr)) return 0;  // a missing source copies nothing
    std::sort(entries.begin(), entries.end(), [](const DirEntry& a, const DirEntry& b) { return a.Name < b.Name; });
    for (const DirEntry& e : entries) {
        if (e.IsDir || !fs.IsRegularFile(from + e.Name)) continue;
        if (int err = fs.CopyFile(from + e.Name, to + e.Name); err != 0) return err;
    }
    return 0;
}

std::string JoinPath(std::string_view folder, std::string_view name) {
    std::string out(folder);
    if (out.empty() || !IsPathSep(out.back())) out += kPathSep;
    out += name;
    return out;
}

std::string LastFolderName(std::string_view path) {
    if (!path.empty() && IsPathSep(path.back())) path.remove_suffix(1);
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
    if (out.empty() || !IsPathSep(out.back())) out += kPathSep;
    return out;
}

std::string ProgramDataFolder(FileSystem& fs, const std::string& executableFolder) {
    if (fs.CheckFolder(JoinPath(executableFolder, "Images")) == 0) return executableFolder;
    std::string installed = JoinPath(JoinPath(JoinPath(executableFolder, ".."), "share"), "kavo");
    if (fs.CheckFolder(installed) == 0) return installed;
    return executableFolder;
}

}  // namespace kavo
