#include "pictures/image_size.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <climits>
#include <cstring>

// PNG, GIF and BMP headers are read by stb (compiled in stb_image.cpp, without
// its JPEG reader); JPEG needs only a marker walk. Nothing here decodes pixels.
#include <stb_image.h>

namespace kavo {

namespace {

/// Larger sides are not believed: stb refuses them as well.
constexpr int kMaxSide = 1 << 24;

/// Bytes the readers may take one by one (marker hunts, segment and chunk
/// headers) before a picture is given up: a sparse file that starts like a
/// JPEG would otherwise be read to its end. Skipped segments do not count.
constexpr size_t kMaxHeaderBytes = 64 * 1024;

/// How much of an EXIF block is looked at: IFD0 right after the TIFF header,
/// well inside the first read. The rest (a MakerNote, a thumbnail) is skipped.
constexpr size_t kExifWindow = 2048;

/// Serves small reads from a 4 KB buffer filled by one Read each time, and
/// turns long skips (the EXIF block of a camera picture) into seeks.
class HeaderStream {
public:
    HeaderStream(InputFile& file, const CancelCheck& cancelled)
        : m_file(file), m_cancelled(cancelled), m_lastPoll(std::chrono::steady_clock::now()) {}

    /// The next n bytes without taking them; null when the file is shorter.
    const unsigned char* Peek(size_t n) {
        Want(n);
        return m_end - m_pos >= n ? m_buffer.data() + m_pos : nullptr;
    }

    /// Up to n of the next bytes without taking them; returns how many there are.
    size_t PeekUpTo(size_t n, const unsigned char*& p) {
        Want(n);
        p = m_buffer.data() + m_pos;
        return std::min(n, m_end - m_pos);
    }

    /// The next byte, or -1 at the end or once the header budget is spent.
    int Get() {
        Want(1);
        if (m_pos == m_end || !Spend(1)) {
            m_readPastEnd = true;
            return -1;
        }
        return m_buffer[m_pos++];
    }

    /// The next two bytes, high byte first, or -1 at the end.
    int Get16() {
        const int high = Get();
        const int low = Get();
        return low < 0 || high < 0 ? -1 : (high << 8) | low;
    }

    void Skip(int64_t n) {
        if (n <= 0) {
            return;
        }
        const size_t buffered = m_end - m_pos;
        if (static_cast<uint64_t>(n) <= buffered) {
            m_pos += static_cast<size_t>(n);
            return;
        }
        m_origin += m_end + static_cast<uint64_t>(n - static_cast<int64_t>(buffered));
        m_pos = m_end = 0;
        if (!m_atEnd && (GivenUp() || !m_file.Skip(n - static_cast<int64_t>(buffered)))) {
            m_atEnd = true;
        }
    }

    /// Takes n bytes from the header budget; false once it is spent.
    bool Spend(size_t n) {
        if (n > m_budget) {
            m_budget = 0;
            return false;
        }
        m_budget -= n;
        return true;
    }

    /// Goes back to a file offset whose bytes are still buffered; false when they are not.
    bool Rewind(uint64_t offset) {
        if (offset < m_origin || offset > m_origin + m_end) {
            return false;
        }
        m_pos = static_cast<size_t>(offset - m_origin);
        return true;
    }

    /// True once bytes past the end were asked for: the fields read are then not the file's.
    bool ReadPastEnd() const { return m_readPastEnd; }

    static const stbi_io_callbacks kCallbacks;

private:
    static int ReadCallback(void* user, char* data, int size) {
        return static_cast<HeaderStream*>(user)->ReadSome(data, size);
    }
    // stb ungets nothing through this callback; a negative count is ignored.
    static void SkipCallback(void* user, int n) { static_cast<HeaderStream*>(user)->Skip(n); }
    static int EofCallback(void* user) { return static_cast<HeaderStream*>(user)->AtEnd() ? 1 : 0; }

