#include "thumbs/thumbnails.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <thread>

#ifndef _WIN32
#include <jpeglib.h>

#include "support/progressive_bomb.h"
#endif

#include "support/test_support.h"
#include "thumbs/thumb_pixels.h"

namespace kavo {
namespace {

const std::string kPictures = std::string(KAVO_TEST_DATA) + "/pictures/";

// Pixels are looked at through libjpeg, which the Windows build does not have.
#ifdef _WIN32
constexpr bool kSeesPixels = false;
#else
constexpr bool kSeesPixels = true;
#endif

struct Rgb {
    int r, g, b;
};

/// Width, height and the colour at (x, y) of a JPEG, decoded by the system's library.
struct Decoded {
    int Width = 0, Height = 0;
    std::vector<unsigned char> Pixels;
    Rgb At(int x, int y) const {
        const unsigned char* p = &Pixels[(static_cast<size_t>(y) * Width + x) * 3];
        return {p[0], p[1], p[2]};
    }
};

Decoded Decode([[maybe_unused]] const std::string& jpeg) {
    Decoded d;
#ifndef _WIN32
    jpeg_decompress_struct cinfo;
    jpeg_error_mgr err;
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, reinterpret_cast<const unsigned char*>(jpeg.data()), jpeg.size());
    jpeg_read_header(&cinfo, TRUE);
    cinfo.out_color_space = JCS_RGB;
    jpeg_start_decompress(&cinfo);
    d.Width = static_cast<int>(cinfo.output_width);
    d.Height = static_cast<int>(cinfo.output_height);
    d.Pixels.resize(static_cast<size_t>(d.Width) * d.Height * 3);
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW row = d.Pixels.data() + static_cast<size_t>(cinfo.output_scanline) * d.Width * 3;
        jpeg_read_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
#endif
    return d;
}

bool Near(Rgb c, Rgb want) {
    return std::abs(c.r - want.r) < 40 && std::abs(c.g - want.g) < 40 && std::abs(c.b - want.b) < 40;
}

class ThumbnailMakerTest : public ::testing::Test {
protected:
    void SetUp() override {
        maker = NativeThumbnailMaker();
        if (!maker)
            GTEST_SKIP() << "no thumbnail maker on this platform";
    }
    ThumbResult Make(const std::string& picture, int32_t box) {
        return maker->Make(test::ReadFile(kPictures + picture), box, stop);
    }
    std::unique_ptr<ThumbnailMaker> maker;
    std::atomic<bool> stop{false};
};

TEST_F(ThumbnailMakerTest, TurnedByExifAtTwiceTheShownSizeWithTheColourProfile) {
    // 40 × 20, red left half and blue right half, orientation 6: shown 20 × 40, red on top.
    const ThumbResult r = Make("turned6.jpg", 10);
    ASSERT_EQ(r.Outcome, ThumbOutcome::Made);
    EXPECT_EQ(r.Width, 5);
    EXPECT_EQ(r.Height, 10);
    if (kSeesPixels) {
        const Decoded d = Decode(r.Jpeg);
        EXPECT_EQ(d.Width, 10);
        EXPECT_EQ(d.Height, 20);
        EXPECT_TRUE(Near(d.At(5, 2), {255, 0, 0}));
        EXPECT_TRUE(Near(d.At(5, 17), {0, 0, 255}));
    }
    std::string profile;
    for (int i = 0; i < 512; ++i)
        profile += static_cast<char>(i & 0xFF);
    EXPECT_NE(r.Jpeg.find(profile), std::string::npos);
    EXPECT_LT(r.Jpeg.find(kThumbnailComment), 64u);  // where a rerun looks for it
#ifndef _WIN32  // the system's codecs there are not asked for a PNG's profile
    EXPECT_NE(Make("profile.png", 10).Jpeg.find(profile), std::string::npos);
#endif
}

TEST_F(ThumbnailMakerTest, TransparencyOnWhiteAndTheFirstFrameOfAnAnimation) {
    if (!kSeesPixels)
        GTEST_SKIP() << "no JPEG decoder for the test itself";
    ThumbResult r = Make("alpha.png", 10);  // transparent left half, black right half
    ASSERT_EQ(r.Outcome, ThumbOutcome::Made);
    Decoded d = Decode(r.Jpeg);
    EXPECT_TRUE(Near(d.At(2, 5), {255, 255, 255}));
    EXPECT_TRUE(Near(d.At(d.Width - 3, 5), {0, 0, 0}));
    r = Make("animated.gif", 10);  // red, then green
    ASSERT_EQ(r.Outcome, ThumbOutcome::Made);
    d = Decode(r.Jpeg);
    EXPECT_TRUE(Near(d.At(d.Width / 2, d.Height / 2), {255, 0, 0}));
}

/// A GIF whose logical screen is 900 × 600 and whose one frame, 300 × 500 of
/// black, lies at its top left corner. Codes of 8 bits, each a byte, with a
/// clear code before the table would widen them.
std::string FrameSmallerThanItsScreen() {
    std::string gif("GIF89a\x84\x03\x58\x02\x80\0\0\0\0\0\xFF\xFF\xFF,\0\0\0\0\x2C\x01\xF4\x01\0\x07", 30);
    std::string codes;
    for (int left = 300 * 500; left > 0; left -= 100)
        codes += '\x80' + std::string(static_cast<size_t>(std::min(left, 100)), '\0');
    codes += '\x81';
    for (size_t at = 0; at < codes.size(); at += 255) {
        const std::string block = codes.substr(at, 255);
        gif += static_cast<char>(block.size());
        gif += block;
    }
    return gif + std::string("\0;", 2);
}

TEST_F(ThumbnailMakerTest, AGifIsItsFirstFrameOnItsScreen) {
    const ThumbResult r = maker->Make(FrameSmallerThanItsScreen(), 200, stop);
    ASSERT_EQ(r.Outcome, ThumbOutcome::Made);
    EXPECT_EQ(r.Width, 200);
    EXPECT_EQ(r.Height, 133);
    if (kSeesPixels) {
        const Decoded d = Decode(r.Jpeg);
        EXPECT_TRUE(Near(d.At(60, 100), {0, 0, 0}));
        EXPECT_TRUE(Near(d.At(300, 100), {255, 255, 255}));  // the screen beyond the frame: clear, on white
        EXPECT_TRUE(Near(d.At(60, 250), {255, 255, 255}));
    }
#ifndef _WIN32
    // Cut short amid its codes: shown as it is, not filled out pale.
    const std::string gif = FrameSmallerThanItsScreen();
    EXPECT_EQ(maker->Make(gif.substr(0, gif.size() / 2), 200, stop).Outcome, ThumbOutcome::Failed);
#endif
}

/// A 40 × 20 bitmap: `bits` 8 with run lengths (RLE8), or 32 with its fourth
/// bytes set to `fourth`. Left half red, right half blue.
std::string Bitmap(int bits, unsigned char fourth = 0) {
    const int width = 40, height = 20;
    std::string pixels;
    if (bits == 8) {
        for (int y = 0; y < height; ++y)
            pixels += std::string("\x14\x00\x14\x01\x00\x00", 6);  // 20 of red, 20 of blue, end of row
        pixels += std::string("\x00\x01", 2);
    } else {
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x)
                pixels += x < width / 2 ? std::string{'\0', '\0', '\xFF', static_cast<char>(fourth)}
                                        : std::string{'\xFF', '\0', '\0', static_cast<char>(fourth)};
        }
    }
    const std::string palette = bits == 8 ? std::string("\0\0\xFF\0\xFF\0\0\0", 8) : std::string();
    auto le = [](uint32_t v, int n) {
        std::string s;
        for (int i = 0; i < n; ++i)
            s += static_cast<char>(v >> (8 * i));
        return s;
    };
    const uint32_t offset = 54 + static_cast<uint32_t>(palette.size());
    return "BM" + le(offset + static_cast<uint32_t>(pixels.size()), 4) + le(0, 4) + le(offset, 4) + le(40, 4) +
           le(width, 4) + le(height, 4) + le(1, 2) + le(static_cast<uint32_t>(bits), 2) + le(bits == 8 ? 1 : 0, 4) +
           le(static_cast<uint32_t>(pixels.size()), 4) + le(2835, 4) + le(2835, 4) + le(bits == 8 ? 2 : 0, 4) +
           le(0, 4) + palette + pixels;
}

