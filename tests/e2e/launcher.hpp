#pragma once

// How the program under test is started: as it is, or, for the Windows
// program, under Debian's wine64 in a scratch prefix made for the launcher
// and removed with it.

#include "x_display.hpp"

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace e2e {

class Launcher {
public:
    // VORMO_LAUNCHER=wine picks Wine.
    static std::unique_ptr<Launcher> from_environment();
    // Native, or Wine in a fresh scratch prefix (made now, which takes a
    // while).
    static std::unique_ptr<Launcher> make(bool wine);
    ~Launcher();
    Launcher(const Launcher&) = delete;
    Launcher& operator=(const Launcher&) = delete;

    bool wine() const { return scratch_ != nullptr; }
    // Starts the program with its arguments and the extra environment
    // entries (as Process takes them, over Wine's own settings); under Wine,
    // also Wine's own programs (msiexec, reg).
    std::unique_ptr<Process> start(const std::string& program, const std::vector<std::string>& env_changes,
                                   const std::vector<std::string>& args = {}, const std::string& output = "") const;
    // Waits until Wine's server for the prefix has ended: one started with
    // no display cannot make windows for the programs started after it.
    void wait_for_server() const;
    // The prefix's drive C: in the Linux file system.
    std::string drive_c() const { return prefix() + "/drive_c"; }
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
    // Under Wine: a path the started program can write to, inside the
    // scratch area, as the program names it and as Linux does.
    std::string scratch_path(const std::string& name) const;
    std::string scratch_file(const std::string& name) const;

private:
    explicit Launcher(std::unique_ptr<ScratchDir> scratch);
    std::string prefix() const { return scratch_->path() + "/prefix"; }
    std::vector<std::string> wine_environment() const;

    std::unique_ptr<ScratchDir> scratch_;  // holds the Wine prefix; none for native
};

}  // namespace e2e
