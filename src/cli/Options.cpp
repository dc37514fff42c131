#include "Options.h"

#include "LumaretVersion.h"

#include "ExitStatus.h"

#include <CLI/CLI.hpp>

#include <algorithm>

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
    CLI::App app(DESCRIPTION, "lumaret-cli");
    app.set_version_flag("--version", std::string("lumaret-cli ") + LUMARET_VERSION);
    app.require_subcommand(1);
    app.fallthrough();

    std::vector<std::string> ports;
    app.add_option("-p,--port", ports,
                   "a COM name (COM9) or a device path; repeat it or separate by commas to run "
                   "the command on several modules in parallel")
        ->type_name("PORT");
    app.add_flag("--json", options.json, "one JSON document on standard output instead of text");
    app.add_flag("--trace", options.trace,
                 "every frame written and every reply read, in hexadecimal, on standard error");
    app.add_flag("-q,--quiet", options.quiet, "no progress");

    auto* portsCmd = app.add_subcommand("ports", "list the ports, with their device and adapter");
    auto* versionCmd = app.add_subcommand("version", "the module's firmware version");

    std::vector<int> readKey;
    auto* readCmd = app.add_subcommand("read", "read a key slot: its code in hexadecimal");
    readCmd->add_option("channel_key", readKey, "channel (1-4) and key number (1-100)")
        ->expected(2)
        ->type_name("CH KEY");
    auto* slotOpt =
        readCmd->add_option("--slot", options.slot, "read slot N (1-448) instead of CH KEY");
    readCmd->add_flag("--raw", options.raw, "the whole reply, as the window's log shows it");

    std::vector<int> sendKey;
    auto* sendCmd = app.add_subcommand("send", "send a key's code");
    sendCmd->add_option("channel_key", sendKey, "channel (1-4) and key number (1-100)")
        ->expected(2)
        ->type_name("CH KEY")
        ->required();

    std::vector<int> learnKey;
    auto* learnCmd = app.add_subcommand("learn", "learn a code into a key");
    learnCmd->add_option("channel_key", learnKey, "channel (1-4) and key number (1-100)")
        ->expected(2)
        ->type_name("CH KEY")
        ->required();

    auto* exportCmd = app.add_subcommand(
        "export", "slots 1-448 into FILE (with several ports FILE must hold {port})");
    exportCmd->add_option("FILE", options.file, "the database file")->required();

    auto* importCmd = app.add_subcommand("import", "write every line of FILE into its slot");
    importCmd->add_option("FILE", options.file, "the database file")->required();
    importCmd->add_flag("--dry-run", options.dryRun, "check the file and report, without a port");

    auto* verifyCmd =
        app.add_subcommand("verify", "compare the slots FILE names with the module's");
    verifyCmd->add_option("FILE", options.file, "the database file")->required();
    verifyCmd->add_flag("--exact", options.exact, "also require every other slot to be empty");

    auto* diffCmd = app.add_subcommand("diff", "compare two database files slot by slot");
    diffCmd->add_option("FILE_A", options.file, "the first file")->required();
    diffCmd->add_option("FILE_B", options.fileB, "the second file")->required();

    std::vector<std::string> targets;
    auto* cloneCmd = app.add_subcommand(
        "clone", "export --port into memory, import it into each target at once, verify each");
    cloneCmd->add_option("--to", targets, "the target ports")
        ->required()
        ->type_name("PORT[,PORT...]");

    std::vector<std::string> reversed(args.rbegin(), args.rend());
    try {
        app.parse(reversed);
    } catch (const CLI::CallForHelp& e) {
        return {false, app.exit(e, out, err)};
    } catch (const CLI::CallForAllHelp& e) {
        return {false, app.exit(e, out, err)};
    } catch (const CLI::CallForVersion& e) {
        return {false, app.exit(e, out, err)};
    } catch (const CLI::ParseError& e) {
        std::string what = e.what();
        if (e.get_name() == "RequiredError" && what.find("subcommand") != std::string::npos) {
            what = "a command is required: ports, version, read, send, learn, export, import, "
                   "verify, diff or clone";
            // A word where the command goes that is none of them.
            for (size_t i = 0; i < args.size(); ++i) {
                if (args[i] == "-p" || args[i] == "--port") {
                    ++i;
                } else if (!args[i].empty() && args[i][0] != '-') {
                    what = "unknown command '" + args[i] + "'; " + what;
                    break;
                }
            }
        }
        return {false, Usage(err, what)};
    }

    const std::pair<CLI::App*, CliCommand> commands[] = {
        {portsCmd, CliCommand::Ports},   {versionCmd, CliCommand::Version},
        {readCmd, CliCommand::Read},     {sendCmd, CliCommand::Send},
        {learnCmd, CliCommand::Learn},   {exportCmd, CliCommand::Export},
        {importCmd, CliCommand::Import}, {verifyCmd, CliCommand::Verify},
        {diffCmd, CliCommand::Diff},     {cloneCmd, CliCommand::Clone},
    };
    for (const auto& [cmd, command] : commands) {
        if (cmd->parsed()) {
            options.command = command;
        }
    }

    if (!SplitPortList(ports, options.ports)) {
        return {false, Usage(err, "--port: an empty port name")};
    }
    if (!SplitPortList(targets, options.targets)) {
        return {false, Usage(err, "--to: an empty port name")};
    }

    // The window's own checks and text for a key; the channel as its field allows.
    auto keyAndChannel = [&](const std::vector<int>& pair) -> int {
        options.channel = pair[0];
        options.key = pair[1];
        if (options.key < 1 || options.key > 100) {
            return Usage(err, "Key No must between 1 to 100!");
        }
        if (options.channel < 1 || options.channel > 4) {
            return Usage(err, "channel " + std::to_string(options.channel) +
                                  ": the channel must be between 1 and 4");
        }
        return 0;
    };
    switch (options.command) {
    case CliCommand::Read:
        if (slotOpt->count() > 0 && !readKey.empty()) {
            return {false, Usage(err, "read: give either CH KEY or --slot N, not both")};
        }
        if (slotOpt->count() > 0) {
            if (options.slot < 1 || options.slot > 448) {
                return {false, Usage(err, "--slot: the slot must be between 1 and 448")};
            }
        } else if (readKey.size() != 2) {
            return {false, Usage(err, "read: give CH KEY or --slot N")};
        } else if (const int bad = keyAndChannel(readKey)) {
            return {false, bad};
        }
        break;
    case CliCommand::Send:
        if (const int bad = keyAndChannel(sendKey)) {
            return {false, bad};
        }
        break;
    case CliCommand::Learn:
        if (const int bad = keyAndChannel(learnKey)) {
            return {false, bad};
        }
        break;
    default:
        break;
    }

    const bool needsPort =
        !(options.command == CliCommand::Ports || options.command == CliCommand::Diff ||
          (options.command == CliCommand::Import && options.dryRun));
    if (needsPort && options.ports.empty()) {
        return {false, Usage(err, "--port is required for this command")};
    }
    if (options.command == CliCommand::Clone && options.ports.size() != 1) {
        return {false, Usage(err, "clone: give one source with --port and the targets with --to")};
    }
    if (options.command == CliCommand::Export && options.ports.size() > 1 &&
        options.file.find("{port}") == std::string::npos) {
        return {false, Usage(err, "export to several ports: FILE must hold {port}, e.g. "
                                  "backup-{port}.txt, so that each module gets its own file")};
    }
    return {true, 0};
}
