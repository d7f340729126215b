#include "thumbs/thumb_pixels.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <map>
#include <utility>

#include "pictures/image_size.h"

#include "thumbs/thumb_maker.h"

namespace kavo {

void FitInto(int32_t width, int32_t height, int32_t box, int32_t& outWidth, int32_t& outHeight) {
    outWidth = width;
    outHeight = height;
    if (width <= box && height <= box)
        return;
    if (width >= height) {
        outWidth = box;
        outHeight = std::max<int32_t>(1, static_cast<int32_t>(std::lround(static_cast<double>(height) * box / width)));
    } else {
        outHeight = box;
        outWidth = std::max<int32_t>(1, static_cast<int32_t>(std::lround(static_cast<double>(width) * box / height)));
    }
}

Plan PlanThumbnail(int32_t width, int32_t height, int orientation, int32_t box) {
    const bool quarter = orientation >= 5 && orientation <= 8;
    if (quarter)
        std::swap(width, height);
    Plan plan;
    FitInto(width, height, box, plan.ShowWidth, plan.ShowHeight);
    plan.Small = width <= box && height <= box;
    FitInto(width, height, 2 * box, plan.DecodeWidth, plan.DecodeHeight);
    if (quarter)
        std::swap(plan.DecodeWidth, plan.DecodeHeight);
    return plan;
}

unsigned JpegScaleFor(unsigned width, unsigned height, unsigned wantWidth, unsigned wantHeight) {
    for (unsigned n = 1; n < 8; ++n) {
        if ((width * n + 7) / 8 >= wantWidth && (height * n + 7) / 8 >= wantHeight)
            return n;
    }
    return 8;
}

namespace {

/// Four bytes a pixel to three: each colour byte mixed with the pixel's fourth byte.
template <typename Mix>
void DropFourthByte(Picture& pic, Mix mix) {
    const size_t count = static_cast<size_t>(pic.Width) * pic.Height;
    unsigned char* p = pic.Pixels.data();
    for (size_t i = 0; i < count; ++i) {
        const unsigned fourth = p[i * 4 + 3];
        for (int c = 0; c < 3; ++c)
            p[i * 3 + c] = static_cast<unsigned char>(mix(p[i * 4 + c], fourth));
    }
    pic.Pixels.resize(count * 3);
}

}  // namespace

void FlattenOnWhite(Picture& pic) {
    DropFourthByte(pic, [](unsigned v, unsigned a) { return (v * a + 255 * (255 - a) + 127) / 255; });
}

void CmykToRgb(Picture& pic) {
    DropFourthByte(pic, [](unsigned v, unsigned k) { return (v * k + 127) / 255; });
}

Picture Orient(const Picture& pic, int orientation) {
    if (orientation < 2 || orientation > 8)
        return pic;
    const int32_t w = pic.Width, h = pic.Height;
    const bool quarter = orientation >= 5;
    Picture out;
    out.Width = quarter ? h : w;
    out.Height = quarter ? w : h;
    out.Pixels.resize(pic.Pixels.size());
    for (int32_t y = 0; y < out.Height; ++y) {
        for (int32_t x = 0; x < out.Width; ++x) {
            int32_t sx = x, sy = y;
            switch (orientation) {
                case 2: sx = w - 1 - x; break;
                case 3: sx = w - 1 - x; sy = h - 1 - y; break;
                case 4: sy = h - 1 - y; break;
                case 5: sx = y; sy = x; break;
                case 6: sx = y; sy = h - 1 - x; break;
                case 7: sx = w - 1 - y; sy = h - 1 - x; break;
                default: sx = w - 1 - y; sy = x; break;  // 8
            }
            const unsigned char* s = &pic.Pixels[(static_cast<size_t>(sy) * w + sx) * 3];
            unsigned char* d = &out.Pixels[(static_cast<size_t>(y) * out.Width + x) * 3];
            d[0] = s[0];
            d[1] = s[1];
            d[2] = s[2];
        }
    }
    return out;
}

}  // namespace kavo

