#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "fs/file_system.h"

namespace kavo {

// Path text. Paths use the native separator; folder paths used as prefixes
// end with it. On Windows "/" is a separator too, since users type it.

bool IsPathSeparator(char c);

/// The part of a path that ".." cannot climb above: "/", or on Windows a
/// drive ("C:", "C:\\"), the server and share of a network path, or what
/// follows "\\?\" or "\\.\": a drive or volume, or UNC with a server and share.
size_t PathRootLength(std::string_view path);

std::string JoinPath(std::string_view folder, std::string_view name);
std::string LastFolderName(std::string_view path);
std::string RelativeUrlPath(std::string_view fullPath, std::string_view baseFolder);
std::string ToUrlSeparators(std::string path);
std::string UrlFolderPart(std::string_view urlPath);

/// The folder text with the native separator appended when it does not end with one.
std::string WithTrailingSeparator(std::string_view folder);

/// The folder text without the separators at its end; a root's stays ("/").
std::string_view WithoutTrailingSeparators(std::string_view folder);

/// The folder text as one path: repeated and trailing separators, "." and
/// ".." taken out (as a shell would read them), with no trailing separator.
/// "" and "." stay ".", a root stays a root.
std::string NormalizeFolder(std::string_view folder);

/// The folder as the system reads what the user typed: NormalizeFolder, and on
/// Windows first made a full path the way Windows makes one.
std::string ResolveFolder(std::string_view typed);

/// The full path the system makes of a typed one (Windows: from the current
/// folder of its drive, trailing dots and spaces dropped); empty where the
/// system leaves typed paths as they are, or when it cannot. Each platform's
/// file system layer has its own.
std::string SystemFullPath(std::string_view typed);

/// 0 when the folder the user typed exists and can be entered, else the
/// system's error number. On Windows the text is read as ResolveFolder reads
/// it. Never changes the current directory.
int CheckTypedFolder(FileSystem& fs, const std::string& typed);

/// The name of a normalised folder for its catalogue: its last component as
/// the disk spells it, or, for "." and "..", that of the folder they stand for.
std::string CatalogueName(FileSystem& fs, const std::string& normalizedFolder);

/// The folder whose Images folder and Readme.txt the programs use: the
/// executable's own folder when Images lies beside it (the build tree), else
/// the installed data folder ../share/kavo.
std::string ProgramDataFolder(FileSystem& fs, const std::string& executableFolder);

}  // namespace kavo
