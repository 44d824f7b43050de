#pragma once

// What the end-to-end tests need around the real program: a virtual X
// server of their own, the program as a child process, and an X connection
// that finds its window, grabs it, and types and points through XTest.

#include "frames/pixels.hpp"
#include "frames/turbojpeg.hpp"

#include <X11/Xlib.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace e2e {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// A child process; killed (SIGKILL) and reaped on destruction if still running.
class Process {
public:
    // Starts argv[0] (searched in PATH) with extra environment entries
    // ("NAME=value", or "NAME" alone to remove it); stderr goes to a pipe,
    // and stdout to the file named by output, if any.
    Process(const std::vector<std::string>& argv, const std::vector<std::string>& env_changes,
            const std::string& output = "");
    ~Process();
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    int pid() const { return pid_; }
    void signal(int sig) const;
    // The exit status (or 128 + signal number) if the process ended in time.
    std::optional<int> wait_for_exit(std::chrono::milliseconds limit);
    bool running();
    // Everything the process wrote to stderr (after it ended).
    std::string error_output();

private:
    int pid_ = -1;
    int stderr_fd_ = -1;
    std::optional<int> status_;
    std::string errors_;
};

// Xvfb on a display number it picks itself, stopped by its pid at the end.
class VirtualDisplay {
public:
    explicit VirtualDisplay(const std::string& size = "1280x1024");
    const std::string& name() const { return name_; }
    Process& server() { return *server_; }

private:
    std::unique_ptr<Process> server_;
    std::string name_;
};

// The decoded frames in the window's pixel layout, for matching grabs.
class FrameMatcher {
public:
    // A grab shows a frame when every channel value is within tolerance of
    // the frame's TurboJPEG decoding: 0 for the Linux program, more for one
    // that decodes with another codec.
    explicit FrameMatcher(int tolerance = 0);
    // The slot whose frame the image shows, or -1.
    int slot_of(const XImage& image) const;
    // One frame's pixels, B, G, R, X.
    const std::byte* frame(int slot) const { return frames_.frame(slot + 1); }
    int tolerance() const { return tolerance_; }

private:
    frames::FrameBlock frames_;
    int tolerance_;
};

// Tells the slot on screen from three rows of the window, which tell all the
// frames apart: a grab that small is answered at once even while the program
// keeps the server busy with full-window presents, so sampling with it sees
// every frame at the start-up pace.
class StripMatcher {
public:
    static constexpr int rows[3] = {200, 383, 600};

    // With the full frames' tolerance; throws if the rows cannot tell two
    // frames apart at that tolerance.
    explicit StripMatcher(const FrameMatcher& frames);
    // The slot whose rows the window shows within the tolerance, or -1
    // (also when the window is gone, or a present came between two rows).
    int slot(Display* d, Window w) const;
    // The listed slot whose rows the window shows within a small mean
    // difference (other viewers' decoders round differently), or -1.
    int near_slot(Display* d, Window w, const std::vector<int>& slots) const;

private:
    // The three rows of the window as 0xRRGGBB values; empty if it is gone.
    static std::vector<std::uint32_t> read_rows(Display* d, Window w);

    std::vector<std::vector<std::uint32_t>> signatures_;
    int tolerance_;
};

// The frames a window showed while it was sampled: each change of slot with
// the time it was first seen, and how far apart the samples came from the
// first change on (before it the program may still be starting).
struct Changes {
    std::vector<int> slots;  // the first slot seen, then each new one
    std::vector<Clock::time_point> seen_at;
    Clock::duration longest_without_frame{};  // between two grabs that showed a frame
    Clock::duration longest_grab_gap{};       // between any two grabs
    long grabs = 0;                           // from the first change on
    long unmatched = 0;                       // grabs that showed no one frame
    // Time from one change to the next; the first slot's time is when
    // sampling began, so it starts no tick.
    std::vector<Clock::duration> ticks() const;
    Clock::duration shortest_tick() const;
    Clock::duration longest_tick() const;
    // The sampler looked often enough to see every frame if no gap between
    // its grabs was longer than half the shortest tick.  A frame whose every
    // grab showed no one frame (drawn only in part) was not seen whole, and
    // counts as not shown.
    bool sampler_kept_up() const;
    // The forward distance (0..frame_count-1) of each change.
    std::vector<int> steps() const;
};