TEST_F(ThumbnailMakerTest, BitmapsTopDownWithRunLengthsOrAnUnusedFourthByte) {
    ThumbResult r;
#ifndef _WIN32  // the system's codec under Wine does not read it
    r = Make("top_down.bmp", 10);  // 23 × 11
    EXPECT_EQ(r.Outcome, ThumbOutcome::Made);
    EXPECT_EQ(r.Width, 10);
    EXPECT_EQ(r.Height, 5);
#endif
    for (const std::string& bmp : {Bitmap(8), Bitmap(32, 0x10)}) {
        r = maker->Make(bmp, 10, stop);
        ASSERT_EQ(r.Outcome, ThumbOutcome::Made);
        EXPECT_EQ(r.Width, 10);
        EXPECT_EQ(r.Height, 5);
        if (kSeesPixels) {
            const Decoded d = Decode(r.Jpeg);  // 20 × 10: drawn opaque, as browsers draw them
            EXPECT_TRUE(Near(d.At(3, 5), {255, 0, 0}));
            EXPECT_TRUE(Near(d.At(16, 5), {0, 0, 255}));
        }
    }
    // Cut short in its runs: shown as it is.
    const std::string rle = Bitmap(8);
    EXPECT_EQ(maker->Make(rle.substr(0, rle.size() - 40), 10, stop).Outcome, ThumbOutcome::Failed);
}

