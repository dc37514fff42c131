#include "Options.h"

#include "LumaretVersion.h"

#include "CommandFrame.h"
#include "CommandTable.h"
#include "ExitStatus.h"
#include "Help.h"
#include "ModuleLimits.h"
#include "PortChoice.h"
#include "RemoteMap.h"
#include "Report.h"

#include <algorithm>
#include <cstdlib>
#include <optional>

namespace {

std::string Trim(const std::string& s) {
    const size_t first = s.find_first_not_of(" \t");
    if (first == std::string::npos) {
        return {};
    }
    return s.substr(first, s.find_last_not_of(" \t") - first + 1);
}

// Edits (insert, delete, replace, swap two neighbours) from a to b.
size_t EditDistance(const std::string& a, const std::string& b) {
    std::vector<std::vector<size_t>> d(a.size() + 1, std::vector<size_t>(b.size() + 1));
    for (size_t i = 0; i <= a.size(); ++i) {
        d[i][0] = i;
    }
    for (size_t j = 0; j <= b.size(); ++j) {
        d[0][j] = j;
    }
    for (size_t i = 1; i <= a.size(); ++i) {
        for (size_t j = 1; j <= b.size(); ++j) {
            const size_t cost = a[i - 1] == b[j - 1] ? 0 : 1;
            d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + cost});
            if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1]) {
                d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
            }
        }
    }
    return d[a.size()][b.size()];
}

// "; did you mean --port?" for the closest candidate, when one is close.
std::string Suggestion(const std::string& word, const std::vector<std::string>& candidates) {
    std::string best;
    size_t bestDistance = 3; // more edits than this is another word
    for (const std::string& candidate : candidates) {
        const size_t distance = EditDistance(word, candidate);
        if (distance < bestDistance && distance < candidate.size()) {
            best = candidate;
            bestDistance = distance;
        }
    }
    return best.empty() ? std::string() : "; did you mean " + best + "?";
}

bool IsNumberWord(const std::string& word) {
    const size_t digits = word.find_first_not_of('-') == 1 ? 1 : 0;
    return word.size() > digits &&
           word.find_first_not_of("0123456789", digits) == std::string::npos;
}

// A whole decimal number in [low, high], else nothing.
std::optional<int> NumberIn(const std::string& word, int low, int high) {
    if (!IsNumberWord(word) || word.size() > 6) {
        return std::nullopt;
    }
    const int n = std::atoi(word.c_str());
    if (n < low || n > high) {
        return std::nullopt;
    }
    return n;
}

// "--port=COM9" and "-pCOM9" as "--port" "COM9".
std::vector<std::string> SplitAttachedValues(const std::vector<std::string>& args) {
    std::vector<std::string> split;
    for (const std::string& arg : args) {
        const size_t equals = arg.find('=');
        if (arg.rfind("--", 0) == 0 && equals != std::string::npos) {
            split.push_back(arg.substr(0, equals));
            split.push_back(arg.substr(equals + 1));
        } else if (arg.rfind("-p", 0) == 0 && arg.size() > 2) {
            split.emplace_back("-p");
            split.push_back(arg.substr(arg[2] == '=' ? 3 : 2));
        } else {
            split.push_back(arg);
        }
    }
    return split;
}

// What the walk over the arguments collects before the checks.
struct CommandLine {
    const CommandEntry* command = nullptr;
    std::vector<std::string> words; // the command's own arguments
    std::vector<std::string> ports;
    std::vector<std::string> targets;
    std::optional<std::string> slot;
    std::optional<std::string> map;     // send and read --map
    std::optional<std::string> retries; // learn-remote --retries
    std::optional<std::string> scratch; // check-remote --scratch
    std::optional<std::string> with;    // check-remote --with
    bool help = false;
    bool version = false;
    std::string error;
};

// The options known where an option stands: the general ones and, after a
// command, its own.
std::vector<std::string> KnownOptions(const CommandEntry* command) {
    std::vector<std::string> names;
    for (const OptionEntry& option : GeneralOptions()) {
        for (const std::string& name : OptionNames(option)) {
            names.push_back(name);
        }
    }
    if (command != nullptr) {
        for (const OptionEntry& option : command->options) {
            names.push_back(option.names);
        }
    }
    return names;
}

std::vector<std::string> CommandNames() {
    std::vector<std::string> names;
    for (const CommandEntry& entry : CommandTable()) {
        names.push_back(entry.name);
    }
    return names;
}

