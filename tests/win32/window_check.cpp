// The Windows program's real window, opened in this process under Wine and
// run by the viewer: it opens with a client area of exactly the frames'
// size at the system's DPI and keeps it however it is shown (maximized,
// minimized, restored) while the frames go on playing; it takes no part in
// input methods; its icons come from the resource's image of their size;
// and when the program fails it is taken down.
//
//   window_check [DPI]   exit status 0 when every check held; with DPI,
//                        also that the window is drawn at that DPI

#include "frames/embedded.hpp"
#include "platform/platform.hpp"
#include "platform/win32/geometry.hpp"
#include "viewer/holders.hpp"
#include "viewer/viewer.hpp"

#include "check.hpp"

#include <windows.h>

#include <imm.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <memory>
#include <string>
#include <vector>

namespace {

using win32_checks::check;
using win32_checks::failures;

// The program's window, found by its class: the name Windows knows it by.
HWND program_window()
{
    return FindWindowW(L"VormoKidney", nullptr);
}

bool client_is_frame_sized(HWND hwnd)
{
    RECT r{};
    GetClientRect(hwnd, &r);
    std::fprintf(stderr, "client area %ld x %ld\n", r.right - r.left, r.bottom - r.top);
    return r.right - r.left == program::width && r.bottom - r.top == program::height;
}

// An icon's colour pixels as B, G, R, A rows, top row first; its side
// comes back in side (0 when it has no colour image).
std::vector<std::uint32_t> icon_pixels(HICON icon, int& side)
{
    side = 0;
    ICONINFO info{};
    if (!icon || !GetIconInfo(icon, &info)) {
        return {};
    }
    BITMAP b{};
    std::vector<std::uint32_t> pixels;
    if (info.hbmColor && GetObjectW(info.hbmColor, sizeof b, &b) && b.bmWidth == b.bmHeight) {
        side = b.bmWidth;
        BITMAPINFO want{};
        want.bmiHeader.biSize = sizeof want.bmiHeader;
        want.bmiHeader.biWidth = side;
        want.bmiHeader.biHeight = -side;
        want.bmiHeader.biPlanes = 1;
        want.bmiHeader.biBitCount = 32;
        want.bmiHeader.biCompression = BI_RGB;
        pixels.resize(static_cast<std::size_t>(side) * side);
        HDC dc = GetDC(nullptr);
        GetDIBits(dc, info.hbmColor, 0, static_cast<UINT>(side), pixels.data(), &want, DIB_RGB_COLORS);
        ReleaseDC(nullptr, dc);
    }
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    return pixels;
}

// The icon resource holds an image of each size Windows shows it at, from
// 16 to 256 pixels, uncompressed below 256; each decodes to its size; and
// the window's small icon is the image of the small-icon size as it stands.
void check_icons(HWND hwnd)
{
    const LPCWSTR group_icon = MAKEINTRESOURCEW(14);  // RT_GROUP_ICON, in UTF-16
    const LPCWSTR icon_image = MAKEINTRESOURCEW(3);   // RT_ICON
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    const HRSRC group = FindResourceW(instance, MAKEINTRESOURCEW(1), group_icon);
    const auto* directory = group ? static_cast<const BYTE*>(LockResource(LoadResource(instance, group))) : nullptr;
    CHECK(directory != nullptr);
    if (!directory) {
        return;
    }
    const int small = GetSystemMetrics(SM_CXSMICON);
    std::vector<std::uint32_t> small_image;
    std::vector<int> sizes;
    const int count = directory[4] | directory[5] << 8;
    for (int i = 0; i < count; ++i) {
        // Entries of 14 bytes: width, height (0 for 256), ..., and the
        // image's resource number in the last two.
        const BYTE* entry = directory + 6 + 14 * i;
        const int size = entry[0] ? entry[0] : 256;
        sizes.push_back(size);
        const HRSRC image = FindResourceW(instance, MAKEINTRESOURCEW(entry[12] | entry[13] << 8), icon_image);
        const auto* bytes = image ? static_cast<const BYTE*>(LockResource(LoadResource(instance, image))) : nullptr;
        CHECK(bytes != nullptr);
        if (!bytes) {
            continue;
        }
        const bool png = std::memcmp(bytes, "\x89PNG", 4) == 0;
        check(png == (size == 256), __LINE__, std::to_string(size) + " pixels: PNG only at 256");
        const HICON icon = CreateIconFromResourceEx(const_cast<BYTE*>(bytes), SizeofResource(instance, image), TRUE,
                                                    0x00030000, 0, 0, LR_DEFAULTCOLOR);
        int side = 0;
        std::vector<std::uint32_t> pixels = icon_pixels(icon, side);
        check(side == size, __LINE__, std::to_string(size) + " pixels: decodes to " + std::to_string(side));
        if (size == small) {
            small_image = std::move(pixels);
        }
        DestroyIcon(icon);
    }
    CHECK((sizes == std::vector<int>{16, 20, 24, 32, 40, 48, 64, 256}));
    int side = 0;
    const std::vector<std::uint32_t> shown =
        icon_pixels(reinterpret_cast<HICON>(GetClassLongPtrW(hwnd, GCLP_HICONSM)), side);
    check(side == small, __LINE__, "a small icon of " + std::to_string(side) + " pixels");
    CHECK(!shown.empty() && shown == small_image);
}

}  // namespace