TEST_F(ThumbnailMakerTest, SmallPicturesStayAndDamagedOrHugeOnesFailFast) {
    ThumbResult r = Make("baseline.jpg", 50);  // 33 × 17
    EXPECT_EQ(r.Outcome, ThumbOutcome::Small);
    EXPECT_EQ(r.Width, 33);
    EXPECT_EQ(r.Height, 17);
    EXPECT_TRUE(r.Jpeg.empty());
    // Headers that claim 4000 x 4000 pixels (within the bound) of files of a few bytes.
    std::string bmp = test::ReadFile(kPictures + "bottom_up.bmp").substr(0, 200);
    bmp.replace(18, 8, std::string("\xA0\x0F\0\0\xA0\x0F\0\0", 8));
    // Screen and image 4000 x 4000, two colours, one short block of LZW codes.
    const std::string gif("GIF89a\xA0\x0F\xA0\x0F\x80\0\0\0\0\0\xFF\xFF\xFF"
                          ",\0\0\0\0\xA0\x0F\xA0\x0F\0\x02\x02\x44\x01\0;", 35);
    for (const std::string& bad : {test::ReadFile(kPictures + "huge.png"), test::ReadFile(kPictures + "truncated.jpg"),
                                   test::ReadFile(kPictures + "random.png"), std::string(), bmp, gif,
                                   test::ReadFile(kPictures + "truncated.gif")}) {
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(maker->Make(bad, 10, stop).Outcome, ThumbOutcome::Failed) << bad.substr(0, 3);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(50)) << bad.substr(0, 3);
    }
    EXPECT_EQ(Make("interlaced.png", 10).Outcome, ThumbOutcome::Made);
    stop = true;
    EXPECT_EQ(Make("turned6.jpg", 10).Outcome, ThumbOutcome::Failed);
    EXPECT_EQ(Make("interlaced.png", 10).Outcome, ThumbOutcome::Failed);
}

#ifndef _WIN32
double ThreadCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + t.tv_nsec / 1e9;
}