std::string CommandList() {
    std::string list;
    const std::vector<std::string> names = CommandNames();
    for (size_t i = 0; i < names.size(); ++i) {
        list += (i == 0 ? "" : i + 1 == names.size() ? " or " : ", ") + names[i];
    }
    return list;
}

// One option; false with line.error set when it is not known or lacks its value.
bool TakeOption(const std::vector<std::string>& args, size_t& i, CommandLine& line,
                CliOptions& options) {
    const std::string& arg = args[i];
    auto value = [&](std::string& into, const std::string& example) {
        if (i + 1 >= args.size()) {
            line.error = arg + " needs a value, e.g. " + arg + " " + example;
            return false;
        }
        into = args[++i];
        return true;
    };
    std::string text;
    if (arg == "-p" || arg == "--port") {
        return value(line.ports.emplace_back(), "COM9");
    }
    if (arg == "--json" || arg == "--fast" || arg == "--trace" || arg == "-q" || arg == "--quiet") {
        bool& flag = arg == "--json"    ? options.json
                     : arg == "--fast"  ? options.fast
                     : arg == "--trace" ? options.trace
                                        : options.quiet;
        flag = true;
        return true;
    }
    if (arg == "-h" || arg == "--help" || arg == "--version") {
        (arg == "--version" ? line.version : line.help) = true;
        return true;
    }
    const CliCommand c = line.command != nullptr ? line.command->command : CliCommand::Help;
    if (c == CliCommand::Read && arg == "--slot") {
        return value(line.slot.emplace(), "12");
    }
    if (c == CliCommand::Read && arg == "--raw") {
        options.raw = true;
        return true;
    }
    if (c == CliCommand::Import && arg == "--dry-run") {
        options.dryRun = true;
        return true;
    }
    if ((c == CliCommand::Verify || c == CliCommand::Clone) && arg == "--exact") {
        options.exact = true;
        return true;
    }
    if (c == CliCommand::Clone && arg == "--to") {
        return value(line.targets.emplace_back(), "COM10");
    }
    if ((c == CliCommand::Send || c == CliCommand::Read) && arg == "--map") {
        return value(line.map.emplace(), "tv.map");
    }
    if (c == CliCommand::LearnRemote) {
        if (arg == "--retries") {
            return value(line.retries.emplace(), "3");
        }
        if (arg == "--session") {
            return value(options.session, "tv.session");
        }
        if (arg == "--confirm" || arg == "--restart") {
            (arg == "--confirm" ? options.confirm : options.restart) = true;
            return true;
        }
    }
    if (c == CliCommand::CheckRemote) {
        if (arg == "--with") {
            return value(line.with.emplace(), "COM10");
        }
        if (arg == "--scratch") {
            return value(line.scratch.emplace(), "448");
        }
        if (arg == "--strict") {
            options.strict = true;
            return true;
        }
    }
    line.error = "unknown option " + arg + Suggestion(arg, KnownOptions(line.command));
    return false;
}

CommandLine Walk(const std::vector<std::string>& args, CliOptions& options) {
    CommandLine line;
    bool optionsEnded = false;
    for (size_t i = 0; i < args.size() && line.error.empty(); ++i) {
        const std::string& arg = args[i];
        const bool option = !optionsEnded && arg.size() > 1 && arg[0] == '-' && !IsNumberWord(arg);
        if (!optionsEnded && arg == "--") {
            optionsEnded = true;
        } else if (option) {
            TakeOption(args, i, line, options);
        } else if (line.command == nullptr) {
            line.command = FindCommand(arg);
            if (line.command == nullptr) {
                line.error = "unknown command \"" + arg + "\"" + Suggestion(arg, CommandNames()) +
                             " (the commands: " + CommandList() + ")";
            }
        } else {
            line.words.push_back(arg);
        }
    }
    return line;
}

// How the command is written with the port given, for the messages.
std::string Example(const CommandLine& line, const std::string& rest) {
    const std::string port = line.ports.empty() ? "COM9" : Trim(line.ports.front());
    return "lumaret-cli -p " + (port.empty() ? "COM9" : port) + " " + line.command->name + rest;
}

std::string CheckChannelAndKey(const CommandLine& line, CliOptions& options) {
    const std::string& name = line.command->name;
    if (line.words.size() < 2) {
        return name + " needs a channel and a key: " + Example(line, " 1 2");
    }
    if (line.words.size() > 2) {
        return name + " takes a channel and a key, nothing after them (\"" + line.words[2] + "\")";
    }
    const auto channel = NumberIn(line.words[0], MIN_CHANNEL, MAX_CHANNEL);
    if (!channel) {
        return "channel must be a number from 1 to 4, not \"" + line.words[0] + "\"";
    }
    if (!IsNumberWord(line.words[1])) {
        return "key must be a number from 1 to 100, not \"" + line.words[1] + "\"";
    }
    const auto key = NumberIn(line.words[1], MIN_KEY_NUMBER, MAX_KEY_NUMBER);
    if (!key) {
        return KEY_NUMBER_OUT_OF_RANGE; // the window's own words
    }
    options.channel = *channel;
    options.key = *key;
    return {};
}

