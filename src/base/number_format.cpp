#include "base/number_format.h"

#include <algorithm>
#include <charconv>

namespace kavo {

std::string FormatNumber(int64_t value, std::string_view pattern) {
    const auto minDigits = static_cast<size_t>(std::count(pattern.begin(), pattern.end(), '0'));
    if (value == 0 && minDigits == 0) return {};
    // Built once in place: pages call this several times for every picture.
    char digits[24];
    const uint64_t magnitude = value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
    const char* end = std::to_chars(digits, digits + sizeof digits, magnitude).ptr;
    const auto length = static_cast<size_t>(end - digits);
    std::string text;
    if (value < 0) text += '-';
    if (length < minDigits) text.append(minDigits - length, '0');
    text.append(digits, length);
    return text;
}

}  // namespace kavo
