// The program's page in a browser: a canvas of the frames' size is the
// picture surface, the browser's own JPEG decoder makes the pictures, and
// the event pass yields to the browser once so that it can deliver the
// queued input.  The page's side lives in page.js.

#include "platform/platform.hpp"
#include "platform/pointer.hpp"

#include <emscripten.h>

namespace platform::web {

namespace {

// The page's side, called from the viewer's one thread.  Asynchronous ones
// suspend the program (ASYNCIFY) until the browser has done its part.

// The page starts listening: for typed characters (the browser's own action
// on them is prevented while the viewer runs) and ESC, and for the pointer,
// queuing each input as one of the kinds below.
EM_JS(void, page_open,
      (int escape, int character, int click, int double_click, int move, int press, int release, int leave, int land), {
          Module.vormo.open(escape, {character, click, doubleClick : double_click, move, press, release, leave, land});
      });

// Image<holder> will be asked for: the browser starts decoding it.
EM_JS(void, page_expect, (const void* data, int size, int holder),
      { Module.vormo.expect(HEAPU8.subarray(data, data + size), holder); });

// 0 when the picture was made, 1 when the browser cannot decode the stream,
// 2 when it decodes to another size.
EM_ASYNC_JS(int, page_decode, (const void* data, int size, int holder),
            { return await Module.vormo.decode(HEAPU8.subarray(data, data + size), holder); });

EM_JS(void, page_show, (int holder), { Module.vormo.show(holder); });
EM_JS(void, page_clear, (), { Module.vormo.clear(); });

// Yields to the browser once (and, while the page is hidden, until it is
// shown again).
EM_ASYNC_JS(void, page_yield, (), { await Module.vormo.yield(); });

// The next queued event: its kind (0 when there is none), and its values.
EM_JS(int, page_next_event, (int* code, int* x, int* y), {
    const e = Module.vormo.events.shift();
    if (!e) {
        return 0;
    }
    HEAP32[code >> 2] = e.code || 0;
    HEAP32[x >> 2] = e.x || 0;
    HEAP32[y >> 2] = e.y || 0;
    return e.kind;
});

EM_JS(void, page_fail, (const char* line), { Module.vormo.fail(UTF8ToString(line)); });
EM_JS(void, page_end, (), { Module.vormo.end(); });

// The kinds of input the page queues: a tap is a click or a double-click
// already; the mouse's presses (with the browser's count), releases and
// moves, the pointer leaving the canvas, and a touch landing go through the
// pointer rules.
enum Kind {
    none = 0,
    character = 1,
    click = 2,
    double_click = 3,
    move = 4,
    press = 5,
    release = 6,
    leave = 7,
    land = 8
};

class Page final : public Platform {
public:
    Page()
    {
        page_open(static_cast<int>(program::escape), character, click, double_click, move, press, release, leave, land);
    }
    // The program is ending: the page stops listening and says so.
    ~Page() override { page_end(); }
    Page(const Page&) = delete;
    Page& operator=(const Page&) = delete;

    // The browser decodes off the program's thread: every frame at once.
    void expect(frames::Bytes jpeg, int holder) override
    {
        page_expect(jpeg.data(), static_cast<int>(jpeg.size()), holder);
    }

    // The page keeps the browser's picture under the holder's number.
    Picture decode(frames::Bytes jpeg, int holder) override
    {
        const int result = page_decode(jpeg.data(), static_cast<int>(jpeg.size()), holder);
        if (result != 0) {
            throw frames::BadFrameSet(result == 2 ? frames::Problem::wrong_size : frames::Problem::undecodable, holder);
        }
        return Picture{holder};
    }

    bool wait_until_active() override { return true; }

    void show(Picture picture) override { page_show(picture.holder); }

    void process_events(EventHandler& handler) override
    {
        page_yield();
        int code = 0;
        int x = 0;
        int y = 0;
        for (int kind; (kind = page_next_event(&code, &x, &y)) != none;) {
            const std::optional<Event> e = event_of(kind, code, x, y);
            if (e && !handler.handle(*e)) {
                return;
            }
        }
    }

    void clear() override { page_clear(); }

    // The canvas gives way to the line; the end that follows says nothing
    // more.
    void fail(const char* line) override { page_fail(line); }

private:
    std::optional<Event> event_of(int kind, int code, int x, int y)
    {
        switch (kind) {
        case character: return TypedCharacter{static_cast<char32_t>(code)};
        case click: return Click{};
        case double_click: return DoubleClick{};
        case press: return pointer_.pressed(code);
        case release: return pointer_.released();
        case leave: pointer_.left(); return std::nullopt;
        case land: return pointer_.landed(x, y);
        default: return pointer_.moved(x, y);
        }
    }

    PointerRules pointer_;
};

}  // namespace

}  // namespace platform::web

namespace platform {

std::unique_ptr<Platform> open_platform()
{
    return std::make_unique<web::Page>();
}

void report_failure(const char* line)
{
    web::page_fail(line);
}

}  // namespace platform