// send and read --map MAP NAME: the key's slot, channel and key from the map.
std::string CheckMapKey(const CommandLine& line, CliOptions& options) {
    const std::string& name = line.command->name;
    if (line.words.size() != 1) {
        return name + " --map takes one key name: " + Example(line, " --map tv.map POWER");
    }
    if (line.slot) {
        return name + " takes either --slot N or --map MAP NAME, not both";
    }
    const RemoteMap map = ReadRemoteMap(*line.map);
    if (!map.Ok()) {
        return *line.map + ": " + RemoteMapFaultText(map.faults.front());
    }
    const RemoteKey* key = map.Find(line.words[0]);
    if (key == nullptr) {
        std::vector<std::string> names;
        for (const RemoteKey& k : map.keys) {
            names.push_back(k.name);
        }
        return "no key named " + line.words[0] + " in " + *line.map +
               Suggestion(line.words[0], names);
    }
    options.map = *line.map;
    options.keyName = key->name;
    options.slot = key->slot;
    options.channel = KeyChannel(*key);
    options.key = key->slot - (options.channel - 1) * MAX_KEY_NUMBER;
    return {};
}

// learn-remote's and check-remote's numbers.
std::string CheckRemoteOptions(const CommandLine& line, CliOptions& options) {
    if (line.retries) {
        const auto retries = NumberIn(*line.retries, 0, 100);
        if (!retries) {
            return "--retries takes a number from 0 to 100, not \"" + *line.retries + "\"";
        }
        options.retries = *retries;
    }
    if (line.scratch) {
        const auto scratch = NumberIn(*line.scratch, FIRST_SLOT, LAST_SLOT);
        if (!scratch) {
            return "--scratch takes a slot from 1 to 448, not \"" + *line.scratch + "\"";
        }
        options.scratch = *scratch;
    }
    if (options.command == CliCommand::CheckRemote) {
        if (!line.with || line.with->empty()) {
            return "check-remote needs the learning module: " +
                   Example(line, " tv.map --with COM10");
        }
        options.withPort = Trim(*line.with);
    }
    return {};
}

// The command's own arguments; the text of a usage error, or empty.
std::string CheckWords(const CommandLine& line, CliOptions& options) {
    const std::string& name = line.command->name;
    const size_t count = line.words.size();
    auto files = [&](size_t wanted, const std::string& names, const std::string& example) {
        if (count < wanted) {
            return name + " needs " + names + ": " + example;
        }
        if (count > wanted) {
            return name + " takes " + names + ", nothing after (\"" + line.words[wanted] + "\")";
        }
        options.file = line.words[0];
        options.fileB = wanted > 1 ? line.words[1] : std::string();
        return std::string();
    };
    if (line.map) {
        return CheckMapKey(line, options);
    }
    switch (line.command->command) {
    case CliCommand::Read:
        if (line.slot) {
            if (count > 0) {
                return "read takes either a channel and a key or --slot N, not both";
            }
            const auto slot = NumberIn(*line.slot, FIRST_SLOT, LAST_SLOT);
            if (!slot) {
                return "slot must be a number from 1 to 448, not \"" + *line.slot + "\"";
            }
            options.slot = *slot;
            return {};
        }
        return CheckChannelAndKey(line, options);
    case CliCommand::Send:
    case CliCommand::Learn:
        return CheckChannelAndKey(line, options);
    case CliCommand::Export:
    case CliCommand::Import:
    case CliCommand::Verify:
        return files(1, "a file", Example(line, " backup.txt"));
    case CliCommand::Show:
        return files(1, "a file", "lumaret-cli show backup.txt");
    case CliCommand::LearnRemote:
    case CliCommand::CheckRemote:
        if (std::string error = files(1, "a remote map", Example(line, " tv.map"));
            !error.empty()) {
            return error;
        }
        options.map = options.file;
        return CheckRemoteOptions(line, options);
    case CliCommand::Diff:
        return files(2, "two files", "lumaret-cli diff monday.txt friday.txt");
    default:
        return count == 0 ? std::string()
                          : name + " takes no arguments, not \"" + line.words[0] + "\"";
    }
}

