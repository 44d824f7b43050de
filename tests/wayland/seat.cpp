// A pointer and a keyboard for a headless Wayland compositor, kept attached
// for as long as a test runs, so that a window keeps its pointer and its
// keyboard focus between one action and the next.  It reads one command a
// line from the file it is given (a FIFO the test writes), carries it out,
// and waits until the compositor has taken it:
//
//   wayland_seat COMMANDS WIDTHxHEIGHT
//
//   move X Y        the pointer to (X, Y) of the output's layout
//   press, release  the left button
//   type TEXT       each character of TEXT (among - + , / * . = a and the blank)
//   key Escape      the Escape key

#include "virtual-keyboard-client.h"
#include "virtual-pointer-client.h"

#include <wayland-client.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <sys/mman.h>
#include <unistd.h>

namespace {

// The keys, each at a key code of its own: no shift level to choose.
struct Key {
    char character;
    const char* keysym;
};
constexpr Key keys[] = {{'-', "minus"},  {'+', "plus"},  {',', "comma"}, {'/', "slash"}, {'*', "asterisk"},
                        {'.', "period"}, {' ', "space"}, {'=', "equal"}, {'a', "a"},     {'\x1b', "Escape"}};
constexpr unsigned first_code = 9;       // X key codes start at 8; evdev's at 0
constexpr unsigned left_button = 0x110;  // BTN_LEFT

std::string keymap_text()
{
    std::string codes;
    std::string symbols;
    unsigned code = first_code;
    for (const Key& k : keys) {
        codes += "<K" + std::to_string(code) + "> = " + std::to_string(code) + ";\n";
        symbols += "key <K" + std::to_string(code) + "> { [ " + k.keysym + " ] };\n";
        ++code;
    }
    return "xkb_keymap {\n"
           "xkb_keycodes \"seat\" { minimum = 8; maximum = 255;\n" +
           codes +
           "};\n"
           "xkb_types \"seat\" { include \"complete\" };\n"
           "xkb_compatibility \"seat\" { include \"complete\" };\n"
           "xkb_symbols \"seat\" {\n" +
           symbols +
           "};\n"
           "};\n";
}

struct Globals {
    wl_seat* seat = nullptr;
    zwlr_virtual_pointer_manager_v1* pointers = nullptr;
    zwp_virtual_keyboard_manager_v1* keyboards = nullptr;
};

void global(void* data, wl_registry* registry, uint32_t name, const char* interface, uint32_t)
{
    auto* g = static_cast<Globals*>(data);
    if (std::strcmp(interface, wl_seat_interface.name) == 0 && !g->seat) {
        g->seat = static_cast<wl_seat*>(wl_registry_bind(registry, name, &wl_seat_interface, 1));
    } else if (std::strcmp(interface, zwlr_virtual_pointer_manager_v1_interface.name) == 0) {
        g->pointers = static_cast<zwlr_virtual_pointer_manager_v1*>(
            wl_registry_bind(registry, name, &zwlr_virtual_pointer_manager_v1_interface, 1));
    } else if (std::strcmp(interface, zwp_virtual_keyboard_manager_v1_interface.name) == 0) {
        g->keyboards = static_cast<zwp_virtual_keyboard_manager_v1*>(
            wl_registry_bind(registry, name, &zwp_virtual_keyboard_manager_v1_interface, 1));
    }
}

void global_remove(void*, wl_registry*, uint32_t)
{
}

uint32_t now_ms()
{
    using namespace std::chrono;
    return static_cast<uint32_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

}  // namespace

int main(int argc, char** argv)
{
    unsigned width = 0;
    unsigned height = 0;
    if (argc != 3 || std::sscanf(argv[2], "%ux%u", &width, &height) != 2 || !width || !height) {
        std::fprintf(stderr, "usage: wayland_seat COMMANDS WIDTHxHEIGHT\n");
        return 2;
    }
    wl_display* display = wl_display_connect(nullptr);
    if (!display) {
        std::fprintf(stderr, "wayland_seat: no compositor\n");
        return 1;
    }
    Globals g;
    static const wl_registry_listener listener = {global, global_remove};
    wl_registry_add_listener(wl_display_get_registry(display), &listener, &g);
    wl_display_roundtrip(display);
    if (!g.seat || !g.pointers || !g.keyboards) {
        std::fprintf(stderr, "wayland_seat: the compositor offers no virtual pointer or keyboard\n");
        return 1;
    }
    zwlr_virtual_pointer_v1* pointer = zwlr_virtual_pointer_manager_v1_create_virtual_pointer(g.pointers, g.seat);
    zwp_virtual_keyboard_v1* keyboard = zwp_virtual_keyboard_manager_v1_create_virtual_keyboard(g.keyboards, g.seat);
    const std::string map = keymap_text();
    const int fd = memfd_create("keymap", MFD_CLOEXEC);
    if (fd < 0 || write(fd, map.c_str(), map.size() + 1) != static_cast<ssize_t>(map.size() + 1)) {
        std::fprintf(stderr, "wayland_seat: cannot write the keymap\n");
        return 1;
    }
    zwp_virtual_keyboard_v1_keymap(keyboard, WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1, fd,
                                   static_cast<uint32_t>(map.size() + 1));
    wl_display_roundtrip(display);

    const auto tap = [&](char c) {
        unsigned code = first_code;
        for (const Key& k : keys) {
            if (k.character == c) {
                zwp_virtual_keyboard_v1_key(keyboard, now_ms(), code - 8, WL_KEYBOARD_KEY_STATE_PRESSED);
                zwp_virtual_keyboard_v1_key(keyboard, now_ms(), code - 8, WL_KEYBOARD_KEY_STATE_RELEASED);
                return true;
            }
            ++code;
        }
        return false;
    };

    std::ifstream commands(argv[1]);
    std::string line;
    while (std::getline(commands, line)) {
        unsigned x = 0;
        unsigned y = 0;
        bool known = true;
        if (std::sscanf(line.c_str(), "move %u %u", &x, &y) == 2) {
            zwlr_virtual_pointer_v1_motion_absolute(pointer, now_ms(), x, y, width, height);
            zwlr_virtual_pointer_v1_frame(pointer);
        } else if (line == "press" || line == "release") {
            zwlr_virtual_pointer_v1_button(pointer, now_ms(), left_button,
                                           line == "press" ? WL_POINTER_BUTTON_STATE_PRESSED
                                                           : WL_POINTER_BUTTON_STATE_RELEASED);
            zwlr_virtual_pointer_v1_frame(pointer);
        } else if (line.rfind("type ", 0) == 0) {
            for (const char c : line.substr(5)) {
                known = known && tap(c);
            }
        } else if (line == "key Escape") {
            tap('\x1b');
        } else {
            known = false;
        }
        if (!known) {
            std::fprintf(stderr, "wayland_seat: cannot do \"%s\"\n", line.c_str());
        }
        if (wl_display_roundtrip(display) < 0) {
            std::fprintf(stderr, "wayland_seat: lost the compositor\n");
            return 1;
        }
    }
    wl_display_disconnect(display);
    return 0;
}
