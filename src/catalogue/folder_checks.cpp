#include "catalogue/folder_checks.h"

#include "fs/paths.h"

namespace kavo {

std::string FolderNotFoundMessage(std::string_view path) { return "'" + std::string(path) + "' フォルダが見つかりません。"; }

std::string FolderProblem(FileSystem& fs, const std::string& path) {
    switch (CheckTypedFolder(fs, path)) {  // on Windows as Windows reads the text
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

}  // namespace kavo
