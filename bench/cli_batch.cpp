// lumaret-cli exporting eight modules at once against exporting one alone.
// Each module is a lumaret-sim process of its own, pacing its output at 9600
// baud, with a third of its slots holding codes of 20-500 bytes. Prints both
// wall times and their ratio (one thread a port: eight should take hardly
// longer than one), the CPU time and the peak memory of the lumaret-cli
// process in each run. Takes about five minutes on the fixed timing.

#include "BenchModule.h"
#include "DatabaseFile.h"
#include "DatabaseFormat.h"
#include "SimulatedModule.h"

#include "RuntimeDir.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <spawn.h>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

// A file's whole text, empty when it cannot be read.
std::string FileText(const std::string& path) {
    CDatabaseFile file;
    std::string text;
    if (!file.OpenForReading(path) || !file.ReadAll(text)) {
        text.clear();
    }
    return text;
}

using Clock = std::chrono::steady_clock;
constexpr int MODULES = 8;
constexpr int FIRST_PORT = 11;

// The bench module's content as a database file.
std::string ModuleContent() {
    std::string text;
    for (const auto& [slot, code] : BenchModuleCodes()) {
        const auto reply = SimulatedModule::CodeReply(code);
        text += FormatDatabaseLine(slot, reply.data(), static_cast<uint32_t>(reply.size()));
    }
    return text;
}

pid_t Spawn(const std::vector<std::string>& args, int stdoutFd) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (stdoutFd >= 0) {
        posix_spawn_file_actions_adddup2(&actions, stdoutFd, STDOUT_FILENO);
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

struct RunFigures {
    int status = -1;
    double wallSeconds = 0;
    double cpuSeconds = 0;
    double peakMegabytes = 0;
};

RunFigures RunCli(const std::vector<std::string>& args) {
    RunFigures f;
    // Its report says what the files below are checked for; only the figures are printed.
    const int quiet = open("/dev/null", O_WRONLY | O_CLOEXEC);
    const auto start = Clock::now();
    const pid_t pid = Spawn(args, quiet);
    if (quiet >= 0) {
        close(quiet);
    }
    if (pid < 0) {
        return f;
    }
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) != pid) {
        return f;
    }
    f.wallSeconds = std::chrono::duration<double>(Clock::now() - start).count();
    f.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    auto seconds = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
    };
    f.cpuSeconds = seconds(usage.ru_utime) + seconds(usage.ru_stime);
    f.peakMegabytes = static_cast<double>(usage.ru_maxrss) / 1024.0;
    return f;
}

} // namespace

int main() {
    const PrivateRuntimeDir runtime("lumaret-cli-batch");
    if (!runtime.Valid()) {
        std::perror("cli_batch: runtime directory");
        return 1;
    }
    const std::string dir = runtime.Path().string();
    const std::string content = ModuleContent();
    const std::string contentPath = dir + "/content.txt";
    std::ofstream(contentPath, std::ios::binary) << content;

    std::vector<pid_t> sims;
    std::string ports;
    bool ready = true;
    for (int i = 0; i < MODULES; ++i) {
        int fds[2];
        if (pipe(fds) != 0) {
            ready = false;
            break;
        }
        const std::string port = "COM" + std::to_string(FIRST_PORT + i);
        const pid_t sim =
            Spawn({LUMARET_SIM_PROGRAM, "--port", port, "--load", contentPath, "--paced"}, fds[1]);
        close(fds[1]);
        if (sim > 0) {
            sims.push_back(sim);
        }
        ready = ready && sim > 0 && Serving(fds[0]);
        close(fds[0]);
        ports += (i > 0 ? "," : "") + port;
    }

    int result = 1;
    if (ready) {
        std::printf("lumaret-cli export of 448 slots (%zu lines, %zu bytes), modules paced at "
                    "9600 baud, fixed timing\n",
                    static_cast<size_t>(448 / 3), content.size());
        std::fflush(stdout);
        const RunFigures alone =
            RunCli({LUMARET_CLI_PROGRAM, "-q", "-p", "COM" + std::to_string(FIRST_PORT), "export",
                    dir + "/alone.txt"});
        const RunFigures batch =
            RunCli({LUMARET_CLI_PROGRAM, "-q", "-p", ports, "export", dir + "/batch-{port}.txt"});
        int wrong = FileText(dir + "/alone.txt") == content ? 0 : 1;
        for (int i = 0; i < MODULES; ++i) {
            wrong +=
                FileText(dir + "/batch-COM" + std::to_string(FIRST_PORT + i) + ".txt") == content
                    ? 0
                    : 1;
        }
        const double ratio = alone.wallSeconds > 0 ? batch.wallSeconds / alone.wallSeconds : 0;
        std::printf("%-22s %10s %10s %12s %8s\n", "", "wall (s)", "CPU (s)", "peak (MB)", "exit");
        std::printf("%-22s %10.1f %10.2f %12.1f %8d\n", "one module alone", alone.wallSeconds,
                    alone.cpuSeconds, alone.peakMegabytes, alone.status);
        std::printf("%-22s %10.1f %10.2f %12.1f %8d\n", "eight modules at once", batch.wallSeconds,
                    batch.cpuSeconds, batch.peakMegabytes, batch.status);
        std::printf("ratio eight/one: %.3f (target at most 1.05)\n", ratio);
        std::printf("files equal to the modules' content: %d of %d\n", MODULES + 1 - wrong,
                    MODULES + 1);
        result = alone.status == 0 && batch.status == 0 && wrong == 0 ? 0 : 1;
    } else {
        std::fprintf(stderr, "cli_batch: the simulated modules did not start\n");
    }
    for (const pid_t sim : sims) {
        kill(sim, SIGTERM);
        waitpid(sim, nullptr, 0);
    }
    return result;
}
