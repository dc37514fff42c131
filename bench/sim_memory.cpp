// lumaret-sim's memory over a long run: 100,000 exchanges on its
// pseudo-terminal, as fast as the line goes (a version request, a read of a
// 500-byte code, a send and a full-size write in turn), with the program's
// resident set (VmRSS) before and after. A module serving for days must stay
// the same size.
//
//   sim_memory [SIMULATOR]    (default: the lumaret-sim of this build)

#include "BenchProcesses.h"
#include "CommandFrame.h"
#include "PortDirectory.h"
#include "RawLine.h"
#include "Reply.h"
#include "RuntimeDir.h"

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

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
    ChildProcess sim;
    if (!runtime.Valid() || !StartServingSim(sim, program, {"--port", "COM9", "--empty"})) {
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
    const size_t before = ResidentBytes(sim.Pid());
    std::printf("%12d %12.2f %14d\n", 0, Megabytes(before), 0);
    const auto start = Clock::now();
    int whole = 0;
    for (int done = 0; ready && done < EXCHANGES; done += STEP) {
        whole += RunExchanges(line, STEP);
        std::printf("%12d %12.2f %14d\n", done + STEP, Megabytes(ResidentBytes(sim.Pid())), whole);
        std::fflush(stdout);
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    const size_t after = ResidentBytes(sim.Pid());
    sim.Stop(SIGTERM);

    std::printf("%.1f s (%.0f exchanges a second)\n", seconds, seconds > 0 ? whole / seconds : 0.0);
    std::printf("VmRSS growth: %+.2f MB (target under 1 MB)\n",
                Megabytes(after) - Megabytes(before));
    return whole == EXCHANGES ? 0 : 1;
}
