// Arbitrary bytes as a name put into a page: the escaping and the CP932 writer
// must neither crash nor let the name write markup or end an address.

#include <iconv.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "base/encoding.h"
#include "html/escape.h"

namespace {

void Require(bool condition) {
    if (!condition)
        std::abort();
}

bool IsUtf8(std::string_view text) {
    for (size_t pos = 0; pos < text.size();) {
        kavo::Utf8Step step = kavo::DecodeUtf8(text, pos);
        if (!step.valid)
            return false;
        pos += step.length;
    }
    return true;
}

int HexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

/// As a browser decodes the path of an address: %XX back to the byte.
std::string PercentDecode(std::string_view address) {
    std::string out;
    for (size_t i = 0; i < address.size(); ++i) {
        if (address[i] == '%') {
            Require(i + 2 < address.size() && HexValue(address[i + 1]) >= 0 && HexValue(address[i + 2]) >= 0);
            out += static_cast<char>(HexValue(address[i + 1]) * 16 + HexValue(address[i + 2]));
            i += 2;
        } else {
            out += address[i];
        }
    }
    return out;
}

/// CP932 back to UTF-8; fails the run when the bytes are not CP932.
std::string FromCp932(const std::string& cp932) {
    static iconv_t cd = iconv_open("UTF-8", "CP932");
    Require(cd != reinterpret_cast<iconv_t>(-1));
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    std::string in = cp932;
    std::string out(in.size() * 3 + 16, '\0');
    char* inPtr = in.data();
    size_t inLeft = in.size();
    char* outPtr = out.data();
    size_t outLeft = out.size();
    Require(iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) != static_cast<size_t>(-1));
    out.resize(out.size() - outLeft);
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    for (size_t pos = 0; pos < text.size();) {
        kavo::Utf8Step step = kavo::DecodeUtf8(text, pos);
        Require(step.length >= 1 && pos + step.length <= text.size());
        Require(step.valid ? step.codePoint <= 0x10FFFF : step.codePoint == 0xFFFD);
        pos += step.length;
    }

    const std::string clean = kavo::SanitizeUtf8(text);
    Require(IsUtf8(clean));
    Require(kavo::SanitizeUtf8(clean) == clean);
    if (IsUtf8(text))
        Require(clean == text);

    // Nothing of the name may close a value, open a tag or break the line.
    const std::string markup = kavo::EscapeMarkup(text);
    Require(IsUtf8(markup));
    for (unsigned char c : markup)
        Require(c != '"' && c != '<' && c != '>' && c >= 0x20 && c != 0x7F);
    // Every `&` begins one of the writer's references, so a name shows as it is.
    for (size_t pos = markup.find('&'); pos != std::string::npos; pos = markup.find('&', pos + 1)) {
        const std::string_view rest = std::string_view(markup).substr(pos);
        Require(rest.starts_with("&amp;") || rest.starts_with("&quot;") || rest.starts_with("&lt;") ||
                rest.starts_with("&gt;") || rest.starts_with("&#"));
    }

    // An address decodes back to exactly the name's bytes, and nothing in it
    // ends the path (query, fragment), turns into a separator or gets trimmed.
    const std::string address = kavo::EscapeAddress(text);
    Require(IsUtf8(address));
    for (unsigned char c : address)
        Require(c != '#' && c != '?' && c != '\\' && c >= 0x20 && c != 0x7F);
    Require(address.empty() || address.back() != ' ');
    Require(PercentDecode(address) == text);

    // The page bytes are CP932 throughout; the markup characters survive only
    // as themselves, never hidden in a second byte; writing again changes nothing.
    const std::string page = kavo::ToCp932(markup);
    for (unsigned char c : page)
        Require(c != '"' && c != '<' && c != '>' && c >= 0x20);
    const std::string back = FromCp932(page);
    Require(kavo::ToCp932(back) == page);
    const std::string plain = kavo::ToCp932(text);
    Require(kavo::ToCp932(FromCp932(plain)) == plain);
    return 0;
}
