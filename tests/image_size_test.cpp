#include "pictures/image_size.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "support/test_support.h"

namespace kavo {
namespace {

const std::string kPictures = std::string(KAVO_TEST_DATA) + "/pictures/";

/// What one opened file was asked for.
struct FileTally {
    size_t bytesRead = 0;
    int64_t bytesSkipped = 0;
    int reads = 0;
};

/// A file in memory that counts what the reader takes from it.
class CountingFile : public InputFile {
public:
    CountingFile(std::string data, FileTally& tally, size_t maxChunk, bool skipFails)
        : m_data(std::move(data)), m_tally(tally), m_maxChunk(maxChunk), m_skipFails(skipFails) {}

    size_t Read(void* buffer, size_t n) override {
        ++m_tally.reads;
        const size_t left = m_pos < m_data.size() ? m_data.size() - m_pos : 0;
        const size_t count = std::min({n, left, m_maxChunk});
        std::memcpy(buffer, m_data.data() + m_pos, count);
        m_pos += count;
        m_tally.bytesRead += count;
        return count;
    }
    bool Skip(int64_t n) override {
        if (m_skipFails || n < 0) {
            return false;
        }
        m_pos += static_cast<size_t>(n);  // past the end is allowed, as with a seek
        m_tally.bytesSkipped += n;
        return true;
    }

private:
    std::string m_data;
    FileTally& m_tally;
    size_t m_pos = 0;
    size_t m_maxChunk;
    bool m_skipFails;
};

/// Serves files from memory; everything but OpenRead is unused by the reader.
class MemoryFileSystem : public FileSystem {
public:
    void Add(const std::string& path, std::string data) { m_files[path] = std::move(data); }

    FileTally tally;
    size_t maxChunk = SIZE_MAX;  // a smaller value makes every Read come back short
    bool skipFails = false;
    int opens = 0;

    std::unique_ptr<InputFile> OpenRead(const std::string& path) override {
        ++opens;
        auto it = m_files.find(path);
        if (it == m_files.end()) {
            return nullptr;
        }
        return std::make_unique<CountingFile>(it->second, tally, maxChunk, skipFails);
    }

    bool ListFolder(const std::string&, std::vector<DirEntry>&, FolderId*) override { return false; }
    bool GetFolderId(const std::string&, FolderId&) override { return false; }
    int CheckFolder(const std::string&) override { return 76; }
    bool Exists(const std::string& path) override { return m_files.count(path) != 0; }
    bool CreateFolder(const std::string&, std::string*) override { return false; }
    bool WriteFileAtomic(const std::string&, std::string_view, std::string*) override { return false; }
    bool ReadPrefix(const std::string&, size_t, std::string&) override { return false; }
    bool RemoveFile(const std::string&) override { return false; }
    bool RenameFile(const std::string&, const std::string&) override { return false; }
    int CopyFile(const std::string&, const std::string&) override { return 76; }
    bool IsRegularFile(const std::string& path) override { return Exists(path); }

private:
    std::map<std::string, std::string> m_files;
};

struct Expected {
    const char* name;
    int32_t width;
    int32_t height;
};

// Sizes as make_pictures.sh draws them.
constexpr Expected kGoodPictures[] = {
    {"baseline.jpg", 33, 17},   {"progressive.jpg", 45, 29}, {"exif_large.jpg", 37, 21}, {"plain.png", 31, 19},
    {"interlaced.png", 27, 43}, {"palette.png", 39, 15},     {"plain.gif", 41, 23},      {"interlaced.gif", 29, 47},
    {"bottom_up.bmp", 35, 13},  {"top_down.bmp", 23, 11},    {"os2.bmp", 19, 7},
    // Over what stb would decode; the size is still the header's.
    {"claims_20000.png", 20000, 20000}, {"huge.png", 100000, 100000},
};

constexpr const char* kCorruptPictures[] = {"truncated.jpg", "empty.jpg", "random.png", "truncated.gif"};

class ImageSizeTest : public ::testing::Test {
protected:
    /// Loads a test picture into the memory file system under its own name.
    std::string Load(const std::string& name) {
        m_fs.Add(name, test::ReadFile(kPictures + name));
        return name;
    }

