#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace kavo {

/// Converts UTF-8 text to CP932 (Shift_JIS as Windows has it). A character
/// CP932 cannot hold becomes a decimal reference `&#N;`; bytes that are not
/// UTF-8 become `&#65533;` (U+FFFD).
std::string ToCp932(std::string_view utf8);

/// Replaces every byte sequence that is not UTF-8 with U+FFFD.
std::string SanitizeUtf8(std::string_view text);

/// One step through UTF-8 text.
struct Utf8Step {
    char32_t codePoint = 0;  ///< the character; 0xFFFD when not valid
    size_t length = 1;       ///< bytes taken, at least 1
    bool valid = false;      ///< false for a sequence that is not UTF-8
};

/// Decodes the character at `pos` (which must be inside `text`). A bad
/// sequence is taken as its longest start that could still have become a
/// character (at least one byte), so one U+FFFD stands for it.
Utf8Step DecodeUtf8(std::string_view text, size_t pos);

}  // namespace kavo
