#include "html/escape.h"

#include <gtest/gtest.h>

namespace kavo {
namespace {

constexpr const char* kFffd = "\xEF\xBF\xBD";

TEST(EscapeMarkupTest, MarkupCharactersBecomeEntities) {
    EXPECT_EQ(EscapeMarkup(R"("><script>x.jpg)"), "&quot;&gt;&lt;script&gt;x.jpg");
    // A name shows as it is, even one that looks like a reference.
    EXPECT_EQ(EscapeMarkup("Tom&amp;Jerry & R&D &lt;1&gt;"), "Tom&amp;amp;Jerry &amp; R&amp;D &amp;lt;1&amp;gt;");
    EXPECT_EQ(EscapeMarkup("it's 写真 😀"), "it's 写真 😀");
    EXPECT_EQ(EscapeMarkup(""), "");
}

TEST(EscapeMarkupTest, ControlCharactersBecomeReferences) {
    EXPECT_EQ(EscapeMarkup("a\nb\r\tc\x7F"), "a&#10;b&#13;&#9;c&#127;");
    EXPECT_EQ(EscapeMarkup(std::string_view("x\0y", 3)), "x&#0;y");
}

TEST(EscapeMarkupTest, BadUtf8ShowsReplacementCharacter) {
    EXPECT_EQ(EscapeMarkup("caf\xE9.jpg"), std::string("caf") + kFffd + ".jpg");
    // A cut sequence counts once; bytes that can never start a character count each.
    EXPECT_EQ(EscapeMarkup("\xE6\x97<"), std::string(kFffd) + "&lt;");
    EXPECT_EQ(EscapeMarkup("\xC0\xAF"), std::string(kFffd) + kFffd);
    // Surrogates and values above U+10FFFF are not characters.
    EXPECT_EQ(EscapeMarkup("\xED\xA0\x80"), std::string(kFffd) + kFffd + kFffd);
    EXPECT_EQ(EscapeMarkup("\xF4\x90\x80\x80"), std::string(kFffd) + kFffd + kFffd + kFffd);
    EXPECT_EQ(EscapeMarkup("\xF0\x9F\x98"), kFffd);
}

TEST(EscapeAddressTest, CharactersThatEndOrMangleAnAddress) {
    EXPECT_EQ(EscapeAddress("../photo#1.jpg"), "../photo%231.jpg");
    EXPECT_EQ(EscapeAddress("100%.jpg"), "100%25.jpg");
    EXPECT_EQ(EscapeAddress("a?b.jpg"), "a%3Fb.jpg");
    EXPECT_EQ(EscapeAddress("a\\b.jpg"), "a%5Cb.jpg");
    EXPECT_EQ(EscapeAddress("a\tb\n\x7F.jpg"), "a%09b%0A%7F.jpg");
    EXPECT_EQ(EscapeAddress("%23"), "%2523");
}

TEST(EscapeAddressTest, OtherCharactersStay) {
    // Markup characters are the writer's concern; the browser encodes spaces and non-ASCII itself.
    EXPECT_EQ(EscapeAddress(R"(../My Trip/写真 "x" <1>.JPG)"), R"(../My Trip/写真 "x" <1>.JPG)");
    EXPECT_EQ(EscapeAddress("😀/é.png"), "😀/é.png");
}

TEST(EscapeAddressTest, AmpersandsCannotStartAReference) {
    // Otherwise the browser reads a&amp;b.jpg as a&b.jpg and x&#65;.jpg as xA.jpg.
    EXPECT_EQ(EscapeAddress("a&amp;b.jpg"), "a%26amp;b.jpg");
    EXPECT_EQ(EscapeAddress("x&#65;.jpg"), "x%26%2365;.jpg");
}

TEST(EscapeAddressTest, BadUtf8BytesArePercentEncodedOneByOne) {
    EXPECT_EQ(EscapeAddress("caf\xE9.jpg"), "caf%E9.jpg");
    EXPECT_EQ(EscapeAddress("\xE6\x97.jpg"), "%E6%97.jpg");
    EXPECT_EQ(EscapeAddress("\xFF\xFE/写"), "%FF%FE/写");
}

}  // namespace
}  // namespace kavo
