#include "session.hpp"

#include "common/program.hpp"

#include <X11/keysym.h>

#include <algorithm>
#include <csignal>
#include <stdexcept>

namespace e2e {

Session::Session(const Launcher& launcher, std::vector<std::string> command, std::chrono::milliseconds limit)
    : launcher_(launcher), command_(std::move(command)), limit_(limit),
      frames_(FrameMatcher::shared(launcher.frame_tolerance()))
{
}

void Session::start(const std::vector<std::string>& extra_env)
{
    std::vector<std::string> env = environment();
    env.insert(env.end(), extra_env.begin(), extra_env.end());
    started_at_ = Clock::now();
    viewer_ = launcher_.start(command_.front(), env, {command_.begin() + 1, command_.end()});
}

bool Session::seen_first(int slot)
{
    if (slot < 0) {
        return false;
    }
    first_slot_ = slot;
    first_seen_at_ = Clock::now();
    return true;
}

int Session::next_slot(int from, std::chrono::milliseconds limit)
{
    return wait_for_change([this] { return shown(); }, from, limit);
}

Changes Session::record_changes(int count, std::chrono::milliseconds limit, const std::function<void()>& then)
{
    return e2e::record_changes([this] { return shown(); }, count, limit, then);
}

void Session::flood(const std::vector<std::pair<int, int>>& points)
{
    for (const auto& [x, y] : points) {
        move(x, y);
    }
}

void Session::drag(std::pair<int, int> from, std::pair<int, int> to)
{
    move(from.first, from.second);
    press();
    move(to.first, to.second);
}

void Session::cover(bool)
{
    throw std::logic_error("only an X11 session covers the window");
}

namespace {

// The program's window on a virtual X server of its own (or one it shares
// with sessions before and after it): found by its caption or by its
// picture, seen through three rows of pixels (fast enough to follow every
// tick), typed and pointed at through XTest, its updates counted by DAMAGE.
class X11Session final : public Session {
public:
    X11Session(const Launcher& launcher, std::vector<std::string> command, const Options& options)
        : Session(launcher, std::move(command), options.limit), caption_(options.caption),
          // Wine's server serves one display, so the one of an earlier
          // session on another must end first.
          display_(options.display ? options.display
                                   : (launcher.wait_for_server(), std::make_shared<VirtualDisplay>(options.screen))),
          x_(std::make_unique<Connection>(display_->name())), strips_(frames_)
    {
    }

    bool launch() override
    {
        x_->queue_pointer_at(5, 5);  // outside the window, where it sets no pace
        x_->flush();
        start();
        if (caption_.empty()) {
            // Looked for as fast as the server answers, to time the picture.
            wait_until(launcher_.slack(limit_), [this] { return found_by_picture(); });
        } else {
            window_ = x_->wait_for_window(caption_, launcher_.slack(limit_));
            // Looked at the moment it appears, before anything else.
            if (window_ != 0) {
                seen_first(next_slot(-1, limit_));
            }
        }
        if (first_slot_ < 0) {
            return false;
        }
        launcher_.focus(*x_, window_);
        return true;
    }
    std::vector<std::string> environment() const override
    {
        return {"DISPLAY=" + display_->name(), "WAYLAND_DISPLAY", "SDL_VIDEODRIVER"};
    }

    std::string caption() override { return x_->caption_of(window_); }
    std::string app_id() override { return x_->class_of(window_); }
    std::pair<int, int> client_size() override
    {
        const XWindowAttributes a = x_->attributes(window_);
        return {a.width, a.height};
    }
    int shown() override { return strips_.slot(x_->display(), window_); }
    int whole_slot() override { return slot_shown(*x_, window_, frames_); }

    void type(char key) override
    {
        switch (key) {
        case '\x1b': return x_->type(XK_Escape);
        case '\r': return x_->type(XK_Return);
        case '\t': return x_->type(XK_Tab);
        default: return x_->type(static_cast<unsigned char>(key));
        }
    }
    void move(int x, int y) override { x_->move_pointer(window_, x, y); }
    void flood(const std::vector<std::pair<int, int>>& points) override
    {
        const XWindowAttributes a = x_->attributes(window_);
        for (const auto& [x, y] : points) {
            x_->queue_pointer_at(a.x + x, a.y + y);
        }
        x_->flush();
    }
    void press() override { x_->press(); }
    void release() override { x_->release(); }
    void request_close() override { x_->request_close(window_); }

