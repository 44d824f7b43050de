#include "launcher.hpp"

#include <cstdlib>
#include <filesystem>
#include <stdexcept>

namespace e2e {

namespace {

// Debian keeps Wine's programs out of PATH.
constexpr const char* wine64 = "/usr/lib/wine/wine64";
constexpr const char* wineserver = "/usr/lib/wine/wineserver";

}  // namespace

Launcher::Launcher(std::unique_ptr<ScratchDir> scratch) : scratch_(std::move(scratch))
{
}

std::vector<std::string> Launcher::wine_environment() const
{
    // No debugging channels on stderr, and no offers to install Mono or
    // Gecko, which the viewer does not use.  Nothing outside the scratch
    // area: no menu entries, icons or desktop files from Wine's menu
    // builder, and a home of its own for what Wine keeps there.
    return {"WINEPREFIX=" + prefix(), "HOME=" + scratch_->path() + "/home", "WINEDEBUG=-all",
            "WINEDLLOVERRIDES=mscoree,mshtml=;winemenubuilder.exe=d"};
}

std::unique_ptr<Launcher> Launcher::from_environment()
{
    const char* which = std::getenv("VORMO_LAUNCHER");
    return make(which && std::string(which) == "wine");
}

std::unique_ptr<Launcher> Launcher::make(bool wine)
{
    if (!wine) {
        return std::unique_ptr<Launcher>(new Launcher(nullptr));
    }
    std::unique_ptr<Launcher> launcher(new Launcher(std::make_unique<ScratchDir>("vormo-wine")));
    std::filesystem::create_directory(launcher->scratch_->path() + "/home");
    // A fresh prefix, made without a display: its windows are not wanted.
    std::vector<std::string> env = launcher->wine_environment();
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
    Process wait({wineserver, "--wait"}, wine_environment());
    wait.wait_for_exit(30s);
}

Launcher::~Launcher()
{
    if (!wine()) {
        return;
    }
    Process stop({wineserver, "--kill"}, wine_environment());
    stop.wait_for_exit(10s);
}

std::unique_ptr<Process> Launcher::start(const std::string& program, const std::vector<std::string>& env_changes,
                                         const std::vector<std::string>& args, const std::string& output) const
{
    std::vector<std::string> argv;
    std::vector<std::string> env;
    if (wine()) {
        argv.emplace_back(wine64);
        env = wine_environment();
    }
    env.insert(env.end(), env_changes.begin(), env_changes.end());  // the caller's entries win
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
    return wine() ? VORMO_FOREIGN_CODEC_TOLERANCE : 0;
}

std::string Launcher::scratch_path(const std::string& name) const
{
    // Wine's drive Z: is the root of the Linux file system.
    return wine() ? "Z:" + scratch_file(name) : scratch_file(name);
}

std::string Launcher::scratch_file(const std::string& name) const
{
    if (!wine()) {
        throw std::logic_error("only a Wine launcher has a scratch area");
    }
    return scratch_->path() + "/" + name;
}

}  // namespace e2e
