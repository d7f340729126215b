#pragma once

#include <string>
#include <string_view>

#include "fs/file_system.h"

namespace kavo {

// Why a folder the user named cannot be catalogued, as the user is told.

/// The message for a folder that is not there: "'PATH' フォルダが見つかりません。".
std::string FolderNotFoundMessage(std::string_view path);

/// Why the folder the user named cannot be used (CheckTypedFolder), as a message;
/// empty when it can.
std::string FolderProblem(FileSystem& fs, const std::string& path);

}  // namespace kavo
