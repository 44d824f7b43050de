#pragma once

// Processes and scratch space for the end-to-end tests and benchmarks: a
// child process with its stderr kept, its memory figures, directories that
// go when their owner does, files read whole, and waiting with a limit.

#include <chrono>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace e2e {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

void sleep_for(std::chrono::milliseconds d);

// Asks done() until it answers true, or the limit has passed; `pause`
// between two questions.  Whether it answered true.  The limit only bounds
// a hang: the wait ends as soon as done() holds.
template <class Done> bool wait_until(std::chrono::milliseconds limit, Done done, std::chrono::milliseconds pause = {})
{
    for (const auto end = Clock::now() + limit;;) {
        if (done()) {
            return true;
        }
        if (Clock::now() >= end) {
            return false;
        }
        if (pause.count() > 0) {
            sleep_for(pause);
        }
    }
}

// A file's bytes, "" if it cannot be read.
inline std::string read_file(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

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
    // Asks the process to end (SIGTERM) and waits up to grace for it; kills
    // it (SIGKILL) if it is still there then.  Its status, unless it was
    // killed.
    std::optional<int> stop(std::chrono::milliseconds grace = 3000ms);
    bool running();
    // Everything the process wrote to stderr (after it ended).
    std::string error_output();

private:
    int pid_ = -1;
    int stderr_fd_ = -1;
    std::optional<int> status_;
    std::string errors_;
};

// The high-water mark of a running process's resident memory in KiB
// (VmHWM), or its current resident memory (VmRSS); -1 if it is gone.
long peak_kib(int pid);
long resident_kib(int pid);
// The processor time a process has used so far, in seconds.
double cpu_seconds(int pid);

// A new empty directory named stem-XXXXXX under TMPDIR (or /tmp), removed
// with everything in it when its owner goes.
class ScratchDir {
public:
    explicit ScratchDir(const std::string& stem);
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

}  // namespace e2e
