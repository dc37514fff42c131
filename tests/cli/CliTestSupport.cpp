#include "CliTestSupport.h"

#include "Crc16.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <spawn.h>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

CliResult RunInProcess(std::vector<std::string> args, const ExchangeTiming& timing,
                       CRunControl* control, bool terminal, int answerFd) {
    std::ostringstream out, err;
    CRunControl own;
    CliEnvironment env{out, err, terminal, timing, control != nullptr ? *control : own};
    env.answerFd = answerFd;
    CliResult result;
    result.exit = RunCli(args, env);
    result.out = out.str();
    result.err = err.str();
    return result;
}

namespace {

// Starts program with args; its process id, or -1.
pid_t Spawn(const char* program, std::vector<std::string> args,
            const posix_spawn_file_actions_t& actions) {
    args.insert(args.begin(), program);
    std::vector<char*> argv;
    for (std::string& a : args) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    pid_t pid = -1;
    return posix_spawn(&pid, program, &actions, nullptr, argv.data(), environ) == 0 ? pid : -1;
}

} // namespace

CliProcess::CliProcess(std::vector<std::string> args) {
    int out[2], err[2];
    if (pipe2(out, O_CLOEXEC) != 0) {
        return;
    }
    if (pipe2(err, O_CLOEXEC) != 0) {
        close(out[0]);
        close(out[1]);
        return;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    m_pid = Spawn(LUMARET_CLI_PROGRAM, std::move(args), actions);
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    close(err[1]);
    m_out = out[0];
    m_err = err[0];
}

CliProcess::~CliProcess() {
    if (m_pid > 0) {
        kill(m_pid, SIGKILL);
        waitpid(m_pid, nullptr, 0);
    }
    if (m_out >= 0) {
        close(m_out);
    }
    if (m_err >= 0) {
        close(m_err);
    }
}

bool CliProcess::Signal(int sig) {
    return m_pid > 0 && kill(m_pid, sig) == 0;
}

CliResult CliProcess::Wait(std::chrono::milliseconds timeout) {
    CliResult result;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    bool outOpen = m_out >= 0, errOpen = m_err >= 0;
    // Both pipes to their ends: the program has closed them by exiting.
    while (outOpen || errOpen) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            return result;
        }
        pollfd fds[2] = {{outOpen ? m_out : -1, POLLIN, 0}, {errOpen ? m_err : -1, POLLIN, 0}};
        if (poll(fds, 2, static_cast<int>(left.count())) < 0 && errno != EINTR) {
            return result;
        }
        for (int i = 0; i < 2; ++i) {
            if (fds[i].revents == 0) {
                continue;
            }
            char buffer[4096];
            const ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
            if (n > 0) {
                (i == 0 ? result.out : result.err).append(buffer, static_cast<size_t>(n));
            } else {
                (i == 0 ? outOpen : errOpen) = false;
            }
        }
    }
    int status = 0;
    if (waitpid(m_pid, &status, 0) == m_pid) {
        m_pid = -1;
        result.exit = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    return result;
}

CliResult RunProgram(std::vector<std::string> args, std::chrono::milliseconds timeout) {
    CliProcess process(std::move(args));
    return process.Wait(timeout);
}

SimProgram::SimProgram(std::vector<std::string> args) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    m_pid = Spawn(LUMARET_SIM_PROGRAM, std::move(args), actions);
    posix_spawn_file_actions_destroy(&actions);
}

void SimProgram::Kill() {
    if (m_pid > 0) {
        kill(m_pid, SIGKILL);
        waitpid(m_pid, nullptr, 0);
        m_pid = -1;
    }
}

std::vector<std::string> OutputLines(const std::string& out) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = out.find('\n', start)) != std::string::npos; start = end + 1) {
        lines.push_back(out.substr(start, end - start));
    }
    return lines;
}

bool FileExists(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0;
}

std::vector<std::string> SeedEveryThirdSlot(SimulatedModule& module) {
    std::vector<std::string> lines;
    for (uint16_t slot = 1; slot <= 448; slot += 3) {
        const Bytes code = CodePattern(20 + slot % 50, static_cast<uint8_t>(slot));
        if (!module.SetSlot(slot, code)) {
            return {};
        }
        lines.push_back(ExpectedLine(slot, code));
    }
    return lines;
}

std::unique_ptr<SimulatedModule> StartModule(const std::string& comName, bool empty) {
    auto module = std::make_unique<SimulatedModule>();
    if (!module->Start() || !module->Publish(comName)) {
        return nullptr;
    }
    if (empty) {
        module->ClearSlots();
    }
    return module;
}
