#include "geometry.hpp"

#include "common/program.hpp"

#include <algorithm>

namespace platform::win32 {

namespace {

template <typename F> F load(HMODULE module, const char* name)
{
    // Through a function type without parameters, which any function
    // pointer converts to and from.
    return module ? reinterpret_cast<F>(reinterpret_cast<void (*)()>(GetProcAddress(module, name))) : nullptr;
}

}  // namespace

DpiFunctions::DpiFunctions()
{
    const HMODULE user32 = GetModuleHandleW(L"user32.dll");
    adjust_ = load<Adjust>(user32, "AdjustWindowRectExForDpi");
    dpi_for_window_ = load<DpiForWindow>(user32, "GetDpiForWindow");
}

UINT DpiFunctions::dpi_of(HWND hwnd) const
{
    return dpi_for_window_ && hwnd ? dpi_for_window_(hwnd) : 0;
}

SIZE DpiFunctions::frame(UINT dpi) const
{
    RECT r{0, 0, program::width, program::height};
    if (adjust_ && dpi) {
        adjust_(&r, window_style, FALSE, 0, dpi);
    } else {
        AdjustWindowRectEx(&r, window_style, FALSE, 0);
    }
    return {r.right - r.left, r.bottom - r.top};
}

const DpiFunctions& dpi_functions()
{
    static const DpiFunctions functions;
    return functions;
}

RECT rectangle_for_dpi(const RECT& suggested, SIZE frame, bool size_asked)
{
    if (size_asked) {
        return suggested;
    }
    return {suggested.left, suggested.top, suggested.left + frame.cx, suggested.top + frame.cy};
}

POINT centred_in(const RECT& work, SIZE frame)
{
    return {work.left + std::max(0L, (work.right - work.left - frame.cx) / 2),
            work.top + std::max(0L, (work.bottom - work.top - frame.cy) / 2)};
}

void allow_full_size(MINMAXINFO& limits, SIZE frame, POINT at)
{
    limits.ptMaxTrackSize.x = std::max(limits.ptMaxTrackSize.x, frame.cx);
    limits.ptMaxTrackSize.y = std::max(limits.ptMaxTrackSize.y, frame.cy);
    limits.ptMaxSize = {frame.cx, frame.cy};
    limits.ptMaxPosition = at;
}

}  // namespace platform::win32
