// The Windows port's rules as tables: what each message becomes, including
// messages Wine never sends (moves where nothing moved, the keyboard menu,
// a DPI change), fed on into the controls where the outcome is the viewer's
// state; the window's frame at each DPI; and system text in UTF-8.
//
//   messages_check       exit status 0 when every check held

#include "controls/mouse.hpp"
#include "platform/win32/geometry.hpp"
#include "platform/win32/messages.hpp"
#include "platform/win32/system_text.hpp"
#include "viewer/state.hpp"

#include "check.hpp"

#include <cstdio>
#include <string>
#include <vector>

namespace {

using namespace platform;
using namespace platform::win32;

using win32_checks::check;
using win32_checks::failures;

LPARAM at(int x, int y)
{
    return MAKELPARAM(static_cast<WORD>(static_cast<short>(x)), static_cast<WORD>(static_cast<short>(y)));
}

struct Message {
    UINT message;
    WPARAM w;
    LPARAM l;
};

// Translates the messages in order; the events they made.
std::vector<Event> events_of(const std::vector<Message>& messages, InputState& state)
{
    std::vector<Event> events;
    for (const Message& m : messages) {
        const Translation t = translate(m.message, m.w, m.l, state);
        events.insert(events.end(), t.events.begin(), t.events.begin() + t.event_count);
    }
    return events;
}

void characters()
{
    InputState s;
    CHECK(events_of({{WM_CHAR, 'a', 0}}, s) == std::vector<Event>{TypedCharacter{U'a'}});
    CHECK(events_of({{WM_CHAR, 27, 0}}, s) == std::vector<Event>{TypedCharacter{27}});  // ESC and Ctrl+[
    // A character beyond the BMP comes in two messages.
    CHECK(events_of({{WM_CHAR, 0xD83D, 0}, {WM_CHAR, 0xDE00, 0}}, s) == std::vector<Event>{TypedCharacter{0x1F600}});
    CHECK((events_of({{WM_CHAR, 0xD83D, 0}, {WM_CHAR, '+', 0}}, s) ==
           std::vector<Event>{TypedCharacter{0xFFFD}, TypedCharacter{U'+'}}));
}

void moves()
{
    InputState s;
    const Translation first = translate(WM_MOUSEMOVE, 0, at(512, 384), s);
    CHECK(first.event_count == 1 && first.events[0] == Event{to_user_scale(512, 384)} && !first.by_default);
    // The pointer reported where it already was: dropped.
    CHECK(translate(WM_MOUSEMOVE, 0, at(512, 384), s).event_count == 0);
    CHECK(translate(WM_MOUSEMOVE, 0, at(513, 384), s).event_count == 1);
    // Left of and above the window while the button is held.
    const Translation outside = translate(WM_MOUSEMOVE, MK_LBUTTON, at(-40, -3), s);
    CHECK(outside.event_count == 1 && outside.events[0] == Event{to_user_scale(-40, -3)});
}

void buttons()
{
    {
        InputState s;
        const Translation down = translate(WM_LBUTTONDOWN, MK_LBUTTON, at(10, 10), s);
        CHECK(down.event_count == 0 && down.capture == Capture::take);
        const Translation up = translate(WM_LBUTTONUP, 0, at(10, 10), s);
        CHECK(up.event_count == 1 && up.events[0] == Event{Click{}} && up.capture == Capture::release);
    }
    {
        // A release whose press was elsewhere is no click.
        InputState s;
        const Translation up = translate(WM_LBUTTONUP, 0, at(10, 10), s);
        CHECK(up.event_count == 0 && up.capture == Capture::keep);
    }
    {
        // Down, up, double-click, up: a click, then the double-click; its
        // release is nothing.
        InputState s;
        CHECK((events_of({{WM_LBUTTONDOWN, MK_LBUTTON, at(5, 5)},
                          {WM_LBUTTONUP, 0, at(5, 5)},
                          {WM_LBUTTONDBLCLK, MK_LBUTTON, at(5, 5)},
                          {WM_LBUTTONUP, 0, at(5, 5)}},
                         s) == std::vector<Event>{Click{}, DoubleClick{}}));
        CHECK(translate(WM_LBUTTONUP, 0, at(5, 5), s).event_count == 0);
    }
    {
        // The capture taken away while the button is held: the release went
        // elsewhere, and a later one here is stray.
        InputState s;
        translate(WM_LBUTTONDOWN, MK_LBUTTON, at(5, 5), s);
        CHECK(translate(WM_CAPTURECHANGED, 0, 0, s).by_default);
        CHECK(translate(WM_LBUTTONUP, 0, at(5, 5), s).event_count == 0);
    }
}

// Two clicks with only the move Windows sends after the capture is released
// between them leave the run state and the pace as they were; a real move
// after the first click steps.
void clicks_reach_the_controls()
{
    const auto run = [](const std::vector<Message>& messages) {
        InputState input;
        viewer::State state;
        state.n = program::command::run;
        for (const Event& e : events_of(messages, input)) {
            if (std::holds_alternative<Click>(e)) {
                controls::on_click(state);
            } else if (const auto* m = std::get_if<MouseMove>(&e)) {
                controls::on_mouse_move(state, m->x, m->y);
            }
        }
        return state;
    };
    const Message move{WM_MOUSEMOVE, 0, at(300, 200)};
    const Message down{WM_LBUTTONDOWN, MK_LBUTTON, at(300, 200)};
    const Message up{WM_LBUTTONUP, 0, at(300, 200)};
    const viewer::State before = run({move});
    const viewer::State twice = run({move, down, up, move, down, up});
    CHECK(twice.n == before.n && twice.m == before.m && twice.mm == before.mm && twice.k == before.k && twice.nm == 0);
    const viewer::State stepped = run({move, down, up, move, {WM_MOUSEMOVE, 0, at(300, 201)}});
    CHECK(stepped.nm == 1 && stepped.k == program::step_mode_pace && stepped.n == program::command::step_forward);
}

void system_commands()
{
    InputState s;
    // Alt or F10 tapped alone: no keyboard menu.
    const Translation alt = translate(WM_SYSCOMMAND, SC_KEYMENU, 0, s);
    CHECK(!alt.by_default && alt.answer == 0 && alt.event_count == 0);
    CHECK(!translate(WM_SYSCOMMAND, SC_KEYMENU | 0x3, 0, s).by_default);  // the low four bits are the system's
    // Alt+Space opens the system menu; the menu's commands are the system's.
    CHECK(translate(WM_SYSCOMMAND, SC_KEYMENU, ' ', s).by_default);
    CHECK(translate(WM_SYSCOMMAND, SC_CLOSE, 0, s).by_default);
    CHECK(translate(WM_SYSCOMMAND, SC_MOVE, 0, s).by_default);
}

void ending()
{
    InputState s;
    CHECK(events_of({{WM_CLOSE, 0, 0}}, s) == std::vector<Event>{CloseRequest{}});
    const Translation query = translate(WM_QUERYENDSESSION, 0, ENDSESSION_CLOSEAPP, s);
    CHECK(query.answer == TRUE && !query.by_default && query.event_count == 0);
    CHECK(events_of({{WM_ENDSESSION, TRUE, 0}}, s) == std::vector<Event>{CloseRequest{}});
    CHECK(events_of({{WM_ENDSESSION, FALSE, 0}}, s).empty());  // the session goes on
    CHECK(translate(WM_ERASEBKGND, 0, 0, s).answer == 1);
    // Activation by a click passes the click on.
    CHECK(translate(WM_MOUSEACTIVATE, 0, 0, s).by_default);
}

// The window's frame at each DPI keeps the client area the frames' size, at
// the corner the system suggests.
void dpi()
{
    using Adjust = BOOL(WINAPI*)(RECT*, DWORD, BOOL, DWORD, UINT);
    const auto adjust = reinterpret_cast<Adjust>(
        reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "AdjustWindowRectExForDpi")));
    if (!adjust) {
        std::printf("messages_check: no AdjustWindowRectExForDpi here; the frame at other DPIs is not checked\n");
        return;
    }
    for (const UINT dpi : {96u, 120u, 144u, 192u}) {
        RECT borders{0, 0, 0, 0};
        adjust(&borders, window_style, FALSE, 0, dpi);
        // What the system suggests: the old window scaled with the DPI.
        const LONG scaled_width = static_cast<LONG>((program::width + 16) * dpi / 96);
        const LONG scaled_height = static_cast<LONG>((program::height + 39) * dpi / 96);
        const RECT suggested{-200, 50, -200 + scaled_width, 50 + scaled_height};
        const RECT r = rectangle_for_dpi(suggested, dpi_functions().frame(dpi), false);
        const std::string at_dpi = " at " + std::to_string(dpi) + " dpi";
        check(r.left == -200 && r.top == 50, __LINE__, "the suggested corner" + at_dpi);
        check(r.right - r.left - (borders.right - borders.left) == program::width &&
                  r.bottom - r.top - (borders.bottom - borders.top) == program::height,
              __LINE__, "a 1024 x 768 client area" + at_dpi);
        // Asked for the size first, the system places the window where a
        // drag across screens keeps it under the pointer, and may trim it
        // to keep it on a screen: taken as given.
        const SIZE frame = dpi_functions().frame(dpi);
        const RECT placed{1700, -20, 1700 + frame.cx - 6, -20 + frame.cy - 4};
        const RECT kept = rectangle_for_dpi(placed, frame, true);
        check(kept.left == placed.left && kept.top == placed.top && kept.right == placed.right &&
                  kept.bottom == placed.bottom,
              __LINE__, "the suggested rectangle" + at_dpi);
    }
}

