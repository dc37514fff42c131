// Times the serial link's reads on a pseudo-terminal pair: silent reads of
// 16, 32 and 512 bytes and an 8-byte reply, with the CPU time used waiting.

#include "PublishedPty.h"
#include "RuntimeDir.h"
#include "SerialLink.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

namespace {

double CpuMs() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1000.0 +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1000.0;
}

struct Figures {
    double medianMs;
    double maxMs;
    double cpuMs;
};

Figures Measure(CSerialLink& link, int master, uint32_t n, uint32_t replyBytes, int runs) {
    std::vector<double> times;
    std::vector<uint8_t> buf(n);
    const uint8_t reply[8] = {0xAA, 0x55, 0, 0, 0, 0, 0, 0};
    double cpu = 0;
    for (int i = 0; i < runs; ++i) {
        link.PurgeInput();
        if (replyBytes > 0 && write(master, reply, replyBytes) != ssize_t(replyBytes)) {
            break;
        }
        const double cpu0 = CpuMs();
        const auto t0 = std::chrono::steady_clock::now();
        link.Read(buf.data(), n);
        const auto t1 = std::chrono::steady_clock::now();
        cpu += CpuMs() - cpu0;
        times.push_back(std::chrono::duration<double, std::milli>(t1 - t0).count());
    }
    std::sort(times.begin(), times.end());
    return {times.empty() ? 0 : times[times.size() / 2], times.empty() ? 0 : times.back(),
            cpu / static_cast<double>(std::max<size_t>(1, times.size()))};
}

} // namespace

int main() {
    const PrivateRuntimeDir runtime("serial-timing");
    PublishedPty pty;
    if (!runtime.Valid() || !pty.Open("COM5")) {
        std::puts("serial_timing: cannot make the pseudo-terminal");
        return 1;
    }
    CSerialLink link;
    if (!link.Open(5, 9600, 'N', 8, 0)) {
        std::puts("serial_timing: cannot open the pseudo-terminal");
        return 1;
    }
    struct Case {
        const char* what;
        uint32_t n, reply, boundMs;
        int runs;
    };
    const Case cases[] = {
        {"silent read of 16", 16, 0, 260, 5},
        {"silent read of 32", 32, 0, 420, 5},
        {"silent read of 512", 512, 0, 5220, 5},
        {"8-byte reply, read of 32", 32, 8, 100, 5},
    };
    std::printf("%-26s %8s %6s %10s %10s %16s\n", "case", "bound ms", "runs", "median ms", "max ms",
                "CPU ms per read");
    for (const Case& c : cases) {
        const Figures f = Measure(link, pty.Master(), c.n, c.reply, c.runs);
        std::printf("%-26s %8u %6d %10.2f %10.2f %16.2f\n", c.what, c.boundMs, c.runs, f.medianMs,
                    f.maxMs, f.cpuMs);
    }
    return 0;
}
