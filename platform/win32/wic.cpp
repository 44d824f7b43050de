#include "wic.hpp"

#include "frames/pixels.hpp"

#include <windows.h>
#include <wincodec.h>

namespace platform::win32 {

using frames::BadFrameSet;
using frames::Problem;

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

}  // namespace

Wic::Wic()
{
    // S_FALSE means COM was already started on this thread; both are to be
    // balanced by CoUninitialize.
    com_started_ = SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE));
    if (FAILED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                                reinterpret_cast<void**>(&factory_)))) {
        factory_ = nullptr;
    }
}

Wic::~Wic()
{
    if (factory_) {
        factory_->Release();
    }
    if (com_started_) {
        CoUninitialize();
    }
}

void Wic::decode(frames::Bytes jpeg, std::byte* out, int holder)
{
    IWICImagingFactory* factory = factory_;
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
    if (width != program::width || height != program::height) {
        fail(Problem::wrong_size);
    }
    Com<IWICFormatConverter> converter;
    if (FAILED(factory->CreateFormatConverter(converter.out())) ||
        FAILED(converter->Initialize(frame.get(), GUID_WICPixelFormat32bppBGR, WICBitmapDitherTypeNone, nullptr, 0,
                                     WICBitmapPaletteTypeCustom)) ||
        FAILED(converter->CopyPixels(nullptr, static_cast<UINT>(frames::frame_pitch),
                                     static_cast<UINT>(frames::frame_bytes), reinterpret_cast<BYTE*>(out)))) {
        fail(Problem::undecodable);
    }
}

}  // namespace platform::win32