TEST_F(ThumbnailMakerTest, APictureBuiltToTakeForeverEndsSoonAndACancelActsAmidAnyPicture) {
    // Tens of thousands of repeated scans in 3 MB: without a bound, hours of work.
    const std::string bomb = test::ProgressiveBomb(2048, 2048, 190000);
    EXPECT_GT(bomb.size(), 2'000'000u);
    // Its share of the memory budget: every coefficient, 2 bytes a pixel, though decoded at 1/8.
    EXPECT_GT(DecodeMemory(bomb, 200), 2048u * 2048 * 2);
    EXPECT_LT(DecodeMemory(test::ReadFile(kPictures + "baseline.jpg"), 200), 4u << 20);
    EXPECT_EQ(DecodeMemory(bomb.substr(0, 20), 200), kUnknownNeed);
    EXPECT_GT(DecodeMemory(test::ReadFile(kPictures + "huge.png"), 200), kDecodeBudget);
    double cpu = ThreadCpuSeconds();
    EXPECT_EQ(maker->Make(bomb, 200, stop).Outcome, ThumbOutcome::Failed);
    cpu = ThreadCpuSeconds() - cpu;
    EXPECT_LT(cpu, 1.0);

    // Scans within reason but many blocks: a long decode, stopped mid-way.
    const std::string slow = test::ProgressiveBomb(3000, 3000, 60);
    for (int wait : {0, 30}) {
        std::atomic<bool> cancel{false};
        std::chrono::steady_clock::time_point asked;
        std::thread stopper([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(wait));
            asked = std::chrono::steady_clock::now();
            cancel = true;
        });
        EXPECT_EQ(maker->Make(slow, 200, cancel).Outcome, ThumbOutcome::Failed);
        const auto answered = std::chrono::steady_clock::now();
        stopper.join();
        EXPECT_LT(answered - asked, std::chrono::milliseconds(100));
    }
    // The same picture whole, for scale: it is a real picture, not a failing one.
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(maker->Make(slow, 200, stop).Outcome, ThumbOutcome::Made);
    std::printf("slow picture whole: %.0f ms\n",
                std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
}
#endif

TEST(ThumbnailMarkers, OrientationAndAProfileLargerThanOneSegmentCarriedOver) {
    const std::string jpeg = test::ReadFile(kPictures + "turned6.jpg");
    EXPECT_EQ(OrientationOf(jpeg), 6);
    EXPECT_EQ(JpegColourProfile(jpeg).size(), 512u);
    EXPECT_EQ(OrientationOf(test::ReadFile(kPictures + "plain.png")), 0);
    std::vector<unsigned char> big(150000);
    for (size_t i = 0; i < big.size(); ++i)
        big[i] = static_cast<unsigned char>(i * 7);
    const std::string plain = test::ReadFile(kPictures + "baseline.jpg");
    const std::string out = WithCommentAndProfile(plain, big);
    EXPECT_EQ(JpegColourProfile(out), big);  // three segments, in order
    EXPECT_LT(out.find(kThumbnailComment), 64u);
    EXPECT_EQ(out.substr(out.size() - plain.size() + 2), plain.substr(2));
}

TEST(ThumbnailSizes, FitKeepsTheAspectAndNeverEnlarges) {
    int32_t w = 0, h = 0;
    FitInto(4608, 1976, 200, w, h);
    EXPECT_EQ(w, 200);
    EXPECT_EQ(h, 86);
    FitInto(1976, 4608, 200, w, h);
    EXPECT_EQ(w, 86);
    EXPECT_EQ(h, 200);
    FitInto(100, 200, 200, w, h);
    EXPECT_EQ(w, 100);
    EXPECT_EQ(h, 200);
    FitInto(5000, 1, 50, w, h);
    EXPECT_EQ(h, 1);
}

