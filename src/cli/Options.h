#pragma once

#include <ostream>
#include <string>
#include <vector>

enum class CliCommand { Ports, Version, Read, Send, Learn, Export, Import, Verify, Diff, Clone };

// What the command line asked for, checked: ports split at commas, key and
// channel in range, the arguments each command needs.
struct CliOptions {
    std::vector<std::string> ports;
    bool json = false;
    bool trace = false;
    bool quiet = false;
    bool fast = false; // take replies as soon as they are whole

    CliCommand command = CliCommand::Ports;
    int channel = 0;
    int key = 0;
    int slot = 0; // read --slot N; else the slot of channel and key
    bool raw = false;
    std::string file;  // export, import, verify; diff's first file
    std::string fileB; // diff's second file
    bool dryRun = false;
    bool exact = false;
    std::vector<std::string> targets; // clone --to
};

struct ParseOutcome {
    bool run = false; // false: exit with status below (help, version, usage error)
    int exit = 0;
};

// args without the program's name. Help and version go to out, errors to err.
ParseOutcome ParseOptions(const std::vector<std::string>& args, CliOptions& options,
                          std::ostream& out, std::ostream& err);

// "COM9,COM10" and repeated options into one list; false for an empty name.
bool SplitPortList(const std::vector<std::string>& given, std::vector<std::string>& ports);
