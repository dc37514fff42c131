// lumaret-cli: the module from the command line, on one port or many at once.

#include "Cli.h"
#include "Interrupt.h"

#include <exception>
#include <iostream>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

// The terminal's columns when standard output is one, else 80.
int OutputWidth() {
    winsize size{};
    if (isatty(STDOUT_FILENO) != 0 && ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 &&
        size.ws_col > 0) {
        return size.ws_col;
    }
    return 80;
}

} // namespace

int main(int argc, char** argv) {
    CRunControl control;
    // Before any other thread, so that every thread leaves the signals to it.
    CInterruptWatch watch(control);
    const std::vector<std::string> args(argv + 1, argv + argc);
    CliEnvironment env{std::cout,     std::cerr, isatty(STDERR_FILENO) != 0,
                       FixedTiming(), control,   OutputWidth()};
    env.outIsTerminal = isatty(STDOUT_FILENO) != 0;
    if (isatty(STDIN_FILENO) != 0 && isatty(STDERR_FILENO) != 0) {
        env.answerFd = STDIN_FILENO;
    }
    try {
        return RunCli(args, env);
    } catch (const std::exception& e) {
        std::cerr << "lumaret-cli: " << e.what() << '\n';
        return 1;
    }
}
