#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace kavo {

/// Formats a non-negative integer by a pattern of "0" and "#": each "0" is a
/// digit always written (leading zeros pad), each "#" a digit written only when
/// significant. A longer number is written in full; "#" alone writes nothing for 0.
std::string FormatNumber(int64_t value, std::string_view pattern);

}  // namespace kavo
