#include "catalogue/number_format.h"

#include <algorithm>

namespace kavo {

std::string FormatNumber(int64_t value, std::string_view pattern) {
    const auto minDigits = static_cast<size_t>(std::count(pattern.begin(), pattern.end(), '0'));
    if (value == 0 && minDigits == 0) return {};
    std::string digits = std::to_string(value < 0 ? -value : value);
    if (digits.size() < minDigits) digits.insert(0, minDigits - digits.size(), '0');
    if (value < 0) digits.insert(0, 1, '-');
    return digits;
}

}  // namespace kavo
