#include "linux_desktop.hpp"

#include <X11/Xlib.h>

#include <cstdint>
#include <cstdlib>
#include <sys/mman.h>
#include <unistd.h>

namespace platform::sdl::linux_desktop {

namespace {

// SDL installs nothing for a lost X connection, and Xlib's default handler
// prints several lines before exiting.  Say it once and leave at once: the
// display is gone, so there is nothing left to clean up on it.
int on_lost_display(Display*)
{
    static constexpr char message[] = "vormo-kidney: lost the connection to the X server\n";
    [[maybe_unused]] const ssize_t written = write(STDERR_FILENO, message, sizeof message - 1);
    _exit(1);
}

bool compose_table_skipped = false;

}  // namespace

void skip_compose_table()
{
    if (!std::getenv("XCOMPOSEFILE")) {
        setenv("XCOMPOSEFILE", "/dev/null", 1);
        compose_table_skipped = true;
    }
}

void keep_compose_table()
{
    if (compose_table_skipped) {
        unsetenv("XCOMPOSEFILE");
        compose_table_skipped = false;
    }
}

void name_window(const char* app_id)
{
    if (!std::getenv("SDL_VIDEO_WAYLAND_WMCLASS") && !std::getenv("SDL_VIDEO_X11_WMCLASS")) {
        setenv("SDL_VIDEO_WAYLAND_WMCLASS", app_id, 1);
        setenv("SDL_VIDEO_X11_WMCLASS", app_id, 1);
    }
}

void end_on_lost_display()
{
    XSetIOErrorHandler(on_lost_display);
}

void populate(void* bytes, std::size_t size)
{
    const auto page = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
    auto* start = static_cast<unsigned char*>(bytes);
    const std::size_t before = reinterpret_cast<std::uintptr_t>(start) % page;
    madvise(start - before, before + size, MADV_POPULATE_WRITE);
}

}  // namespace platform::sdl::linux_desktop
