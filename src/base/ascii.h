#pragma once

#include <string>
#include <string_view>

namespace kavo {

/// Lower-cases the ASCII letters A to Z; every other byte stays.
std::string AsciiLower(std::string_view in);
char LowerAscii(char c);

/// True when `folder` ends in `tail` (lower case, "/" separators), ASCII case
/// ignored and either separator taken: how the catalogue's own folders are
/// recognised wherever the walk meets them.
bool FolderEndsWith(std::string_view folder, std::string_view tail);

}  // namespace kavo
