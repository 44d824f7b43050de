// The Windows program's real window, opened in this process under Wine and
// run by the viewer: it takes no part in input methods, and keeps a client
// area of exactly the frames' size however it is shown (maximized,
// minimized, restored), while the frames go on playing.
//
//   window_check         exit status 0 when every check held

#include "frames/embedded.hpp"
#include "platform/platform.hpp"
#include "viewer/holders.hpp"
#include "viewer/viewer.hpp"

#include "check.hpp"

#include <windows.h>

#include <imm.h>

#include <cstdint>
#include <cstdio>
#include <exception>
#include <memory>
#include <string>

namespace {

using win32_checks::check;
using win32_checks::failures;

bool client_is_frame_sized(HWND hwnd)
{
    RECT r{};
    GetClientRect(hwnd, &r);
    std::fprintf(stderr, "client area %ld x %ld\n", r.right - r.left, r.bottom - r.top);
    return r.right - r.left == program::width && r.bottom - r.top == program::height;
}

}  // namespace

int main()
{
    try {
        const std::unique_ptr<platform::Platform> window = platform::open_platform();
        const HWND hwnd = FindWindowW(L"VormoKidney", nullptr);
        CHECK(hwnd != nullptr);
        CHECK(ImmGetContext(hwnd) == nullptr);

        viewer::Holders holders(frames::embedded_frame_set(), *window);
        if (!window->wait_until_active()) {
            std::fprintf(stderr, "window_check: the window closed before it was shown\n");
            return 1;
        }
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
