#include "base/encoding.h"

#include <gtest/gtest.h>

#include <string>

#ifdef _WIN32
#include "fs/wide_text.h"
#include "fs/windows_api.h"
#else
#include <iconv.h>
#endif

namespace kavo {
namespace {

/// CP932 back to UTF-8, independent of the code under test.
std::string FromCp932(const std::string& bytes) {
#ifdef _WIN32
    if (bytes.empty())
        return {};
    std::wstring wide(bytes.size(), L'\0');
    const int n = ::MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, bytes.data(), static_cast<int>(bytes.size()),
                                        wide.data(), static_cast<int>(wide.size()));
    if (n <= 0)
        return "<not CP932>";
    wide.resize(static_cast<size_t>(n));
    return Utf8FromWide(wide);
#else
    iconv_t cd = iconv_open("UTF-8", "CP932");
    if (cd == reinterpret_cast<iconv_t>(-1))
        return "<no converter>";
    std::string in = bytes;
    std::string out(bytes.size() * 3 + 4, '\0');
    char* inPtr = in.data();
    size_t inLeft = in.size();
    char* outPtr = out.data();
    size_t outLeft = out.size();
    const size_t r = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
    iconv_close(cd);
    if (r == static_cast<size_t>(-1))
        return "<not CP932>";
    out.resize(out.size() - outLeft);
    return out;
#endif
}

TEST(EncodingTest, Cp932AsciiAndJapanese) {
    EXPECT_EQ(ToCp932(""), "");
    EXPECT_EQ(ToCp932("<HTML>\r\n"), "<HTML>\r\n");
    EXPECT_EQ(ToCp932(std::string_view("a\0b", 3)), std::string("a\0b", 3));
    EXPECT_EQ(ToCp932("\u3000"), "\x81\x40");
    EXPECT_EQ(ToCp932("５秒後に"), "\x82\x54\x95\x62\x8C\xE3\x82\xC9");
    EXPECT_EQ(ToCp932("画像／ページ"), "\x89\xE6\x91\x9C\x81\x5E\x83\x79\x81\x5B\x83\x57");
    EXPECT_EQ(ToCp932("← 前"), "\x81\xA9 \x91\x4F");
    EXPECT_EQ(ToCp932("～"), "\x81\x60");
}

TEST(EncodingTest, Cp932PageLiteralsConvertWithoutReferences) {
    for (const char* text :
         {"ページ： ", "次 →", "このコメント文は削除しないでください", "フレーム機能がないと見られないページです。",
          "検索フォルダ", "使用していません", "１ページ目へジャンプします。", "絵", "目次",
          "// マウスが通過したときにイメージを変えるための関数", "別のフレームからページ番号を受け取る"}) {
        const std::string bytes = ToCp932(text);
        EXPECT_EQ(bytes.find("&#"), std::string::npos) << text;
        EXPECT_EQ(FromCp932(bytes), text);
    }
}

TEST(EncodingTest, Cp932MissingCharactersBecomeReferences) {
    EXPECT_EQ(ToCp932("é"), "&#233;");
    EXPECT_EQ(ToCp932("Café.jpg"), "Caf&#233;.jpg");
    EXPECT_EQ(ToCp932("한국"), "&#54620;&#44397;");
    EXPECT_EQ(ToCp932("😀x"), "&#128512;x");
    EXPECT_EQ(ToCp932("写真😀한"), "\x8E\xCA\x90\x5E&#128512;&#54620;");
}

TEST(EncodingTest, Cp932OneWayMappingsBecomeReferences) {
    // Codes that read back as another character are not exact: the systems'
    // converters differ on them, and the page must not change its text.
    EXPECT_EQ(ToCp932("¥‾"), "&#165;&#8254;");
    EXPECT_EQ(ToCp932("‖〜−"), "&#8214;&#12316;&#8722;");
    EXPECT_EQ(ToCp932("¢£¬—¦"), "&#162;&#163;&#172;&#8212;&#166;");
    // Their look-alikes that CP932 holds, and characters with two codes, of which the first is written.
    EXPECT_EQ(ToCp932("∥～－￠￡￢―"), "\x81\x61\x81\x60\x81\x7C\x81\x91\x81\x92\x81\xCA\x81\x5C");
    EXPECT_EQ(ToCp932("≒∵ⅰ纊￤∑"), "\x81\xE0\x81\xE6\xFA\x40\xFA\x5C\xFA\x55\x87\x94");
    for (const char* text : {"∥～－￠￡￢―", "≒∵ⅰ纊￤∑", "\\~"})
        EXPECT_EQ(FromCp932(ToCp932(text)), text);
}

TEST(EncodingTest, Cp932BadBytesBecomeReplacementReferences) {
    EXPECT_EQ(ToCp932("a\xFF"), "a&#65533;");
    EXPECT_EQ(ToCp932("\xE6\x97"), "&#65533;");
    EXPECT_EQ(ToCp932("\xC0\xAF写"), "&#65533;&#65533;\x8E\xCA");
}

TEST(EncodingTest, Cp932LongTextConvertsInOnePiece) {
    // Over a megabyte, mixing what converts with what becomes references.
    const std::string unit = "画像／ページ é 😀 abc\r\n";
    const std::string unitBytes = "\x89\xE6\x91\x9C\x81\x5E\x83\x79\x81\x5B\x83\x57 &#233; &#128512; abc\r\n";
    std::string text, expected;
    while (text.size() < (1u << 20)) {
        text += unit;
        expected += unitBytes;
    }
    EXPECT_EQ(ToCp932(text), expected);

    const std::string hangul = [] {
        std::string s;
        while (s.size() < (1u << 20))
            s += "한";
        return s;
    }();
    const std::string converted = ToCp932(hangul);
    EXPECT_EQ(converted.size(), hangul.size() / 3 * std::string("&#54620;").size());
}

TEST(EncodingTest, Cp932CharactersAcrossRunBoundaries) {
    // Runs are cut somewhere in a long text; a character there must come out whole.
    for (size_t prefix = (1u << 16) - 4; prefix <= (1u << 16) + 1; ++prefix) {
        const std::string text = std::string(prefix, 'a') + "写한\xFF写";
        EXPECT_EQ(ToCp932(text), std::string(prefix, 'a') + "\x8E\xCA&#54620;&#65533;\x8E\xCA") << prefix;
    }
}

TEST(EncodingTest, SanitizeReplacesOnlyBadSequences) {
    EXPECT_EQ(SanitizeUtf8("写真 é 😀"), "写真 é 😀");
    EXPECT_EQ(SanitizeUtf8("a\xFF"
                           "b\xE6\x97"),
              "a\xEF\xBF\xBD"
              "b\xEF\xBF\xBD");
    EXPECT_EQ(SanitizeUtf8("\xE0\x80\x80"), "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD");  // overlong
    EXPECT_EQ(SanitizeUtf8(""), "");
}

}  // namespace
}  // namespace kavo
