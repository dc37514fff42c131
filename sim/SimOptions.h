#pragma once

#include "SimFaults.h"

#include <string>

// What lumaret-sim's command line asks for.
struct SimOptions {
    std::string port = "COM9";
    std::string loadPath;
    std::string savePath;
    std::string version; // the firmware's, from --firmware; empty: the module's own
    std::string room;    // empty: in no room
    bool empty = false;
    bool verbose = false;
    bool help = false;
    bool showVersion = false; // --version without a value
    SimFaults faults;
};

// The --help text.
extern const char* const SIM_USAGE;

// Reads the command line into options. False on a wrong option or value,
// with the refusal in error, or error empty when getopt has printed it.
bool ParseSimOptions(int argc, char** argv, SimOptions& options, std::string& error);
