#include "catalogue/encoding.h"

#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace kavo {
namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

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

class Converter {
public:
    Converter() : m_cd(iconv_open("CP932", "UTF-8")) {}
    ~Converter() {
        if (ok())
            iconv_close(m_cd);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    bool ok() const { return m_cd != reinterpret_cast<iconv_t>(-1); }
    iconv_t get() const { return m_cd; }

private:
    iconv_t m_cd;
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
            ++pos;
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

std::string ToCp932(std::string_view utf8) {
    // After this iconv meets only well-formed characters; it stops only at those CP932 lacks.
    std::string in = SanitizeUtf8(utf8);
    Converter converter;
    if (!converter.ok())
        return ReferencesForNonAscii(in);

    // iconv re-reads its whole pending chunk after a character it cannot
    // convert, so a text full of such characters would take quadratic time in
    // one large run. Runs therefore start short after each such character and
    // double while the text converts cleanly.
    constexpr size_t kShortRun = 64;
    constexpr size_t kLongRun = size_t{1} << 16;

    // CP932 never takes more bytes than UTF-8 for a character; references may need more.
    std::string out(in.size() + 32, '\0');
    size_t outPos = 0;
    const auto ensureRoom = [&](size_t room) {
        if (out.size() - outPos < room)
            out.resize(std::max(out.size() * 2, outPos + room));
    };

    size_t pos = 0;
    size_t run = kLongRun;
    while (pos < in.size()) {
        size_t length = std::min(run, in.size() - pos);
        // Never cut a character: step back over continuation bytes.
        while (pos + length < in.size() && (static_cast<unsigned char>(in[pos + length]) & 0xC0) == 0x80)
            --length;

        char* inPtr = in.data() + pos;
        size_t inLeft = length;
        bool stopped = false;
        while (inLeft > 0) {
            ensureRoom(inLeft + 16);
            char* outPtr = out.data() + outPos;
            size_t outLeft = out.size() - outPos;
            const size_t result = iconv(converter.get(), &inPtr, &inLeft, &outPtr, &outLeft);
            const int error = errno;
            outPos = static_cast<size_t>(outPtr - out.data());
            pos = static_cast<size_t>(inPtr - in.data());
            if (result != static_cast<size_t>(-1) || error == E2BIG)
                continue;

            // EILSEQ: a character CP932 cannot hold. (EINVAL, a cut character,
            // cannot happen on whole characters and is treated alike.)
            const Utf8Step step = DecodeUtf8(in, pos);
            char reference[16];
            const int n =
                std::snprintf(reference, sizeof reference, "&#%lu;", static_cast<unsigned long>(step.codePoint));
            ensureRoom(static_cast<size_t>(n));
            std::memcpy(out.data() + outPos, reference, static_cast<size_t>(n));
            outPos += static_cast<size_t>(n);
            pos += step.length;
            stopped = true;
            break;
        }
        run = stopped ? kShortRun : std::min(run * 2, kLongRun);
    }
    out.resize(outPos);
    return out;
}

}  // namespace kavo
