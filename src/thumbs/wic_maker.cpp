// The thumbnail maker on Windows' own codecs (WIC): the JPEG decoder scales
// down while it decodes when asked through a scaler, as DCT scaling does.
#include <objbase.h>
#include <wincodec.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "thumbs/thumb_maker.h"
#include "thumbs/thumb_pixels.h"

namespace kavo {
namespace {

/// Holds one COM interface and releases it.
template <typename T>
class Com {
public:
    Com() = default;
    ~Com() {
        if (m_p)
            m_p->Release();
    }
    Com(const Com&) = delete;
    Com& operator=(const Com&) = delete;
    T** operator&() { return &m_p; }
    T* operator->() const { return m_p; }
    T* get() const { return m_p; }

private:
    T* m_p = nullptr;
};

/// COM for the calling thread, for as long as one Make lasts.
class ComScope {
public:
    ComScope() : m_hr(::CoInitializeEx(nullptr, COINIT_MULTITHREADED)) {}
    ~ComScope() {
        if (SUCCEEDED(m_hr))
            ::CoUninitialize();
    }

private:
    HRESULT m_hr;
};

bool Encode(IWICImagingFactory* factory, const Picture& pic, std::string& out) {
    Com<IStream> stream;
    if (FAILED(::CreateStreamOnHGlobal(nullptr, TRUE, &stream)))
        return false;
    Com<IWICBitmapEncoder> encoder;
    Com<IWICBitmapFrameEncode> frame;
    Com<IPropertyBag2> props;
    if (FAILED(factory->CreateEncoder(GUID_ContainerFormatJpeg, nullptr, &encoder)) ||
        FAILED(encoder->Initialize(stream.get(), WICBitmapEncoderNoCache)) ||
        FAILED(encoder->CreateNewFrame(&frame, &props)))
        return false;
    PROPBAG2 option = {};
    option.pstrName = const_cast<LPOLESTR>(L"ImageQuality");
    VARIANT quality;
    ::VariantInit(&quality);
    quality.vt = VT_R4;
    quality.fltVal = 0.8f;
    props->Write(1, &option, &quality);  // a codec without the option keeps its own quality
    WICPixelFormatGUID format = GUID_WICPixelFormat24bppBGR;
    if (FAILED(frame->Initialize(props.get())) || FAILED(frame->SetSize(pic.Width, pic.Height)) ||
        FAILED(frame->SetPixelFormat(&format)) || format != GUID_WICPixelFormat24bppBGR)
        return false;
    const UINT stride = static_cast<UINT>(pic.Width) * 3;
    std::vector<BYTE> bgr(pic.Pixels.size());
    for (size_t i = 0; i + 2 < bgr.size(); i += 3) {
        bgr[i] = pic.Pixels[i + 2];
        bgr[i + 1] = pic.Pixels[i + 1];
        bgr[i + 2] = pic.Pixels[i];
    }
    if (FAILED(frame->WritePixels(pic.Height, stride, static_cast<UINT>(bgr.size()), bgr.data())) ||
        FAILED(frame->Commit()) || FAILED(encoder->Commit()))
        return false;
    HGLOBAL memory = nullptr;
    if (FAILED(::GetHGlobalFromStream(stream.get(), &memory)))
        return false;
    STATSTG stat = {};
    if (FAILED(stream->Stat(&stat, STATFLAG_NONAME)))
        return false;
    const void* data = ::GlobalLock(memory);
    if (data == nullptr)
        return false;
    out.assign(static_cast<const char*>(data), static_cast<size_t>(stat.cbSize.QuadPart));
    ::GlobalUnlock(memory);
    return out.size() > 2;
}

// Decoding at a reduced size, which the JPEG codec offers; MinGW's headers lack the interface.
MIDL_INTERFACE("3B16811B-6A43-4ec9-B713-3D5A0C13B940")
IWICBitmapSourceTransform : public IUnknown {
public:
    virtual HRESULT STDMETHODCALLTYPE CopyPixels(const WICRect* rect, UINT width, UINT height,
                                                 WICPixelFormatGUID* format, WICBitmapTransformOptions transform,
                                                 UINT stride, UINT size, BYTE* buffer) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetClosestSize(UINT* width, UINT* height) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetClosestPixelFormat(WICPixelFormatGUID* format) = 0;
    virtual HRESULT STDMETHODCALLTYPE DoesSupportTransform(WICBitmapTransformOptions transform, BOOL* supported) = 0;
};
const IID kIidSourceTransform = {0x3B16811B, 0x6A43, 0x4ec9, {0xB7, 0x13, 0x3D, 0x5A, 0x0C, 0x13, 0xB9, 0x40}};

/// Rows copied at a time, so that a cancel is heard between them.
constexpr UINT kBandRows = 64;

/// Copies `source` as 32-bit BGRA into `out` (width × height), a band at a time; false on failure or a cancel.
bool CopyBgra(IWICImagingFactory* factory, IWICBitmapSource* source, UINT width, UINT height,
              const std::atomic<bool>& stop, std::vector<BYTE>& out) {
    Com<IWICFormatConverter> converter;
    if (FAILED(factory->CreateFormatConverter(&converter)) ||
        FAILED(converter->Initialize(source, GUID_WICPixelFormat32bppBGRA, WICBitmapDitherTypeNone, nullptr, 0.0,
                                     WICBitmapPaletteTypeCustom)))
        return false;
    const UINT stride = width * 4;
    out.assign(static_cast<size_t>(stride) * height, 0);
    for (UINT y = 0; y < height; y += kBandRows) {
        if (stop.load())
            return false;
        const UINT rows = std::min(kBandRows, height - y);
        const WICRect band{0, static_cast<INT>(y), static_cast<INT>(width), static_cast<INT>(rows)};
        if (FAILED(converter->CopyPixels(&band, stride, stride * rows, out.data() + static_cast<size_t>(y) * stride)))
            return false;
    }
    return true;
}

class WicMaker : public ThumbnailMaker {
public:
    ThumbResult Make(std::string_view bytes, int32_t box, const std::atomic<bool>& stop) override {
        ThumbResult result;
        // The header's claims are judged before any codec sees the bytes: some decode
        // the whole picture as soon as its frame is asked for.
        if (bytes.size() < 8 || bytes.size() > UINT32_MAX || DecodeMemory(bytes, box) > kDecodeBudget)
            return result;
        const bool jpeg = static_cast<unsigned char>(bytes[0]) == 0xFF && static_cast<unsigned char>(bytes[1]) == 0xD8;
        GifLayout gif;
        const bool onScreen = std::memcmp(bytes.data(), "GIF", 3) == 0 && ReadGifLayout(bytes, gif);
        ComScope com;
        Com<IWICImagingFactory> factory;
        Com<IWICStream> stream;
        Com<IWICBitmapDecoder> decoder;
        Com<IWICBitmapFrameDecode> frame;
        UINT width = 0, height = 0;
        if (FAILED(::CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                                      reinterpret_cast<void**>(&factory))) ||
            FAILED(factory->CreateStream(&stream)) ||
            FAILED(stream->InitializeFromMemory(reinterpret_cast<BYTE*>(const_cast<char*>(bytes.data())),
                                                static_cast<DWORD>(bytes.size()))) ||
            FAILED(factory->CreateDecoderFromStream(stream.get(), nullptr, WICDecodeMetadataCacheOnDemand, &decoder)) ||
            stop.load() || FAILED(decoder->GetFrame(0, &frame)) || FAILED(frame->GetSize(&width, &height)) ||
            width == 0 || height == 0 || width > INT32_MAX || height > INT32_MAX)
            return result;
        // A GIF is shown as its first frame on the logical screen, as browsers draw it.
        const UINT shownWidth = onScreen ? static_cast<UINT>(gif.ScreenWidth) : width;
        const UINT shownHeight = onScreen ? static_cast<UINT>(gif.ScreenHeight) : height;
        if (shownWidth == 0 || shownHeight == 0)
            return result;
        const int orientation = OrientationOf(bytes);
        const Plan plan = PlanThumbnail(static_cast<int32_t>(shownWidth), static_cast<int32_t>(shownHeight), orientation, box);
        result.Width = plan.ShowWidth;
        result.Height = plan.ShowHeight;
        if (plan.Small) {
            result.Outcome = ThumbOutcome::Small;
            return result;
        }
        const int64_t pixels = static_cast<int64_t>(std::max(width, shownWidth)) * std::max(height, shownHeight);
        if (pixels > (jpeg ? 4 : 1) * kMaxDecodedPixels || stop.load() ||
            (!jpeg && !HoldsClaimedPixels(bytes, static_cast<int32_t>(width), static_cast<int32_t>(height))))
            return result;

