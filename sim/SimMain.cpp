// lumaret-sim: a simulated IR module published as a COM port.

#include "ComName.h"
#include "Reply.h"
#include "SimulatedModule.h"

#include <atomic>
#include <cerrno>
#include <charconv>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <getopt.h>
#include <poll.h>
#include <pthread.h>
#include <string>
#include <string_view>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <unistd.h>
#include <vector>

namespace {

const char* const USAGE = R"(Usage: lumaret-sim [OPTION]...
Serves a simulated IR learning module on a pseudo-terminal, published as a COM
port in the port directory, until it gets SIGINT (Ctrl+C), SIGTERM or SIGHUP,
or its output is closed (e.g. by 'head'). On each of these it saves (--save)
and withdraws the port.

  --port COMn            publish the module as COMn (default COM9); COM<n>.lock
                         is held while serving and the link removed on exit
  --load FILE            start with the slots of this database file (instead of
                         the few seeded codes); slots it does not name are empty
  --save FILE            write the slots to FILE in the database format on exit
  --empty                start with every slot empty
  --version TEXT         firmware version, up to six characters (default 102003,
                         shown by the host as 102.003)
  --verbose              print every frame received, in hexadecimal

Faults:
  --silent               answer nothing at all
  --stop-after-slot N    no answer to reads of slots above N
  --split SIZES          split every reply into pieces of these sizes, e.g. 3,5
                         (the rest of a reply goes as one last piece)
  --piece-gap MS         silence between two pieces (default 0)
  --learn-status S       status byte of learn answers (default 0, learn ok;
                         2 carry wrong, 4 save fail); a code is stored only with 0
  --learn-delay MS       time from a learn frame to its answer (default 1500)
  --refuse-writes K      leave the first K write frames unacknowledged
  --paced                send each byte at the 9600-baud byte time (1.04 ms)

  --help                 show this text and exit
)";

template <typename T> bool ParseNumber(std::string_view text, T& value) {
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc() && end == text.data() + text.size() && !text.empty();
}

bool ParsePieces(std::string_view text, std::vector<uint32_t>& pieces) {
    pieces.clear();
    while (!text.empty()) {
        const size_t comma = text.find(',');
        uint32_t size = 0;
        if (!ParseNumber(text.substr(0, comma), size) || size == 0) {
            return false;
        }
        pieces.push_back(size);
        if (comma == std::string_view::npos) {
            break;
        }
        text.remove_prefix(comma + 1);
        if (text.empty()) {
            return false;
        }
    }
    return !pieces.empty();
}

std::string Hex(const std::vector<uint8_t>& bytes) {
    std::string text = HexGroups(bytes.data(), uint32_t(bytes.size()));
    if (!text.empty()) {
        text.pop_back();
    }
    return text;
}

int Fail(const std::string& message) {
    std::fprintf(stderr, "lumaret-sim: %s\n", message.c_str());
    return 2;
}

// The standard output, written from the main and the serving thread. Once its
// reader is gone (EPIPE; SIGPIPE is ignored) nothing more is written, and the
// closed event tells the main thread to end the run as a stop signal would.
class Output {
public:
    explicit Output(int closedEvent) : m_closedEvent(closedEvent) {}

    void Line(const std::string& text) {
        if (m_closed.load()) {
            return;
        }
        if (std::fputs(text.c_str(), stdout) != EOF && std::fputc('\n', stdout) != EOF &&
            std::fflush(stdout) == 0) {
            return;
        }
        if (errno == EPIPE && !m_closed.exchange(true)) {
            const uint64_t one = 1;
            [[maybe_unused]] const ssize_t n = write(m_closedEvent, &one, sizeof one);
        }
        std::clearerr(stdout);
    }
    bool Closed() const { return m_closed.load(); }

private:
    int m_closedEvent;
    std::atomic<bool> m_closed{false};
};

// Waits for a stop signal or the closed output; says which.
std::string WaitForStop(int signals, int outputClosed) {
    pollfd fds[2] = {{signals, POLLIN, 0}, {outputClosed, POLLIN, 0}};
    while (poll(fds, 2, -1) < 0) {
        if (errno != EINTR) {
            return std::string("poll failed: ") + std::strerror(errno);
        }
    }
    signalfd_siginfo info{};
    if ((fds[0].revents & POLLIN) && read(signals, &info, sizeof info) == sizeof info) {
        return strsignal(static_cast<int>(info.ssi_signo));
    }
    return "output closed";
}

} // namespace

