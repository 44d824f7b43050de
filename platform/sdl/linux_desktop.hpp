#pragma once

// The calls the SDL port makes beneath SDL, to X11, Wayland and Linux
// itself, kept together so that the rest of the port is SDL alone.

#include <cstddef>

namespace platform::sdl::linux_desktop {

// Parses no compose table for SDL's X input method: Xlib's built-in one
// would read the locale's whole table (some 6,000 sequences for UTF-8
// locales), a third of the time before the first frame, and every key this
// viewer reads is typed directly.  A table the user names is still read.
// Call before SDL opens the display.
void skip_compose_table();

// Undoes skip_compose_table() when SDL chose Wayland, whose keyboard
// library reads the same variable and would complain of an empty table at
// every keymap.
void keep_compose_table();

// Names the window after the desktop entry, as its Wayland app id and its
// X11 class, unless the user has named it (SDL reads both variables when it
// starts, the X11 one also on Wayland).  Call before SDL starts.
void name_window(const char* app_id);

// Ends the program with one line when the X connection is lost.  Call once
// the x11 video driver runs.
void end_on_lost_display();

// Faults the pages of [bytes, bytes + size) in with one call rather than one
// fault at a time.  Only advice: older kernels refuse it, and the pages are
// then faulted in as they are written.
void populate(void* bytes, std::size_t size);

}  // namespace platform::sdl::linux_desktop