namespace kavo {
namespace {

constexpr std::string_view kIccTag{"ICC_PROFILE\0", 12};
constexpr size_t kIccChunk = 65519;  // a segment's 65533 bytes of data less the tag and the two counts

uint32_t Be16(const unsigned char* p) { return static_cast<uint32_t>(p[0]) << 8 | p[1]; }

/// Calls `segment(marker, data, length)` for each segment up to the first scan's
/// header (SOS, the last); stops when it returns false.
template <typename F>
void EachJpegSegment(std::string_view jpeg, F segment) {
    const auto* p = reinterpret_cast<const unsigned char*>(jpeg.data());
    size_t at = 2;
    while (at + 4 <= jpeg.size() && p[at] == 0xFF) {
        const unsigned marker = p[at + 1];
        if (marker == 0xFF) {
            ++at;  // fill byte
            continue;
        }
        if (marker == 0xD9)
            return;
        const size_t length = Be16(p + at + 2);
        if (length < 2 || at + 2 + length > jpeg.size())
            return;
        if (!segment(marker, p + at + 4, length - 2) || marker == 0xDA)
            return;
        at += 2 + length;
    }
}

}  // namespace

bool HoldsClaimedPixels(std::string_view bytes, int32_t width, int32_t height) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const uint64_t n = bytes.size();
    const uint64_t pixels = static_cast<uint64_t>(width) * static_cast<uint64_t>(height);
    auto le = [p](size_t at, int count) {
        uint32_t v = 0;
        for (int i = count - 1; i >= 0; --i)
            v = v << 8 | p[at + i];
        return v;
    };
    if (n >= 34 && p[0] == 'B' && p[1] == 'M') {
        const uint32_t header = le(14, 4);
        const uint32_t bits = header == 12 ? le(24, 2) : le(28, 2);
        const uint32_t compression = header >= 40 ? le(30, 4) : 0;
        if (compression == 0 || compression == 3) {  // rows as they are, each padded to four bytes
            const uint64_t row = (static_cast<uint64_t>(width) * bits + 31) / 32 * 4;
            return n >= le(10, 4) + row * static_cast<uint64_t>(height);
        }
        return n * 128 >= pixels;  // run lengths: at most 255 pixels for two bytes
    }
    if (n >= 6 && std::memcmp(p, "GIF", 3) == 0)
        return n * 1400 >= pixels;  // LZW with 12-bit codes gives at most about 1365 pixels a byte
    return n * 8300 >= pixels;      // deflate: at most 1032 bytes a byte, at one bit a pixel
}

uint64_t DecodeMemory(std::string_view head, int32_t box) {
    const auto* p = reinterpret_cast<const unsigned char*>(head.data());
    const size_t n = head.size();
    auto le = [p](size_t at, int count) {
        uint32_t v = 0;
        for (int i = count - 1; i >= 0; --i)
            v = v << 8 | p[at + i];
        return v;
    };
    auto be = [p](size_t at) { return static_cast<uint32_t>(p[at]) << 24 | p[at + 1] << 16 | p[at + 2] << 8 | p[at + 3]; };
    // The thumbnail's own pixels, resampled, turned and encoded: a few copies at twice the box.
    const uint64_t small = 4 * 3 * 4ULL * box * box + (1 << 20);
    auto pixels = [&](uint64_t width, uint64_t height, uint64_t perPixel) { return width * height * perPixel + small; };
    if (n > 4 && p[0] == 0xFF && p[1] == 0xD8) {
        uint64_t need = kUnknownNeed, coefficients = 0;
        unsigned components = 0;
        bool allScans = false;
        EachJpegSegment(head, [&](unsigned marker, const unsigned char* data, size_t length) {
            if (marker == 0xDA) {
                // A sequential frame whose first scan lacks components comes in several scans too.
                if (need != kUnknownNeed && (allScans || length < 1 || data[0] < components))
                    need += coefficients;
                coefficients = 0;
                return false;
            }
            const bool frame = marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
            if (!frame)
                return true;
            if (length < 6)
                return false;
            const unsigned height = Be16(data + 1), width = Be16(data + 3);
            components = data[5];
            if (length < 6 + 3 * static_cast<size_t>(components) || components == 0)
                return false;
            unsigned hMax = 1, vMax = 1;
            for (unsigned c = 0; c < components; ++c) {
                hMax = std::max<unsigned>(hMax, data[6 + 3 * c + 1] >> 4);
                vMax = std::max<unsigned>(vMax, data[6 + 3 * c + 1] & 15);
            }
#ifdef _WIN32
            // The system's decoder may decode the whole picture (under Wine it does).
            const unsigned scale = 8;
            (void)box;
#else
            const Plan plan = PlanThumbnail(static_cast<int32_t>(width), static_cast<int32_t>(height), 0, box);
            const unsigned scale = JpegScaleFor(width, height, static_cast<unsigned>(plan.DecodeWidth),
                                                static_cast<unsigned>(plan.DecodeHeight));
#endif
            need = pixels((static_cast<uint64_t>(width) * scale + 7) / 8, (static_cast<uint64_t>(height) * scale + 7) / 8, 4);
            // Rows of a whole iMCU for each component, at full width.
            need += static_cast<uint64_t>(width) * 16 * vMax * components;
            // Progressive frames keep every coefficient of the picture: 64 of 2 bytes a block.
            allScans = marker == 0xC2 || marker == 0xC6 || marker == 0xCA || marker == 0xCE;
            for (unsigned c = 0; c < components; ++c) {
                const unsigned h = std::max(1, data[6 + 3 * c + 1] >> 4), v = std::max(1, data[6 + 3 * c + 1] & 15);
                const uint64_t blocksAcross = (static_cast<uint64_t>(width) * h + 8 * hMax - 1) / (8 * hMax);
                const uint64_t blocksDown = (static_cast<uint64_t>(height) * v + 8 * vMax - 1) / (8 * vMax);
                coefficients += (blocksAcross + hMax) * (blocksDown + vMax) * 128;
            }
            return true;
        });
        // No scan header within reach: counted as if it came in several scans.
        return need == kUnknownNeed ? need : need + coefficients;
    }
    if (n >= 29 && std::memcmp(p, "\x89PNG", 4) == 0)
        return pixels(be(16), be(20), 4);  // RGBA, laid on white in place
    if (n >= 10 && std::memcmp(p, "GIF", 3) == 0)
        return pixels(le(6, 2), le(8, 2), 4 + 4 + 1 + 3);  // the decoder's screen, background and history, then RGB
    if (n >= 26 && p[0] == 'B' && p[1] == 'M') {
        const uint32_t header = le(14, 4);
        const int64_t width = header == 12 ? le(18, 2) : static_cast<int32_t>(le(18, 4));
        const int64_t height = header == 12 ? le(20, 2) : static_cast<int32_t>(le(22, 4));
        return pixels(static_cast<uint64_t>(std::llabs(width)), static_cast<uint64_t>(std::llabs(height)), 4 + 3);
    }
    return small;  // no picture a decoder takes: it fails at once
}

