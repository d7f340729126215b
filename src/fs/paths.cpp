#include "fs/paths.h"

#include <algorithm>
#include <filesystem>
#include <vector>

#include "base/ascii.h"

namespace kavo {
namespace {

/// Windows also takes "/" as a separator, and users type it.
constexpr bool kWindowsPaths = kPathSep == '\\';
constexpr std::string_view kSeparators = kWindowsPaths ? "\\/" : "/";

}  // namespace

bool IsPathSeparator(char c) { return kSeparators.find(c) != std::string_view::npos; }

size_t PathRootLength(std::string_view path) {
    if constexpr (kWindowsPaths) {
        auto nameEnd = [&](size_t pos) {
            while (pos < path.size() && !IsPathSeparator(path[pos])) ++pos;
            return pos;
        };
        if (path.size() >= 2 && IsPathSeparator(path[0]) && IsPathSeparator(path[1])) {
            size_t pos = 2;
            if (path.size() >= 4 && (path[2] == '?' || path[2] == '.') && IsPathSeparator(path[3])) {
                const size_t end = nameEnd(4);
                const std::string_view device = path.substr(4, end - 4);
                const bool network = device.size() == 3 && AsciiLower(device) == "unc";
                if (!network || end == path.size()) return end < path.size() ? end + 1 : end;
                pos = end + 1;
            }
            pos = nameEnd(pos);  // the server
            return pos < path.size() ? nameEnd(pos + 1) : pos;  // and the share
        }
        if (path.size() >= 2 && path[1] == ':') return path.size() >= 3 && IsPathSeparator(path[2]) ? 3 : 2;
    }
    return !path.empty() && IsPathSeparator(path[0]) ? 1 : 0;
}

std::string JoinPath(std::string_view folder, std::string_view name) {
    std::string out(folder);
    if (out.empty() || !IsPathSeparator(out.back())) out += kPathSep;
    out += name;
    return out;
}

std::string LastFolderName(std::string_view path) {
    if (!path.empty() && IsPathSeparator(path.back())) path.remove_suffix(1);
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
    if (out.empty() || !IsPathSeparator(out.back())) out += kPathSep;
    return out;
}

std::string_view WithoutTrailingSeparators(std::string_view folder) {
    while (folder.size() > 1 && IsPathSeparator(folder.back())) folder.remove_suffix(1);
    return folder;
}

std::string NormalizeFolder(std::string_view folder) {
    const size_t rootLength = PathRootLength(folder);
    std::string root(folder.substr(0, rootLength));
    for (char& c : root) {
        if (IsPathSeparator(c)) c = kPathSep;
    }
    if (root.size() == 1 && root[0] == kPathSep) root = std::string(1, kPathSep);
    std::vector<std::string_view> parts;
    for (size_t pos = rootLength; pos < folder.size();) {
        size_t end = pos;
        while (end < folder.size() && !IsPathSeparator(folder[end])) ++end;
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
    const std::string full = SystemFullPath(typed);
    return NormalizeFolder(full.empty() ? typed : std::string_view(full));
}

int CheckTypedFolder(FileSystem& fs, const std::string& typed) {
    // Windows reads the typed text its own way: "D:\photos " is D:\photos.
    if (kWindowsPaths && !typed.empty()) return fs.CheckFolder(ResolveFolder(typed));
    return fs.CheckFolder(typed);
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
