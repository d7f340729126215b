#include "catalogue/image_size.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cstring>

// PNG, GIF and BMP headers are read by stb. Its JPEG reader is left out: on the
// way to the frame header it builds the Huffman tables, and the stb of Debian 12
// writes past a table on a corrupt DHT segment. JPEG needs only a marker walk.
// Nothing here decodes pixels, opens files itself or keeps failure texts.
#define STBI_ONLY_PNG
#define STBI_ONLY_GIF
#define STBI_ONLY_BMP
#define STBI_NO_STDIO
#define STBI_NO_LINEAR
#define STBI_NO_HDR
#define STBI_NO_FAILURE_STRINGS
#define STBI_NO_SIMD
#define STBI_NO_THREAD_LOCALS
#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#include <stb_image.h>
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif

namespace kavo {

namespace {

/// Larger sides are not believed: stb refuses them as well.
constexpr int kMaxSide = 1 << 24;

/// Serves small reads from a 4 KB buffer filled by one Read each time, and
/// turns long skips (the EXIF block of a camera picture) into seeks.
class HeaderStream {
public:
    explicit HeaderStream(InputFile& file) : m_file(file) {}

    /// The next n bytes without taking them; null when the file is shorter.
    const unsigned char* Peek(size_t n) {
        Want(n);
        return m_end - m_pos >= n ? m_buffer.data() + m_pos : nullptr;
    }

    /// The next byte, or -1 at the end.
    int Get() {
        Want(1);
        if (m_pos == m_end) {
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
        m_pos = m_end = 0;
        if (!m_atEnd && !m_file.Skip(n - static_cast<int64_t>(buffered))) {
            m_atEnd = true;
        }
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
        if (n == 0) {
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
                m_end -= m_pos;
                m_pos = 0;
            }
            const size_t got = m_file.Read(m_buffer.data() + m_end, m_buffer.size() - m_end);
            if (got == 0) {
                m_atEnd = true;
            }
            m_end += std::min(got, m_buffer.size() - m_end);
        }
    }

    InputFile& m_file;
    std::array<unsigned char, 4096> m_buffer{};
    size_t m_pos = 0;
    size_t m_end = 0;
    bool m_atEnd = false;
    bool m_readPastEnd = false;
};

const stbi_io_callbacks HeaderStream::kCallbacks = {&HeaderStream::ReadCallback, &HeaderStream::SkipCallback,
                                                    &HeaderStream::EofCallback};

bool IsFrameHeader(int marker) {
    // SOF0 to SOF15 except DHT (C4), JPG (C8) and DAC (CC), which share the range.
    return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

/// Walks the segments after SOI up to the frame header, skipping each by its length.
bool ReadJpegSize(HeaderStream& in, int& width, int& height) {
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
        const int length = in.Get16();
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
        in.Skip(length - 2);
    }
}

enum class Signature { None, Jpeg, Other };

Signature SignatureOf(const unsigned char* p) {
    static constexpr unsigned char kPng[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (p[0] == 0xFF && p[1] == 0xD8 && p[2] == 0xFF) {
        return Signature::Jpeg;
    }
    if (std::memcmp(p, kPng, sizeof kPng) == 0 || std::memcmp(p, "GIF87a", 6) == 0 ||
        std::memcmp(p, "GIF89a", 6) == 0 || (p[0] == 'B' && p[1] == 'M')) {
        return Signature::Other;
    }
    return Signature::None;
}

}  // namespace

bool ReadPixelSize(FileSystem& fs, const std::string& path, PixelSize& size) {
    size = PixelSize{};
    std::unique_ptr<InputFile> file = fs.OpenRead(path);
    if (!file) {
        return false;
    }
    HeaderStream stream(*file);
    const unsigned char* head = stream.Peek(8);
    const Signature signature = head != nullptr ? SignatureOf(head) : Signature::None;
    int width = 0;
    int height = 0;
    if (signature == Signature::Jpeg) {
        if (!ReadJpegSize(stream, width, height)) {
            return false;
        }
    } else if (signature == Signature::Other) {
        int components = 0;
        if (stbi_info_from_callbacks(&HeaderStream::kCallbacks, &stream, &width, &height, &components) == 0) {
            return false;
        }
        if (stream.ReadPastEnd()) {
            return false;  // a header cut short: stb read the missing fields as zeros
        }
        // stb hands a top-down bitmap's height back as stored, negative.
        if (height < 0 && height != INT_MIN) {
            height = -height;
        }
    } else {
        return false;
    }
    if (width <= 0 || height <= 0 || width > kMaxSide || height > kMaxSide) {
        return false;
    }
    size.Width = width;
    size.Height = height;
    return true;
}

}  // namespace kavo