// Counts the window's updates through X DAMAGE, for paces at which no
// sampler can see every frame.
class DamageCounter {
public:
    DamageCounter(Display* d, Window w);
    ~DamageCounter();
    DamageCounter(const DamageCounter&) = delete;
    DamageCounter& operator=(const DamageCounter&) = delete;
    // The updates since the counter was made, without waiting for more.
    long count();
    // Waits until the window has been updated count times since the counter
    // was made, or the limit passed; returns the updates seen.
    long wait_for(long count, std::chrono::milliseconds limit);

private:
    Display* display_;
    int event_base_ = 0;
    unsigned long damage_ = 0;
    long seen_ = 0;
};

class Connection {
public:
    explicit Connection(const std::string& display);
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    Display* display() const { return display_; }

    // Waits for a top-level window with the given caption; 0 if none comes.
    Window wait_for_window(const std::string& caption, std::chrono::milliseconds limit);
    std::string caption_of(Window w);
    // The window's client size and its position on the screen.
    XWindowAttributes attributes(Window w);
    // The viewable top-level windows of at least the frame size, topmost
    // first: other programs' windows, found without their captions.
    std::vector<Window> frame_sized_windows();

    // The slot the whole window shows, -1 if its picture is none of the
    // frames.
    int slot_shown(Window w, const FrameMatcher& frames);
    // Waits until the window shows one of the frames and returns its slot
    // (-1 on timeout).
    int wait_for_slot(Window w, const StripMatcher& strips, std::chrono::milliseconds limit);
    // Waits until the shown slot differs from `from` (-1 on timeout).
    int wait_for_change(Window w, const StripMatcher& strips, int from, std::chrono::milliseconds limit);
    // Samples the window until it has changed count times, or the limit
    // passed; then() is called once the first slot is seen (to type a
    // command, say, whose effect is to be seen).
    Changes record_changes(Window w, const StripMatcher& strips, int count, std::chrono::milliseconds limit,
                           const std::function<void()>& then = {});

    // Input through XTest, as a user would produce it.
    void type(unsigned long keysym);
    void move_pointer(Window w, int x, int y);  // x, y in the window's pixels
    void click(int button = 1);
    void flush();

private:
    Display* display_ = nullptr;
};

// The high-water mark of a running process's resident memory in KiB
// (VmHWM), or its current resident memory (VmRSS); -1 if it is gone.
long peak_kib(int pid);
long resident_kib(int pid);

void sleep_for(std::chrono::milliseconds d);

// A new empty directory named stem-XXXXXX under TMPDIR (or /tmp).
std::string make_scratch_dir(const std::string& stem);

// How the program under test is started: as it is, or, for the Windows
// program, under Debian's wine64 in a scratch prefix made for this run of
// the tests and removed at its end.  VORMO_LAUNCHER=wine picks Wine.
class Launcher {
public:
    static std::unique_ptr<Launcher> from_environment();
    // Native, or Wine in a fresh scratch prefix (made now, which takes a
    // while).
    static std::unique_ptr<Launcher> make(bool wine);
    ~Launcher();
    Launcher(const Launcher&) = delete;
    Launcher& operator=(const Launcher&) = delete;

    bool wine() const { return !prefix_.empty(); }
    // Starts the program with its arguments and the extra environment
    // entries (as Process takes them); under Wine, also Wine's own programs
    // (msiexec, reg).
    std::unique_ptr<Process> start(const std::string& program, const std::vector<std::string>& env_changes,
                                   const std::vector<std::string>& args = {}, const std::string& output = "") const;
    // Waits until Wine's server for the prefix has ended: one started with
    // no display cannot make windows for the programs started after it.
    void wait_for_server() const;
    // The prefix's drive C: in the Linux file system.
    std::string drive_c() const { return prefix_ + "/prefix/drive_c"; }
    // A limit for starting or ending, from the one the native program has:
    // Wine adds seconds of its own to both.
    std::chrono::milliseconds slack(std::chrono::milliseconds native) const;
    // With no window manager nobody gives a Wine window the input focus, as
    // a desktop would; this does.  Nothing for the native program, which
    // takes the focus itself.
    void focus(Connection& x, Window w) const;
    // How far a grab of the program's window may be from TurboJPEG's
    // decoding of a frame and still show it (see FrameMatcher).
    int frame_tolerance() const;
    // A path the started program can write to, inside the scratch area.
    std::string scratch_path(const std::string& name) const;

private:
    explicit Launcher(std::string prefix) : prefix_(std::move(prefix)) {}
    std::string prefix_;  // the scratch directory holding the Wine prefix; empty for native
};

}  // namespace e2e
