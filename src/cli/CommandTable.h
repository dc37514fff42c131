#pragma once

#include "Options.h"

#include <functional>
#include <string>
#include <vector>

class CPortSession;
struct CPortReport;
struct CliContext;
struct CommandLine;
struct PortTarget;

// What an option does with the value given last (a flag: an empty one),
// once the command's words are checked: the text of a usage error, or empty.
using OptionTake = std::function<std::string(const std::string& value, CliOptions& options)>;

// An option as the command line takes it, the help shows it and the options
// keep it.
struct OptionEntry {
    std::string names;   // "-p, --port"
    std::string value{}; // "PORT", or empty for a flag
    std::string help;
    std::string example{}; // the value "--slot needs a value, e.g. --slot 12" shows
    OptionTake take{};
    // A list of port names: every value given, split at commas where the
    // ports are checked.
    std::vector<std::string> CliOptions::*ports = nullptr;
    // Required: what the command needs it as ("the learning module").
    std::string needs{};
};

// What follows a command's name.
enum class WordsKind {
    None,
    Key,   // CHANNEL KEY, or the key by --slot or --map where the command takes them
    Files, // file names, one into each of into
};

struct CommandWords {
    WordsKind kind = WordsKind::None;
    std::string what{};    // "a file", "two files", "a remote map"
    std::string example{}; // after the command in the messages: " backup.txt"
    std::vector<std::string CliOptions::*> into{};
    size_t optional = 0; // how many of the last of into may be left out
    // With --map, several key names: a sequence, sent in order.
    bool sequence = false;
};

// How a command runs once its line is checked: alone, on each port, or on
// its ports together.
struct CommandRun {
    // Its own rule for its ports, once -p and LUMARET_PORT are taken: the
    // text of a usage error, or empty.
    std::string (*checkPorts)(const CommandLine& line, const CliOptions& options) = nullptr;
    // Without a port, into one report: always for a command that takes no
    // -p, else when withoutPort says so (import --dry-run, map FILE,
    // backup --history).
    void (*alone)(const CliOptions&, CPortReport&) = nullptr;
    bool (*withoutPort)(const CliOptions&) = nullptr;
    // The same work on every port of -p at once.
    void (*each)(CPortSession&, CPortReport&) = nullptr;
    // One run over -p's port and the ports the command names itself, in
    // that order; one report a port.
    std::vector<CPortReport> (*together)(const std::vector<PortTarget>&, CliContext&) = nullptr;
    std::vector<std::string> (*ownPorts)(const CliOptions&) = nullptr;
    // Lists the ports itself: the port names file is read without -p.
    bool listsPorts = false;
};

// A command: its name, what the help says of it, the options of its own,
// which of the general options apply to it, the words it takes, and how it
// runs. The only list of the commands.
struct CommandEntry {
    std::string name;
    std::string summary;             // one line for the list of commands
    std::vector<std::string> usages; // after "lumaret-cli "
    std::vector<OptionEntry> arguments{};
    std::vector<OptionEntry> options{};
    std::string details;
    std::string example;
    bool port = true; // takes -p (ports, diff and import --dry-run run without)
    bool fast = true; // takes --fixed-timing and --fast
    CommandWords words{};
    CommandRun run{};
    // Writes slots: each one's content is journaled first (--no-journal).
    bool journal = false;
};

// The command that shows the help instead of running.
inline constexpr const char* HELP_COMMAND = "help";

const std::vector<CommandEntry>& CommandTable();
const std::vector<OptionEntry>& GeneralOptions();
// The entry of a command word, nullptr for none.
const CommandEntry* FindCommand(const std::string& word);

// The options that may stand where the command does: the general ones,
// then, after a command, its own.
std::vector<const OptionEntry*> KnownOptions(const CommandEntry* command);

// Whether the command as asked for runs on ports (import --dry-run does not).
bool NeedsPort(const CliOptions& options);

// "-p, --port" -> {"-p", "--port"}.
std::vector<std::string> OptionNames(const OptionEntry& option);
