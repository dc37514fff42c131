#include "Options.h"

#include "LumaretVersion.h"

#include "CommandFrame.h"
#include "ExitStatus.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <optional>
#include <utility>

namespace {

const char* const DESCRIPTION =
    "lumaret-cli: the infrared learning module from the command line, on one port or on\n"
    "several at once (one thread per port). Exit status: 0 success, 1 the module answered\n"
    "but the outcome is not a success (also: a difference, a line not written),\n"
    "2 usage error or unreadable file, 3 port cannot be opened, 4 no reply,\n"
    "130 interrupted; with several ports the highest.";

std::string Trim(const std::string& s) {
    const size_t first = s.find_first_not_of(" \t");
    if (first == std::string::npos) {
        return {};
    }
    return s.substr(first, s.find_last_not_of(" \t") - first + 1);
}

int Usage(std::ostream& err, const std::string& text) {
    err << "lumaret-cli: " << text << "\nRun with --help for more information.\n";
    return EXIT_USAGE;
}

// The parser, and what it collects before the checks: the port lists as
// given, each command's CH KEY, read's --slot, and which command is which.
struct CommandLine {
    CLI::App app{DESCRIPTION, "lumaret-cli"};
    std::vector<std::string> ports;
    std::vector<std::string> targets;
    std::vector<int> readKey;
    std::vector<int> sendKey;
    std::vector<int> learnKey;
    CLI::Option* slot = nullptr;
    std::vector<std::pair<CLI::App*, CliCommand>> commands;
};

CLI::App* AddCommand(CommandLine& line, const std::string& name, const std::string& description,
                     CliCommand command) {
    CLI::App* cmd = line.app.add_subcommand(name, description);
    line.commands.emplace_back(cmd, command);
    return cmd;
}

// The options every command takes, and one command required.
void AddGeneralOptions(CommandLine& line, CliOptions& options) {
    CLI::App& app = line.app;
    app.set_version_flag("--version", std::string("lumaret-cli ") + LUMARET_VERSION);
    app.require_subcommand(1);
    app.fallthrough();

    app.add_option("-p,--port", line.ports,
                   "a COM name (COM9) or a device path; repeat it or separate by commas to run "
                   "the command on several modules in parallel")
        ->type_name("PORT");
    app.add_flag("--json", options.json, "one JSON document on standard output instead of text");
    app.add_flag("--trace", options.trace,
                 "every frame written and every reply read, in hexadecimal, on standard error");
    app.add_flag("-q,--quiet", options.quiet, "no progress");
    app.add_flag("--fast", options.fast,
                 "end each exchange as soon as its reply is complete (its CRC checked, then a "
                 "quiet gap) instead of after the window's fixed pauses");
}

void AddReadCommand(CommandLine& line, CliOptions& options) {
    auto* readCmd =
        AddCommand(line, "read", "read a key slot: its code in hexadecimal", CliCommand::Read);
    readCmd->add_option("channel_key", line.readKey, "channel (1-4) and key number (1-100)")
        ->expected(2)
        ->type_name("CH KEY");
    line.slot =
        readCmd->add_option("--slot", options.slot, "read slot N (1-448) instead of CH KEY");
    readCmd->add_flag("--raw", options.raw, "the whole reply, as the window's log shows it");
}

// send and learn: a channel and a key, both required.
void AddKeyCommand(CommandLine& line, const std::string& name, const std::string& description,
                   CliCommand command, std::vector<int>& key) {
    AddCommand(line, name, description, command)
        ->add_option("channel_key", key, "channel (1-4) and key number (1-100)")
        ->expected(2)
        ->type_name("CH KEY")
        ->required();
}

void AddExportCommand(CommandLine& line, CliOptions& options) {
    auto* exportCmd = AddCommand(line, "export",
                                 "slots 1-448 into FILE (with several ports FILE must hold {port})",
                                 CliCommand::Export);
    exportCmd->add_option("FILE", options.file, "the database file")->required();
}

void AddImportCommand(CommandLine& line, CliOptions& options) {
    auto* importCmd =
        AddCommand(line, "import", "write every line of FILE into its slot", CliCommand::Import);
    importCmd->add_option("FILE", options.file, "the database file")->required();
    importCmd->add_flag("--dry-run", options.dryRun, "check the file and report, without a port");
}

void AddVerifyCommand(CommandLine& line, CliOptions& options) {
    auto* verifyCmd = AddCommand(line, "verify", "compare the slots FILE names with the module's",
                                 CliCommand::Verify);
    verifyCmd->add_option("FILE", options.file, "the database file")->required();
    verifyCmd->add_flag("--exact", options.exact, "also require every other slot to be empty");
}

void AddDiffCommand(CommandLine& line, CliOptions& options) {
    auto* diffCmd =
        AddCommand(line, "diff", "compare two database files slot by slot", CliCommand::Diff);
    diffCmd->add_option("FILE_A", options.file, "the first file")->required();
    diffCmd->add_option("FILE_B", options.fileB, "the second file")->required();
}

void AddCloneCommand(CommandLine& line) {
    auto* cloneCmd = AddCommand(
        line, "clone", "export --port into memory, import it into each target at once, verify each",
        CliCommand::Clone);
    cloneCmd->add_option("--to", line.targets, "the target ports")
        ->required()
        ->type_name("PORT[,PORT...]");
}

// CLI11's text when no command was given names none; say which there are,
// and which word stood where the command goes.
std::string MissingCommandText(const std::vector<std::string>& args) {
    std::string commands = "a command is required: ports, version, read, send, learn, "
                           "export, import, verify, diff or clone";
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "-p" || args[i] == "--port") {
            ++i;
        } else if (!args[i].empty() && args[i][0] != '-') {
            return "unknown command '" + args[i] + "'; " + commands;
        }
    }
    return commands;
}

