#pragma once

#include "ExchangeTiming.h"
#include "RunControl.h"

#include <ostream>
#include <string>
#include <vector>

// Where a run of lumaret-cli reads and writes, and its timing: the program
// passes its standard streams, the fixed timing and the interruption that
// Ctrl+C raises; tests their own.
struct CliEnvironment {
    std::ostream& out;
    std::ostream& err;
    bool errIsTerminal = false;
    ExchangeTiming timing = FixedTiming();
    CRunControl& control;
    int width = 80; // the help's columns: the terminal's, else 80
    // Where an operator's answers come from (standard input when it and
    // standard error are a terminal); -1: nobody to ask.
    int answerFd = -1;
    bool outIsTerminal = false; // for --color auto, and lines said once on one terminal
};

// The whole program without main: args without the program's name; returns
// the exit status.
int RunCli(const std::vector<std::string>& args, CliEnvironment& env);
