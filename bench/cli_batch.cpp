// lumaret-cli exporting eight modules at once against exporting one alone.
// Each module is a lumaret-sim process of its own, pacing its output at 9600
// baud, with a third of its slots holding codes of 20-500 bytes. Prints both
// wall times and their ratio (one thread a port: eight should take hardly
// longer than one), the CPU time and the peak memory of the lumaret-cli
// process in each run. Takes about five minutes on the fixed timing.

#include "BenchModule.h"
#include "BenchProcesses.h"

#include <cstdio>
#include <string>

namespace {

constexpr int MODULES = 8;
constexpr int FIRST_PORT = 11;

} // namespace

int main() {
    const CBenchRig rig("cli_batch", FIRST_PORT, MODULES, {"--paced"});
    if (!rig.Ready()) {
        return 1;
    }
    const std::string& dir = rig.Dir();
    const std::string content = BenchModuleContent();
    std::printf("lumaret-cli export of 448 slots (%zu lines, %zu bytes), modules paced at "
                "9600 baud, fixed timing\n",
                static_cast<size_t>(448 / 3), content.size());
    std::fflush(stdout);
    const RunFigures alone =
        RunTimed({LUMARET_CLI_PROGRAM, "-q", "--fixed-timing", "-p",
                  "COM" + std::to_string(FIRST_PORT), "export", dir + "/alone.txt"});
    const RunFigures batch = RunTimed({LUMARET_CLI_PROGRAM, "-q", "--fixed-timing", "-p",
                                       rig.Ports(), "export", dir + "/batch-{port}.txt"});
    int wrong = BenchFileText(dir + "/alone.txt") == content ? 0 : 1;
    for (int i = 0; i < MODULES; ++i) {
        const std::string file = dir + "/batch-COM" + std::to_string(FIRST_PORT + i) + ".txt";
        wrong += BenchFileText(file) == content ? 0 : 1;
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
    return alone.status == 0 && batch.status == 0 && wrong == 0 ? 0 : 1;
}