    /// Reads a size from bytes made up in the test.
    bool SizeOf(std::string bytes, PixelSize& size) {
        m_fs.Add("made.up", std::move(bytes));
        return ReadPixelSize(m_fs, "made.up", size);
    }

    MemoryFileSystem m_fs;
};

TEST_F(ImageSizeTest, SizesEveryTestPicture) {
    for (const Expected& e : kGoodPictures) {
        SCOPED_TRACE(e.name);
        PixelSize size;
        EXPECT_TRUE(ReadPixelSize(m_fs, Load(e.name), size));
        EXPECT_EQ(size.Width, e.width);
        EXPECT_EQ(size.Height, e.height);
    }
}

TEST_F(ImageSizeTest, SizesABitmapOfRunLengths) {
    // The header of a 300 × 200 RLE8 bitmap, which stb's own reader leaves out.
    std::string bmp("BM\0\0\0\0\0\0\0\0\x3E\0\0\0\x28\0\0\0\x2C\x01\0\0\xC8\0\0\0\x01\0\x08\0\x01\0\0\0", 34);
    bmp.resize(70, '\0');
    PixelSize size;
    EXPECT_TRUE(SizeOf(bmp, size));
    EXPECT_EQ(size.Width, 300);
    EXPECT_EQ(size.Height, 200);
}

TEST_F(ImageSizeTest, SizesThroughTheNativeFileSystem) {
    for (const Expected& e : kGoodPictures) {
        SCOPED_TRACE(e.name);
        PixelSize size;
        EXPECT_TRUE(ReadPixelSize(NativeFileSystem(), kPictures + e.name, size));
        EXPECT_EQ(size.Width, e.width);
        EXPECT_EQ(size.Height, e.height);
    }
}

TEST_F(ImageSizeTest, SizesWhenEveryReadComesBackShort) {
    m_fs.maxChunk = 3;
    for (const Expected& e : kGoodPictures) {
        SCOPED_TRACE(e.name);
        PixelSize size;
        EXPECT_TRUE(ReadPixelSize(m_fs, Load(e.name), size));
        EXPECT_EQ(size.Width, e.width);
        EXPECT_EQ(size.Height, e.height);
    }
}

TEST_F(ImageSizeTest, CorruptPicturesGiveNoSize) {
    for (const char* name : kCorruptPictures) {
        SCOPED_TRACE(name);
        PixelSize size{5, 5};
        EXPECT_FALSE(ReadPixelSize(m_fs, Load(name), size));
        EXPECT_EQ(size.Width, 0);
        EXPECT_EQ(size.Height, 0);
        size = {5, 5};
        EXPECT_FALSE(ReadPixelSize(NativeFileSystem(), kPictures + name, size));
        EXPECT_EQ(size.Width, 0);
        EXPECT_EQ(size.Height, 0);
    }
}

TEST_F(ImageSizeTest, HeaderCutShortGivesNoSize) {
    // Cut after the height's first byte the height still looks plausible; cut later the
    // remaining fields are missing. Either way the size is not to be trusted.
    const std::string gif = test::ReadFile(kPictures + "plain.gif");
    const std::string png = test::ReadFile(kPictures + "plain.png");
    const std::string bmp = test::ReadFile(kPictures + "bottom_up.bmp");
    for (const std::string& cut : {gif.substr(0, 9), gif.substr(0, 12), png.substr(0, 20), bmp.substr(0, 23)}) {
        PixelSize size;
        EXPECT_FALSE(SizeOf(cut, size)) << cut.size() << " bytes";
        EXPECT_EQ(size.Width, 0);
    }
}

TEST_F(ImageSizeTest, LargePngWithAnUnsoundHeaderGivesNoSize) {
    // Each field stb checks, spoilt in turn: the length of IHDR, its type, colour type,
    // bit depth, a 16-bit palette, compression, filter, interlace, a zero width.
    const std::string png = test::ReadFile(kPictures + "claims_20000.png");
    const std::pair<size_t, char> spoilt[] = {{11, 14}, {12, 'i'}, {25, 1},  {25, 7},  {24, 3},
                                              {24, 16}, {26, 1},   {27, 1},  {28, 2},  {16, 0}};
    for (const auto& [at, value] : spoilt) {
        std::string bytes = png;
        bytes[at] = value;
        if (at == 24 && value == 16)
            bytes[25] = 3;
        if (at == 16)
            bytes[17] = bytes[18] = bytes[19] = 0;
        PixelSize size;
        EXPECT_FALSE(SizeOf(bytes, size)) << "byte " << at << " set to " << int(value);
        EXPECT_EQ(size.Width, 0);
    }
}

TEST_F(ImageSizeTest, MissingFileOrFolderGivesNoSize) {
    PixelSize size{5, 5};
    EXPECT_FALSE(ReadPixelSize(m_fs, "nowhere.jpg", size));
    EXPECT_EQ(size.Width, 0);
    EXPECT_EQ(size.Height, 0);
    EXPECT_FALSE(ReadPixelSize(NativeFileSystem(), kPictures + "nowhere.jpg", size));

    // A folder named like a picture opens on POSIX, but reads nothing.
    test::TempDir dir;
    dir.MakeDir("Album.jpg");
    size = {5, 5};
    EXPECT_FALSE(ReadPixelSize(NativeFileSystem(), dir.str() + "Album.jpg", size));
    EXPECT_EQ(size.Width, 0);
    EXPECT_EQ(size.Height, 0);
}

TEST_F(ImageSizeTest, LargeExifBlockIsSkippedNotRead) {
    const std::string name = Load("exif_large.jpg");
    PixelSize size;
    ASSERT_TRUE(ReadPixelSize(m_fs, name, size));
    EXPECT_EQ(size.Width, 37);
    EXPECT_EQ(size.Height, 21);
    EXPECT_LE(m_fs.tally.bytesRead, 8192u);
    EXPECT_GE(m_fs.tally.bytesSkipped, 55000);
    EXPECT_LE(m_fs.tally.reads, 3);
}

TEST_F(ImageSizeTest, FailingSeekGivesNoSize) {
    m_fs.skipFails = true;
    PixelSize size;
    EXPECT_FALSE(ReadPixelSize(m_fs, Load("exif_large.jpg"), size));
    EXPECT_EQ(size.Width, 0);
    EXPECT_EQ(size.Height, 0);
}

TEST_F(ImageSizeTest, OtherFormatsAreNotSized) {
    PixelSize size;
    // TGA and PPM headers that stb could read if it were built with them.
    std::string tga(18, '\0');
    tga[2] = 2;
    tga[12] = 33;
    tga[14] = 17;
    tga[16] = 24;
    EXPECT_FALSE(SizeOf(tga + std::string(33 * 17 * 3, '\x7f'), size));
    EXPECT_FALSE(SizeOf("P6\n33 17\n255\n" + std::string(33 * 17 * 3, '\x7f'), size));
    EXPECT_FALSE(SizeOf("hello, this is text and no picture at all", size));
}

/// The smallest BMP header: file header and a 40-byte info header.
std::string BmpHeader(int32_t width, int32_t height) {
    std::string b = "BM";
    auto put32 = [&b](uint32_t v) {
        for (int i = 0; i < 4; ++i) {
            b.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
        }
    };
    put32(54);
    put32(0);
    put32(54);
    put32(40);
    put32(static_cast<uint32_t>(width));
    put32(static_cast<uint32_t>(height));
    b += std::string("\x01\x00\x18\x00", 4);
    for (int i = 0; i < 6; ++i) {
        put32(0);
    }
    return b + std::string(64, '\0');
}

TEST_F(ImageSizeTest, ImplausibleSidesGiveNoSize) {
    PixelSize size;
    EXPECT_TRUE(SizeOf(BmpHeader(3, -5), size));
    EXPECT_EQ(size.Width, 3);
    EXPECT_EQ(size.Height, 5);

    EXPECT_FALSE(SizeOf(BmpHeader(3, INT32_MIN), size));
    EXPECT_FALSE(SizeOf(BmpHeader(-3, 5), size));
    EXPECT_FALSE(SizeOf(BmpHeader(0, 5), size));
    EXPECT_FALSE(SizeOf(BmpHeader(0x7FFFFFFF, 5), size));
    EXPECT_EQ(size.Width, 0);
    EXPECT_EQ(size.Height, 0);
}

TEST_F(ImageSizeTest, JpegGarbageEndsWithoutHanging) {
    PixelSize size;
    // A run of fill bytes where markers should be, then the end.
    EXPECT_FALSE(SizeOf("\xFF\xD8" + std::string(100000, '\xFF'), size));
    // A marker whose length points far past the end.
    EXPECT_FALSE(SizeOf(std::string("\xFF\xD8\xFF\xE1\xFF\xFF", 6) + std::string(50, 'x'), size));
    // A marker length below its own two bytes.
    EXPECT_FALSE(SizeOf(std::string("\xFF\xD8\xFF\xE1\x00\x01", 6) + std::string(50, 'x'), size));
    // Fill bytes and a stray byte between segments, as some writers leave them.
    const std::string sof33x17("\xFF\xC0\x00\x0B\x08\x00\x11\x00\x21\x01\x01\x11\x00", 13);
    EXPECT_TRUE(SizeOf(std::string("\xFF\xD8\xFF\xFE\x00\x02\x00\xFF\xFF", 9) + sof33x17, size));
    EXPECT_EQ(size.Width, 33);
    EXPECT_EQ(size.Height, 17);
    // A Huffman table whose code counts add up to far more than 256 symbols is skipped unread.
    std::string dht("\xFF\xC4\x00\x13\x00", 5);
    dht += std::string(16, '\xFF');
    EXPECT_TRUE(SizeOf("\xFF\xD8" + dht + sof33x17, size));
    EXPECT_EQ(size.Width, 33);
    // Image data before any frame header.
    EXPECT_FALSE(SizeOf(std::string("\xFF\xD8\xFF\xDA\x00\x08", 6) + std::string(40, '\x11'), size));
    // A frame header with height 0 (to be given later by a DNL marker, which we do not follow).
    const std::string sof("\xFF\xD8\xFF\xC0\x00\x0B\x08\x00\x00\x00\x21\x01\x01\x11\x00", 15);
    EXPECT_FALSE(SizeOf(sof + std::string(32, '\0'), size));
    EXPECT_EQ(size.Width, 0);
    EXPECT_EQ(size.Height, 0);
}

}  // namespace
}  // namespace kavo

