#include "wayland.hpp"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <pwd.h>
#include <sstream>
#include <stdexcept>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

namespace e2e {

namespace fs = std::filesystem;

namespace {

// Weston's output, a window at the top left of its X screen, and a place on
// that screen below and right of it: the screen is larger, because Weston
// takes the pointer only once it has come into its window from outside.
constexpr int weston_width = 1280;
constexpr int weston_height = 1024;
constexpr std::pair<int, int> outside_weston = {weston_width + 100, weston_height + 100};

// The name of a socket in dir that starts with prefix, or "".
std::string socket_named(const std::string& dir, const std::string& prefix)
{
    for (const fs::directory_entry& e : fs::directory_iterator(dir)) {
        std::string name = e.path().filename().string();
        if (name.starts_with(prefix) && e.is_socket()) {
            return name;
        }
    }
    return {};
}

}  // namespace

Compositor::Compositor(const std::string& seat_program, int width, int height, int scale)
    : dir_("vormo-wayland"), scale_(scale),
      layout_(std::to_string(width / scale) + "x" + std::to_string(height / scale))
{
    const std::string config = dir_.path() + "/config";
    std::ofstream(config) << "output HEADLESS-1 resolution " << width << "x" << height << " scale " << scale << "\n"
                          << "xwayland disable\n"
                          << "seat seat0 hide_cursor 100\n";
    std::vector<std::string> argv = {"sway", "-c", config};
    if (geteuid() == 0) {
        const passwd* nobody = getpwnam("nobody");
        if (!nobody || chown(dir_.path().c_str(), nobody->pw_uid, nobody->pw_gid) != 0 ||
            chmod(config.c_str(), 0644) != 0) {
            throw std::runtime_error("cannot hand the compositor's runtime directory to nobody");
        }
        argv.insert(argv.begin(), {"setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups"});
    }
    sway_ = std::make_unique<Process>(argv, std::vector<std::string>{"XDG_RUNTIME_DIR=" + dir_.path(),
                                                                     "WLR_BACKENDS=headless",
                                                                     "WLR_LIBINPUT_NO_DEVICES=1", "WLR_RENDERER=pixman",
                                                                     "WAYLAND_DISPLAY", "DISPLAY", "SWAYSOCK"});
    std::string ipc;
    const bool up = wait_until(
        10s,
        [&] {
            display_ = socket_named(dir_.path(), "wayland-");
            ipc = socket_named(dir_.path(), "sway-ipc.");
            return !sway_->running() || (!display_.empty() && !ipc.empty());
        },
        20ms);
    if (!up || !sway_->running()) {
        sway_->stop();
        throw std::runtime_error("sway did not start: " + sway_->error_output());
    }
    ipc_ = dir_.path() + "/" + ipc;
    start_seat(seat_program);
}

void Compositor::start_seat(const std::string& program)
{
    // Commands go through a named pipe, opened once the program reads it.
    const std::string pipe = dir_.path() + "/seat";
    if (mkfifo(pipe.c_str(), 0600) != 0) {
        throw std::runtime_error("cannot make the seat's command pipe");
    }
    seat_ = std::make_unique<Process>(std::vector<std::string>{program, pipe, layout_}, client_environment());
    // Opening fails with ENXIO until the program has the pipe open.
    wait_until(
        10s,
        [&] {
            commands_ = open(pipe.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
            return commands_ >= 0 || errno != ENXIO || !seat_->running();
        },
        10ms);
    if (commands_ < 0) {
        throw std::runtime_error("the seat program did not start: " + seat_->error_output());
    }
    fcntl(commands_, F_SETFL, 0);  // writes wait for room again
}

Compositor::~Compositor()
{
    if (commands_ >= 0) {
        ::close(commands_);  // the seat program's end of input: it leaves
    }
    if (seat_) {
        seat_->stop();
    }
    if (sway_) {
        sway_->stop();
    }
}

std::vector<std::string> Compositor::client_environment() const
{
    return {"XDG_RUNTIME_DIR=" + dir_.path(), "WAYLAND_DISPLAY=" + display_, "DISPLAY", "SDL_VIDEODRIVER"};
}

std::string Compositor::run(std::vector<std::string> argv) const
{
    static int runs = 0;
    const std::string out = dir_.path() + "/out-" + std::to_string(++runs);
    std::vector<std::string> env = client_environment();
    env.push_back("SWAYSOCK=" + ipc_);
    Process p(argv, env, out);
    const std::optional<int> status = p.wait_for_exit(10s);
    if (status != 0) {
        throw std::runtime_error(argv[0] + " failed: " + p.error_output());
    }
    std::string text = read_file(out);
    fs::remove(out);
    return text;
}

Compositor::View Compositor::view(const std::string& app_id) const
{
    const std::string tree = dir_.path() + "/tree.json";
    std::ofstream(tree) << run({"swaymsg", "-t", "get_tree"});
    // The window's kind, focus, place, size and title, on one line.
    const std::string query = ".. | objects | select(.app_id? == $id) | \"\\(.type) \\(.focused) "
                              "\\(.rect.x + .window_rect.x) \\(.rect.y + .window_rect.y) "
                              "\\(.window_rect.width) \\(.window_rect.height) \\(.name)\"";
    std::istringstream line(run({"jq", "-r", "--arg", "id", app_id, query, tree}));
    View v;
    std::string kind;
    std::string focused;
    if (line >> kind >> focused >> v.x >> v.y >> v.width >> v.height) {
        v.found = true;
        v.floating = kind == "floating_con";
        v.focused = focused == "true";
        line.get();  // the blank before the title
        std::getline(line, v.title);
    }
    return v;
}

Compositor::Grab Compositor::grab(int x, int y, int width, int height) const
{
    const std::string ppm =
        run({"grim", "-t", "ppm", "-g",
             std::to_string(x) + "," + std::to_string(y) + " " + std::to_string(width) + "x" + std::to_string(height),
             "-"});
    // P6, width, height, 255, one blank, then R, G, B bytes: scale output
    // pixels a side for each unit of the layout.
    std::istringstream header(ppm);
    std::string magic;
    int w = 0;
    int h = 0;
    int max = 0;
    Grab g;
    if (!(header >> magic >> w >> h >> max) || magic != "P6" || w != width * scale_ || h != height * scale_ ||
        max != 255) {
        return g;
    }
    const std::size_t start = static_cast<std::size_t>(header.tellg()) + 1;
    if (ppm.size() < start + 3 * static_cast<std::size_t>(w) * static_cast<std::size_t>(h)) {
        return g;
    }
    const auto at = [&](int px, int py) { return ppm.data() + start + 3 * (static_cast<std::size_t>(py) * w + px); };
    g.bgrx.resize(4 * static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
    for (int uy = 0; uy < height; ++uy) {
        for (int ux = 0; ux < width; ++ux) {
            const char* first = at(ux * scale_, uy * scale_);
            for (int dy = 0; dy < scale_; ++dy) {
                for (int dx = 0; dx < scale_; ++dx) {
                    g.units_whole =
                        g.units_whole && std::equal(first, first + 3, at(ux * scale_ + dx, uy * scale_ + dy));
                }
            }
            std::uint8_t* out = &g.bgrx[4 * (static_cast<std::size_t>(uy) * width + ux)];
            out[0] = static_cast<std::uint8_t>(first[2]);
            out[1] = static_cast<std::uint8_t>(first[1]);
            out[2] = static_cast<std::uint8_t>(first[0]);
        }
    }
    return g;
}

void Compositor::seat(const std::string& command) const
{
    const std::string line = command + "\n";
    if (write(commands_, line.data(), line.size()) != static_cast<ssize_t>(line.size())) {
        throw std::runtime_error("the seat program is gone: " + seat_->error_output());
    }
}

void Compositor::kill()
{
    sway_->signal(SIGKILL);
    sway_->wait_for_exit(10s);
}

Weston::Weston()
    : dir_("vormo-weston"), x_(std::to_string(weston_width + 200) + "x" + std::to_string(weston_height + 200))
{
    chmod(dir_.path().c_str(), 0700);  // as a runtime directory must be
    weston_ = std::make_unique<Process>(
        std::vector<std::string>{"weston", "--backend=x11-backend.so", "--socket=wayland-weston", "--idle-time=0",
                                 "--width=" + std::to_string(weston_width),
                                 "--height=" + std::to_string(weston_height)},
        std::vector<std::string>{"XDG_RUNTIME_DIR=" + dir_.path(), "DISPLAY=" + x_.name(), "WAYLAND_DISPLAY"});
    if (!wait_until(
            10s, [&] { return !socket_named(dir_.path(), "wayland-weston").empty() || !weston_->running(); }, 20ms) ||
        !weston_->running()) {
        weston_->stop();
        throw std::runtime_error("weston did not start: " + weston_->error_output());
    }
}

Weston::~Weston()
{
    weston_->stop();
}

void Weston::drag(std::pair<int, int> from, std::pair<int, int> to)
{
    if (!input_) {
        input_ = std::make_unique<Connection>(x_.name());
    }
    const std::vector<Window> outputs = input_->frame_sized_windows();
    if (outputs.empty()) {
        throw std::runtime_error("weston shows no output window");
    }
    input_->queue_pointer_at(outside_weston.first, outside_weston.second);
    input_->flush();
    input_->move_pointer(outputs.front(), from.first, from.second);
    input_->press();
    input_->move_pointer(outputs.front(), to.first, to.second);
}

std::vector<double> frames_attached(const std::string& log)
{
    // "[1234.567]  -> wl_shm_pool@7.create_buffer(new id wl_buffer@31, 0, 1024, 768, 4096, 1)"
    // "[1234.890]  -> wl_surface@20.attach(wl_buffer@31, 0, 0)"
    std::vector<std::string> frame_buffers;
    std::vector<double> attached;
    std::istringstream lines(log);
    for (std::string line; std::getline(lines, line);) {
        const std::size_t at = line.find("wl_buffer@");
        const std::string buffer = at == std::string::npos ? "" : line.substr(at, line.find(',', at) - at);
        double stamp = 0;
        if (line.find(".create_buffer(") != std::string::npos && line.find(", 1024, 768, 4096,") != std::string::npos) {
            frame_buffers.push_back(buffer);
        } else if (line.find(".attach(") != std::string::npos && std::sscanf(line.c_str(), "[%lf]", &stamp) == 1 &&
                   std::find(frame_buffers.begin(), frame_buffers.end(), buffer) != frame_buffers.end()) {
            attached.push_back(stamp);
        }
    }
    return attached;
}

std::vector<std::string> Weston::client_environment() const
{
    // No leak report in a sanitizer build, as in the sway sessions: Mesa's
    // software OpenGL leaves allocations it cannot name.
    return {"XDG_RUNTIME_DIR=" + dir_.path(), "WAYLAND_DISPLAY=wayland-weston", "DISPLAY", "SDL_VIDEODRIVER",
            "ASAN_OPTIONS=detect_leaks=0"};
}

}  // namespace e2e
