#pragma once

#include <atomic>
#include <cstdint>
#include <string_view>
#include <vector>

namespace kavo {

/// The sizes one thumbnail is made with.
struct Plan {
    int32_t ShowWidth = 0, ShowHeight = 0;      // on the page, turned
    int32_t DecodeWidth = 0, DecodeHeight = 0;  // the thumbnail before it is turned
    bool Small = false;                         // the picture fits the box as it is
};

/// Sizes for a picture stored as width × height with an EXIF orientation, in a box of `box` CSS pixels.
Plan PlanThumbnail(int32_t width, int32_t height, int orientation, int32_t box);

/// The smallest DCT scale (n/8) that still gives a JPEG decoded at least the wanted size.
unsigned JpegScaleFor(unsigned width, unsigned height, unsigned wantWidth, unsigned wantHeight);

/// What making one thumbnail may hold at once, all threads together: the
/// pictures' bytes and their decoded pixels. One picture that needs more is
/// shown as it is.
inline constexpr uint64_t kDecodeBudget = 224ULL * 1024 * 1024;
/// DecodeMemory's answer when the start of a picture does not tell.
inline constexpr uint64_t kUnknownNeed = UINT64_MAX;

/// The memory decoding a picture for a thumbnail of `box` takes beyond its
/// bytes, judged from its first bytes (`head`): the decoded pixels, or all
/// coefficients of a progressive JPEG, which no scaling makes smaller.
/// kUnknownNeed when `head` ends before a JPEG's frame header.
uint64_t DecodeMemory(std::string_view head, int32_t box);

/// Pixels in rows, 3 bytes (RGB) or 4 (RGBA or CMYK) each, with the plan they were decoded for.
struct Picture {
    int32_t Width = 0, Height = 0;
    std::vector<unsigned char> Pixels;
    int Orientation = 0;
    kavo::Plan Plan;
};

/// RGBA to RGB laid on white.
void FlattenOnWhite(Picture& pic);

/// The inverted CMYK that JPEG writers store, to RGB.
void CmykToRgb(Picture& pic);

/// An RGB picture turned and mirrored as EXIF orientation 1–8 asks.
Picture Orient(const Picture& pic, int orientation);

}  // namespace kavo

#include <string>
#include <string_view>

namespace kavo {

/// Whether a PNG, GIF or BMP of `bytes` can hold the width × height pixels its
/// header claims, as far as its compression allows: decoders fill a truncated
/// file up to its claimed size instead of failing, which for a huge claim takes long.
bool HoldsClaimedPixels(std::string_view bytes, int32_t width, int32_t height);

/// Calls `chunk(type, data, length)` for each chunk of a PNG held in memory
/// before its image data; stops when it returns false.
template <typename F>
void EachPngChunk(std::string_view png, F chunk) {
    const auto* p = reinterpret_cast<const unsigned char*>(png.data());
    for (size_t at = 8; at + 8 <= png.size();) {
        const size_t length = static_cast<size_t>(p[at]) << 24 | p[at + 1] << 16 | p[at + 2] << 8 | p[at + 3];
        const std::string_view type = png.substr(at + 4, 4);
        if (type == "IDAT" || length > png.size() - at - 8 || !chunk(type, p + at + 8, length))
            return;
        at += 12 + length;
    }
}

/// A GIF's logical screen and where its first frame lies on it; false when the
/// bytes end before the frame's descriptor.
struct GifLayout {
    int32_t ScreenWidth = 0, ScreenHeight = 0;
    int32_t Left = 0, Top = 0, Width = 0, Height = 0;
};
bool ReadGifLayout(std::string_view gif, GifLayout& layout);

/// Decodes a bitmap of run lengths (RLE8 or RLE4) to RGBA, which stb leaves
/// out; pixels the runs skip stay clear. False for other bitmaps, a damaged or
/// cut short one, or once `stop` is set. `headerOnly` reads the size alone.
bool DecodeRunLengthBmp(std::string_view bmp, const std::atomic<bool>& stop, Picture& pic, bool headerOnly = false);

/// True for a 32-bit bitmap whose fourth bytes are no alpha (BI_RGB): browsers draw it opaque.
bool IsOpaqueBmp(std::string_view bmp);

/// The EXIF orientation of a JPEG (APP1) or PNG (eXIf) held in memory; 0 when it has none.
int OrientationOf(std::string_view picture);

/// The colour profile of a JPEG held in memory (its APP2 ICC_PROFILE segments in order); empty when it has none.
std::vector<unsigned char> JpegColourProfile(std::string_view jpeg);

/// A JPEG with the thumbnail comment and the colour profile put in right after its start.
std::string WithCommentAndProfile(std::string_view jpeg, const std::vector<unsigned char>& profile);

}  // namespace kavo
