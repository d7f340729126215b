// The thumbnail maker on libjpeg-turbo (JPEG in and out, with DCT scaling),
// libpng (PNG in, row by row so that a cancel is heard) and stb (GIF and BMP in,
// and the final resampling).
#include <climits>
#include <csetjmp>
#include <cstdio>
#include <ctime>
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

/// More scans than any encoder writes (ten to twenty): a picture with more is
/// built to make the decoder redo its work over and over.
constexpr int kMaxScans = 100;
/// Processor time one JPEG may take, whatever its scans.
constexpr int64_t kMaxDecodeCpuNs = 4'000'000'000;

int64_t ThreadCpuNs() {
    timespec t{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<int64_t>(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
}

/// Asked by libjpeg after each row of blocks it reads or writes, also while it
/// reads every scan of a progressive picture before the first row comes out:
/// a cancel, too many scans or too much time end the decoding there.
struct Progress {
    jpeg_progress_mgr base;
    const std::atomic<bool>* stop;
    int64_t started;
};

void OnProgress(j_common_ptr cinfo) {
    const auto* progress = reinterpret_cast<const Progress*>(cinfo->progress);
    const auto* dinfo = reinterpret_cast<j_decompress_ptr>(cinfo);
    if (progress->stop->load(std::memory_order_relaxed) || dinfo->input_scan_number > kMaxScans ||
        ThreadCpuNs() - progress->started > kMaxDecodeCpuNs)
        OnError(cinfo);
}

int JpegOrientation(j_decompress_ptr cinfo) {
    for (jpeg_saved_marker_ptr m = cinfo->marker_list; m != nullptr; m = m->next) {
        if (m->marker == JPEG_APP0 + 1 && m->data_length > 6 && std::memcmp(m->data, "Exif\0", 5) == 0)
            return ExifOrientation(m->data + 6, m->data_length - 6);
    }
    return 0;
}

/// Decodes a JPEG at a reduced size into RGB. Returns false on any failure.
/// Nothing with a destructor is made between setjmp and the end.
bool DecodeJpeg(std::string_view bytes, int32_t box, const std::atomic<bool>& stop, Picture& pic,
                std::vector<unsigned char>& icc, ThumbResult& result) {
    jpeg_decompress_struct cinfo;
    ErrorManager err;
    SetUpErrors(err);
    cinfo.err = &err.base;
    Progress progress{{OnProgress, 0, 0, 0, 0}, &stop, ThreadCpuNs()};
    if (setjmp(err.jump)) {
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    jpeg_create_decompress(&cinfo);
    cinfo.progress = &progress.base;
    // All the decoder allocates stays within what was set aside for it: beyond, it fails.
    const uint64_t memory = DecodeMemory(bytes, box);
    if (memory > kDecodeBudget)
        OnError(reinterpret_cast<j_common_ptr>(&cinfo));
    cinfo.mem->max_memory_to_use = static_cast<long>(memory);
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
    cinfo.scale_num = JpegScaleFor(cinfo.image_width, cinfo.image_height, static_cast<unsigned>(plan.DecodeWidth),
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
    // Whatever follows the last row (more scans, anything) is not read.
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

/// stb reads through these, so that a cancel ends the picture as its end would:
/// stb has no cancel of its own.
struct StbSource {
    std::string_view bytes;
    size_t at = 0;
    const std::atomic<bool>* stop;
    bool starved = false;  // asked for bytes past the end: the picture is cut short

    bool Stopped() const { return stop->load(std::memory_order_relaxed); }
    static int Read(void* user, char* data, int size) {
        auto* src = static_cast<StbSource*>(user);
        if (src->Stopped() || size <= 0)
            return 0;
        if (src->at >= src->bytes.size())
            src->starved = true;
        const size_t n = std::min(static_cast<size_t>(size), src->bytes.size() - src->at);
        std::memcpy(data, src->bytes.data() + src->at, n);
        src->at += n;
        return static_cast<int>(n);
    }
    static void Skip(void* user, int n) {
        auto* src = static_cast<StbSource*>(user);
        if (n < 0)
            src->at -= std::min(src->at, static_cast<size_t>(-static_cast<int64_t>(n)));
        else
            src->at += std::min(static_cast<size_t>(n), src->bytes.size() - src->at);
    }
    static int Eof(void* user) {
        const auto* src = static_cast<const StbSource*>(user);
        return src->Stopped() || src->at >= src->bytes.size();
    }
};

bool DecodeOther(std::string_view bytes, int32_t box, const std::atomic<bool>& stop, Picture& pic,
                 std::vector<unsigned char>& icc, ThumbResult& result) {
    const auto* data = reinterpret_cast<const stbi_uc*>(bytes.data());
    const int size = static_cast<int>(std::min<size_t>(bytes.size(), INT32_MAX));
    int width = 0, height = 0, components = 0;
    const bool bmp = bytes.size() > 2 && bytes[0] == 'B' && bytes[1] == 'M';
    bool runs = false;
    if (!stbi_info_from_memory(data, size, &width, &height, &components)) {
        runs = bmp && DecodeRunLengthBmp(bytes, stop, pic, true);
        if (!runs)
            return false;
        width = pic.Width;
        height = pic.Height;
    }
    // A top-down bitmap gives its height as stored, negative.
    if (bmp && height < 0 && height != INT_MIN)
        height = -height;
    if (width <= 0 || height <= 0)
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
    if (runs) {
        if (!DecodeRunLengthBmp(bytes, stop, pic))
            return false;
    } else if (png) {
        if (!DecodePng(bytes, stop, pic))
            return false;
    } else {
        StbSource source{bytes, 0, &stop};
        static const stbi_io_callbacks kCallbacks{StbSource::Read, StbSource::Skip, StbSource::Eof};
        stbi_uc* pixels = stbi_load_from_callbacks(&kCallbacks, &source, &width, &height, &components, 4);
        // stb fills a picture cut short with nothing, which would show pale or striped:
        // a damaged picture is shown as it is instead.
        if (pixels == nullptr || stop.load() || source.starved) {
            stbi_image_free(pixels);
            return false;
        }
        pic.Width = width;
        pic.Height = height;
        pic.Pixels.assign(pixels, pixels + static_cast<size_t>(width) * height * 4);
        stbi_image_free(pixels);
        if (IsOpaqueBmp(bytes)) {
            for (size_t i = 3; i < pic.Pixels.size(); i += 4)
                pic.Pixels[i] = 255;
        }
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