namespace {

uint32_t Le(const unsigned char* p, int count) {
    uint32_t v = 0;
    for (int i = count - 1; i >= 0; --i)
        v = v << 8 | p[i];
    return v;
}

}  // namespace

bool IsOpaqueBmp(std::string_view bmp) {
    const auto* p = reinterpret_cast<const unsigned char*>(bmp.data());
    return bmp.size() >= 34 && p[0] == 'B' && p[1] == 'M' && Le(p + 14, 4) >= 40 && Le(p + 28, 2) == 32 &&
           Le(p + 30, 4) == 0;
}

bool DecodeRunLengthBmp(std::string_view bmp, const std::atomic<bool>& stop, Picture& pic, bool headerOnly) {
    const auto* p = reinterpret_cast<const unsigned char*>(bmp.data());
    const size_t n = bmp.size();
    if (n < 54 || p[0] != 'B' || p[1] != 'M')
        return false;
    const uint32_t header = Le(p + 14, 4), bits = Le(p + 28, 2), compression = Le(p + 30, 4);
    const int32_t width = static_cast<int32_t>(Le(p + 18, 4)), height = static_cast<int32_t>(Le(p + 22, 4));
    if (header < 40 || header > n || !((compression == 1 && bits == 8) || (compression == 2 && bits == 4)) ||
        width <= 0 || height <= 0 || static_cast<int64_t>(width) * height > kMaxDecodedPixels)
        return false;
    const uint32_t used = Le(p + 46, 4);
    const size_t colours = std::min<size_t>(used != 0 ? used : 1u << bits, 256);
    const size_t palette = 14 + header;
    if (palette + 4 * colours > n)
        return false;
    pic.Width = width;
    pic.Height = height;
    if (headerOnly)
        return true;
    pic.Pixels.assign(static_cast<size_t>(width) * height * 4, 0);
    int64_t x = 0, y = 0;  // y counts from the bottom row, as the runs do
    auto put = [&](unsigned index) {
        if (x < width && y < height) {
            unsigned char* d = &pic.Pixels[(static_cast<size_t>(height - 1 - y) * width + x) * 4];
            if (index < colours) {
                const unsigned char* c = p + palette + 4 * index;  // blue, green, red, unused
                d[0] = c[2];
                d[1] = c[1];
                d[2] = c[0];
            }
            d[3] = 255;
        }
        ++x;
    };
    size_t at = Le(p + 10, 4);
    while (at + 2 <= n) {
        const unsigned count = p[at], value = p[at + 1];
        at += 2;
        if (count > 0) {
            for (unsigned i = 0; i < count; ++i)
                put(bits == 8 ? value : (i % 2 == 0 ? value >> 4 : value & 15));
        } else if (value == 0) {  // end of a row
            x = 0;
            if (++y >= height)
                return true;
            if ((y & 63) == 0 && stop.load(std::memory_order_relaxed))
                return false;
        } else if (value == 1) {  // end of the picture
            return true;
        } else if (value == 2) {  // a jump right and up
            if (at + 2 > n)
                return false;
            x += p[at];
            y += p[at + 1];
            at += 2;
            if (y >= height)
                return true;
        } else {  // `value` pixels as they are, padded to two bytes
            const size_t bytes = bits == 8 ? value : (value + 1) / 2;
            if (at + bytes > n)
                return false;
            for (unsigned i = 0; i < value; ++i)
                put(bits == 8 ? p[at + i] : (i % 2 == 0 ? p[at + i / 2] >> 4 : p[at + i / 2] & 15));
            at += (bytes + 1) / 2 * 2;
        }
    }
    return false;  // cut short: shown as it is
}