int main(int argc, char** argv) {
    enum : int {
        OPT_PORT = 1000,
        OPT_LOAD,
        OPT_SAVE,
        OPT_EMPTY,
        OPT_VERSION,
        OPT_VERBOSE,
        OPT_SILENT,
        OPT_STOP_AFTER,
        OPT_SPLIT,
        OPT_GAP,
        OPT_LEARN_STATUS,
        OPT_LEARN_DELAY,
        OPT_REFUSE,
        OPT_PACED,
        OPT_HELP,
    };
    static const option OPTIONS[] = {
        {"port", required_argument, nullptr, OPT_PORT},
        {"load", required_argument, nullptr, OPT_LOAD},
        {"save", required_argument, nullptr, OPT_SAVE},
        {"empty", no_argument, nullptr, OPT_EMPTY},
        {"version", required_argument, nullptr, OPT_VERSION},
        {"verbose", no_argument, nullptr, OPT_VERBOSE},
        {"silent", no_argument, nullptr, OPT_SILENT},
        {"stop-after-slot", required_argument, nullptr, OPT_STOP_AFTER},
        {"split", required_argument, nullptr, OPT_SPLIT},
        {"piece-gap", required_argument, nullptr, OPT_GAP},
        {"learn-status", required_argument, nullptr, OPT_LEARN_STATUS},
        {"learn-delay", required_argument, nullptr, OPT_LEARN_DELAY},
        {"refuse-writes", required_argument, nullptr, OPT_REFUSE},
        {"paced", no_argument, nullptr, OPT_PACED},
        {"help", no_argument, nullptr, OPT_HELP},
        {nullptr, 0, nullptr, 0},
    };

    std::string port = "COM9";
    std::string loadPath;
    std::string savePath;
    std::string version;
    bool empty = false;
    bool verbose = false;
    SimFaults faults;

    int opt;
    while ((opt = getopt_long(argc, argv, "", OPTIONS, nullptr)) != -1) {
        const std::string_view arg = optarg ? optarg : "";
        switch (opt) {
        case OPT_PORT:
            if (!ParseComNumber(arg)) {
                return Fail("--port needs a name COM1 to COM255, not '" + std::string(arg) + "'");
            }
            port = arg;
            break;
        case OPT_LOAD:
            loadPath = arg;
            break;
        case OPT_SAVE:
            savePath = arg;
            break;
        case OPT_EMPTY:
            empty = true;
            break;
        case OPT_VERSION:
            if (arg.empty() || arg.size() > 6) {
                return Fail("--version takes one to six characters");
            }
            version = arg;
            break;
        case OPT_VERBOSE:
            verbose = true;
            break;
        case OPT_SILENT:
            faults.silent = true;
            break;
        case OPT_STOP_AFTER:
            if (!ParseNumber(arg, faults.stopAfterSlot) || faults.stopAfterSlot < 0) {
                return Fail("--stop-after-slot takes a slot number from 0");
            }
            break;
        case OPT_SPLIT:
            if (!ParsePieces(arg, faults.replyPieces)) {
                return Fail("--split takes sizes above 0 separated by commas, e.g. 3,5");
            }
            break;
        case OPT_GAP:
            if (!ParseNumber(arg, faults.pieceGapMs)) {
                return Fail("--piece-gap takes milliseconds");
            }
            break;
        case OPT_LEARN_STATUS:
            if (!ParseNumber(arg, faults.learnStatus) || faults.learnStatus < 0 ||
                faults.learnStatus > 255) {
                return Fail("--learn-status takes a status byte 0 to 255");
            }
            break;
        case OPT_LEARN_DELAY:
            if (!ParseNumber(arg, faults.learnDelayMs)) {
                return Fail("--learn-delay takes milliseconds");
            }
            break;
        case OPT_REFUSE:
            if (!ParseNumber(arg, faults.refuseWrites)) {
                return Fail("--refuse-writes takes a count");
            }
            break;
        case OPT_PACED:
            faults.paced9600 = true;
            break;
        case OPT_HELP:
            std::fputs(USAGE, stdout);
            return 0;
        default:
            std::fputs("Try 'lumaret-sim --help'.\n", stderr);
            return 2;
        }
    }
    if (optind < argc) {
        return Fail(std::string("unexpected argument '") + argv[optind] + "'");
    }

    // A closed output must not kill the program before it saves and withdraws its port.
    std::signal(SIGPIPE, SIG_IGN);
    const int outputClosed = eventfd(0, EFD_CLOEXEC);
    if (outputClosed < 0) {
        std::fprintf(stderr, "lumaret-sim: %s\n", std::strerror(errno));
        return 1;
    }
    Output output(outputClosed);

    SimulatedModule module;
    if (empty) {
        module.ClearSlots();
    }
    if (std::string error; !loadPath.empty() && !module.LoadDatabase(loadPath, &error)) {
        return Fail("cannot load '" + loadPath + "': " + error);
    }
    if (!version.empty()) {
        module.SetFirmwareVersion(version);
    }
    module.SetFaults(faults);
    if (verbose) {
        module.SetFrameObserver([&output](const std::vector<uint8_t>& frame, bool valid) {
            output.Line(std::string(valid ? "frame " : "ignored ") + Hex(frame));
        });
    }

    // Blocked before the serving thread starts, so only the signalfd below takes them.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    const int signals = signalfd(-1, &stopSignals, SFD_CLOEXEC);
    if (signals < 0) {
        std::fprintf(stderr, "lumaret-sim: %s\n", std::strerror(errno));
        return 1;
    }

    if (!module.Start()) {
        std::fprintf(stderr, "lumaret-sim: cannot open a pseudo-terminal: %s\n",
                     std::strerror(errno));
        return 1;
    }
    std::string reason;
    if (!module.Publish(port, &reason)) {
        std::fprintf(stderr, "lumaret-sim: cannot publish %s: %s\n", port.c_str(), reason.c_str());
        return 1;
    }
    output.Line("lumaret-sim: serving " + port + " on " + module.SlavePath() + " (" +
                module.PublishedLink() + ")");

    const std::string why = WaitForStop(signals, outputClosed);
    module.Stop();
    output.Line("lumaret-sim: stopped (" + why + ")");

    if (!savePath.empty()) {
        const SaveOutcome saved = module.SaveDatabase(savePath);
        if (!saved.ok) {
            std::fprintf(stderr, "lumaret-sim: %s\n", saved.message.c_str());
            return 1;
        }
        output.Line("lumaret-sim: slots saved to " + savePath);
    }
    return 0;
}