TEST(ThumbnailRecord, RoundTripsAnyPathAndDropsWhatIsNotOurs) {
    std::map<std::string, ThumbRecordEntry> entries;
    entries["a\tb\\c\nd.jpg"] = {{123, -4567890123, 77, 5, 1ULL << 60}, 200, ThumbOutcome::Made, 200, 86,
                                   "0123456789abcdef.jpg", {5000, 42}};
    entries["sub/small.gif"] = {{9, 1, 1, 1, 1}, 200, ThumbOutcome::Small, 20, 10, "", {}};
    entries["broken.png"] = {{7, 2, 2, 2, 2}, 300, ThumbOutcome::Failed, 31, 17, "", {}};
    const std::string text = FormatThumbRecord(entries);
    std::map<std::string, ThumbRecordEntry> back;
    ASSERT_TRUE(ParseThumbRecord(text, back));
    ASSERT_EQ(back.size(), 3u);
    const ThumbRecordEntry& e = back["a\tb\\c\nd.jpg"];
    EXPECT_EQ(e.Stamp, (FileIdentity{123, -4567890123, 77, 5, 1ULL << 60}));
    EXPECT_EQ(e.Thumb, (FileStamp{5000, 42}));
    EXPECT_EQ(e.Outcome, ThumbOutcome::Made);
    EXPECT_EQ(e.Name, "0123456789abcdef.jpg");
    EXPECT_EQ(back["broken.png"].Box, 300);
    EXPECT_EQ(back["broken.png"].Width, 31);  // the header's size, so the page needs no second look

    // Read in pieces of any length, as from a record too large to hold whole.
    for (size_t piece : {1, 7, 64}) {
        std::map<std::string, ThumbRecordEntry> pieces;
        ThumbRecordReader reader(pieces);
        for (size_t at = 0; at < text.size(); at += piece)
            reader.Feed(std::string_view(text).substr(at, piece));
        ASSERT_TRUE(reader.Ok());
        EXPECT_EQ(FormatThumbRecord(pieces), text);
    }

    EXPECT_FALSE(ParseThumbRecord("notes of my own\n", back));
    EXPECT_FALSE(ParseThumbRecord(std::string(100000, 'x'), back));
    // A line cut short and a name that could lead out of the folder are left out.
    ASSERT_TRUE(ParseThumbRecord(text.substr(0, text.size() - 3), back));
    EXPECT_EQ(back.size(), 2u);
    ASSERT_TRUE(ParseThumbRecord("Kavo thumbnails 2\n1\t2\t3\t4\t4\t200\tT\t1\t1\t5\t6\t../../x.jpg\tp.jpg\n", back));
    EXPECT_TRUE(back.empty());
    // An earlier version's record is read; its entries match no picture and are made again under their names.
    ASSERT_TRUE(ParseThumbRecord("Kavo thumbnails 1\n1\t2\t200\tT\t1\t1\t0123456789abcdef.jpg\tp.jpg\n", back));
    EXPECT_EQ(back["p.jpg"].Name, "0123456789abcdef.jpg");
}

TEST(ThumbnailNames, OnlyOurFormInsideACatalogueIsRecognised) {
    EXPECT_EQ(ThumbnailName("a.jpg"), "4c079bb53aa9b7c1.jpg");
    EXPECT_TRUE(IsThumbnailFile("/p/kavo/thumbs/", "4c079bb53aa9b7c1.jpg"));
    EXPECT_TRUE(IsThumbnailFile("C:\\p\\Kavo\\thumbs\\", "4c079bb53aa9b7c1-2.jpg"));
    EXPECT_FALSE(IsThumbnailFile("/p/kavo/thumbs/", "4C079BB53AA9B7C1.jpg"));
    EXPECT_FALSE(IsThumbnailFile("/p/kavo/thumbs/", "4c079bb53aa9b7c1-.jpg"));
    EXPECT_FALSE(IsThumbnailFile("/p/kavo/thumbs/", "holiday.jpg"));
    EXPECT_FALSE(IsThumbnailFile("/p/thumbs/", "4c079bb53aa9b7c1.jpg"));
}

}  // namespace
}  // namespace kavo