void short_screens()
{
    const SIZE frame{1040, 807};
    MINMAXINFO short_screen{};
    short_screen.ptMaxTrackSize = {1292, 732};  // a 1280 x 720 screen
    allow_full_size(short_screen, frame, {0, 0});
    CHECK(short_screen.ptMaxTrackSize.x == 1292 && short_screen.ptMaxTrackSize.y == 807);
    MINMAXINFO large{};
    large.ptMaxTrackSize = {2572, 1452};
    large.ptMaxSize = {2572, 1452};
    allow_full_size(large, frame, {700, 300});
    CHECK(large.ptMaxTrackSize.x == 2572 && large.ptMaxTrackSize.y == 1452);
    // Maximized: its own size, where it is, not the screen.
    CHECK(large.ptMaxSize.x == frame.cx && large.ptMaxSize.y == frame.cy);
    CHECK(large.ptMaxPosition.x == 700 && large.ptMaxPosition.y == 300);
}

// Placed in the work area of the screen under the pointer: centred, or at
// its corner on a screen too small.
void placement()
{
    const SIZE frame{1040, 807};
    const POINT second = centred_in(RECT{1920, 0, 3840, 1040}, frame);  // right of the primary, above a taskbar
    CHECK(second.x == 1920 + 440 && second.y == 116);
    const POINT left = centred_in(RECT{-1280, 200, 0, 920}, frame);  // 1280 x 720, left of the primary and lower
    CHECK(left.x == -1280 + 120 && left.y == 200);
}

void text()
{
    // A system message in German with quotes, a dash, CJK and an emoji.
    const std::wstring wide = L"Zugriff verweigert: \u201E\u00E4\u201C \u2014 \u65E5\u672C \U0001F600";
    const std::string utf8 =
        "Zugriff verweigert: \xE2\x80\x9E\xC3\xA4\xE2\x80\x9C \xE2\x80\x94 \xE6\x97\xA5\xE6\x9C\xAC "
        "\xF0\x9F\x98\x80";
    CHECK(narrow(wide) == utf8);
    CHECK(widen(utf8) == wide);
    CHECK(narrow(L"").empty() && widen("").empty());
}

}  // namespace

int main()
{
    characters();
    moves();
    buttons();
    clicks_reach_the_controls();
    system_commands();
    ending();
    dpi();
    short_screens();
    placement();
    text();
    if (failures) {
        std::fprintf(stderr, "messages_check: %d checks failed\n", failures);
        return 1;
    }
    return 0;
}
