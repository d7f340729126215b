#pragma once

#include <string>
#include <string_view>

namespace kavo {

/// Converts UTF-8 text to CP932 (Shift_JIS as Windows has it). A character
/// CP932 cannot hold becomes a decimal reference `&#N;`; bytes that are not
/// UTF-8 become `&#65533;` (U+FFFD).
std::string ToCp932(std::string_view utf8);

/// Replaces every byte sequence that is not UTF-8 with U+FFFD.
std::string SanitizeUtf8(std::string_view text);

}  // namespace kavo
