#include "wic.hpp"

#include "system_text.hpp"

#include "frames/pixels.hpp"

#include <windows.h>

#include <cstdio>
#include <string>

namespace platform::win32 {

using frames::BadFrameSet;
using frames::Problem;

using Microsoft::WRL::ComPtr;

namespace {

// The step, what the system says the HRESULT means, and its number (which
// is what a search finds).
std::string hresult(const char* step, HRESULT hr)
{
    char code[16];
    std::snprintf(code, sizeof code, "%08lX", static_cast<unsigned long>(hr));
    const std::string words = system_message(static_cast<DWORD>(hr));
    return std::string(step) + (words.empty() ? "" : ": " + words) + " (HRESULT 0x" + code + ")";
}

}  // namespace

Wic::Wic()
{
    // S_FALSE means COM was already started on this thread; both are to be
    // balanced by CoUninitialize.
    const HRESULT started = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    if (FAILED(started)) {
        throw WicUnavailable(hresult("cannot start COM for the Windows Imaging Component", started));
    }
    com_started_ = true;
    const HRESULT made =
        CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(factory_.GetAddressOf()));
    if (FAILED(made)) {
        CoUninitialize();
        throw WicUnavailable(hresult("cannot start the Windows Imaging Component", made));
    }
}

Wic::~Wic()
{
    factory_.Reset();  // before COM ends
    if (com_started_) {
        CoUninitialize();
    }
}

void Wic::decode(frames::Bytes jpeg, std::byte* out, int holder)
{
    IWICImagingFactory* factory = factory_.Get();
    const auto fail = [holder](Problem problem) { throw BadFrameSet(problem, holder); };
    ComPtr<IWICStream> stream;
    // The stream only reads the bytes, whatever its signature says.
    if (FAILED(factory->CreateStream(stream.GetAddressOf())) ||
        FAILED(stream->InitializeFromMemory(reinterpret_cast<BYTE*>(const_cast<std::byte*>(jpeg.data())),
                                            static_cast<DWORD>(jpeg.size())))) {
        fail(Problem::undecodable);
    }
    ComPtr<IWICBitmapDecoder> decoder;
    GUID container{};
    if (FAILED(factory->CreateDecoderFromStream(stream.Get(), nullptr, WICDecodeMetadataCacheOnDemand,
                                                decoder.GetAddressOf())) ||
        FAILED(decoder->GetContainerFormat(&container)) || container != GUID_ContainerFormatJpeg) {
        fail(Problem::undecodable);
    }
    ComPtr<IWICBitmapFrameDecode> frame;
    UINT width = 0;
    UINT height = 0;
    if (FAILED(decoder->GetFrame(0, frame.GetAddressOf())) || FAILED(frame->GetSize(&width, &height))) {
        fail(Problem::undecodable);
    }
    if (width != program::width || height != program::height) {
        fail(Problem::wrong_size);
    }
    ComPtr<IWICFormatConverter> converter;
    if (FAILED(factory->CreateFormatConverter(converter.GetAddressOf())) ||
        FAILED(converter->Initialize(frame.Get(), GUID_WICPixelFormat32bppBGR, WICBitmapDitherTypeNone, nullptr, 0,
                                     WICBitmapPaletteTypeCustom)) ||
        FAILED(converter->CopyPixels(nullptr, static_cast<UINT>(frames::frame_pitch),
                                     static_cast<UINT>(frames::frame_bytes), reinterpret_cast<BYTE*>(out)))) {
        fail(Problem::undecodable);
    }
}

}  // namespace platform::win32
