#include "base/encoding.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <iconv.h>
#endif

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>

namespace kavo {
namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

/// The end of the run of ASCII bytes that starts at `pos`; eight bytes are tested at a time.
size_t AsciiRunEnd(std::string_view text, size_t pos) {
    constexpr uint64_t kHighBits = 0x8080808080808080ULL;
    while (pos + 8 <= text.size()) {
        uint64_t word;
        std::memcpy(&word, text.data() + pos, 8);
        if ((word & kHighBits) != 0)
            break;
        pos += 8;
    }
    while (pos < text.size() && static_cast<unsigned char>(text[pos]) < 0x80)
        ++pos;
    return pos;
}

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

void AppendReference(std::string& out, char32_t codePoint) {
    out += "&#";
    out += std::to_string(static_cast<unsigned long>(codePoint));
    out += ';';
}

/// Used only when the system offers no CP932 converter: ASCII stays, everything else is a reference.
std::string ReferencesForNonAscii(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    for (size_t pos = 0; pos < utf8.size();) {
        Utf8Step step = DecodeUtf8(utf8, pos);
        if (step.codePoint < 0x80) {
            out += static_cast<char>(step.codePoint);
        } else {
            AppendReference(out, step.codePoint);
        }
        pos += step.length;
    }
    return out;
}

/// Finds the CP932 code of one character. Only an exact code counts: one that
/// reads back as the same character. Both systems also map some characters one
/// way only (U+00A5 to "\\", U+2014 to U+2015's code, …); those become
/// references, so that Windows and Linux write the same bytes.
class Converter {
public:
#ifdef _WIN32
    bool ok() const { return true; }

    /// The character's CP932 bytes, or 0 bytes when it has no exact code.
    size_t Convert(std::string_view utf8, char (&bytes)[8]) const {
        wchar_t wide[2];
        const int units = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(),
                                                static_cast<int>(utf8.size()), wide, 2);
        if (units <= 0)
            return 0;
        BOOL usedDefault = FALSE;
        const int n = ::WideCharToMultiByte(932, WC_NO_BEST_FIT_CHARS, wide, units, bytes, sizeof bytes, nullptr,
                                            &usedDefault);
        if (n <= 0 || usedDefault)
            return 0;
        wchar_t back[2];
        const int backUnits = ::MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, bytes, n, back, 2);
        return backUnits == units && std::equal(wide, wide + units, back) ? static_cast<size_t>(n) : 0;
    }
#else
    Converter() : m_to(iconv_open("CP932", "UTF-8")), m_from(iconv_open("UTF-8", "CP932")) {}
    ~Converter() {
        if (m_to != kNone)
            iconv_close(m_to);
        if (m_from != kNone)
            iconv_close(m_from);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    bool ok() const { return m_to != kNone && m_from != kNone; }

    /// The character's CP932 bytes, or 0 bytes when it has no exact code.
    size_t Convert(std::string_view utf8, char (&bytes)[8]) const {
        const size_t n = Run(m_to, utf8, bytes);
        char back[8];
        return n != 0 && std::string_view(back, Run(m_from, {bytes, n}, back)) == utf8 ? n : 0;
    }

private:
    static inline const iconv_t kNone = reinterpret_cast<iconv_t>(-1);

    static size_t Run(iconv_t cd, std::string_view in, char (&out)[8]) {
        char copy[8];
        std::memcpy(copy, in.data(), in.size());
        char* inPtr = copy;
        size_t inLeft = in.size();
        char* outPtr = out;
        size_t outLeft = sizeof out;
        if (iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) == static_cast<size_t>(-1) || inLeft != 0)
            return 0;
        return static_cast<size_t>(outPtr - out);
    }

    iconv_t m_to;
    iconv_t m_from;
#endif
};

}  // namespace

Utf8Step DecodeUtf8(std::string_view text, size_t pos) {
    const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char b0 = byte(pos);
    if (b0 < 0x80)
        return {b0, 1, true};

    // Byte count and the allowed range of the second byte rule out overlong
    // forms, surrogates and values above U+10FFFF.
    size_t need = 0;
    unsigned char lo = 0x80, hi = 0xBF;
    char32_t cp = 0;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        need = 1;
        cp = b0 & 0x1F;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        need = 2;
        cp = b0 & 0x0F;
        if (b0 == 0xE0)
            lo = 0xA0;
        if (b0 == 0xED)
            hi = 0x9F;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        need = 3;
        cp = b0 & 0x07;
        if (b0 == 0xF0)
            lo = 0x90;
        if (b0 == 0xF4)
            hi = 0x8F;
    } else {
        return {0xFFFD, 1, false};
    }
    for (size_t i = 1; i <= need; ++i) {
        if (pos + i >= text.size())
            return {0xFFFD, i, false};
        const unsigned char b = byte(pos + i);
        if (b < lo || b > hi)
            return {0xFFFD, i, false};
        cp = (cp << 6) | (b & 0x3F);
        lo = 0x80;
        hi = 0xBF;
    }
    return {cp, need + 1, true};
}

