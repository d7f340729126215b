#include "html/escape.h"

#include "base/encoding.h"

namespace kavo {
namespace {

/// Length of the well-formed two- or three-byte character at `pos` (most
/// non-ASCII text in names), or 0 when DecodeUtf8 must look.
inline size_t QuickUtf8Length(std::string_view text, size_t pos) {
    const auto at = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char b0 = at(pos);
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        return pos + 1 < text.size() && (at(pos + 1) & 0xC0) == 0x80 ? 2 : 0;
    }
    // E0 and ED have narrower second bytes; leave them to DecodeUtf8.
    if (b0 >= 0xE1 && b0 <= 0xEF && b0 != 0xED) {
        return pos + 2 < text.size() && (at(pos + 1) & 0xC0) == 0x80 && (at(pos + 2) & 0xC0) == 0x80 ? 3 : 0;
    }
    return 0;
}

/// Per byte: true for an ASCII character a value keeps as it is. Controls
/// (below 0x20 and 0x7F) and all of the bytes from 0x80 are never plain.
struct PlainBytes {
    bool markup[256] = {};
    bool address[256] = {};
    constexpr PlainBytes() {
        for (int c = 0x20; c < 0x7F; ++c) {
            markup[c] = c != '&' && c != '"' && c != '<' && c != '>';
            address[c] = c != '%' && c != '&' && c != '#' && c != '?' && c != '\\';
        }
    }
};
constexpr PlainBytes kPlain;

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
    AppendMarkup(out, text);
    return out;
}

void AppendMarkup(std::string& out, std::string_view text) {
    // Plain characters are copied in runs; only the ones to replace break a run.
    size_t runStart = 0;
    const auto flush = [&](size_t pos) { out.append(text.substr(runStart, pos - runStart)); };
    for (size_t pos = 0; pos < text.size();) {
        const auto c = static_cast<unsigned char>(text[pos]);
        if (c >= 0x80) {
            if (const size_t quick = QuickUtf8Length(text, pos)) {
                pos += quick;
                continue;
            }
            const Utf8Step step = DecodeUtf8(text, pos);
            if (!step.valid) {
                flush(pos);
                out.append("\xEF\xBF\xBD");
                runStart = pos + step.length;
            }
            pos += step.length;
            continue;
        }
        if (kPlain.markup[c]) {
            ++pos;
            while (pos < text.size() && kPlain.markup[static_cast<unsigned char>(text[pos])])
                ++pos;
            continue;
        }
        flush(pos);
        switch (c) {
            case '&':
                // Else a name like "Tom&amp;Jerry.jpg" would show as "Tom&Jerry.jpg".
                out += "&amp;";
                break;
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
                out += "&#";
                out += std::to_string(c);
                out += ';';
        }
        runStart = ++pos;
    }
    flush(text.size());
}

std::string EscapeAddress(std::string_view address) {
    std::string out;
    out.reserve(address.size());
    AppendAddress(out, address);
    return out;
}

void AppendAddress(std::string& out, std::string_view address) {
    // Browsers trim spaces from the end of an address, so a folder named "trip "
    // would be linked as "trip"; spaces there must be kept as escapes.
    size_t end = address.size();
    while (end > 0 && address[end - 1] == ' ')
        --end;
    size_t runStart = 0;
    const auto flush = [&](size_t pos) { out.append(address.substr(runStart, pos - runStart)); };
    for (size_t pos = 0; pos < end;) {
        const auto c = static_cast<unsigned char>(address[pos]);
        if (c >= 0x80) {
            if (const size_t quick = QuickUtf8Length(address, pos)) {
                pos += quick;
                continue;
            }
            const Utf8Step step = DecodeUtf8(address, pos);
            if (!step.valid) {
                flush(pos);
                // The browser percent-decodes these back to the very bytes of the name.
                for (size_t i = 0; i < step.length; ++i)
                    AppendPercent(out, static_cast<unsigned char>(address[pos + i]));
                runStart = pos + step.length;
            }
            pos += step.length;
            continue;
        }
        // `\` would be read as a separator by browsers; on Linux it is part of a name.
        if (!kPlain.address[c]) {
            flush(pos);
            AppendPercent(out, c);
            runStart = pos + 1;
        }
        ++pos;
    }
    // No character reaches into the trailing spaces (a space never continues one).
    flush(end);
    for (size_t pos = end; pos < address.size(); ++pos)
        AppendPercent(out, static_cast<unsigned char>(address[pos]));
}

}  // namespace kavo
