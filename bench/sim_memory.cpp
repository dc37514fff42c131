// lumaret-sim's memory over a long run: 100,000 exchanges on its
// pseudo-terminal, as fast as the line goes (a version request, a read of a
// 500-byte code, a send and a full-size write in turn), with the program's
// resident set (VmRSS) before and after. A module serving for days must stay
// the same size.
//
//   sim_memory [SIMULATOR]    (default: the lumaret-sim of this build)

#include "CommandFrame.h"
#include "PortDirectory.h"
#include "RawLine.h"
#include "Reply.h"
#include "RuntimeDir.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <poll.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;
using Bytes = std::vector<uint8_t>;
constexpr int EXCHANGES = 100'000;
constexpr int STEP = 20'000; // exchanges between two looks at the memory
constexpr uint16_t SLOT = 200;

Bytes Of(const CommandFrame& frame) {
    return Bytes(frame.data(), frame.data() + frame.size);
}

struct Exchange {
    Bytes frame;
    size_t replySize;
};

// One exchange of each kind; the write's frame is 512 bytes, so the module
// cuts it at once instead of waiting for line silence.
std::vector<Exchange> ExchangeCycle() {
    const Bytes code(MAX_WRITE_CODE_BYTES, 0x5A);
    return {
        {Of(BuildGetVersionFrame()), VERSION_REPLY_SIZE},
        {Of(BuildReadFrame(SLOT)), code.size() + 8},
        {Of(BuildSendFrame(SLOT, 1)), STATUS_REPLY_SIZE},
        {Of(BuildWriteFrame(SLOT, code.data(), static_cast<uint32_t>(code.size()))),
         STATUS_REPLY_SIZE},
    };
}

// Starts the simulator with its output on a pipe and waits for its "serving" line.
pid_t StartSimulator(const std::string& program) {
    int fds[2];
    if (pipe(fds) != 0) {
        return -1;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    std::vector<std::string> args = {program, "--port", "COM9", "--empty"};
    std::vector<char*> argv;
    argv.reserve(args.size() + 1);
    for (std::string& a : args) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ) != 0) {
        pid = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    std::string seen;
    const auto deadline = Clock::now() + std::chrono::seconds(10);
    while (pid > 0 && seen.find("serving") == std::string::npos && Clock::now() < deadline) {
        pollfd p{fds[0], POLLIN, 0};
        char buffer[256];
        ssize_t n = 0;
        if (poll(&p, 1, 100) > 0 && (n = read(fds[0], buffer, sizeof buffer)) <= 0) {
            break;
        }
        seen.append(buffer, static_cast<size_t>(std::max<ssize_t>(n, 0)));
    }
    close(fds[0]);
    return seen.find("serving") != std::string::npos ? pid : -1;
}

// Runs the exchanges; returns how many came back whole.
int RunExchanges(RawLine& line, int count) {
    const std::vector<Exchange> cycle = ExchangeCycle();
    int whole = 0;
    for (int i = 0; i < count; ++i) {
        const Exchange& e = cycle[static_cast<size_t>(i) % cycle.size()];
        whole += line.Exchange(e.frame, e.replySize, std::chrono::seconds(2)).size() == e.replySize;
    }
    return whole;
}

double Megabytes(size_t bytes) {
    return static_cast<double>(bytes) / (1024.0 * 1024.0);
}

} // namespace

int main(int argc, char** argv) {
    const std::string program = argc > 1 ? argv[1] : LUMARET_SIM_PROGRAM;
    const PrivateRuntimeDir runtime("lumaret-sim-memory");
    const pid_t sim = runtime.Valid() ? StartSimulator(program) : -1;
    if (sim < 0) {
        std::fprintf(stderr, "sim_memory: %s did not start serving\n", program.c_str());
        return 1;
    }
    RawLine line(PortDirectoryPath() + "/COM9");
    // A first write fills the slot the reads and sends use.
    const Exchange fill = ExchangeCycle().back();
    const bool ready = line.IsOpen() &&
                       line.Exchange(fill.frame, fill.replySize, std::chrono::seconds(2)).size() ==
                           fill.replySize &&
                       RunExchanges(line, 4) == 4;
    if (!ready) {
        std::fprintf(stderr, "sim_memory: no whole reply from %s\n", program.c_str());
    }
    std::printf("%s, %d exchanges\n", program.c_str(), EXCHANGES);
    std::printf("%12s %12s %14s\n", "exchanges", "VmRSS (MB)", "whole replies");
    const size_t before = ResidentBytes(sim);
    std::printf("%12d %12.2f %14d\n", 0, Megabytes(before), 0);
    const auto start = Clock::now();
    int whole = 0;
    for (int done = 0; ready && done < EXCHANGES; done += STEP) {
        whole += RunExchanges(line, STEP);
        std::printf("%12d %12.2f %14d\n", done + STEP, Megabytes(ResidentBytes(sim)), whole);
        std::fflush(stdout);
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    const size_t after = ResidentBytes(sim);
    kill(sim, SIGTERM);
    waitpid(sim, nullptr, 0);

    std::printf("%.1f s (%.0f exchanges a second)\n", seconds, seconds > 0 ? whole / seconds : 0.0);
    std::printf("VmRSS growth: %+.2f MB (target under 1 MB)\n",
                Megabytes(after) - Megabytes(before));
    return whole == EXCHANGES ? 0 : 1;
}
