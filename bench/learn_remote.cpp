// lumaret-cli learn-remote through a 40-key map, against lumaret-sim pacing
// its line at 9600 baud in a room, on the fixed timing and the default one. The remote is
// this bench: it presses each key as soon as the prompt for it appears on
// the command line's standard error (once the learn frame is on the line,
// 15 ms), and again when the next prompt has not come 2 s later, as a person
// would. Prints the time from each capture (the last press before the next
// prompt) to the next prompt, the CPU time and the peak memory of
// lumaret-cli. Takes about a minute.

#include "BenchProcesses.h"
#include "Room.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr int KEYS = 40;
constexpr size_t CODE_BYTES = 64;
constexpr auto FIRST_PRESS = std::chrono::milliseconds(15);
constexpr auto PRESS_AGAIN = std::chrono::seconds(2);
const char* const ROOM = "bench-room";
const char* const ASKING = ": press the key on the remote";

std::vector<uint8_t> KeyCode(int key) {
    std::vector<uint8_t> code(CODE_BYTES);
    for (size_t i = 0; i < code.size(); ++i) {
        code[i] = static_cast<uint8_t>(static_cast<size_t>(key) * 17 + i * 5);
    }
    return code;
}

struct WalkFigures {
    RunFigures run;
    std::vector<double> captureToPromptMs;
    int presses = 0;
};

// The key a prompt line names ("KEY7 (1/7): press ..." -> 7), 0 for other lines.
int PromptedKey(const std::string& line) {
    const size_t asking = line.find(ASKING);
    if (asking == std::string::npos || line.rfind("KEY", 0) != 0) {
        return 0;
    }
    return std::atoi(line.c_str() + 3);
}

WalkFigures Walk(const std::string& map, bool fast) {
    std::vector<std::string> args = {LUMARET_CLI_PROGRAM, "-p", "COM31",
                                     "learn-remote",      map,  "--restart"};
    if (!fast) {
        args.emplace_back("--fixed-timing");
    }
    WalkFigures figures;
    TimedProcess process = StartTimed(args);
    ChildProcess& cli = process.child;
    size_t taken = 0; // of the standard error read so far
    int key = 0;
    Clock::time_point nextPress = Clock::time_point::max();
    Clock::time_point lastPress{};
    for (bool open = cli.Running(); open;) {
        const auto now = Clock::now();
        if (key > 0 && now >= nextPress) {
            EmitIntoRoom(ROOM, KeyCode(key));
            ++figures.presses;
            lastPress = now;
            nextPress = now + PRESS_AGAIN;
        }
        open = cli.ReadSome(key > 0 ? Deadline::At(nextPress) : Deadline::Never());
        const std::string& errors = cli.Errors();
        for (size_t end; (end = errors.find('\n', taken)) != std::string::npos; taken = end + 1) {
            const int prompted = PromptedKey(errors.substr(taken, end - taken));
            if (prompted == 0 || prompted == key) {
                continue;
            }
            const auto seen = Clock::now();
            if (key > 0) {
                figures.captureToPromptMs.push_back(
                    std::chrono::duration<double, std::milli>(seen - lastPress).count());
            }
            key = prompted;
            nextPress = seen + FIRST_PRESS;
        }
    }
    figures.run = AwaitTimed(process);
    return figures;
}

void Print(const char* name, WalkFigures f) {
    std::vector<double>& ms = f.captureToPromptMs;
    std::sort(ms.begin(), ms.end());
    const double median = ms.empty() ? 0 : ms[ms.size() / 2];
    const double slowest = ms.empty() ? 0 : ms.back();
    std::printf("%-6s exit %d, %d keys, %d presses: capture to next prompt median %.0f ms, "
                "slowest %.0f ms; wall %.1f s, CPU %.2f s, peak %.1f MB\n",
                name, f.run.status, static_cast<int>(ms.size()) + 1, f.presses, median, slowest,
                f.run.wallSeconds, f.run.cpuSeconds, f.run.peakMegabytes);
}

} // namespace

int main() {
    const CBenchRig rig("learn_remote", 31, 1, {"--paced", "--room", ROOM});
    if (!rig.Ready()) {
        return 1;
    }
    const std::string map = rig.Dir() + "/remote.map";
    std::ofstream out(map);
    for (int key = 1; key <= KEYS; ++key) {
        out << "1/" << key << " KEY" << key << "\n";
    }
    out.close();
    std::printf("learn-remote of %d keys of %zu-byte codes, lumaret-sim --paced in a room\n", KEYS,
                CODE_BYTES);
    Print("fixed", Walk(map, false));
    Print("default", Walk(map, true));
    return 0;
}
