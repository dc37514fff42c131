// lumaret-sim: a simulated IR module published as a COM port.

#include "LumaretVersion.h"
#include "PressOptions.h"
#include "Reply.h"
#include "Room.h"
#include "SafeFileWriter.h"
#include "SimOptions.h"
#include "SimulatedModule.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <poll.h>
#include <pthread.h>
#include <string>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <unistd.h>
#include <vector>

namespace {

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

// Options the parser refused: its message, or (when it printed its own)
// the pointer to the help; exit status 2.
int OptionError(const std::string& error) {
    if (error.empty()) {
        std::fputs("Try 'lumaret-sim --help'.\n", stderr);
        return 2;
    }
    return Fail(error);
}

int Usage() {
    std::fputs(SIM_USAGE, stdout);
    return 0;
}

// A system call that failed before serving: its reason, exit status 1.
int SystemFailure(const std::string& what) {
    std::fprintf(stderr, "lumaret-sim: %s%s\n", what.c_str(), std::strerror(errno));
    return 1;
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

// The module as the options describe it, before it serves; 0, or the exit status.
int PrepareModule(SimulatedModule& module, const SimOptions& options, Output& output) {
    // A target that could never be saved to is refused now, not after a
    // whole session of learned codes.
    if (!options.savePath.empty()) {
        CSafeFileWriter probe(options.savePath);
        if (std::string problem; !probe.Open(&problem)) {
            return Fail(problem);
        }
    }
    if (options.empty) {
        module.ClearSlots();
    }
    if (std::string error;
        !options.loadPath.empty() && !module.LoadDatabase(options.loadPath, &error)) {
        return Fail("cannot load '" + options.loadPath + "': " + error);
    }
    if (!options.version.empty()) {
        module.SetFirmwareVersion(options.version);
    }
    module.SetFaults(options.faults);
    if (options.verbose) {
        module.SetFrameObserver([&output](const std::vector<uint8_t>& frame, bool valid) {
            output.Line(std::string(valid ? "frame " : "ignored ") + Hex(frame));
        });
    }
    return 0;
}

// Blocks the stop signals, before the serving thread starts, so that only the
// returned signalfd takes them; -1 when it cannot be made.
int TakeStopSignals() {
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    return signalfd(-1, &stopSignals, SFD_CLOEXEC);
}

// Opens the line, publishes it as port and joins the room when one is
// named; 0, or the exit status.
int StartServing(SimulatedModule& module, const std::string& port, const std::string& room,
                 Output& output) {
    if (!module.Start()) {
        return SystemFailure("cannot open a pseudo-terminal: ");
    }
    std::string reason;
    if (!module.Publish(port, &reason)) {
        std::fprintf(stderr, "lumaret-sim: cannot publish %s: %s\n", port.c_str(), reason.c_str());
        return 1;
    }
    if (!room.empty() && !module.JoinRoom(room, &reason)) {
        std::fprintf(stderr, "lumaret-sim: cannot join room %s: %s\n", room.c_str(),
                     reason.c_str());
        return 1;
    }
    output.Line("lumaret-sim: serving " + port + " on " + module.SlavePath() + " (" +
                module.PublishedLink() + ")" + (room.empty() ? "" : " in room " + room));
    return 0;
}

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

// Stops serving, withdraws the port and saves the slots when asked; the exit status.
int Shutdown(SimulatedModule& module, const std::string& savePath, const std::string& why,
             Output& output) {
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

// Serves the module the options describe until a stop signal or the closed output.
int Run(const SimOptions& options) {
    // A closed output must not kill the program before it saves and withdraws its port.
    std::signal(SIGPIPE, SIG_IGN);
    const int outputClosed = eventfd(0, EFD_CLOEXEC);
    if (outputClosed < 0) {
        return SystemFailure("");
    }
    Output output(outputClosed);

    SimulatedModule module;
    if (const int status = PrepareModule(module, options, output); status != 0) {
        return status;
    }
    const int signals = TakeStopSignals();
    if (signals < 0) {
        return SystemFailure("");
    }
    if (const int status = StartServing(module, options.port, options.room, output); status != 0) {
        return status;
    }
    const std::string why = WaitForStop(signals, outputClosed);
    return Shutdown(module, options.savePath, why, output);
}

// `lumaret-sim press --room NAME HEX`: the code into the room, as a remote
// control puts it; 0 when a member got it, 1 when nobody did, 2 on usage errors.
int Press(int argc, char** argv) {
    // getopt names the program by the first word in what it prints.
    std::vector<char*> words(argv, argv + argc);
    std::string name = "lumaret-sim press";
    words[0] = name.data();
    PressOptions options;
    if (std::string error; !ParsePressOptions(argc, words.data(), options, error)) {
        return OptionError(error);
    }
    if (options.help) {
        return Usage();
    }
    std::string reason;
    if (EmitIntoRoom(options.room, options.code, &reason) == 0) {
        std::fprintf(stderr, "lumaret-sim: %s\n", reason.c_str());
        return 1;
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::strcmp(argv[1], "press") == 0) {
        return Press(argc - 1, argv + 1);
    }
    SimOptions options;
    if (std::string error; !ParseSimOptions(argc, argv, options, error)) {
        return OptionError(error);
    }
    if (options.help) {
        return Usage();
    }
    if (options.showVersion) {
        std::printf("lumaret-sim %s\n", LUMARET_VERSION);
        return 0;
    }
    return Run(options);
}
