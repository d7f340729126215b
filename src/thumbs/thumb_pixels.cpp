#include "thumbs/thumb_pixels.h"

#include <algorithm>
#include <cmath>
#include <utility>

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

void FlattenOnWhite(Picture& pic) {
    const size_t count = static_cast<size_t>(pic.Width) * pic.Height;
    unsigned char* p = pic.Pixels.data();
    for (size_t i = 0; i < count; ++i) {
        const unsigned a = p[i * 4 + 3];
        for (int c = 0; c < 3; ++c)
            p[i * 3 + c] = static_cast<unsigned char>((p[i * 4 + c] * a + 255 * (255 - a) + 127) / 255);
    }
    pic.Pixels.resize(count * 3);
}

void CmykToRgb(Picture& pic) {
    const size_t count = static_cast<size_t>(pic.Width) * pic.Height;
    unsigned char* p = pic.Pixels.data();
    for (size_t i = 0; i < count; ++i) {
        const unsigned k = p[i * 4 + 3];
        for (int c = 0; c < 3; ++c)
            p[i * 3 + c] = static_cast<unsigned char>((p[i * 4 + c] * k + 127) / 255);
    }
    pic.Pixels.resize(count * 3);
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