bool ReadGifLayout(std::string_view gif, GifLayout& layout) {
    const auto* p = reinterpret_cast<const unsigned char*>(gif.data());
    const size_t n = gif.size();
    auto le16 = [p](size_t at) { return static_cast<int32_t>(p[at] | p[at + 1] << 8); };
    if (n < 13 || std::memcmp(p, "GIF", 3) != 0)
        return false;
    layout.ScreenWidth = le16(6);
    layout.ScreenHeight = le16(8);
    size_t at = 13 + ((p[10] & 0x80) != 0 ? 3u << ((p[10] & 7) + 1) : 0);
    while (at < n) {
        if (p[at] == 0x2C) {
            if (at + 9 > n)
                return false;
            layout.Left = le16(at + 1);
            layout.Top = le16(at + 3);
            layout.Width = le16(at + 5);
            layout.Height = le16(at + 7);
            return true;
        }
        if (p[at] != 0x21 || at + 2 > n)
            return false;
        at += 2;  // the extension's introducer and label, then its blocks up to an empty one
        while (at < n && p[at] != 0)
            at += 1 + p[at];
        ++at;
    }
    return false;
}

int OrientationOf(std::string_view picture) {
    const auto* p = reinterpret_cast<const unsigned char*>(picture.data());
    int orientation = 0;
    if (picture.size() > 4 && p[0] == 0xFF && p[1] == 0xD8) {
        EachJpegSegment(picture, [&](unsigned marker, const unsigned char* data, size_t length) {
            if (marker != 0xE1 || length <= 6 || std::memcmp(data, "Exif\0", 5) != 0)
                return true;
            orientation = ExifOrientation(data + 6, length - 6);
            return false;
        });
    } else if (picture.size() > 8 && std::memcmp(p, "\x89PNG", 4) == 0) {
        EachPngChunk(picture, [&](std::string_view type, const unsigned char* data, size_t length) {
            if (type != "eXIf")
                return true;
            orientation = ExifOrientation(data, length);
            return false;
        });
    }
    return orientation;
}

std::vector<unsigned char> JpegColourProfile(std::string_view jpeg) {
    std::map<int, std::vector<unsigned char>> chunks;
    int count = 0;
    EachJpegSegment(jpeg, [&](unsigned marker, const unsigned char* data, size_t length) {
        if (marker == 0xE2 && length > kIccTag.size() + 2 && std::memcmp(data, kIccTag.data(), kIccTag.size()) == 0) {
            count = data[kIccTag.size() + 1];
            chunks[data[kIccTag.size()]].assign(data + kIccTag.size() + 2, data + length);
        }
        return true;
    });
    std::vector<unsigned char> profile;
    if (count == 0 || static_cast<int>(chunks.size()) != count || chunks.begin()->first != 1)
        return profile;  // pieces missing: no profile rather than a wrong one
    for (const auto& [seq, bytes] : chunks)
        profile.insert(profile.end(), bytes.begin(), bytes.end());
    return profile;
}

std::string WithCommentAndProfile(std::string_view jpeg, const std::vector<unsigned char>& profile) {
    auto segment = [](std::string& out, unsigned char marker, std::string_view head, const unsigned char* data, size_t n) {
        const size_t length = 2 + head.size() + n;
        out += '\xFF';
        out += static_cast<char>(marker);
        out += static_cast<char>(length >> 8);
        out += static_cast<char>(length & 0xFF);
        out.append(head);
        out.append(reinterpret_cast<const char*>(data), n);
    };
    std::string out(jpeg.substr(0, 2));
    segment(out, 0xFE, kThumbnailComment, nullptr, 0);
    const size_t pieces = (profile.size() + kIccChunk - 1) / kIccChunk;
    for (size_t i = 0; i < pieces && pieces < 256; ++i) {
        std::string head(kIccTag);
        head += static_cast<char>(i + 1);
        head += static_cast<char>(pieces);
        const size_t n = std::min(kIccChunk, profile.size() - i * kIccChunk);
        segment(out, 0xE2, head, profile.data() + i * kIccChunk, n);
    }
    out.append(jpeg.substr(2));
    return out;
}

}  // namespace kavo
