#include "ChildProcess.h"

#include "DeadlineWait.h"

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>

extern char** environ;

namespace {

// One step in setting up the child's standard streams: open path onto
// target, or without a path make target a copy of source.
struct StreamStep {
    int target = -1;
    int source = -1;
    const char* path = nullptr;
    int flags = 0;
};

constexpr mode_t FILE_MODE = 0600;
const char* const NULL_DEVICE = "/dev/null";

// Both ends close on exec: the child gets only the copies the steps make.
bool OpenPipe(int (&fds)[2]) {
    return pipe2(fds, O_CLOEXEC) == 0;
}

std::vector<StreamStep> StreamSteps(const ChildOptions& options, int outPipe, int errPipe) {
    std::vector<StreamStep> steps;
    if (options.input == ChildInput::Null) {
        steps.push_back({STDIN_FILENO, -1, NULL_DEVICE, O_RDONLY});
    }
    switch (options.output) {
    case ChildOutput::Inherit:
        break;
    case ChildOutput::Null:
        steps.push_back({STDOUT_FILENO, -1, NULL_DEVICE, O_WRONLY});
        break;
    case ChildOutput::Pipe:
        steps.push_back({STDOUT_FILENO, outPipe});
        break;
    case ChildOutput::File:
        steps.push_back(
            {STDOUT_FILENO, -1, options.outputFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC});
        break;
    }
    switch (options.errors) {
    case ChildErrors::Inherit:
        break;
    case ChildErrors::Pipe:
        steps.push_back({STDERR_FILENO, errPipe});
        break;
    case ChildErrors::AsOutput:
        steps.push_back({STDERR_FILENO, STDOUT_FILENO});
        break;
    }
    return steps;
}

pid_t Spawn(const char* program, char* const argv[], const std::vector<StreamStep>& steps) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    for (const StreamStep& s : steps) {
        if (s.path != nullptr) {
            posix_spawn_file_actions_addopen(&actions, s.target, s.path, s.flags, FILE_MODE);
        } else {
            posix_spawn_file_actions_adddup2(&actions, s.source, s.target);
        }
    }
    pid_t pid = -1;
    if (posix_spawn(&pid, program, &actions, nullptr, argv, environ) != 0) {
        pid = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

// Between fork and exec only async-signal-safe calls: the steps and argv
// are made before the fork.
pid_t ForkEndingWithThread(const char* program, char* const argv[],
                           const std::vector<StreamStep>& steps) {
    const pid_t pid = fork();
    if (pid != 0) {
        return pid;
    }
    // The signal follows the thread that forked, so the caller starts the
    // child on a thread that outlives it.
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    for (const StreamStep& s : steps) {
        int fd = s.source;
        if (s.path != nullptr && (fd = open(s.path, s.flags, FILE_MODE)) < 0) {
            _exit(127);
        }
        if (fd != s.target && dup2(fd, s.target) < 0) {
            _exit(127);
        }
        if (s.path != nullptr && fd != s.target) {
            close(fd);
        }
    }
    execv(program, argv);
    _exit(127);
}

// Takes what the pipe holds; closes it at its end.
void ReadAvailable(int& fd, std::string& into) {
    char buffer[4096];
    while (fd >= 0) {
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n > 0) {
            into.append(buffer, static_cast<size_t>(n));
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else if (n < 0 && errno == EAGAIN) {
            return;
        } else {
            close(fd);
            fd = -1;
        }
    }
}

double Seconds(const timeval& t) {
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
}

} // namespace

ChildProcess::ChildProcess(const std::string& program, const std::vector<std::string>& args,
                           const ChildOptions& options) {
    Start(program, args, options);
}

ChildProcess::~ChildProcess() {
    if (m_pid > 0) {
        Stop(SIGKILL);
    }
    ClosePipes();
}

ChildProcess::ChildProcess(ChildProcess&& other) noexcept
    : m_pid(std::exchange(other.m_pid, -1)), m_out(std::exchange(other.m_out, -1)),
      m_err(std::exchange(other.m_err, -1)), m_output(std::move(other.m_output)),
      m_errors(std::move(other.m_errors)), m_end(other.m_end) {}

ChildProcess& ChildProcess::operator=(ChildProcess&& other) noexcept {
    if (this != &other) {
        if (m_pid > 0) {
            Stop(SIGKILL);
        }
        ClosePipes();
        m_pid = std::exchange(other.m_pid, -1);
        m_out = std::exchange(other.m_out, -1);
        m_err = std::exchange(other.m_err, -1);
        m_output = std::move(other.m_output);
        m_errors = std::move(other.m_errors);
        m_end = other.m_end;
    }
    return *this;
}

bool ChildProcess::Start(const std::string& program, const std::vector<std::string>& args,
                         const ChildOptions& options) {
    if (m_pid > 0) {
        return false;
    }
    ClosePipes();
    m_output.clear();
    m_errors.clear();
    m_end = {};
    int out[2] = {-1, -1};
    int err[2] = {-1, -1};
    const bool piped = (options.output != ChildOutput::Pipe || OpenPipe(out)) &&
                       (options.errors != ChildErrors::Pipe || OpenPipe(err));
    std::string name = options.name.empty() ? program : options.name;
    std::vector<std::string> argvText = args;
    std::vector<char*> argv{name.data()};
    for (std::string& a : argvText) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    const std::vector<StreamStep> steps = StreamSteps(options, out[1], err[1]);
    if (piped) {
        m_pid = options.endWithStartingThread
                    ? ForkEndingWithThread(program.c_str(), argv.data(), steps)
                    : Spawn(program.c_str(), argv.data(), steps);
    }
    for (const int fd : {out[1], err[1]}) {
        if (fd >= 0) {
            close(fd);
        }
    }
    m_out = out[0];
    m_err = err[0];
    for (const int fd : {m_out, m_err}) {
        if (fd >= 0) {
            fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
        }
    }
    if (m_pid <= 0) {
        m_pid = -1;
        ClosePipes();
        return false;
    }
    return true;
}

bool ChildProcess::Signal(int sig) const {
    return m_pid > 0 && kill(m_pid, sig) == 0;
}

bool ChildProcess::ReadSome(const Deadline& until) {
    if (m_out < 0 && m_err < 0) {
        return false;
    }
    // A closed pipe's -1 is passed over by poll.
    pollfd fds[2] = {{m_out, POLLIN, 0}, {m_err, POLLIN, 0}};
    if (PollUntil(fds, 2, until) > 0) {
        if (fds[0].revents != 0) {
            ReadAvailable(m_out, m_output);
        }
        if (fds[1].revents != 0) {
            ReadAvailable(m_err, m_errors);
        }
    }
    return m_out >= 0 || m_err >= 0;
}

const std::string& ChildProcess::OutputUntil(const std::string& text,
                                             std::chrono::milliseconds timeout) {
    const Deadline deadline = Deadline::After(timeout);
    while (m_output.find(text) == std::string::npos && !deadline.Expired() && m_out >= 0) {
        ReadSome(deadline);
    }
    return m_output;
}

bool ChildProcess::ReadToEnd(std::chrono::milliseconds timeout) {
    const Deadline deadline = Deadline::After(timeout);
    while (ReadSome(deadline)) {
        if (deadline.Expired()) {
            return false;
        }
    }
    return true;
}

int ChildProcess::WaitForExit(std::chrono::milliseconds timeout) {
    const Deadline deadline = Deadline::After(timeout);
    for (;;) {
        if (Ended()) {
            // What the ended program left in the pipes.
            ReadAvailable(m_out, m_output);
            ReadAvailable(m_err, m_errors);
            return m_end.status;
        }
        if (deadline.Expired()) {
            return -1;
        }
        // Output still to read paces this check; without any, a short pause does.
        const Deadline pause = Deadline::After(std::chrono::milliseconds(10)).Earlier(deadline);
        if (!ReadSome(pause)) {
            PollUntil(nullptr, 0, pause);
        }
    }
}

bool ChildProcess::Ended() {
    return m_pid > 0 ? Collect(WNOHANG) : m_end.status >= 0;
}

ChildEnd ChildProcess::Wait() {
    if (m_pid > 0) {
        Collect(0);
    }
    return m_end;
}

ChildEnd ChildProcess::Stop(int sig) {
    Signal(sig);
    return Wait();
}

void ChildProcess::CloseOutput() {
    if (m_out >= 0) {
        close(m_out);
        m_out = -1;
    }
}

// True once the end is collected (or cannot be: the child is then gone).
bool ChildProcess::Collect(int flags) {
    int status = 0;
    rusage usage{};
    pid_t r;
    do {
        r = wait4(m_pid, &status, flags, &usage);
    } while (r < 0 && errno == EINTR);
    if (r == 0) {
        return false; // still running
    }
    m_pid = -1;
    if (r > 0) {
        m_end.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        m_end.cpuSeconds = Seconds(usage.ru_utime) + Seconds(usage.ru_stime);
        m_end.peakMegabytes = static_cast<double>(usage.ru_maxrss) / 1024.0;
    }
    return true;
}

void ChildProcess::ClosePipes() {
    CloseOutput();
    if (m_err >= 0) {
        close(m_err);
        m_err = -1;
    }
}
