#include "x_session.hpp"

#include "frames/embedded.hpp"

#include <X11/XKBlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/extensions/Xdamage.h>
#include <X11/keysym.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <poll.h>
#include <stdexcept>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace e2e {

void sleep_for(std::chrono::milliseconds d)
{
    std::this_thread::sleep_for(d);
}

std::string make_scratch_dir(const std::string& stem)
{
    const char* tmp = std::getenv("TMPDIR");
    std::string dir = std::string(tmp && *tmp ? tmp : "/tmp") + "/" + stem + "-XXXXXX";
    if (!mkdtemp(dir.data())) {
        throw std::runtime_error("cannot make a scratch directory in " + dir.substr(0, dir.rfind('/')));
    }
    return dir;
}

namespace {

std::vector<std::string> environment_with(const std::vector<std::string>& changes)
{
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        env.emplace_back(*e);
    }
    for (const std::string& change : changes) {
        const std::string name = change.substr(0, change.find('='));
        std::erase_if(env, [&](const std::string& e) { return e.compare(0, name.size() + 1, name + "=") == 0; });
        if (change.find('=') != std::string::npos) {
            env.push_back(change);
        }
    }
    return env;
}

std::vector<char*> pointers(std::vector<std::string>& strings)
{
    std::vector<char*> p;
    for (std::string& s : strings) {
        p.push_back(s.data());
    }
    p.push_back(nullptr);
    return p;
}

}  // namespace

Process::Process(const std::vector<std::string>& argv, const std::vector<std::string>& env_changes,
                 const std::string& output)
{
    std::vector<std::string> args = argv;
    std::vector<std::string> env = environment_with(env_changes);
    std::vector<char*> arg_p = pointers(args);
    std::vector<char*> env_p = pointers(env);
    int err[2];
    if (pipe2(err, O_CLOEXEC) != 0) {
        throw std::runtime_error("pipe failed");
    }
    pid_ = fork();
    if (pid_ < 0) {
        throw std::runtime_error("fork failed");
    }
    if (pid_ == 0) {
        dup2(err[1], STDERR_FILENO);
        if (!output.empty()) {
            const int out = open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
            if (out < 0 || dup2(out, STDOUT_FILENO) < 0) {
                _exit(127);
            }
        }
        execvpe(arg_p[0], arg_p.data(), env_p.data());
        _exit(127);
    }
    close(err[1]);
    stderr_fd_ = err[0];
}