std::string SanitizeUtf8(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    size_t runStart = 0;
    size_t pos = 0;
    while (pos < text.size()) {
        if (static_cast<unsigned char>(text[pos]) < 0x80) {
            pos = AsciiRunEnd(text, pos + 1);
            continue;
        }
        if (const size_t quick = QuickUtf8Length(text, pos)) {
            pos += quick;
            continue;
        }
        Utf8Step step = DecodeUtf8(text, pos);
        if (!step.valid) {
            out.append(text.substr(runStart, pos - runStart));
            out.append(kReplacement);
            runStart = pos + step.length;
        }
        pos += step.length;
    }
    out.append(text.substr(runStart));
    return out;
}

namespace {

/// CP932 codes of the characters of the Basic Multilingual Plane, filled from
/// the system's converter on first use: 0 not asked yet, kNoCp932 not in CP932, otherwise the
/// one byte, or the lead byte (0x81 and up) and the trail byte. A conversion costs
/// about a hundred instructions a character; a page repeats few characters.
constexpr uint16_t kNoCp932 = 0xFFFF;

class Cp932Cache {
public:
    /// The CP932 code of one well-formed character: one byte, or lead and trail
    /// byte, or kNoCp932; 0 when the system has no converter. Most characters
    /// are found in the table, so the look-up stays small enough to inline.
    uint16_t Code(std::string_view utf8, char32_t codePoint) {
        const uint16_t code = codePoint < 0x10000 ? m_codes[codePoint] : 0;
        return code != 0 ? code : Miss(utf8, codePoint);
    }

private:
    uint16_t Miss(std::string_view utf8, char32_t codePoint) {
        if (!m_converter.ok())
            return 0;
        const uint16_t code = Convert(utf8);
        if (codePoint < 0x10000)
            m_codes[codePoint] = code;
        return code;
    }

    uint16_t Convert(std::string_view utf8) {
        char bytes[8];
        const size_t n = m_converter.Convert(utf8, bytes);
        const auto byte = [&](size_t i) { return static_cast<uint16_t>(static_cast<unsigned char>(bytes[i])); };
        if (n == 1 && byte(0) != 0)
            return byte(0);
        if (n == 2 && byte(0) >= 0x81)
            return static_cast<uint16_t>(byte(0) << 8 | byte(1));
        return kNoCp932;  // no such CP932 form; keep the character as a reference
    }

    Converter m_converter;
    std::unique_ptr<uint16_t[]> m_codes = std::make_unique<uint16_t[]>(0x10000);
};

}  // namespace

std::string ToCp932(std::string_view utf8) {
    // One cache per thread: no lock, and the windows and the command line each use one thread.
    thread_local Cp932Cache cache;

    // CP932 never takes more bytes than UTF-8 for a character; references may need more.
    std::string out;
    out.reserve(utf8.size() + 32);
    size_t pos = 0;
    while (pos < utf8.size()) {
        // CP932 keeps ASCII as it is.
        if (static_cast<unsigned char>(utf8[pos]) < 0x80) {
            const size_t end = AsciiRunEnd(utf8, pos + 1);
            out.append(utf8, pos, end - pos);
            pos = end;
            continue;
        }
        // A byte sequence that is not UTF-8 is written as U+FFFD, as SanitizeUtf8 would have it.
        const Utf8Step step = DecodeUtf8(utf8, pos);
        const char32_t codePoint = step.valid ? step.codePoint : 0xFFFD;
        const uint16_t code = cache.Code(step.valid ? utf8.substr(pos, step.length) : kReplacement, codePoint);
        if (code == 0)
            return ReferencesForNonAscii(SanitizeUtf8(utf8));
        if (code == kNoCp932) {
            AppendReference(out, codePoint);
        } else if (code > 0xFF) {
            const char pair[2] = {static_cast<char>(code >> 8), static_cast<char>(code & 0xFF)};
            out.append(pair, 2);
        } else {
            out += static_cast<char>(code);
        }
        pos += step.length;
    }
    return out;
}

}  // namespace kavo
