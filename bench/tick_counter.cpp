// Counts a program's ticks from outside it, for the benchmarks.  Loaded
// ahead of SDL (LD_PRELOAD), it counts each call of SDL_PumpEvents, which
// the viewer makes once a tick, in the file VORMO_TICK_COUNT names (eight
// bytes, mapped shared, read by the benchmark while the program runs), and
// passes the call on to SDL.

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

namespace {

std::uint64_t* counter()
{
    static std::uint64_t* const count = []() -> std::uint64_t* {
        const char* path = std::getenv("VORMO_TICK_COUNT");
        const int fd = path ? open(path, O_RDWR | O_CREAT | O_CLOEXEC, 0600) : -1;
        if (fd < 0) {
            return nullptr;
        }
        void* p = ftruncate(fd, sizeof(std::uint64_t)) == 0
                      ? mmap(nullptr, sizeof(std::uint64_t), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0)
                      : MAP_FAILED;
        close(fd);
        return p == MAP_FAILED ? nullptr : static_cast<std::uint64_t*>(p);
    }();
    return count;
}

}  // namespace

extern "C" void SDL_PumpEvents()
{
    static const auto sdl = reinterpret_cast<void (*)()>(dlsym(RTLD_NEXT, "SDL_PumpEvents"));
    if (std::uint64_t* count = counter()) {
        std::atomic_ref<std::uint64_t>(*count).fetch_add(1, std::memory_order_relaxed);
    }
    sdl();
}
