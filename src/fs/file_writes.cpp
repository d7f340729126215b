#include "fs/file_writes.h"

#include <algorithm>

#include "base/encoding.h"
#include "fs/paths.h"

namespace kavo {

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
    obs.ShowMessage(WriteFailureMessage(path), MessageKind::WriteFailure, "Kavo");
}

int MakeFolderPath(FileSystem& fs, RunObserver& obs, const std::string& path) {
    auto create = [&](const std::string& level) {
        if (fs.CheckFolder(level) == 0) return true;
        std::string err;
        if (fs.CreateFolder(level, &err)) return true;
        // The folder is named too: the system's text alone does not say which level failed.
        const std::string shown =
            level.size() > 1 && IsPathSeparator(level.back()) ? level.substr(0, level.size() - 1) : level;
        obs.ShowMessage("フォルダの作成中にエラーが発生しました。\r\n'" + shown + "'\r\n" + err, MessageKind::WriteFailure,
                        "Kavo");
        return false;
    };
    // The levels of the root (a drive, a server and its share) are never made.
    for (size_t i = std::max<size_t>(PathRootLength(path), 1) + 1; i < path.size(); ++i) {
        if (IsPathSeparator(path[i - 1]) && !create(path.substr(0, i))) return -1;
    }
    return create(path) ? 0 : -1;
}

}  // namespace kavo