namespace kavo {
namespace {

std::string Segment(unsigned char marker, const std::string& body) {
    const size_t n = body.size() + 2;
    return std::string{'\xFF', static_cast<char>(marker), static_cast<char>(n >> 8), static_cast<char>(n)} + body;
}

const std::string kSof33x17("\xFF\xC0\x00\x0B\x08\x00\x11\x00\x21\x01\x01\x11\x00", 13);
using Entries = std::vector<std::array<uint32_t, 4>>;  // {tag, type, count, value}

/// A TIFF block in either byte order with IFD0 at `ifd`, linked to an IFD1 when one is given.
std::string Tiff(bool little, const Entries& ifd0, uint32_t ifd = 8, const Entries& ifd1 = {}) {
    std::string t = little ? "II" : "MM";
    auto put = [&](uint32_t v, int bytes) {
        for (int i = 0; i < bytes; ++i)
            t.push_back(static_cast<char>(v >> 8 * (little ? i : bytes - 1 - i)));
    };
    put(42, 2);
    put(ifd, 4);
    for (const Entries* entries : {&ifd0, &ifd1}) {
        put(static_cast<uint32_t>(entries->size()), 2);
        for (const auto& [tag, type, count, value] : *entries) {
            put(tag, 2);
            put(type, 2);
            put(count, 4);
            put(value << (type == 3 && !little ? 16 : 0), 4);  // a SHORT sits in the first two bytes
        }
        put(entries == &ifd0 && !ifd1.empty() ? static_cast<uint32_t>(t.size() + 4) : 0, 4);
    }
    return t;
}

std::string ExifJpeg(const std::string& tiff) {
    return "\xFF\xD8" + Segment(0xE1, std::string("Exif\0\0", 6) + tiff) + kSof33x17;
}

/// plain.png (31 × 19) with chunks {type, data} put in after IHDR, or before IEND; CRCs are not checked.
std::string PngWith(const std::vector<std::array<std::string, 2>>& chunks, bool afterImage = false) {
    std::string png = test::ReadFile(kPictures + "plain.png"), more;
    for (const auto& [type, data] : chunks) {
        const size_t n = data.size();
        more += std::string{static_cast<char>(n >> 24), static_cast<char>(n >> 16), static_cast<char>(n >> 8),
                            static_cast<char>(n)} + type + data + "CRC!";
    }
    return png.insert(afterImage ? png.size() - 12 : 33, more);
}

TEST_F(ImageSizeTest, QuarterTurnsSwapWidthAndHeightAsTheBrowserShowsThem) {
    PixelSize size;
    for (bool little : {true, false}) {
        auto oriented = [little](uint32_t o) { return Tiff(little, {{0x010F, 2, 4, 0}, {0x0112, 3, 1, o}}); };
        for (uint32_t o = 0; o <= 9; ++o) {
            const bool turned = o >= 5 && o <= 8;
            ASSERT_TRUE(SizeOf(ExifJpeg(oriented(o)), size));
            EXPECT_EQ(size.Width, turned ? 17 : 33) << (little ? "II " : "MM ") << o;
            EXPECT_EQ(size.Height, turned ? 33 : 17) << (little ? "II " : "MM ") << o;
        }
        // Not a single SHORT, IFD0 out of the block or cut off before the tag, the tag
        // only in IFD1, no byte order, not an Exif block: the header's size.
        for (const std::string& jpeg :
             {ExifJpeg(Tiff(little, {{0x0112, 4, 1, 6}})), ExifJpeg(Tiff(little, {{0x0112, 3, 2, 6}})),
              ExifJpeg(Tiff(little, {{0x0112, 3, 1, 6}}, 0xFFFFFFF0)), ExifJpeg(oriented(6).substr(0, 24)),
              ExifJpeg(Tiff(little, {{0x0100, 4, 1, 9}}, 8, {{0x0112, 3, 1, 6}})), ExifJpeg("IM" + oriented(6).substr(2)),
              "\xFF\xD8" + Segment(0xE1, std::string("XMP\0\0\0", 6) + oriented(6)) + kSof33x17}) {
            ASSERT_TRUE(SizeOf(jpeg, size));
            EXPECT_EQ(size.Width, 33);
        }
        // A PNG turns by an eXIf chunk before its image data, also one behind a long chunk.
        ASSERT_TRUE(SizeOf(PngWith({{"iCCP", std::string(20000, 'c')}, {"eXIf", oriented(8)}}), size));
        EXPECT_EQ(size.Width, 19);
        EXPECT_EQ(size.Height, 31);
        ASSERT_TRUE(SizeOf(PngWith({{"eXIf", oriented(6)}}, true), size));
        EXPECT_EQ(size.Width, 31);
    }
}

TEST_F(ImageSizeTest, ReadingEndsQuicklyOnBytesThatAreNoHeader) {
    PixelSize size;
    // A JPEG start and then zeros, as a huge sparse file reads; endless empty comments.
    EXPECT_FALSE(SizeOf("\xFF\xD8\xFF" + std::string(4 << 20, '\0'), size));
    EXPECT_LE(m_fs.tally.bytesRead, 80u * 1024);
    std::string comments = "\xFF\xD8";
    for (int i = 0; i < 100000; ++i)
        comments += Segment(0xFE, "");
    m_fs.tally = {};
    EXPECT_FALSE(SizeOf(comments + kSof33x17, size));
    EXPECT_LE(m_fs.tally.bytesRead, 80u * 1024);
    // Long segments are skipped, not read, and do not count; a quick read asks no cancel check.
    std::string camera = "\xFF\xD8";
    for (int i = 0; i < 100; ++i)
        camera += Segment(0xE2, std::string(60000, 'i'));
    m_fs.Add("camera.jpg", camera + kSof33x17);
    int asked = 0;
    EXPECT_TRUE(ReadPixelSize(m_fs, "camera.jpg", size, [&asked] { return ++asked > 0; }));
    EXPECT_EQ(size.Width, 33);
    EXPECT_EQ(asked, 0);

    test::TempDir dir;
    dir.Write("sparse.jpg", "\xFF\xD8\xFF");
    std::error_code ec;
    std::filesystem::resize_file(dir.path() / "sparse.jpg", uint64_t{1} << 40, ec);
    if (ec)
        GTEST_SKIP() << "no file of a terabyte here (Wine): " << ec.message();
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(ReadPixelSize(NativeFileSystem(), dir.str() + "sparse.jpg", size));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
}

}  // namespace
}  // namespace kavo