// CLI11's parse of args. Help, the version and usage errors end the command
// line here, with the outcome returned; nothing when a command is to run.
std::optional<ParseOutcome> ParseArguments(CLI::App& app, const std::vector<std::string>& args,
                                           std::ostream& out, std::ostream& err) {
    // CLI11 takes the arguments last first.
    std::vector<std::string> reversed(args.rbegin(), args.rend());
    try {
        app.parse(reversed);
    } catch (const CLI::CallForHelp& e) {
        return ParseOutcome{false, app.exit(e, out, err)};
    } catch (const CLI::CallForAllHelp& e) {
        return ParseOutcome{false, app.exit(e, out, err)};
    } catch (const CLI::CallForVersion& e) {
        return ParseOutcome{false, app.exit(e, out, err)};
    } catch (const CLI::ParseError& e) {
        std::string what = e.what();
        if (e.get_name() == "RequiredError" && what.find("subcommand") != std::string::npos) {
            what = MissingCommandText(args);
        }
        return ParseOutcome{false, Usage(err, what)};
    }
    return std::nullopt;
}

// The window's own checks and text for a key; the channel as its field allows.
int CheckKeyAndChannel(const std::vector<int>& pair, CliOptions& options, std::ostream& err) {
    options.channel = pair[0];
    options.key = pair[1];
    if (!KeyNumberInRange(options.key)) {
        return Usage(err, KEY_NUMBER_OUT_OF_RANGE);
    }
    if (!ChannelInRange(options.channel)) {
        return Usage(err, "channel " + std::to_string(options.channel) +
                              ": the channel must be between 1 and 4");
    }
    return 0;
}

// read takes CH KEY or --slot N; send and learn CH KEY. The exit status of a
// usage error, or 0.
int CheckKeyArguments(const CommandLine& line, CliOptions& options, std::ostream& err) {
    switch (options.command) {
    case CliCommand::Read:
        if (line.slot->count() > 0 && !line.readKey.empty()) {
            return Usage(err, "read: give either CH KEY or --slot N, not both");
        }
        if (line.slot->count() > 0) {
            if (!IsSlot(options.slot)) {
                return Usage(err, "--slot: the slot must be between 1 and 448");
            }
            return 0;
        }
        if (line.readKey.size() != 2) {
            return Usage(err, "read: give CH KEY or --slot N");
        }
        return CheckKeyAndChannel(line.readKey, options, err);
    case CliCommand::Send:
        return CheckKeyAndChannel(line.sendKey, options, err);
    case CliCommand::Learn:
        return CheckKeyAndChannel(line.learnKey, options, err);
    default:
        return 0;
    }
}

// The ports each command needs. The exit status of a usage error, or 0.
int CheckPorts(const CliOptions& options, std::ostream& err) {
    const bool needsPort =
        !(options.command == CliCommand::Ports || options.command == CliCommand::Diff ||
          (options.command == CliCommand::Import && options.dryRun));
    if (needsPort && options.ports.empty()) {
        return Usage(err, "--port is required for this command");
    }
    if (options.command == CliCommand::Clone && options.ports.size() != 1) {
        return Usage(err, "clone: give one source with --port and the targets with --to");
    }
    if (options.command == CliCommand::Export && options.ports.size() > 1 &&
        options.file.find("{port}") == std::string::npos) {
        return Usage(err, "export to several ports: FILE must hold {port}, e.g. "
                          "backup-{port}.txt, so that each module gets its own file");
    }
    return 0;
}

} // namespace

bool SplitPortList(const std::vector<std::string>& given, std::vector<std::string>& ports) {
    ports.clear();
    for (const std::string& option : given) {
        size_t start = 0;
        for (;;) {
            const size_t comma = option.find(',', start);
            const std::string name = Trim(option.substr(start, comma - start));
            if (name.empty()) {
                return false;
            }
            ports.push_back(name);
            if (comma == std::string::npos) {
                break;
            }
            start = comma + 1;
        }
    }
    return true;
}

ParseOutcome ParseOptions(const std::vector<std::string>& args, CliOptions& options,
                          std::ostream& out, std::ostream& err) {
    CommandLine line;
    AddGeneralOptions(line, options);
    AddCommand(line, "ports", "list the ports, with their device and adapter", CliCommand::Ports);
    AddCommand(line, "version", "the module's firmware version", CliCommand::Version);
    AddReadCommand(line, options);
    AddKeyCommand(line, "send", "send a key's code", CliCommand::Send, line.sendKey);
    AddKeyCommand(line, "learn", "learn a code into a key", CliCommand::Learn, line.learnKey);
    AddExportCommand(line, options);
    AddImportCommand(line, options);
    AddVerifyCommand(line, options);
    AddDiffCommand(line, options);
    AddCloneCommand(line);

    if (const auto ended = ParseArguments(line.app, args, out, err)) {
        return *ended;
    }
    for (const auto& [cmd, command] : line.commands) {
        if (cmd->parsed()) {
            options.command = command;
        }
    }

    if (!SplitPortList(line.ports, options.ports)) {
        return {false, Usage(err, "--port: an empty port name")};
    }
    if (!SplitPortList(line.targets, options.targets)) {
        return {false, Usage(err, "--to: an empty port name")};
    }
    if (const int bad = CheckKeyArguments(line, options, err)) {
        return {false, bad};
    }
    if (const int bad = CheckPorts(options, err)) {
        return {false, bad};
    }
    return {true, 0};
}