        IWICBitmapSource* source = frame.get();
        Com<IWICBitmapSourceTransform> transform;
        std::vector<BYTE> reduced;
        Com<IWICBitmap> reducedBitmap;
        if (jpeg && SUCCEEDED(frame->QueryInterface(kIidSourceTransform, reinterpret_cast<void**>(&transform)))) {
            UINT w = static_cast<UINT>(plan.DecodeWidth), h = static_cast<UINT>(plan.DecodeHeight);
            WICPixelFormatGUID format = GUID_WICPixelFormat24bppBGR;
            if (SUCCEEDED(transform->GetClosestSize(&w, &h)) && w >= static_cast<UINT>(plan.DecodeWidth) &&
                h >= static_cast<UINT>(plan.DecodeHeight) && w < width &&
                SUCCEEDED(transform->GetClosestPixelFormat(&format)) && format == GUID_WICPixelFormat24bppBGR) {
                const UINT stride = (w * 3 + 3) / 4 * 4;
                reduced.resize(static_cast<size_t>(stride) * h);
                if (SUCCEEDED(transform->CopyPixels(nullptr, w, h, &format, WICBitmapTransformRotate0, stride,
                                                    static_cast<UINT>(reduced.size()), reduced.data())) &&
                    SUCCEEDED(factory->CreateBitmapFromMemory(w, h, GUID_WICPixelFormat24bppBGR, stride,
                                                             static_cast<UINT>(reduced.size()), reduced.data(),
                                                             &reducedBitmap)))
                    source = reducedBitmap.get();
            }
        }
        std::vector<BYTE> screen;
        Com<IWICBitmap> screenBitmap;
        if (onScreen && (shownWidth != width || shownHeight != height || gif.Left != 0 || gif.Top != 0)) {
            // The frame laid on a transparent screen at its place, the rest left clear.
            std::vector<BYTE> drawn;
            if (!CopyBgra(factory.get(), frame.get(), width, height, stop, drawn))
                return result;
            screen.assign(static_cast<size_t>(shownWidth) * shownHeight * 4, 0);
            for (UINT y = 0; y < height && gif.Top + y < shownHeight; ++y) {
                if (static_cast<UINT>(gif.Left) >= shownWidth)
                    break;
                const UINT n = std::min(width, shownWidth - gif.Left);
                std::memcpy(&screen[(static_cast<size_t>(gif.Top + y) * shownWidth + gif.Left) * 4],
                            &drawn[static_cast<size_t>(y) * width * 4], static_cast<size_t>(n) * 4);
            }
            if (FAILED(factory->CreateBitmapFromMemory(shownWidth, shownHeight, GUID_WICPixelFormat32bppBGRA,
                                                       shownWidth * 4, static_cast<UINT>(screen.size()), screen.data(),
                                                       &screenBitmap)))
                return result;
            source = screenBitmap.get();
        }
        Com<IWICBitmapScaler> scaler;
        if (FAILED(factory->CreateBitmapScaler(&scaler)) ||
            FAILED(scaler->Initialize(source, static_cast<UINT>(plan.DecodeWidth), static_cast<UINT>(plan.DecodeHeight),
                                      WICBitmapInterpolationModeFant)))
            return result;
        Picture pic;
        pic.Width = plan.DecodeWidth;
        pic.Height = plan.DecodeHeight;
        if (!CopyBgra(factory.get(), scaler.get(), static_cast<UINT>(pic.Width), static_cast<UINT>(pic.Height), stop,
                      pic.Pixels))
            return result;
        for (size_t i = 0; i + 3 < pic.Pixels.size(); i += 4)
            std::swap(pic.Pixels[i], pic.Pixels[i + 2]);  // BGRA to RGBA
        FlattenOnWhite(pic);
        const Picture turned = Orient(pic, orientation);
        std::string encoded;
        if (stop.load() || !Encode(factory.get(), turned, encoded))
            return result;
        result.Jpeg = WithCommentAndProfile(encoded, jpeg ? JpegColourProfile(bytes) : std::vector<unsigned char>{});
        result.Outcome = ThumbOutcome::Made;
        return result;
    }
};

}  // namespace

std::unique_ptr<ThumbnailMaker> NativeThumbnailMaker() {
    return std::make_unique<WicMaker>();
}

}  // namespace kavo
