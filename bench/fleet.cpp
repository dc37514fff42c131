// A fleet: 64 paced modules (lumaret-sim --paced --turnaround 2 --burst 8,
// each a process of its own) behind 8 ser2net processes on the loopback,
// named in a ports.conf of the bench's own, exported at once by one
// lumaret-cli -p all against one of them exported alone. The modules hand
// their bytes on eight at a time, as a USB adapter does: byte by byte, 64
// simulators and 8 ser2net passing each byte on would fill a two-core
// machine by themselves. Prints the wall time, CPU time and peak memory of
// both lumaret-cli runs, their ratio, how busy the machine was, and how many
// files equal the modules' content. The command line's default timing;
// about three minutes on an idle machine.

#include "BenchModule.h"
#include "BenchProcesses.h"
#include "DeviceMap.h"
#include "Ser2netServer.h"

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr int SERVERS = 8;
constexpr int PER_SERVER = 8;
constexpr int MODULES = SERVERS * PER_SERVER;
constexpr int FIRST_PORT = 101; // the modules' own COM names, which the command line never sees
constexpr int FIRST_NAME = 21;  // their names in ports.conf, within what the port list shows
constexpr double CORE_SHARE_TARGET = 0.25;
constexpr double PEAK_TARGET_MB = 64;

void PrintRow(const char* what, const RunFigures& run) {
    std::printf("%-28s %9.1f %9.2f %9.1f %10.1f %5d\n", what, run.wallSeconds, run.cpuSeconds,
                run.wallSeconds > 0 ? 100.0 * run.cpuSeconds / run.wallSeconds : 0.0,
                run.peakMegabytes, run.status);
}

} // namespace

int main() {
    if (Ser2netServer::Program().empty()) {
        std::fprintf(stderr, "fleet: ser2net is not installed\n");
        return 1;
    }
    const CBenchRig rig("fleet", FIRST_PORT, MODULES,
                        {"--paced", "--turnaround", "2", "--burst", "8"});
    if (!rig.Ready()) {
        return 1;
    }
    const std::string& dir = rig.Dir();
    std::array<Ser2netServer, SERVERS> servers;
    std::string names;
    for (int s = 0; s < SERVERS; ++s) {
        std::vector<std::string> devices;
        devices.reserve(PER_SERVER);
        for (int i = 0; i < PER_SERVER; ++i) {
            devices.push_back(ResolveComDevice(unsigned(FIRST_PORT + s * PER_SERVER + i)));
        }
        const std::string folder = dir + "/ser2net-" + std::to_string(s);
        std::filesystem::create_directories(folder);
        if (!servers[size_t(s)].Start(devices, folder)) {
            std::fprintf(stderr, "fleet: ser2net %d did not start\n", s);
            return 1;
        }
        for (int i = 0; i < PER_SERVER; ++i) {
            names += "COM" + std::to_string(FIRST_NAME + s * PER_SERVER + i) + " = " +
                     servers[size_t(s)].Url(size_t(i)) + "\n";
        }
    }
    std::filesystem::create_directories(dir + "/config/lumaret");
    std::ofstream(dir + "/config/lumaret/ports.conf") << names;
    setenv("XDG_CONFIG_HOME", (dir + "/config").c_str(), 1);
    // The command line sees no published module: -p all is the names file alone.
    const PrivateRuntimeDir empty("lumaret-fleet-cli");

    const std::string content = BenchModuleContent();
    std::printf("lumaret-cli export of 448 slots (%zu bytes) from %d modules paced at 9600 baud "
                "(eight bytes at a time) behind %d ser2net, default timing\n",
                content.size(), MODULES, SERVERS);
    std::fflush(stdout);
    const std::string cli = LUMARET_CLI_PROGRAM;
    const RunFigures one =
        RunTimed({cli, "-q", "-p", "COM" + std::to_string(FIRST_NAME), "export", dir + "/one.txt"});
    const MachineCpu before = ReadMachineCpu();
    const RunFigures all = RunTimed({cli, "-q", "-p", "all", "export", dir + "/all-{port}.txt"});
    const MachineCpu after = ReadMachineCpu();

    int right = BenchFileText(dir + "/one.txt") == content ? 1 : 0;
    for (int i = 0; i < MODULES; ++i) {
        const std::string file = dir + "/all-COM" + std::to_string(FIRST_NAME + i) + ".txt";
        right += BenchFileText(file) == content ? 1 : 0;
    }
    std::printf("%-28s %9s %9s %9s %10s %5s\n", "", "wall (s)", "CPU (s)", "CPU (%)", "peak (MB)",
                "exit");
    PrintRow("one module", one);
    PrintRow("64 modules at once (-p all)", all);
    std::printf("64 at once / one: %.3f (target at most 1.05)\n",
                all.wallSeconds / one.wallSeconds);
    std::printf("lumaret-cli CPU, 64 at once: %.1f %% of one core (target at most %.0f %%); "
                "peak %.1f MB (target at most %.0f MB)\n",
                100.0 * all.cpuSeconds / all.wallSeconds, 100 * CORE_SHARE_TARGET,
                all.peakMegabytes, PEAK_TARGET_MB);
    // The simulators pace every byte and ser2net passes each on: when the
    // machine is busy throughout, the rig itself, not lumaret-cli, sets the
    // pace of the 64.
    const double cores = double(sysconf(_SC_NPROCESSORS_ONLN));
    std::printf("machine busy during the 64 at once: %.0f %% of its %.0f cores "
                "(simulators, ser2net and lumaret-cli)\n",
                100.0 * (after.busy - before.busy) / (after.total - before.total), cores);
    std::printf("files equal to the modules' content: %d of %d\n", right, MODULES + 1);
    return one.status == 0 && all.status == 0 && right == MODULES + 1 ? 0 : 1;
}
