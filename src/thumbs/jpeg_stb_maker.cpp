// The thumbnail maker on libjpeg-turbo (JPEG in and out, with DCT scaling),
// libpng (PNG in, row by row so that a cancel is heard) and stb (GIF and BMP in,
// and the final resampling).
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <jpeglib.h>
#include <jerror.h>
#include <png.h>

// Both compiled in pictures/stb_image.cpp.
#include <stb_image.h>
#include <stb_image_resize.h>

#include "pictures/image_size.h"
#include "thumbs/thumb_maker.h"
#include "thumbs/thumb_pixels.h"

namespace kavo {
namespace {

/// A JPEG is decoded at 1/8 of its size or more, so it may claim more pixels than the bound.
constexpr int64_t kMaxJpegPixels = 4 * kMaxDecodedPixels;

struct ErrorManager {
    jpeg_error_mgr base;
    std::jmp_buf jump;
};

[[noreturn]] void OnError(j_common_ptr cinfo) {
    std::longjmp(reinterpret_cast<ErrorManager*>(cinfo->err)->jump, 1);
}

/// A damaged picture is given up at its first sign instead of being decoded
/// as grey to its claimed end, which for a huge claim takes long.
void OnMessage(j_common_ptr cinfo, int level) {
    if (level >= 0)
        return;
    switch (cinfo->err->msg_code) {
        case JWRN_JPEG_EOF:
        case JWRN_HIT_MARKER:
        case JWRN_MUST_RESYNC:
        case JWRN_NOT_SEQUENTIAL:
        case JWRN_HUFF_BAD_CODE:
            OnError(cinfo);
        default:
            break;
    }
}

void SetUpErrors(ErrorManager& err) {
    jpeg_std_error(&err.base);
    err.base.error_exit = OnError;
    err.base.emit_message = OnMessage;
}

int JpegOrientation(j_decompress_ptr cinfo) {
    for (jpeg_saved_marker_ptr m = cinfo->marker_list; m != nullptr; m = m->next) {
        if (m->marker == JPEG_APP0 + 1 && m->data_length > 6 && std::memcmp(m->data, "Exif\0", 5) == 0)
            return ExifOrientation(m->data + 6, m->data_length - 6);
    }
    return 0;
}

/// The smallest DCT scale (n/8) that still gives at least the wanted size.
unsigned ScaleFor(unsigned width, unsigned height, unsigned wantWidth, unsigned wantHeight) {
    for (unsigned n = 1; n < 8; ++n) {
        if ((width * n + 7) / 8 >= wantWidth && (height * n + 7) / 8 >= wantHeight)
            return n;
    }
    return 8;
}

/// Decodes a JPEG at a reduced size into RGB. Returns false on any failure.
/// Nothing with a destructor is made between setjmp and the end.
bool DecodeJpeg(std::string_view bytes, int32_t box, const std::atomic<bool>& stop, Picture& pic,
                std::vector<unsigned char>& icc, ThumbResult& result) {
    jpeg_decompress_struct cinfo;
    ErrorManager err;
    SetUpErrors(err);
    cinfo.err = &err.base;
    if (setjmp(err.jump)) {
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, reinterpret_cast<const unsigned char*>(bytes.data()), static_cast<unsigned long>(bytes.size()));
    jpeg_save_markers(&cinfo, JPEG_APP0 + 1, 0xFFFF);
    jpeg_save_markers(&cinfo, JPEG_APP0 + 2, 0xFFFF);
    jpeg_read_header(&cinfo, TRUE);
    const int orientation = JpegOrientation(&cinfo);
    const bool cmyk = cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK;
    const bool gray = cinfo.jpeg_color_space == JCS_GRAYSCALE;
    const int64_t pixels = static_cast<int64_t>(cinfo.image_width) * cinfo.image_height;
    Plan plan = PlanThumbnail(static_cast<int32_t>(cinfo.image_width), static_cast<int32_t>(cinfo.image_height),
                              orientation, box);
    result.Width = plan.ShowWidth;
    result.Height = plan.ShowHeight;
    if (plan.Small || pixels > kMaxJpegPixels) {
        result.Outcome = plan.Small ? ThumbOutcome::Small : ThumbOutcome::Failed;
        jpeg_destroy_decompress(&cinfo);
        return plan.Small;
    }
    // The colour profile describes RGB only when the picture is in colour.
    if (!cmyk && !gray) {
        JOCTET* profile = nullptr;
        unsigned int length = 0;
        if (jpeg_read_icc_profile(&cinfo, &profile, &length)) {
            icc.assign(profile, profile + length);
            std::free(profile);
        }
    }
    cinfo.scale_num = ScaleFor(cinfo.image_width, cinfo.image_height, static_cast<unsigned>(plan.DecodeWidth),
                               static_cast<unsigned>(plan.DecodeHeight));
    cinfo.scale_denom = 8;
    cinfo.out_color_space = cmyk ? JCS_CMYK : JCS_RGB;
    jpeg_start_decompress(&cinfo);
    const int channels = cmyk ? 4 : 3;
    pic.Width = static_cast<int32_t>(cinfo.output_width);
    pic.Height = static_cast<int32_t>(cinfo.output_height);
    if (static_cast<int64_t>(pic.Width) * pic.Height > kMaxDecodedPixels) {
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    pic.Pixels.resize(static_cast<size_t>(pic.Width) * pic.Height * channels);
    while (cinfo.output_scanline < cinfo.output_height) {
        if (stop.load(std::memory_order_relaxed)) {
            jpeg_destroy_decompress(&cinfo);
            return false;
        }
        JSAMPROW rows[16];
        for (int i = 0; i < 16; ++i) {
            const size_t row = std::min<size_t>(cinfo.output_scanline + i, cinfo.output_height - 1);
            rows[i] = pic.Pixels.data() + row * pic.Width * channels;
        }
        jpeg_read_scanlines(&cinfo, rows, 16);
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    if (cmyk)
        CmykToRgb(pic);
    pic.Orientation = orientation;
    pic.Plan = plan;
    return true;
}

/// The orientation and colour profile in the chunks of a PNG before its image data.
void ReadPngChunks(std::string_view bytes, int& orientation, std::vector<unsigned char>& icc) {
    EachPngChunk(bytes, [&](std::string_view type, const unsigned char* data, size_t length) {
        if (type == "eXIf") {
            orientation = ExifOrientation(data, length);
        } else if (type == "iCCP") {
            // A name of up to 79 bytes, its end, the method (0), then the zlib stream.
            const void* end = std::memchr(data, 0, std::min<size_t>(length, 80));
            if (end != nullptr) {
                const size_t start = static_cast<const unsigned char*>(end) - data + 2;
                int out = 0;
                if (start < length) {
                    char* profile = stbi_zlib_decode_malloc(reinterpret_cast<const char*>(data + start),
                                                            static_cast<int>(length - start), &out);
                    if (profile != nullptr && out > 0)
                        icc.assign(profile, profile + out);
                    std::free(profile);
                }
            }
        }
        return true;
    });
}

struct PngSource {
    std::string_view bytes;
    size_t at = 0;
};

void ReadPngBytes(png_structp png, png_bytep out, png_size_t n) {
    auto* src = static_cast<PngSource*>(png_get_io_ptr(png));
    if (n > src->bytes.size() - src->at)
        png_error(png, "cut short");
    std::memcpy(out, src->bytes.data() + src->at, n);
    src->at += n;
}

[[noreturn]] void OnPngError(png_structp png, png_const_charp) {
    png_longjmp(png, 1);
}

void OnPngWarning(png_structp, png_const_charp) {}

/// Decodes a PNG to RGBA a row at a time, asking `stop` between rows.
/// Nothing with a destructor is made between setjmp and the end.
bool DecodePng(std::string_view bytes, const std::atomic<bool>& stop, Picture& pic) {
    PngSource src{bytes, 0};
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, OnPngError, OnPngWarning);
    if (png == nullptr)
        return false;
    png_infop info = png_create_info_struct(png);
    if (info == nullptr || setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        return false;
    }
    png_set_read_fn(png, &src, ReadPngBytes);
    png_set_user_limits(png, 0x7FFFFFFF, 0x7FFFFFFF);
    png_read_info(png, info);
    png_set_expand(png);  // palettes and small grey depths to 8 bits, tRNS to alpha
    png_set_strip_16(png);
    png_set_gray_to_rgb(png);
    png_set_add_alpha(png, 0xFF, PNG_FILLER_AFTER);
    const int passes = png_set_interlace_handling(png);
    png_read_update_info(png, info);
    pic.Width = static_cast<int32_t>(png_get_image_width(png, info));
    pic.Height = static_cast<int32_t>(png_get_image_height(png, info));
    if (png_get_rowbytes(png, info) != static_cast<size_t>(pic.Width) * 4)
        png_error(png, "unexpected layout");
    pic.Pixels.resize(static_cast<size_t>(pic.Width) * pic.Height * 4);
    for (int pass = 0; pass < passes; ++pass) {
        for (int32_t y = 0; y < pic.Height; ++y) {
            if ((y & 31) == 0 && stop.load(std::memory_order_relaxed))
                png_error(png, "stopped");
            png_read_row(png, pic.Pixels.data() + static_cast<size_t>(y) * pic.Width * 4, nullptr);
        }
    }
    png_destroy_read_struct(&png, &info, nullptr);
    return true;
}

bool DecodeOther(std::string_view bytes, int32_t box, const std::atomic<bool>& stop, Picture& pic,
                 std::vector<unsigned char>& icc, ThumbResult& result) {
    const auto* data = reinterpret_cast<const stbi_uc*>(bytes.data());
    const int size = static_cast<int>(std::min<size_t>(bytes.size(), INT32_MAX));
    int width = 0, height = 0, components = 0;
    if (!stbi_info_from_memory(data, size, &width, &height, &components) || width <= 0 || height <= 0)
        return false;
    int orientation = 0;
    const bool png = bytes.size() > 8 && std::memcmp(bytes.data(), "\x89PNG", 4) == 0;
    if (png)
        ReadPngChunks(bytes, orientation, icc);
    Plan plan = PlanThumbnail(width, height, orientation, box);
    result.Width = plan.ShowWidth;
    result.Height = plan.ShowHeight;
    if (plan.Small) {
        result.Outcome = ThumbOutcome::Small;
        return true;
    }
    if (static_cast<int64_t>(width) * height > kMaxDecodedPixels || !HoldsClaimedPixels(bytes, width, height))
        return false;
    if (png) {
        if (!DecodePng(bytes, stop, pic))
            return false;
    } else {
        stbi_uc* pixels = stbi_load_from_memory(data, size, &width, &height, &components, 4);
        if (pixels == nullptr)
            return false;
        pic.Width = width;
        pic.Height = height;
        pic.Pixels.assign(pixels, pixels + static_cast<size_t>(width) * height * 4);
        stbi_image_free(pixels);
    }
    FlattenOnWhite(pic);
    pic.Orientation = orientation;
    pic.Plan = plan;
    return true;
}

bool EncodeJpeg(const Picture& pic, const std::vector<unsigned char>& icc, std::string& out) {
    jpeg_compress_struct cinfo;
    ErrorManager err;
    SetUpErrors(err);
    cinfo.err = &err.base;
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    if (setjmp(err.jump)) {
        jpeg_destroy_compress(&cinfo);
        std::free(buffer);
        return false;
    }
    jpeg_create_compress(&cinfo);
    jpeg_mem_dest(&cinfo, &buffer, &size);
    cinfo.image_width = static_cast<JDIMENSION>(pic.Width);
    cinfo.image_height = static_cast<JDIMENSION>(pic.Height);
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, 80, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    jpeg_write_marker(&cinfo, JPEG_COM, reinterpret_cast<const JOCTET*>(kThumbnailComment.data()),
                      static_cast<unsigned>(kThumbnailComment.size()));
    if (!icc.empty())
        jpeg_write_icc_profile(&cinfo, icc.data(), static_cast<unsigned>(icc.size()));
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(pic.Pixels.data() + static_cast<size_t>(cinfo.next_scanline) * pic.Width * 3);
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    out.assign(reinterpret_cast<const char*>(buffer), size);
    std::free(buffer);
    return true;
}

class JpegStbMaker : public ThumbnailMaker {
public:
    ThumbResult Make(std::string_view bytes, int32_t box, const std::atomic<bool>& stop) override {
        ThumbResult result;
        Picture pic;
        std::vector<unsigned char> icc;
        const bool jpeg = bytes.size() > 3 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
                          static_cast<unsigned char>(bytes[1]) == 0xD8;
        const bool decoded = jpeg ? DecodeJpeg(bytes, box, stop, pic, icc, result) : DecodeOther(bytes, box, stop, pic, icc, result);
        if (!decoded) {
            result.Outcome = ThumbOutcome::Failed;
            return result;
        }
        if (result.Outcome == ThumbOutcome::Small || stop.load())
            return result;
        Picture small;
        small.Width = pic.Plan.DecodeWidth;
        small.Height = pic.Plan.DecodeHeight;
        if (small.Width == pic.Width && small.Height == pic.Height) {
            small.Pixels = std::move(pic.Pixels);
        } else {
            small.Pixels.resize(static_cast<size_t>(small.Width) * small.Height * 3);
            if (!stbir_resize_uint8_srgb(pic.Pixels.data(), pic.Width, pic.Height, 0, small.Pixels.data(), small.Width,
                                         small.Height, 0, 3, STBIR_ALPHA_CHANNEL_NONE, 0))
                return result;
        }
        const Picture turned = Orient(small, pic.Orientation);
        if (EncodeJpeg(turned, icc, result.Jpeg))
            result.Outcome = ThumbOutcome::Made;
        return result;
    }
};

}  // namespace

std::unique_ptr<ThumbnailMaker> NativeThumbnailMaker() {
    return std::make_unique<JpegStbMaker>();
}

}  // namespace kavo