Process::~Process()
{
    if (!status_) {
        ::kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    if (stderr_fd_ >= 0) {
        close(stderr_fd_);
    }
}

void Process::signal(int sig) const
{
    ::kill(pid_, sig);
}

bool Process::running()
{
    return !wait_for_exit(0ms).has_value();
}

std::optional<int> Process::wait_for_exit(std::chrono::milliseconds limit)
{
    const auto end = Clock::now() + limit;
    while (!status_) {
        int raw = 0;
        const pid_t r = waitpid(pid_, &raw, WNOHANG);
        if (r == pid_) {
            status_ = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
            break;
        }
        if (Clock::now() >= end) {
            break;
        }
        sleep_for(5ms);
    }
    return status_;
}

std::string Process::error_output()
{
    char buffer[4096];
    for (;;) {
        pollfd p{stderr_fd_, POLLIN, 0};
        if (poll(&p, 1, status_ ? 100 : 0) <= 0) {
            break;
        }
        const ssize_t n = read(stderr_fd_, buffer, sizeof buffer);
        if (n <= 0) {
            break;
        }
        errors_.append(buffer, static_cast<std::size_t>(n));
    }
    return errors_;
}

VirtualDisplay::VirtualDisplay(const std::string& size)
{
    // Xvfb picks a free display number and writes it to the descriptor we
    // give it, so parallel test runs never collide.
    int fds[2];
    if (pipe(fds) != 0) {
        throw std::runtime_error("pipe failed");
    }
    server_ =
        std::make_unique<Process>(std::vector<std::string>{"Xvfb", "-displayfd", std::to_string(fds[1]), "-screen", "0",
                                                           size + "x24", "-nolisten", "tcp", "-noreset"},
                                  std::vector<std::string>{});
    close(fds[1]);
    std::string number;
    pollfd p{fds[0], POLLIN, 0};
    char c = 0;
    while (poll(&p, 1, 10000) > 0 && read(fds[0], &c, 1) == 1 && c != '\n') {
        number += c;
    }
    close(fds[0]);
    if (number.empty()) {
        throw std::runtime_error("Xvfb did not start: " + server_->error_output());
    }
    name_ = ":" + number;
}

FrameMatcher::FrameMatcher(int tolerance) : tolerance_(tolerance)
{
    frames::decode_all(frames::parse_frame_set(frames::embedded_frame_set()), frames::PixelLayout::bgrx, frames_);
}

namespace {

bool same_picture(const XImage& image, const std::byte* frame, int tolerance)
{
    if (tolerance > 0) {
        for (int y = 0; y < program::height; ++y) {
            const auto* row = reinterpret_cast<const std::uint8_t*>(image.data + y * image.bytes_per_line);
            const auto* want = reinterpret_cast<const std::uint8_t*>(frame + y * frames::frame_pitch);
            for (std::size_t i = 0; i < frames::frame_pitch; ++i) {
                if (i % 4 != 3 && std::abs(static_cast<int>(row[i]) - static_cast<int>(want[i])) > tolerance) {
                    return false;
                }
            }
        }
        return true;
    }
    for (int y = 0; y < program::height; ++y) {
        const auto* row = reinterpret_cast<const std::uint32_t*>(image.data + y * image.bytes_per_line);
        const auto* want = reinterpret_cast<const std::uint32_t*>(frame + y * frames::frame_pitch);
        for (int x = 0; x < program::width; ++x) {
            if (((row[x] ^ want[x]) & 0x00FFFFFFu) != 0) {
                return false;
            }
        }
    }
    return true;
}

}  // namespace

int FrameMatcher::slot_of(const XImage& image) const
{
    if (image.bits_per_pixel != 32 || image.width < program::width || image.height < program::height) {
        return -1;
    }
    for (int s = 0; s < program::frame_count; ++s) {
        if (same_picture(image, frame(s), tolerance_)) {
            return s;
        }
    }
    return -1;
}

Connection::Connection(const std::string& display)
{
    for (int attempt = 0; attempt < 100 && !display_; ++attempt) {
        display_ = XOpenDisplay(display.c_str());
        if (!display_) {
            sleep_for(50ms);
        }
    }
    if (!display_) {
        throw std::runtime_error("cannot connect to " + display);
    }
}

Connection::~Connection()
{
    XCloseDisplay(display_);
}

std::string Connection::caption_of(Window w)
{
    char* name = nullptr;
    std::string caption;
    if (XFetchName(display_, w, &name) && name) {
        caption = name;
        XFree(name);
    }
    return caption;
}

Window Connection::wait_for_window(const std::string& caption, std::chrono::milliseconds limit)
{
    const auto end = Clock::now() + limit;
    while (Clock::now() < end) {
        Window root_return = 0;
        Window parent = 0;
        Window* children = nullptr;
        unsigned count = 0;
        XQueryTree(display_, DefaultRootWindow(display_), &root_return, &parent, &children, &count);
        Window found = 0;
        for (unsigned i = 0; i < count && !found; ++i) {
            XWindowAttributes a;
            if (XGetWindowAttributes(display_, children[i], &a) && a.map_state == IsViewable &&
                caption_of(children[i]) == caption) {
                found = children[i];
            }
        }
        if (children) {
            XFree(children);
        }
        if (found) {
            return found;
        }
        sleep_for(10ms);
    }
    return 0;
}

XWindowAttributes Connection::attributes(Window w)
{
    XWindowAttributes a{};
    XGetWindowAttributes(display_, w, &a);
    return a;
}

namespace {

// XGetImage on a window that vanished raises an X error; the default
// handler would end the test program.
int ignore_error(Display*, XErrorEvent*)
{
    return 0;
}

}  // namespace

int Connection::slot_shown(Window w, const FrameMatcher& frames)
{
    auto* old = XSetErrorHandler(ignore_error);
    XImage* image = XGetImage(display_, w, 0, 0, program::width, program::height, AllPlanes, ZPixmap);
    XSync(display_, False);
    XSetErrorHandler(old);
    if (!image) {
        return -1;
    }
    const int slot = frames.slot_of(*image);
    XDestroyImage(image);
    return slot;
}

int Connection::wait_for_slot(Window w, const StripMatcher& strips, std::chrono::milliseconds limit)
{
    return wait_for_change(w, strips, -1, limit);
}

int Connection::wait_for_change(Window w, const StripMatcher& strips, int from, std::chrono::milliseconds limit)
{
    const auto end = Clock::now() + limit;
    do {
        const int s = strips.slot(display_, w);
        if (s >= 0 && s != from) {
            return s;
        }
    } while (Clock::now() < end);
    return -1;
}

Changes Connection::record_changes(Window w, const StripMatcher& strips, int count, std::chrono::milliseconds limit,
                                   const std::function<void()>& then)
{
    Changes c;
    const auto end = Clock::now() + limit;
    Clock::time_point last_sample{};
    Clock::time_point last_grab{};
    while (static_cast<int>(c.slots.size()) <= count && Clock::now() < end) {
        const int s = strips.slot(display_, w);
        const auto now = Clock::now();
        if (c.slots.size() > 1) {
            c.longest_grab_gap = std::max(c.longest_grab_gap, now - last_grab);
            ++c.grabs;
            c.unmatched += s < 0;
        }
        last_grab = now;
        if (s < 0) {
            continue;  // a present came between two rows
        }
        if (c.slots.size() > 1) {
            c.longest_without_frame = std::max(c.longest_without_frame, now - last_sample);
        }
        last_sample = now;
        if (c.slots.empty() || c.slots.back() != s) {
            c.slots.push_back(s);
            c.seen_at.push_back(now);
            if (c.slots.size() == 1 && then) {
                then();
            }
        }
    }
    return c;
}

std::vector<Clock::duration> Changes::ticks() const
{
    std::vector<Clock::duration> t;
    for (std::size_t i = 2; i < seen_at.size(); ++i) {
        t.push_back(seen_at[i] - seen_at[i - 1]);
    }
    return t;
}

Clock::duration Changes::shortest_tick() const
{
    const std::vector<Clock::duration> t = ticks();
    return t.empty() ? Clock::duration{} : *std::min_element(t.begin(), t.end());
}

Clock::duration Changes::longest_tick() const
{
    const std::vector<Clock::duration> t = ticks();
    return t.empty() ? Clock::duration{} : *std::max_element(t.begin(), t.end());
}

bool Changes::sampler_kept_up() const
{
    return !ticks().empty() && longest_grab_gap * 2 <= shortest_tick();
}

std::vector<int> Changes::steps() const
{
    std::vector<int> d;
    for (std::size_t i = 1; i < slots.size(); ++i) {
        d.push_back((slots[i] - slots[i - 1] + program::frame_count) % program::frame_count);
    }
    return d;
}

namespace {

// The largest difference between the red, green or blue values of two
// 0xRRGGBB pixels.
int channel_distance(std::uint32_t a, std::uint32_t b)
{
    int widest = 0;
    for (int shift = 0; shift < 24; shift += 8) {
        widest =
            std::max(widest, std::abs(static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF)));
    }
    return widest;
}

}  // namespace

