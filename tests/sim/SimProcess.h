#pragma once

// lumaret-sim run as a child process, as an operator runs it.

#include <chrono>
#include <csignal>
#include <poll.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

// The program with its standard output and error on one pipe.
class SimProcess {
public:
    explicit SimProcess(std::vector<std::string> args) {
        int fds[2];
        if (pipe(fds) != 0) {
            return;
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
        posix_spawn_file_actions_adddup2(&actions, fds[1], STDERR_FILENO);
        posix_spawn_file_actions_addclose(&actions, fds[0]);
        posix_spawn_file_actions_addclose(&actions, fds[1]);
        args.insert(args.begin(), LUMARET_SIM_PROGRAM);
        std::vector<char*> argv;
        for (std::string& a : args) {
            argv.push_back(a.data());
        }
        argv.push_back(nullptr);
        if (posix_spawn(&m_pid, LUMARET_SIM_PROGRAM, &actions, nullptr, argv.data(), environ) !=
            0) {
            m_pid = -1;
        }
        posix_spawn_file_actions_destroy(&actions);
        close(fds[1]);
        m_out = fds[0];
    }
    ~SimProcess() {
        if (m_pid > 0) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, nullptr, 0);
        }
        if (m_out >= 0) {
            close(m_out);
        }
    }

    // Everything printed until text appears or the deadline passes.
    std::string OutputUntil(const std::string& text, std::chrono::milliseconds timeout) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (m_output.find(text) == std::string::npos) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) {
                break;
            }
            pollfd p{m_out, POLLIN, 0};
            if (poll(&p, 1, static_cast<int>(left.count())) <= 0) {
                continue;
            }
            char buffer[512];
            const ssize_t n = read(m_out, buffer, sizeof buffer);
            if (n <= 0) {
                break; // the program closed its output
            }
            m_output.append(buffer, static_cast<size_t>(n));
        }
        return m_output;
    }

    // The exit status, or -1 when it has not ended by the deadline.
    int WaitForExit(std::chrono::milliseconds timeout) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        do {
            int status = 0;
            if (waitpid(m_pid, &status, WNOHANG) == m_pid) {
                m_pid = -1;
                DrainOutput();
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            // Output still to read makes a good pacing for this check (a closed
            // output is ignored by poll, which then just waits).
            pollfd p{m_out, POLLIN, 0};
            poll(&p, 1, 10);
            char buffer[512];
            if (p.revents & POLLIN) {
                const ssize_t n = read(m_out, buffer, sizeof buffer);
                if (n > 0) {
                    m_output.append(buffer, static_cast<size_t>(n));
                }
            }
        } while (std::chrono::steady_clock::now() < deadline);
        return -1;
    }

    bool Signal(int sig) { return m_pid > 0 && kill(m_pid, sig) == 0; }
    // Closes the reading end, as 'head' does once it has its lines.
    void CloseOutput() {
        close(m_out);
        m_out = -1;
    }
    bool Started() const { return m_pid > 0; }
    const std::string& Output() const { return m_output; }

private:
    // What the ended program left in the pipe, up to its end.
    void DrainOutput() {
        char buffer[512];
        ssize_t n;
        while (m_out >= 0 && (n = read(m_out, buffer, sizeof buffer)) > 0) {
            m_output.append(buffer, static_cast<size_t>(n));
        }
    }

    pid_t m_pid = -1;
    int m_out = -1;
    std::string m_output;
};