    bool runs(std::chrono::milliseconds limit) override
    {
        DamageCounter counter(x_->display(), window_);
        constexpr long enough = 3L * program::frame_count;
        return counter.wait_for(enough, limit) >= enough;
    }
    std::unique_ptr<DamageCounter> updates() override
    {
        return std::make_unique<DamageCounter>(x_->display(), window_);
    }
    void cover(bool covered) override
    {
        Display* d = x_->display();
        if (covered) {
            const XWindowAttributes a = x_->attributes(window_);
            XSetWindowAttributes override{};
            override.override_redirect = True;
            cover_ = XCreateWindow(d, DefaultRootWindow(d), a.x, a.y, program::width, program::height, 0,
                                   CopyFromParent, InputOutput, CopyFromParent, CWOverrideRedirect, &override);
            XMapRaised(d, cover_);
        } else {
            XDestroyWindow(d, cover_);
        }
        x_->flush();
    }

    void lose() override
    {
        x_.reset();  // closed before the server goes, or Xlib would end the test too
        display_->server().signal(SIGKILL);
    }
    std::string lost_line() const override { return "vormo-kidney: lost the connection to the X server\n"; }

private:
    // Whether a window of at least the frame size shows a frame, near
    // enough for a program that decodes with another codec; if so it is
    // the program's.
    bool found_by_picture()
    {
        const std::vector<Window> windows = x_->frame_sized_windows();
        const auto found = std::find_if(windows.begin(), windows.end(),
                                        [this](Window w) { return seen_first(strips_.near_slot(x_->display(), w)); });
        window_ = found == windows.end() ? 0 : *found;
        return window_ != 0;
    }

    const std::string caption_;
    const std::shared_ptr<VirtualDisplay> display_;
    std::unique_ptr<Connection> x_;
    StripMatcher strips_;
    Window window_ = 0;
    Window cover_ = 0;
};

// The program's window on a headless sway of its own, with no X server to
// fall back to: found by its app id, seen through grim (a tenth of a second
// a look), typed and pointed at by the session's own seat.
class WaylandSession final : public Session {
public:
    WaylandSession(const Launcher& launcher, std::vector<std::string> command, const std::string& seat, int scale,
                   std::chrono::milliseconds limit)
        : Session(launcher, std::move(command), limit), compositor_(seat, 1280 * scale, 1024 * scale, scale)
    {
    }

    bool launch() override
    {
        // In a sanitizer build, no leak report: SDL's Wayland surface draws
        // through Mesa's software OpenGL, whose driver is unloaded before
        // the check and leaves allocations it cannot name.  The X11 runs,
        // which share everything else, check for leaks.
        start({"ASAN_OPTIONS=detect_leaks=0"});
        // Found, focused, and showing a frame: mapped, and taking keys.
        wait_until(
            limit_, [&] { return (view().focused && seen_first(shown())) || !viewer_->running(); }, 50ms);
        return first_slot_ >= 0;
    }
    std::vector<std::string> environment() const override { return compositor_.client_environment(); }

    std::string caption() override { return view().title; }
    // The window is found by the id the program gives it, or not at all.
    std::string app_id() override { return view().found ? program::app_id : ""; }
    std::pair<int, int> client_size() override
    {
        const Compositor::View v = view();
        return {v.width, v.height};
    }

    // The window is looked for each time: the compositor places it after
    // it first appears.
    int shown() override
    {
        const Compositor::View v = view();
        const Compositor::Grab g = compositor_.grab(v.x, v.y, program::width, program::height);
        return g.bgrx.empty() ? -1 : frames_.slot_of(g.bgrx.data(), 4 * static_cast<std::size_t>(program::width));
    }

    void type(char key) override
    {
        if (key == '\x1b') {
            compositor_.escape();
        } else {
            compositor_.type(std::string(1, key));
        }
    }
    void move(int x, int y) override
    {
        const Compositor::View v = view();
        compositor_.move(v.x + x, v.y + y);
    }
    void press() override { compositor_.press(); }
    void release() override { compositor_.release(); }
    void request_close() override { compositor_.close(program::app_id); }

    bool runs(std::chrono::milliseconds limit) override { return record_changes(3, limit).slots.size() > 3; }

    void lose() override { compositor_.kill(); }
    std::string lost_line() const override { return "vormo-kidney: lost the connection to the Wayland compositor\n"; }

    Compositor* compositor() override { return &compositor_; }
    Compositor::View view() const override { return compositor_.view(program::app_id); }

private:
    Compositor compositor_;
};

}  // namespace

std::vector<std::string> Session::names(const Launcher& launcher)
{
    if (launcher.wine()) {
        return {"X11"};
    }
    return {"X11", "Wayland", "Wayland2"};
}

std::unique_ptr<Session> Session::make(const std::string& name, const Launcher& launcher,
                                       std::vector<std::string> command, const Options& options)
{
    if (name == "X11") {
        return std::make_unique<X11Session>(launcher, std::move(command), options);
    }
    if (name == "Wayland" || name == "Wayland2") {
        return std::make_unique<WaylandSession>(launcher, std::move(command), options.seat, name == "Wayland2" ? 2 : 1,
                                                options.limit);
    }
    throw std::invalid_argument("no such session: " + name);
}

}  // namespace e2e