StripMatcher::StripMatcher(const FrameMatcher& frames)
    : signatures_(program::frame_count), tolerance_(frames.tolerance())
{
    for (int s = 0; s < program::frame_count; ++s) {
        for (const int r : rows) {
            for (int x = 0; x < program::width; ++x) {
                const std::byte* p = frames.frame(s) + r * frames::frame_pitch + static_cast<std::size_t>(x) * 4;
                signatures_[s].push_back(std::to_integer<std::uint32_t>(p[0]) |
                                         std::to_integer<std::uint32_t>(p[1]) << 8 |
                                         std::to_integer<std::uint32_t>(p[2]) << 16);
            }
        }
    }
    // Two frames are told apart only if some value differs by more than
    // twice the tolerance.
    for (int a = 0; a < program::frame_count; ++a) {
        for (int b = a + 1; b < program::frame_count; ++b) {
            int widest = 0;
            for (std::size_t i = 0; i < signatures_[a].size(); ++i) {
                widest = std::max(widest, channel_distance(signatures_[a][i], signatures_[b][i]));
            }
            if (widest <= 2 * tolerance_) {
                throw std::runtime_error("the sampled rows do not tell slot " + std::to_string(a) + " from slot " +
                                         std::to_string(b));
            }
        }
    }
}

std::vector<std::uint32_t> StripMatcher::read_rows(Display* d, Window w)
{
    std::vector<std::uint32_t> seen;
    auto* old = XSetErrorHandler(ignore_error);
    for (const int r : rows) {
        XImage* image = XGetImage(d, w, 0, r, program::width, 1, AllPlanes, ZPixmap);
        if (!image) {
            seen.clear();
            break;
        }
        for (int x = 0; x < program::width; ++x) {
            seen.push_back(static_cast<std::uint32_t>(XGetPixel(image, x, 0)) & 0xFFFFFFu);
        }
        XDestroyImage(image);
    }
    XSync(d, False);
    XSetErrorHandler(old);
    return seen;
}

