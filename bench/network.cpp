// lumaret-cli exporting the bench module through a real ser2net on the
// loopback against the same module on its local port; eight modules behind
// one ser2net at once against one of them alone; and one through a loopback
// proxy that adds 20 ms each way, as a longer network would. Each module is a
// lumaret-sim process of its own, pacing its line at 9600 baud. Prints the
// wall time, CPU time and peak memory of each lumaret-cli run, the ratios and
// their targets. The same two through a ser2net that passes each byte on as
// it comes (chardelay: false) show what ser2net's own holding of bytes
// costs. The command line's default timing, or with --fixed-timing the fixed
// one; about seven minutes on the default.

#include "BenchModule.h"
#include "BenchProcesses.h"
#include "DeviceMap.h"
#include "LoopbackProxy.h"
#include "PortDirectory.h"
#include "Ser2netServer.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace {

constexpr int MODULES = 8;
constexpr int FIRST_PORT = 11;
constexpr int SLOTS = 448;
constexpr int PROXY_DELAY_MS = 20;

void PrintRow(const char* what, const RunFigures& run) {
    std::printf("%-34s %9.1f %9.2f %10.1f %5d\n", what, run.wallSeconds, run.cpuSeconds,
                run.peakMegabytes, run.status);
}

// The runs of one bench, in the order they ran.
struct NetworkRuns {
    RunFigures local, remote, eight, proxied, passed, passedProxied;
};

void PrintFigures(const NetworkRuns& runs) {
    const auto& [local, remote, eight, proxied, passed, passedProxied] = runs;
    std::printf("%-34s %9s %9s %10s %5s\n", "", "wall (s)", "CPU (s)", "peak (MB)", "exit");
    PrintRow("local port", local);
    PrintRow("through ser2net", remote);
    PrintRow("eight through ser2net at once", eight);
    PrintRow("through ser2net, +20 ms each way", proxied);
    PrintRow("ser2net with chardelay: false", passed);
    PrintRow("the same, +20 ms each way", passedProxied);
    const double allowance = SLOTS * 2 * PROXY_DELAY_MS * 1.1 / 1000.0;
    std::printf("remote/local: %.3f (target at most 1.03)\n",
                remote.wallSeconds / local.wallSeconds);
    std::printf("eight/one remote: %.3f (target at most 1.05)\n",
                eight.wallSeconds / remote.wallSeconds);
    std::printf("+20 ms each way: %.1f s over local (target at most %d x %d ms x 1.1 = %.1f s)\n",
                proxied.wallSeconds - local.wallSeconds, SLOTS, 2 * PROXY_DELAY_MS, allowance);
    std::printf("with chardelay: false: remote/local %.3f, +20 ms each way %.1f s over local\n",
                passed.wallSeconds / local.wallSeconds,
                passedProxied.wallSeconds - local.wallSeconds);
}

} // namespace

int main(int argc, char** argv) {
    const bool fixed = argc > 1 && std::strcmp(argv[1], "--fixed-timing") == 0;
    if (Ser2netServer::Program().empty()) {
        std::fprintf(stderr, "network: ser2net is not installed\n");
        return 1;
    }
    const CBenchRig rig("network", FIRST_PORT, MODULES, {"--paced"});
    if (!rig.Ready()) {
        return 1;
    }
    const std::string& dir = rig.Dir();
    const std::string content = BenchModuleContent();
    std::vector<std::string> devices;
    devices.reserve(MODULES);
    for (int i = 0; i < MODULES; ++i) {
        devices.push_back(ResolveComDevice(unsigned(FIRST_PORT + i)));
    }
    Ser2netServer server;
    LoopbackProxy proxy;
    // Serves the first module as well, at other times than the server above.
    Ser2netServer passing;
    LoopbackProxy passingProxy;
    const std::string passingDir = dir + "/passing";
    std::filesystem::create_directories(passingDir);
    if (!server.Start(devices, dir) ||
        !proxy.Start(server.Port(0), std::chrono::milliseconds(PROXY_DELAY_MS)) ||
        !passing.Start({devices[0]}, passingDir, false, {"chardelay: false"}) ||
        !passingProxy.Start(passing.Port(0), std::chrono::milliseconds(PROXY_DELAY_MS))) {
        std::fprintf(stderr, "network: ser2net or the proxy did not start\n");
        return 1;
    }
    std::string allRemote;
    for (int i = 0; i < MODULES; ++i) {
        allRemote += (i > 0 ? "," : "") + server.Url(size_t(i));
    }

    std::printf("lumaret-cli export of %d slots (%zu lines, %zu bytes), modules paced at 9600 "
                "baud, %s\n",
                SLOTS, size_t(SLOTS / 3), content.size(),
                fixed ? "fixed timing" : "default timing");
    std::fflush(stdout);
    auto exportFrom = [&](const std::string& ports, const std::string& file) {
        std::vector<std::string> args = {LUMARET_CLI_PROGRAM, "-q", "-p", ports};
        if (fixed) {
            args.emplace_back("--fixed-timing");
        }
        args.emplace_back("export");
        args.push_back(dir + "/" + file);
        return RunTimed(args);
    };
    const RunFigures local = exportFrom("COM" + std::to_string(FIRST_PORT), "local.txt");
    const RunFigures remote = exportFrom(server.Url(0), "remote.txt");
    const RunFigures eight = exportFrom(allRemote, "eight-{port}.txt");
    const RunFigures proxied = exportFrom(proxy.Url(), "proxied.txt");
    const RunFigures passed = exportFrom(passing.Url(0), "passed.txt");
    const RunFigures passedProxied = exportFrom(passingProxy.Url(), "passed-proxied.txt");

    std::vector<std::string> files = {"/local.txt", "/remote.txt", "/proxied.txt", "/passed.txt",
                                      "/passed-proxied.txt"};
    for (int i = 0; i < MODULES; ++i) {
        files.push_back("/eight-127.0.0.1-" + std::to_string(server.Port(size_t(i))) + ".txt");
    }
    int right = 0;
    for (const std::string& file : files) {
        right += BenchFileText(dir + file) == content ? 1 : 0;
    }

    PrintFigures({local, remote, eight, proxied, passed, passedProxied});
    std::printf("files equal to the modules' content: %d of %zu\n", right, files.size());
    const bool ran = local.status == 0 && remote.status == 0 && eight.status == 0 &&
                     proxied.status == 0 && passed.status == 0 && passedProxied.status == 0 &&
                     right == int(files.size());
    return ran ? 0 : 1;
}
