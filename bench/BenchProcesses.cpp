#include "BenchProcesses.h"

#include "BenchModule.h"
#include "DatabaseFile.h"

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

pid_t Spawn(const std::vector<std::string>& args, int stdoutFd, int stderrFd = -1) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (stdoutFd >= 0) {
        posix_spawn_file_actions_adddup2(&actions, stdoutFd, STDOUT_FILENO);
    }
    if (stderrFd >= 0) {
        posix_spawn_file_actions_adddup2(&actions, stderrFd, STDERR_FILENO);
    }
    std::vector<char*> argv;
    argv.reserve(args.size() + 1);
    for (const std::string& a : args) {
        argv.push_back(const_cast<char*>(a.c_str()));
    }
    argv.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) {
        pid = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

// Waits for a simulator's "serving" line.
bool Serving(int fd) {
    std::string seen;
    const auto deadline = Clock::now() + std::chrono::seconds(10);
    while (seen.find("serving") == std::string::npos && Clock::now() < deadline) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 100) > 0) {
            char buffer[256];
            const ssize_t n = read(fd, buffer, sizeof buffer);
            if (n <= 0) {
                return false;
            }
            seen.append(buffer, static_cast<size_t>(n));
        }
    }
    return seen.find("serving") != std::string::npos;
}

} // namespace

std::string BenchFileText(const std::string& path) {
    CDatabaseFile file;
    std::string text;
    if (!file.OpenForReading(path) || !file.ReadAll(text)) {
        text.clear();
    }
    return text;
}

CBenchModules::CBenchModules(const std::string& dir, int first, int count,
                             const std::vector<std::string>& options) {
    const std::string contentPath = dir + "/content.txt";
    std::ofstream(contentPath, std::ios::binary) << BenchModuleContent();
    for (int i = 0; i < count && m_ready; ++i) {
        int fds[2];
        if (pipe(fds) != 0) {
            m_ready = false;
            break;
        }
        const std::string port = "COM" + std::to_string(first + i);
        std::vector<std::string> args = {LUMARET_SIM_PROGRAM, "--port", port, "--load",
                                         contentPath};
        args.insert(args.end(), options.begin(), options.end());
        const pid_t sim = Spawn(args, fds[1]);
        close(fds[1]);
        if (sim > 0) {
            m_sims.push_back(sim);
        }
        m_ready = sim > 0 && Serving(fds[0]);
        close(fds[0]);
        m_ports += (i > 0 ? "," : "") + port;
    }
}

CBenchModules::~CBenchModules() {
    for (const pid_t sim : m_sims) {
        kill(sim, SIGTERM);
        waitpid(sim, nullptr, 0);
    }
}

RunFigures RunTimed(const std::vector<std::string>& args) {
    TimedProcess process;
    const int quiet = open("/dev/null", O_WRONLY | O_CLOEXEC);
    process.start = Clock::now();
    process.pid = Spawn(args, quiet);
    if (quiet >= 0) {
        close(quiet);
    }
    return AwaitTimed(process);
}

TimedProcess StartTimed(const std::vector<std::string>& args) {
    TimedProcess process;
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) {
        return process;
    }
    const int quiet = open("/dev/null", O_WRONLY | O_CLOEXEC);
    process.start = Clock::now();
    process.pid = Spawn(args, quiet, fds[1]);
    close(fds[1]);
    if (quiet >= 0) {
        close(quiet);
    }
    fcntl(fds[0], F_SETFL, fcntl(fds[0], F_GETFL) | O_NONBLOCK);
    process.errFd = fds[0];
    return process;
}

RunFigures AwaitTimed(const TimedProcess& process) {
    RunFigures f;
    if (process.pid < 0) {
        return f;
    }
    int status = 0;
    rusage usage{};
    if (wait4(process.pid, &status, 0, &usage) != process.pid) {
        return f;
    }
    f.wallSeconds = std::chrono::duration<double>(Clock::now() - process.start).count();
    f.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    auto seconds = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
    };
    f.cpuSeconds = seconds(usage.ru_utime) + seconds(usage.ru_stime);
    f.peakMegabytes = static_cast<double>(usage.ru_maxrss) / 1024.0;
    return f;
}
