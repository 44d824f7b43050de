#include "process.hpp"

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <poll.h>
#include <stdexcept>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace e2e {

void sleep_for(std::chrono::milliseconds d)
{
    std::this_thread::sleep_for(d);
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
    std::vector<char*> p(strings.size() + 1, nullptr);
    std::transform(strings.begin(), strings.end(), p.begin(), [](std::string& s) { return s.data(); });
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
        close(err[0]);
        close(err[1]);
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
    close(stderr_fd_);
}

void Process::signal(int sig) const
{
    ::kill(pid_, sig);
}

bool Process::running()
{
    return !wait_for_exit(std::chrono::milliseconds{}).has_value();
}

std::optional<int> Process::wait_for_exit(std::chrono::milliseconds limit)
{
    wait_until(
        limit,
        [this] {
            int raw = 0;
            if (!status_ && waitpid(pid_, &raw, WNOHANG) == pid_) {
                status_ = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
            }
            return status_.has_value();
        },
        5ms);
    return status_;
}

std::optional<int> Process::stop(std::chrono::milliseconds grace)
{
    if (running()) {
        signal(SIGTERM);
        if (!wait_for_exit(grace)) {
            signal(SIGKILL);
            wait_for_exit(grace);
            return std::nullopt;
        }
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

double cpu_seconds(int pid)
{
    // After the command's closing parenthesis: state, then 10 fields, then
    // utime and stime in clock ticks.
    const std::string stat = read_file("/proc/" + std::to_string(pid) + "/stat");
    std::istringstream fields(stat.substr(stat.rfind(')') + 1));
    std::string skip;
    for (int i = 0; i < 11; ++i) {
        fields >> skip;
    }
    long user = 0;
    long system = 0;
    fields >> user >> system;
    return static_cast<double>(user + system) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

ScratchDir::ScratchDir(const std::string& stem)
{
    const char* tmp = std::getenv("TMPDIR");
    path_ = std::string(tmp && *tmp ? tmp : "/tmp") + "/" + stem + "-XXXXXX";
    if (!mkdtemp(path_.data())) {
        throw std::runtime_error("cannot make a scratch directory in " + path_.substr(0, path_.rfind('/')));
    }
}

ScratchDir::~ScratchDir()
{
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

}  // namespace e2e