int StripMatcher::slot(Display* d, Window w) const
{
    const std::vector<std::uint32_t> seen = read_rows(d, w);
    if (seen.empty()) {
        return -1;
    }
    for (int s = 0; s < program::frame_count; ++s) {
        const std::vector<std::uint32_t>& want = signatures_[static_cast<std::size_t>(s)];
        bool same = true;
        for (std::size_t i = 0; i < seen.size() && same; ++i) {
            same = tolerance_ == 0 ? seen[i] == want[i] : channel_distance(seen[i], want[i]) <= tolerance_;
        }
        if (same) {
            return s;
        }
    }
    return -1;
}

int StripMatcher::near_slot(Display* d, Window w, const std::vector<int>& slots) const
{
    const std::vector<std::uint32_t> seen = read_rows(d, w);
    if (seen.empty()) {
        return -1;
    }
    for (const int s : slots) {
        const std::vector<std::uint32_t>& want = signatures_[static_cast<std::size_t>(s)];
        long sum = 0;
        for (std::size_t i = 0; i < seen.size(); ++i) {
            sum += std::abs(static_cast<int>((seen[i] >> 8) & 0xFF) - static_cast<int>((want[i] >> 8) & 0xFF));
        }
        if (static_cast<double>(sum) / static_cast<double>(seen.size()) < 6.0) {
            return s;
        }
    }
    return -1;
}

DamageCounter::DamageCounter(Display* d, Window w) : display_(d)
{
    int error_base = 0;
    if (!XDamageQueryExtension(d, &event_base_, &error_base)) {
        throw std::runtime_error("the X server has no DAMAGE extension");
    }
    damage_ = XDamageCreate(d, w, XDamageReportRawRectangles);
    XSync(d, False);
}

DamageCounter::~DamageCounter()
{
    // The server frees the damage object itself when the window is
    // destroyed, and then refuses to destroy it again.
    auto* old = XSetErrorHandler(ignore_error);
    XDamageDestroy(display_, damage_);
    XSync(display_, False);
    XSetErrorHandler(old);
}

long DamageCounter::count()
{
    while (XPending(display_)) {
        XEvent e;
        XNextEvent(display_, &e);
        seen_ += e.type == event_base_ + XDamageNotify;
    }
    return seen_;
}

long DamageCounter::wait_for(long count, std::chrono::milliseconds limit)
{
    const auto end = Clock::now() + limit;
    while (this->count() < count && Clock::now() < end) {
        sleep_for(1ms);
    }
    return seen_;
}

std::vector<Window> Connection::frame_sized_windows()
{
    Window root = 0;
    Window parent = 0;
    Window* children = nullptr;
    unsigned count = 0;
    auto* old = XSetErrorHandler(ignore_error);
    XQueryTree(display_, DefaultRootWindow(display_), &root, &parent, &children, &count);
    std::vector<Window> found;
    for (unsigned i = count; i-- > 0;) {
        XWindowAttributes a{};
        if (XGetWindowAttributes(display_, children[i], &a) && a.map_state == IsViewable && a.width >= program::width &&
            a.height >= program::height) {
            found.push_back(children[i]);
        }
    }
    XSync(display_, False);
    XSetErrorHandler(old);
    if (children) {
        XFree(children);
    }
    return found;
}

namespace {

long status_kib(int pid, const char* field)
{
    std::FILE* f = std::fopen(("/proc/" + std::to_string(pid) + "/status").c_str(), "r");
    if (!f) {
        return -1;
    }
    const std::string format = std::string(field) + ": %ld";
    char text[256];
    long kib = -1;
    while (std::fgets(text, sizeof text, f)) {
        if (std::sscanf(text, format.c_str(), &kib) == 1) {
            break;
        }
    }
    std::fclose(f);
    return kib;
}

}  // namespace

long peak_kib(int pid)
{
    // Read while the process runs: the kernel's figure at exit would also
    // count the pages it shared with this program between fork and exec.
    return status_kib(pid, "VmHWM");
}

long resident_kib(int pid)
{
    return status_kib(pid, "VmRSS");
}

void Connection::type(unsigned long keysym)
{
    const KeyCode code = XKeysymToKeycode(display_, keysym);
    if (code == 0) {
        throw std::runtime_error("no key for keysym " + std::to_string(keysym));
    }
    // Hold Shift when the keysym sits on the key's shifted level.
    const bool shifted =
        XkbKeycodeToKeysym(display_, code, 0, 0) != keysym && XkbKeycodeToKeysym(display_, code, 0, 1) == keysym;
    const KeyCode shift = XKeysymToKeycode(display_, XK_Shift_L);
    if (shifted) {
        XTestFakeKeyEvent(display_, shift, True, 0);
    }
    XTestFakeKeyEvent(display_, code, True, 0);
    XTestFakeKeyEvent(display_, code, False, 0);
    if (shifted) {
        XTestFakeKeyEvent(display_, shift, False, 0);
    }
    flush();
}