// The ports each command needs; the text of a usage error, or empty.
std::string CheckPorts(const CommandLine& line, CliOptions& options) {
    if (!SplitPortList(line.ports, options.ports)) {
        return "--port: an empty port name in the list";
    }
    if (!SplitPortList(line.targets, options.targets)) {
        return "--to: an empty port name in the list";
    }
    const bool needsPort = line.command->port && !options.dryRun;
    if (needsPort && options.ports.empty()) {
        const char* given = std::getenv("LUMARET_PORT");
        if (given != nullptr && *given != '\0' && !SplitPortList({given}, options.ports)) {
            return "LUMARET_PORT: an empty port name in \"" + std::string(given) + "\"";
        }
    }
    if (needsPort && options.ports.empty()) {
        return line.command->name + " needs a port: " + Example(line, "") +
               " (or set LUMARET_PORT)";
    }
    const bool onePort =
        options.command == CliCommand::LearnRemote || options.command == CliCommand::CheckRemote;
    if (onePort && (options.ports.size() != 1 || IsAllPorts(options.ports.front()))) {
        return line.command->name + " runs on one port: " + Example(line, " tv.map");
    }
    if (options.command == CliCommand::Clone) {
        if (options.targets.empty()) {
            return "clone needs its targets: " + Example(line, " --to COM10,COM11");
        }
        if (options.ports.size() != 1 || IsAllPorts(options.ports.front())) {
            return "clone copies one module: give one source with --port and the targets "
                   "with --to";
        }
    }
    const bool several =
        options.ports.size() > 1 || (!options.ports.empty() && IsAllPorts(options.ports.front()));
    if (options.command == CliCommand::Export && several &&
        options.file.find("{port}") == std::string::npos &&
        options.file.find("{serial}") == std::string::npos) {
        return "export to several ports: FILE must hold {port} or {serial}, e.g. "
               "backup-{port}.txt, so that each module gets its own file";
    }
    return {};
}

// What the walk asked for besides a command: help or the version, printed.
std::optional<ParseOutcome> HelpOrVersion(const CommandLine& line, std::ostream& out, int width,
                                          std::string& error) {
    if (line.command != nullptr && line.command->command == CliCommand::Help) {
        if (line.words.empty()) {
            out << GeneralHelp(width);
            return ParseOutcome{false, 0};
        }
        const CommandEntry* topic = FindCommand(line.words.front());
        if (topic == nullptr) {
            error = "no help for \"" + line.words.front() + "\"" +
                    Suggestion(line.words.front(), CommandNames()) +
                    " (the commands: " + CommandList() + ")";
            return ParseOutcome{false, EXIT_USAGE};
        }
        out << CommandHelp(*topic, width);
        return ParseOutcome{false, 0};
    }
    if (line.help) {
        out << (line.command != nullptr ? CommandHelp(*line.command, width) : GeneralHelp(width));
        return ParseOutcome{false, 0};
    }
    if (line.version) {
        out << "lumaret-cli " << LUMARET_VERSION << '\n';
        return ParseOutcome{false, 0};
    }
    return std::nullopt;
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

int UsageError(const std::string& text, bool json, std::ostream& out, std::ostream& err, int exit) {
    err << "lumaret-cli: " << text << '\n';
    if (exit == EXIT_USAGE) {
        err << "Run lumaret-cli help for the commands and options.\n";
    }
    if (json) {
        const Json document{{"ok", false}, {"exit", exit}, {"error", text}};
        out << document.dump(2, ' ', false, Json::error_handler_t::replace) << '\n';
    }
    out.flush();
    return exit;
}

ParseOutcome ParseOptions(const std::vector<std::string>& args, CliOptions& options,
                          std::ostream& out, std::ostream& err, int width) {
    const CommandLine line = Walk(SplitAttachedValues(args), options);
    // --json anywhere asks for JSON, an error before it was read too.
    const bool json = std::find(args.begin(), args.end(), "--json") != args.end();
    std::string error = line.error;
    if (error.empty()) {
        if (const auto ended = HelpOrVersion(line, out, width, error)) {
            if (ended->exit == 0) {
                return *ended;
            }
        }
    }
    if (error.empty() && line.command == nullptr) {
        error = "a command is required: " + CommandList();
    }
    if (error.empty()) {
        options.command = line.command->command;
        error = CheckWords(line, options);
    }
    if (error.empty()) {
        error = CheckPorts(line, options);
    }
    if (!error.empty()) {
        return {false, UsageError(error, json, out, err)};
    }
    return {true, 0};
}