    int ReadSome(char* data, int size) {
        if (size <= 0) {
            return 0;
        }
        // stb rewinds to the start of its first buffer after a failed format test,
        // so that first buffer must be whole even when the file returns short reads.
        Want(static_cast<size_t>(size));
        const size_t n = std::min(static_cast<size_t>(size), m_end - m_pos);
        if (n == 0 || !Spend(n)) {
            m_readPastEnd = true;
            return 0;
        }
        std::memcpy(data, m_buffer.data() + m_pos, n);
        m_pos += n;
        return static_cast<int>(n);
    }

    bool AtEnd() {
        Want(1);
        return m_pos == m_end;
    }

    /// Tops the buffer up until n bytes are buffered or the file ends.
    void Want(size_t n) {
        n = std::min(n, m_buffer.size());
        while (m_end - m_pos < n && !m_atEnd) {
            if (m_pos > 0) {
                std::memmove(m_buffer.data(), m_buffer.data() + m_pos, m_end - m_pos);
                m_origin += m_pos;
                m_end -= m_pos;
                m_pos = 0;
            }
            const size_t got = GivenUp() ? 0 : m_file.Read(m_buffer.data() + m_end, m_buffer.size() - m_end);
            if (got == 0) {
                m_atEnd = true;
            }
            m_end += std::min(got, m_buffer.size() - m_end);
        }
    }

    /// True once the budget is spent or the cancel check, asked at most every
    /// kCancelPoll, says stop: the file then reads as ended.
    bool GivenUp() {
        if (m_budget == 0) {
            return true;
        }
        if (!m_cancelled) {
            return false;
        }
        const auto now = std::chrono::steady_clock::now();
        if (now - m_lastPoll < kCancelPoll) {
            return false;
        }
        m_lastPoll = now;
        if (m_cancelled()) {
            m_budget = 0;
        }
        return m_budget == 0;
    }