int main(int argc, char** argv)
{
    try {
        // A failure after the window is made takes it down before the
        // message says why.
        {
            const std::unique_ptr<platform::Platform> failing = platform::open_platform();
            CHECK(program_window() != nullptr);
            failing->fail("window_check: a failure on purpose");
            CHECK(program_window() == nullptr);
        }

        const std::unique_ptr<platform::Platform> window = platform::open_platform();
        const HWND hwnd = program_window();
        CHECK(hwnd != nullptr);
        if (argc > 1) {
            const UINT dpi = platform::win32::dpi_functions().dpi_of(hwnd);
            check(dpi == std::strtoul(argv[1], nullptr, 10), __LINE__, "drawn at " + std::to_string(dpi) + " dpi");
        }
        CHECK(client_is_frame_sized(hwnd));
        CHECK(ImmGetContext(hwnd) == nullptr);
        check_icons(hwnd);

        // Minimized before start-up, as a shortcut set to run minimized
        // starts it: start-up waits until it is restored.
        static bool restored = false;
        ShowWindow(hwnd, SW_MINIMIZE);
        SetTimer(nullptr, 0, 500, [](HWND, UINT, UINT_PTR id, DWORD) {
            KillTimer(nullptr, id);
            restored = true;
            ShowWindow(program_window(), SW_RESTORE);
        });
        viewer::Holders holders(frames::embedded_frame_set(), *window);
        if (!window->wait_until_active()) {
            std::fprintf(stderr, "window_check: the window closed before it was shown\n");
            return 1;
        }
        CHECK(restored && !IsIconic(hwnd));
        // Each tick's count is where the window is shown otherwise; the
        // shows and event passes between them carry the changes out.
        int ticks = 0;
        viewer::Viewer viewer(*window, holders, [&](double) {
            switch (++ticks) {
            case 5: ShowWindow(hwnd, SW_MAXIMIZE); break;
            case 10:
                CHECK(client_is_frame_sized(hwnd));
                ShowWindow(hwnd, SW_MINIMIZE);
                break;
            case 15: ShowWindow(hwnd, SW_RESTORE); break;  // maximized again
            case 20:
                CHECK(client_is_frame_sized(hwnd));
                ShowWindow(hwnd, SW_RESTORE);  // and back to normal
                break;
            case 25:
                CHECK(client_is_frame_sized(hwnd));
                ShowWindow(hwnd, SW_SHOWMAXIMIZED);
                break;
            case 30:
                CHECK(client_is_frame_sized(hwnd));
                PostMessageW(hwnd, WM_CHAR, program::escape, 0);
                break;
            default: break;
            }
            return std::uint64_t{0};
        });
        CHECK(viewer.run() == 0);
        CHECK(ticks >= 30);  // the frames went on playing until ESC
    } catch (const std::exception& e) {
        std::fprintf(stderr, "window_check: %s\n", e.what());
        return 1;
    }
    return failures == 0 ? 0 : 1;
}
