#pragma once

#include "Options.h"

#include <string>
#include <vector>

// An option as the command line takes it and the help shows it.
struct OptionEntry {
    std::string names; // "-p, --port"
    std::string value; // "PORT", or empty for a flag
    std::string help;
};

// A command: its words, what the help says of it, the options of its own,
// and which of the general options apply to it.
struct CommandEntry {
    std::string name;
    CliCommand command;
    std::string summary;             // one line for the list of commands
    std::vector<std::string> usages; // after "lumaret-cli "
    std::vector<OptionEntry> arguments;
    std::vector<OptionEntry> options;
    std::string details;
    std::string example;
    bool port = true; // takes -p (ports, diff and import --dry-run run without)
    bool fast = true; // takes --fast
};

const std::vector<CommandEntry>& CommandTable();
const std::vector<OptionEntry>& GeneralOptions();
// The entry of a command word, nullptr for none.
const CommandEntry* FindCommand(const std::string& word);

// "-p, --port" -> {"-p", "--port"}.
std::vector<std::string> OptionNames(const OptionEntry& option);
