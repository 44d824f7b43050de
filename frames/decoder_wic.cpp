// The frame decoder on Windows: the Windows Imaging Component's own JPEG
// codec, in every Windows since Vista.

#include "holders.hpp"

#include <windows.h>
#include <wincodec.h>

namespace frames {

namespace {

// Owns one COM interface pointer.
template <typename T> class Com {
public:
    Com() = default;
    ~Com()
    {
        if (p_) {
            p_->Release();
        }
    }
    Com(const Com&) = delete;
    Com& operator=(const Com&) = delete;
    T** out() { return &p_; }
    T* operator->() const { return p_; }
    T* get() const { return p_; }

private:
    T* p_ = nullptr;
};

struct Wic {
    bool com_started = false;
    IWICImagingFactory* factory = nullptr;
};

// The decoder writes B, G, R, X; other layouts are reordered in place.
void reorder(std::byte* pixels, PixelLayout layout)
{
    if (layout == PixelLayout::bgrx) {
        return;
    }
    for (std::size_t i = 0; i < frame_bytes; i += bytes_per_pixel) {
        std::byte* p = pixels + i;
        const std::byte b = p[0];
        const std::byte g = p[1];
        const std::byte r = p[2];
        switch (layout) {
        case PixelLayout::rgbx: p[0] = r, p[2] = b; break;
        case PixelLayout::xbgr: p[0] = p[3], p[1] = b, p[2] = g, p[3] = r; break;
        case PixelLayout::xrgb: p[0] = p[3], p[1] = r, p[2] = g, p[3] = b; break;
        case PixelLayout::bgrx: break;
        }
    }
}

}  // namespace

Decoder::Decoder()
{
    auto* wic = new Wic;
    // S_FALSE means COM was already started on this thread; both are to be
    // balanced by CoUninitialize.
    wic->com_started = SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE));
    if (FAILED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                                reinterpret_cast<void**>(&wic->factory)))) {
        wic->factory = nullptr;
    }
    handle_ = wic;
}

Decoder::~Decoder()
{
    auto* wic = static_cast<Wic*>(handle_);
    if (wic->factory) {
        wic->factory->Release();
    }
    if (wic->com_started) {
        CoUninitialize();
    }
    delete wic;
}

void Decoder::decode(Bytes jpeg, PixelLayout layout, std::byte* out, int holder)
{
    IWICImagingFactory* factory = static_cast<Wic*>(handle_)->factory;
    const auto fail = [holder](Problem problem) { throw BadFrameSet(problem, holder); };
    if (!factory) {
        fail(Problem::undecodable);
    }
    Com<IWICStream> stream;
    // The stream only reads the bytes, whatever its signature says.
    if (FAILED(factory->CreateStream(stream.out())) ||
        FAILED(stream->InitializeFromMemory(reinterpret_cast<BYTE*>(const_cast<std::byte*>(jpeg.data())),
                                            static_cast<DWORD>(jpeg.size())))) {
        fail(Problem::undecodable);
    }
    Com<IWICBitmapDecoder> decoder;
    GUID container{};
    if (FAILED(
            factory->CreateDecoderFromStream(stream.get(), nullptr, WICDecodeMetadataCacheOnDemand, decoder.out())) ||
        FAILED(decoder->GetContainerFormat(&container)) || container != GUID_ContainerFormatJpeg) {
        fail(Problem::undecodable);
    }
    Com<IWICBitmapFrameDecode> frame;
    UINT width = 0;
    UINT height = 0;
    if (FAILED(decoder->GetFrame(0, frame.out())) || FAILED(frame->GetSize(&width, &height))) {
        fail(Problem::undecodable);
    }
    if (width != frame_width || height != frame_height) {
        fail(Problem::wrong_size);
    }
    Com<IWICFormatConverter> converter;
    if (FAILED(factory->CreateFormatConverter(converter.out())) ||
        FAILED(converter->Initialize(frame.get(), GUID_WICPixelFormat32bppBGR, WICBitmapDitherTypeNone, nullptr, 0,
                                     WICBitmapPaletteTypeCustom)) ||
        FAILED(converter->CopyPixels(nullptr, static_cast<UINT>(frame_pitch), static_cast<UINT>(frame_bytes),
                                     reinterpret_cast<BYTE*>(out)))) {
        fail(Problem::undecodable);
    }
    reorder(out, layout);
}

}  // namespace frames
