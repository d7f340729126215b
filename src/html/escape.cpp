#include "html/escape.h"

#include "catalogue/encoding.h"

namespace kavo {
namespace {

bool IsControl(unsigned char c) {
    return c < 0x20 || c == 0x7F;
}

void AppendPercent(std::string& out, unsigned char c) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    out += '%';
    out += kHex[c >> 4];
    out += kHex[c & 0x0F];
}

}  // namespace

std::string EscapeMarkup(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t pos = 0; pos < text.size();) {
        const auto c = static_cast<unsigned char>(text[pos]);
        if (c >= 0x80) {
            const Utf8Step step = DecodeUtf8(text, pos);
            if (step.valid) {
                out.append(text.substr(pos, step.length));
            } else {
                out.append("\xEF\xBF\xBD");
            }
            pos += step.length;
            continue;
        }
        switch (c) {
            case '"':
                out += "&quot;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            default:
                // A line break or other control in a name must not split the line it is written on.
                if (IsControl(c)) {
                    out += "&#";
                    out += std::to_string(c);
                    out += ';';
                } else {
                    out += static_cast<char>(c);
                }
        }
        ++pos;
    }
    return out;
}

std::string EscapeAddress(std::string_view address) {
    // Browsers trim spaces from the end of an address, so a folder named "trip "
    // would be linked as "trip"; spaces there must be kept as escapes.
    size_t end = address.size();
    while (end > 0 && address[end - 1] == ' ')
        --end;
    std::string out;
    out.reserve(address.size());
    for (size_t pos = 0; pos < address.size();) {
        const auto c = static_cast<unsigned char>(address[pos]);
        if (pos >= end) {
            AppendPercent(out, c);
            ++pos;
            continue;
        }
        if (c >= 0x80) {
            const Utf8Step step = DecodeUtf8(address, pos);
            if (step.valid) {
                out.append(address.substr(pos, step.length));
            } else {
                // The browser percent-decodes these back to the very bytes of the name.
                for (size_t i = 0; i < step.length; ++i)
                    AppendPercent(out, static_cast<unsigned char>(address[pos + i]));
            }
            pos += step.length;
            continue;
        }
        // `\` would be read as a separator by browsers; on Linux it is part of a name.
        if (c == '%' || c == '#' || c == '?' || c == '\\' || IsControl(c)) {
            AppendPercent(out, c);
        } else {
            out += static_cast<char>(c);
        }
        ++pos;
    }
    return out;
}

}  // namespace kavo