    InputFile& m_file;
    const CancelCheck& m_cancelled;
    std::chrono::steady_clock::time_point m_lastPoll;
    size_t m_budget = kMaxHeaderBytes;
    uint64_t m_origin = 0;  // the file offset of m_buffer[0]
    std::array<unsigned char, 4096> m_buffer{};
    size_t m_pos = 0;
    size_t m_end = 0;
    bool m_atEnd = false;
    bool m_readPastEnd = false;
};

const stbi_io_callbacks HeaderStream::kCallbacks = {&HeaderStream::ReadCallback, &HeaderStream::SkipCallback,
                                                    &HeaderStream::EofCallback};

/// Orientations 5 to 8 turn the picture by a quarter: the browser shows it with width and height swapped.
bool TurnsByQuarter(int orientation) {
    return orientation >= 5 && orientation <= 8;
}

/// Looks at the start of an EXIF block of `length` bytes at the stream's position without taking it.
int PeekExifOrientation(HeaderStream& in, size_t length) {
    const unsigned char* p = nullptr;
    const size_t n = in.PeekUpTo(std::min(length, kExifWindow), p);
    return ExifOrientation(p, n);
}

bool IsFrameHeader(int marker) {
    // SOF0 to SOF15 except DHT (C4), JPG (C8) and DAC (CC), which share the range.
    return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

/// Walks the segments after SOI up to the frame header, skipping each by its
/// length; the first EXIF block (APP1 "Exif\0") gives the orientation.
bool ReadJpegSize(HeaderStream& in, int& width, int& height, int& orientation) {
    bool exifSeen = false;
    in.Skip(2);  // SOI
    for (;;) {
        int byte = in.Get();
        // Bytes between segments are not allowed, but some writers leave them; look for the next marker.
        while (byte >= 0 && byte != 0xFF) {
            byte = in.Get();
        }
        int marker = in.Get();
        while (marker == 0xFF) {  // fill bytes
            marker = in.Get();
        }
        if (marker < 0 || marker == 0xD9 || marker == 0xDA) {
            return false;  // the end, or image data before any frame header
        }
        if (marker == 0x00 || marker == 0x01 || (marker >= 0xD0 && marker <= 0xD8)) {
            continue;  // no length follows
        }
        int length = in.Get16();
        if (length < 2) {
            return false;
        }
        if (IsFrameHeader(marker)) {
            if (length < 8) {
                return false;
            }
            in.Get();  // sample precision
            height = in.Get16();
            width = in.Get16();
            // A height of 0 is given later by a DNL segment, which is not followed here.
            return !in.ReadPastEnd() && width > 0 && height > 0;
        }
        if (marker == 0xE1 && !exifSeen) {
            const unsigned char* p = nullptr;
            if (length >= 8 && in.PeekUpTo(6, p) == 6 && std::memcmp(p, "Exif", 5) == 0) {
                exifSeen = true;  // the sixth byte is padding, whatever its value
                in.Skip(6);
                orientation = PeekExifOrientation(in, static_cast<size_t>(length) - 8);
                length -= 6;
            }
        }
        in.Skip(length - 2);
    }
}

/// A big-endian 32-bit number, as PNG writes lengths and sizes.
uint32_t Be32(const unsigned char* p) {
    return static_cast<uint32_t>(p[0]) << 24 | p[1] << 16 | p[2] << 8 | p[3];
}

/// The orientation of an eXIf chunk among the chunks between IHDR (which ends
/// at offset 33) and the image data; 0 when there is none.
int ReadPngOrientation(HeaderStream& in) {
    if (!in.Rewind(33)) {
        return 0;  // stb skipped past it; only a paletted PNG with long chunks gets here
    }
    for (;;) {
        const unsigned char* h = in.Peek(8);
        if (h == nullptr || !in.Spend(8) || std::memcmp(h + 4, "IDAT", 4) == 0 || std::memcmp(h + 4, "IEND", 4) == 0) {
            return 0;
        }
        const uint32_t length = Be32(h);
        const bool exif = std::memcmp(h + 4, "eXIf", 4) == 0;
        in.Skip(8);
        if (exif) {
            return PeekExifOrientation(in, length);
        }
        in.Skip(static_cast<int64_t>(length) + 4);  // the data and its CRC
    }
}

/// stb leaves out bitmaps of run lengths (RLE8, RLE4); their header is that of any other.
bool ReadRunLengthBmpSize(HeaderStream& in, int& width, int& height) {
    const unsigned char* p = in.Rewind(0) ? in.Peek(34) : nullptr;
    if (p == nullptr || p[0] != 'B' || p[1] != 'M')
        return false;
    auto le = [p](size_t at, int count) {
        uint32_t v = 0;
        for (int i = count - 1; i >= 0; --i)
            v = v << 8 | p[at + i];
        return v;
    };
    const uint32_t compression = le(30, 4), bits = le(28, 2);
    if (le(14, 4) < 40 || !((compression == 1 && bits == 8) || (compression == 2 && bits == 4)))
        return false;
    width = static_cast<int32_t>(le(18, 4));
    height = static_cast<int32_t>(le(22, 4));
    return true;
}

/// stb refuses a PNG whose pixels would take over 1 GB decoded, though its IHDR
/// is sound: a scan or a map of 20000 x 20000 still has a size to show.
bool ReadLargePngSize(HeaderStream& in, int& width, int& height) {
    const unsigned char* p = in.Rewind(0) ? in.Peek(29) : nullptr;
    if (p == nullptr || std::memcmp(p + 8, "\0\0\0\x0DIHDR", 8) != 0)
        return false;
    const uint32_t w = Be32(p + 16), h = Be32(p + 20);
    const unsigned depth = p[24], colour = p[25];
    static constexpr unsigned kChannels[7] = {1, 0, 3, 4, 2, 0, 4};  // by colour type; a palette counts as stb counts it
    if (w == 0 || h == 0 || w > kMaxSide || h > kMaxSide || colour > 6 || kChannels[colour] == 0 ||
        !(depth == 1 || depth == 2 || depth == 4 || depth == 8 || depth == 16) || (colour == 3 && depth == 16) ||
        p[26] != 0 || p[27] != 0 || p[28] > 1 ||
        (1u << 30) / w / kChannels[colour] >= h)  // within stb's limit: stb's refusal had another reason
        return false;
    width = static_cast<int>(w);
    height = static_cast<int>(h);
    return true;
}

enum class Signature { None, Jpeg, Png, Other };

Signature SignatureOf(const unsigned char* p) {
    static constexpr unsigned char kPng[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (p[0] == 0xFF && p[1] == 0xD8 && p[2] == 0xFF) {
        return Signature::Jpeg;
    }
    if (std::memcmp(p, kPng, sizeof kPng) == 0) {
        return Signature::Png;
    }
    if (std::memcmp(p, "GIF87a", 6) == 0 ||
        std::memcmp(p, "GIF89a", 6) == 0 || (p[0] == 'B' && p[1] == 'M')) {
        return Signature::Other;
    }
    return Signature::None;
}

}  // namespace

// Every offset comes from the file, so each is checked against
// `size` before use; entries cut off by the end of the block are not read.
int ExifOrientation(const unsigned char* tiff, size_t size) {
    if (size < 8 || tiff[0] != tiff[1] || (tiff[0] != 'I' && tiff[0] != 'M')) {
        return 0;
    }
    const bool little = tiff[0] == 'I';
    auto u16 = [&](size_t at) -> uint32_t {
        return little ? tiff[at] | tiff[at + 1] << 8 : tiff[at] << 8 | tiff[at + 1];
    };
    auto u32 = [&](size_t at) -> uint32_t {
        return little ? u16(at) | u16(at + 2) << 16 : u16(at) << 16 | u16(at + 2);
    };
    if (u16(2) != 42) {
        return 0;
    }
    const size_t ifd = u32(4);
    if (ifd > size - 2) {
        return 0;
    }
    const size_t count = u16(ifd);
    for (size_t entry = ifd + 2; entry < ifd + 2 + 12 * count && entry + 12 <= size; entry += 12) {
        if (u16(entry) == 0x0112) {
            return u16(entry + 2) == 3 && u32(entry + 4) == 1 ? static_cast<int>(u16(entry + 8)) : 0;
        }
    }
    return 0;
}

bool ReadPixelSize(FileSystem& fs, const std::string& path, PixelSize& size, const CancelCheck& cancelled) {
    return ReadPixelSize(fs, path, size, cancelled, nullptr);
}

bool ReadPixelSize(FileSystem& fs, const std::string& path, PixelSize& size, const CancelCheck& cancelled,
                   FileIdentity* identity) {
    size = PixelSize{};
    if (identity)
        *identity = FileIdentity{};
    std::unique_ptr<InputFile> file = fs.OpenRead(path);
    if (!file) {
        return false;
    }
    // Taken before the header is read: a change while reading makes the next run read it again.
    if (identity && !file->Identity(*identity))
        *identity = FileIdentity{};
    return ReadPixelSizeOf(*file, size, cancelled);
}

bool ReadPixelSizeOf(InputFile& file, PixelSize& size, const CancelCheck& cancelled) {
    size = PixelSize{};
    HeaderStream stream(file, cancelled);
    const unsigned char* head = stream.Peek(8);
    const Signature signature = head != nullptr ? SignatureOf(head) : Signature::None;
    int width = 0;
    int height = 0;
    int orientation = 0;
    if (signature == Signature::Jpeg) {
        if (!ReadJpegSize(stream, width, height, orientation)) {
            return false;
        }
    } else if (signature != Signature::None) {
        int components = 0;
        if (stbi_info_from_callbacks(&HeaderStream::kCallbacks, &stream, &width, &height, &components) == 0 &&
            !ReadRunLengthBmpSize(stream, width, height) &&
            !(signature == Signature::Png && ReadLargePngSize(stream, width, height))) {
            return false;
        }
        if (stream.ReadPastEnd()) {
            return false;  // a header cut short: stb read the missing fields as zeros
        }
        // stb hands a top-down bitmap's height back as stored, negative.
        if (height < 0 && height != INT_MIN) {
            height = -height;
        }
        if (signature == Signature::Png) {
            orientation = ReadPngOrientation(stream);
        }
    } else {
        return false;
    }
    if (width <= 0 || height <= 0 || width > kMaxSide || height > kMaxSide) {
        return false;
    }
    if (TurnsByQuarter(orientation)) {
        std::swap(width, height);
    }
    size.Width = width;
    size.Height = height;
    return true;
}

}  // namespace kavo