void Connection::move_pointer(Window w, int x, int y)
{
    int rx = 0;
    int ry = 0;
    Window child = 0;
    XTranslateCoordinates(display_, w, DefaultRootWindow(display_), x, y, &rx, &ry, &child);
    XTestFakeMotionEvent(display_, DefaultScreen(display_), rx, ry, 0);
    flush();
}

void Connection::click(int button)
{
    XTestFakeButtonEvent(display_, static_cast<unsigned>(button), True, 0);
    XTestFakeButtonEvent(display_, static_cast<unsigned>(button), False, 0);
    flush();
}

void Connection::flush()
{
    XSync(display_, False);
}

namespace {

// Debian keeps Wine's programs out of PATH.
constexpr const char* wine64 = "/usr/lib/wine/wine64";
constexpr const char* wineserver = "/usr/lib/wine/wineserver";

std::vector<std::string> wine_environment(const std::string& scratch)
{
    // No debugging channels on stderr, and no offers to install Mono or
    // Gecko, which the viewer does not use.  Nothing outside the scratch
    // area: no menu entries, icons or desktop files from Wine's menu
    // builder, and a home of its own for what Wine keeps there.
    return {"WINEPREFIX=" + scratch + "/prefix", "HOME=" + scratch + "/home", "WINEDEBUG=-all",
            "WINEDLLOVERRIDES=mscoree,mshtml=;winemenubuilder.exe=d"};
}

}  // namespace

std::unique_ptr<Launcher> Launcher::from_environment()
{
    const char* which = std::getenv("VORMO_LAUNCHER");
    return make(which && std::string(which) == "wine");
}

std::unique_ptr<Launcher> Launcher::make(bool wine)
{
    if (!wine) {
        return std::unique_ptr<Launcher>(new Launcher(""));
    }
    const std::string dir = make_scratch_dir("vormo-wine");
    std::unique_ptr<Launcher> launcher(new Launcher(dir));
    std::filesystem::create_directory(dir + "/home");
    // A fresh prefix, made without a display: its windows are not wanted.
    std::vector<std::string> env = wine_environment(dir);
    env.emplace_back("DISPLAY");
    Process boot({wine64, "wineboot", "--init"}, env);
    const std::optional<int> status = boot.wait_for_exit(120s);
    if (status != 0) {
        throw std::runtime_error("wineboot failed: " + boot.error_output());
    }
    launcher->wait_for_server();
    return launcher;
}

void Launcher::wait_for_server() const
{
    if (!wine()) {
        return;
    }
    Process wait({wineserver, "--wait"}, wine_environment(prefix_));
    wait.wait_for_exit(30s);
}

Launcher::~Launcher()
{
    if (!wine()) {
        return;
    }
    Process stop({wineserver, "--kill"}, wine_environment(prefix_));
    stop.wait_for_exit(10s);
    std::filesystem::remove_all(prefix_);
}

std::unique_ptr<Process> Launcher::start(const std::string& program, const std::vector<std::string>& env_changes,
                                         const std::vector<std::string>& args, const std::string& output) const
{
    std::vector<std::string> argv;
    std::vector<std::string> env = env_changes;
    if (wine()) {
        argv.emplace_back(wine64);
        const std::vector<std::string> w = wine_environment(prefix_);
        env.insert(env.end(), w.begin(), w.end());
    }
    argv.push_back(program);
    argv.insert(argv.end(), args.begin(), args.end());
    return std::make_unique<Process>(argv, env, output);
}

std::chrono::milliseconds Launcher::slack(std::chrono::milliseconds native) const
{
    return wine() ? native * 4 + 4000ms : native;
}

void Launcher::focus(Connection& x, Window w) const
{
    if (wine()) {
        XSetInputFocus(x.display(), w, RevertToParent, CurrentTime);
        x.flush();
        sleep_for(300ms);  // until Wine has made the window its active one
    }
}

int Launcher::frame_tolerance() const
{
    // Wine's JPEG codec is IJG libjpeg 9, which upsamples the chroma in the
    // DCT domain: up to about 45 levels from TurboJPEG at colour edges.
    // Neighbouring frames differ by far more where the cam's white edge
    // moves over black.
    return wine() ? 64 : 0;
}

std::string Launcher::scratch_path(const std::string& name) const
{
    // Wine's drive Z: is the root of the Linux file system.
    return wine() ? "Z:" + prefix_ + "/" + name : prefix_ + "/" + name;
}

}  // namespace e2e
