#include "session.hpp"

#include "common/program.hpp"

#include <X11/keysym.h>

#include <csignal>
#include <stdexcept>
#include <thread>

namespace e2e {

namespace {

constexpr auto hang_limit = 20000ms;

// The program's window on a virtual X server of its own: found by its
// caption, seen through three rows of pixels (fast enough to follow every
// tick), typed and pointed at through XTest, its updates counted by DAMAGE.
class X11Session final : public Session {
public:
    X11Session(const Launcher& launcher, std::string program)
        : launcher_(launcher), program_(std::move(program)), x_(std::make_unique<Connection>(display_.name())),
          frames_(launcher.frame_tolerance()), strips_(frames_)
    {
    }

    bool launch() override
    {
        x_->queue_pointer_at(5, 5);  // outside the window, where it sets no pace
        x_->flush();
        viewer_ = launcher_.start(program_, {"DISPLAY=" + display_.name(), "WAYLAND_DISPLAY", "SDL_VIDEODRIVER"});
        window_ = x_->wait_for_window(program::caption, launcher_.slack(hang_limit));
        if (window_ == 0) {
            return false;
        }
        launcher_.focus(*x_, window_);
        return wait_for_slot(*x_, window_, strips_, hang_limit) >= 0;
    }

    std::string caption() override { return x_->caption_of(window_); }
    std::string app_id() override { return x_->class_of(window_); }
    std::pair<int, int> client_size() override
    {
        const XWindowAttributes a = x_->attributes(window_);
        return {a.width, a.height};
    }
    int shown() override { return strips_.slot(x_->display(), window_); }

    void type(char key) override { x_->type(key == '\x1b' ? XK_Escape : static_cast<unsigned long>(key)); }
    void move(int x, int y) override { x_->move_pointer(window_, x, y); }
    void press() override { x_->press(); }
    void release() override { x_->release(); }
    void request_close() override { x_->request_close(window_); }

    bool runs(std::chrono::milliseconds limit) override
    {
        DamageCounter updates(x_->display(), window_);
        return updates.wait_for(3 * program::frame_count, limit) >= 3 * program::frame_count;
    }

    void lose() override
    {
        x_.reset();  // closed before the server goes, or Xlib would end the test too
        display_.server().signal(SIGKILL);
    }
    std::string lost_line() const override { return "vormo-kidney: lost the connection to the X server\n"; }

private:
    const Launcher& launcher_;
    std::string program_;
    VirtualDisplay display_;
    std::unique_ptr<Connection> x_;
    FrameMatcher frames_;
    StripMatcher strips_;
    Window window_ = 0;
};

// The program's window on a headless sway of its own, with no X server to
// fall back to: found by its app id, seen through grim (a tenth of a second
// a look), typed and pointed at by the session's own seat.
class WaylandSession final : public Session {
public:
    WaylandSession(std::string program, const std::string& seat, int scale)
        : program_(std::move(program)), compositor_(seat, 1280 * scale, 1024 * scale, scale)
    {
    }

    bool launch() override
    {
        // In a sanitizer build, no leak report: SDL's Wayland surface draws
        // through Mesa's software OpenGL, whose driver is unloaded before
        // the check and leaves allocations it cannot name.  The X11 runs,
        // which share everything else, check for leaks.
        std::vector<std::string> env = compositor_.client_environment();
        env.emplace_back("ASAN_OPTIONS=detect_leaks=0");
        viewer_ = std::make_unique<Process>(std::vector<std::string>{program_}, env);
        // Found, focused, and showing a frame: mapped, and taking keys.
        const auto end = Clock::now() + hang_limit;
        while (!(view().focused && shown() >= 0)) {
            if (Clock::now() > end || !viewer_->running()) {
                return false;
            }
            std::this_thread::sleep_for(50ms);
        }
        return true;
    }

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

    bool runs(std::chrono::milliseconds limit) override
    {
        const auto end = Clock::now() + limit;
        int last = shown();
        for (int changes = 0; changes < 3;) {
            if (Clock::now() > end) {
                return false;
            }
            const int now = shown();
            if (now >= 0 && now != last) {
                ++changes;
                last = now;
            }
        }
        return true;
    }

    void lose() override { compositor_.kill(); }
    std::string lost_line() const override { return "vormo-kidney: lost the connection to the Wayland compositor\n"; }

    Compositor* compositor() override { return &compositor_; }
    Compositor::View view() const override { return compositor_.view(program::app_id); }

private:
    std::string program_;
    Compositor compositor_;
    const FrameMatcher frames_;
};

}  // namespace

std::vector<std::string> Session::names(const Launcher& launcher)
{
    if (launcher.wine()) {
        return {"X11"};
    }
    return {"X11", "Wayland", "Wayland2"};
}

std::unique_ptr<Session> Session::make(const std::string& name, const Launcher& launcher, const std::string& program,
                                       const std::string& seat)
{
    if (name == "X11") {
        return std::make_unique<X11Session>(launcher, program);
    }
    if (name == "Wayland" || name == "Wayland2") {
        return std::make_unique<WaylandSession>(program, seat, name == "Wayland2" ? 2 : 1);
    }
    throw std::invalid_argument("no such session: " + name);
}

}  // namespace e2e
