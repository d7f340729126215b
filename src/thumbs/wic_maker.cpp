// The thumbnail maker on Windows' own codecs (WIC): the JPEG decoder scales
// down while it decodes when asked through a scaler, as DCT scaling does.
#include <objbase.h>
#include <wincodec.h>

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

class WicMaker : public ThumbnailMaker {
public:
    ThumbResult Make(std::string_view bytes, int32_t box, const std::atomic<bool>& stop) override {
        ThumbResult result;
        if (bytes.size() < 8 || bytes.size() > UINT32_MAX)
            return result;
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
            FAILED(decoder->GetFrame(0, &frame)) || FAILED(frame->GetSize(&width, &height)) || width == 0 ||
            height == 0 || width > INT32_MAX || height > INT32_MAX)
            return result;
        const bool jpeg = static_cast<unsigned char>(bytes[0]) == 0xFF && static_cast<unsigned char>(bytes[1]) == 0xD8;
        const int orientation = OrientationOf(bytes);
        const Plan plan = PlanThumbnail(static_cast<int32_t>(width), static_cast<int32_t>(height), orientation, box);
        result.Width = plan.ShowWidth;
        result.Height = plan.ShowHeight;
        if (plan.Small) {
            result.Outcome = ThumbOutcome::Small;
            return result;
        }
        // JPEG is scaled while decoded; the others are decoded whole first.
        if (static_cast<int64_t>(width) * height > (jpeg ? 4 : 1) * kMaxDecodedPixels || stop.load() ||
            (!jpeg && !HoldsClaimedPixels(bytes, static_cast<int32_t>(width), static_cast<int32_t>(height))))
            return result;
        Com<IWICBitmapScaler> scaler;
        Com<IWICFormatConverter> converter;
        if (FAILED(factory->CreateBitmapScaler(&scaler)) ||
            FAILED(scaler->Initialize(frame.get(), static_cast<UINT>(plan.DecodeWidth),
                                      static_cast<UINT>(plan.DecodeHeight), WICBitmapInterpolationModeFant)) ||
            FAILED(factory->CreateFormatConverter(&converter)) ||
            FAILED(converter->Initialize(scaler.get(), GUID_WICPixelFormat32bppBGRA, WICBitmapDitherTypeNone, nullptr,
                                         0.0, WICBitmapPaletteTypeCustom)))
            return result;
        Picture pic;
        pic.Width = plan.DecodeWidth;
        pic.Height = plan.DecodeHeight;
        pic.Pixels.resize(static_cast<size_t>(pic.Width) * pic.Height * 4);
        const UINT stride = static_cast<UINT>(pic.Width) * 4;
        if (FAILED(converter->CopyPixels(nullptr, stride, static_cast<UINT>(pic.Pixels.size()), pic.Pixels.data())))
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
