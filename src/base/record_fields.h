#pragma once

#include <charconv>
#include <cstddef>
#include <string>
#include <string_view>
#include <system_error>

namespace kavo {

// The records a run keeps between runs (sizes, pages, thumbnails) are lines of
// tab-ended numbers followed by a name. These read and write their fields.

/// A whole field as a number in `base`: no sign where the type has none, no
/// spaces, nothing left over, no overflow.
template <class Number>
bool ParseField(std::string_view field, Number& out, int base = 10) {
    const auto [end, err] = std::from_chars(field.data(), field.data() + field.size(), out, base);
    return err == std::errc() && end == field.data() + field.size();
}

/// Takes the first `count` tab-ended fields off `line`, leaving the rest (a
/// name, which may hold tabs) in it; false when there are fewer.
inline bool TakeFields(std::string_view& line, std::string_view* fields, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        const size_t tab = line.find('\t');
        if (tab == std::string_view::npos)
            return false;
        fields[i] = line.substr(0, tab);
        line.remove_prefix(tab + 1);
    }
    return true;
}

/// Appends a number in decimal, and the tab that ends it.
template <class Number>
void AppendField(std::string& out, Number value) {
    char digits[24];  // a 64-bit number takes at most 20
    out.append(digits, std::to_chars(digits, digits + sizeof digits, value).ptr).push_back('\t');
}

}  // namespace kavo
