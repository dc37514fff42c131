#include "Options.h"

#include "LumaretVersion.h"

#include "CommandFrame.h"
#include "CommandLine.h"
#include "CommandTable.h"
#include "ExitStatus.h"
#include "Help.h"
#include "ModuleLimits.h"
#include "RemoteMap.h"
#include "Report.h"
#include "ShownText.h"

#include <algorithm>
#include <cstdlib>
#include <optional>
#include <vector>

namespace {

std::string CheckChannelAndKey(const CommandLine& line, CliOptions& options) {
    const std::string& name = line.command->name;
    if (line.words.size() < 2) {
        return name + " needs a channel and a key: " + line.Example(" 1 2");
    }
    if (line.words.size() > 2) {
        return name + " takes a channel and a key, nothing after them (\"" + line.words[2] + "\")";
    }
    const auto channel = NumberIn(line.words[0], MIN_CHANNEL, MAX_CHANNEL);
    if (!channel) {
        return OutOfRange("channel must be a number", MIN_CHANNEL, MAX_CHANNEL, line.words[0]);
    }
    if (!IsNumberWord(line.words[1])) {
        return OutOfRange("key must be a number", MIN_KEY_NUMBER, MAX_KEY_NUMBER, line.words[1]);
    }
    const auto key = NumberIn(line.words[1], MIN_KEY_NUMBER, MAX_KEY_NUMBER);
    if (!key) {
        return KEY_NUMBER_OUT_OF_RANGE; // the window's own words
    }
    options.channel = *channel;
    options.key = *key;
    return {};
}

// --map MAP NAME: the key's slot, channel and key from the map.
std::string CheckMapKey(const CommandLine& line, CliOptions& options) {
    const std::string& name = line.command->name;
    const bool sequence = line.command->words.sequence && line.words.size() > 1;
    if (line.words.size() != 1 && !sequence) {
        return name + " --map takes one key name: " + line.Example(" --map tv.map POWER");
    }
    if (line.Given("--slot")) {
        return name + " takes either --slot N or --map MAP NAME, not both";
    }
    const std::string& path = line.Values("--map")->back();
    const RemoteMap map = ReadRemoteMap(path);
    if (!map.Ok()) {
        return path + ": " + RemoteMapFaultText(map.faults.front());
    }
    for (const std::string& word : line.words) {
        const RemoteKey* key = map.Find(word);
        if (key == nullptr) {
            std::vector<std::string> names;
            for (const RemoteKey& k : map.keys) {
                names.push_back(k.name);
            }
            std::string error = "no key named " + word;
            error += " in ";
            error += path;
            return error + Suggestion(word, names);
        }
        if (sequence) {
            options.sequence.push_back(*key);
        }
    }
    const RemoteKey* key = map.Find(line.words[0]);
    options.keyName = key->name;
    options.slot = key->slot;
    options.channel = KeyChannel(*key);
    options.key = key->slot - (options.channel - 1) * MAX_KEY_NUMBER;
    return {};
}

// A key as a channel and a key, or where the command takes them, by --map
// or --slot (whose number is checked with the other values).
std::string CheckKeyWords(const CommandLine& line, CliOptions& options) {
    if (line.Given("--map")) {
        return CheckMapKey(line, options);
    }
    if (line.Given("--slot")) {
        return line.words.empty()
                   ? std::string()
                   : line.command->name + " takes either a channel and a key or --slot N, not both";
    }
    return CheckChannelAndKey(line, options);
}

std::string CheckFiles(const CommandLine& line, CliOptions& options) {
    const CommandEntry& command = *line.command;
    const size_t wanted = command.words.into.size();
    if (line.words.size() < wanted - command.words.optional) {
        return command.name + " needs " + command.words.what + ": " +
               line.Example(command.words.example);
    }
    if (line.words.size() > wanted) {
        return command.name + " takes " + command.words.what + ", nothing after (\"" +
               line.words[wanted] + "\")";
    }
    for (size_t i = 0; i < line.words.size(); ++i) {
        options.*command.words.into[i] = line.words[i];
    }
    return {};
}

// The command's own arguments; the text of a usage error, or empty.
std::string CheckWords(const CommandLine& line, CliOptions& options) {
    switch (line.command->words.kind) {
    case WordsKind::Key:
        return CheckKeyWords(line, options);
    case WordsKind::Files:
        return CheckFiles(line, options);
    case WordsKind::None:
        break;
    }
    return line.words.empty()
               ? std::string()
               : line.command->name + " takes no arguments, not \"" + line.words[0] + "\"";
}

// The values of the options given, then the options the command requires.
std::string TakeValues(const CommandLine& line, CliOptions& options) {
    for (const OptionEntry* option : KnownOptions(line.command)) {
        const std::vector<std::string>* given = line.Values(*option);
        if (option->take && given != nullptr) {
            if (std::string error = option->take(given->back(), options); !error.empty()) {
                return error;
            }
        }
    }
    for (const OptionEntry* option : KnownOptions(line.command)) {
        const std::vector<std::string>* given = line.Values(*option);
        if (!option->needs.empty() && (given == nullptr || given->back().empty())) {
            return line.command->name + " needs " + option->needs + ": " +
                   line.Example(line.command->words.example + " " + OptionNames(*option).back() +
                                " " + option->example);
        }
    }
    return {};
}

// The ports each command needs; the text of a usage error, or empty.
std::string CheckPorts(const CommandLine& line, CliOptions& options) {
    for (const OptionEntry* option : KnownOptions(line.command)) {
        if (option->ports == nullptr) {
            continue;
        }
        const std::vector<std::string>* given = line.Values(*option);
        if (!SplitPortList(given == nullptr ? std::vector<std::string>() : *given,
                           options.*option->ports)) {
            return OptionNames(*option).back() + ": an empty port name in the list";
        }
    }
    const bool needsPort = NeedsPort(options);
    if (needsPort && options.ports.empty()) {
        const char* given = std::getenv("LUMARET_PORT");
        if (given != nullptr && *given != '\0' && !SplitPortList({given}, options.ports)) {
            return "LUMARET_PORT: an empty port name in \"" + std::string(given) + "\"";
        }
    }
    if (needsPort && options.ports.empty()) {
        return line.command->name + " needs a port: " + line.Example("") + " (or set LUMARET_PORT)";
    }
    const auto check = line.command->run.checkPorts;
    return check == nullptr ? std::string() : check(line, options);
}

// What the walk asked for besides a command: help or the version, printed.
std::optional<ParseOutcome> HelpOrVersion(const CommandLine& line, std::ostream& out, int width,
                                          std::string& error) {
    if (line.command != nullptr && line.command->name == HELP_COMMAND) {
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
    if (line.Given("--help")) {
        out << (line.command != nullptr ? CommandHelp(*line.command, width) : GeneralHelp(width));
        return ParseOutcome{false, 0};
    }
    if (line.Given("--version")) {
        out << "lumaret-cli " << LUMARET_VERSION << '\n';
        return ParseOutcome{false, 0};
    }
    return std::nullopt;
}

} // namespace

uint16_t SlotOf(const CliOptions& options) {
    return options.slot > 0 ? static_cast<uint16_t>(options.slot)
                            : KeyIndex(options.channel, options.key);
}

bool ColourWanted(const std::string& when, bool outIsTerminal) {
    if (when != "auto") {
        return when == "always";
    }
    const char* noColor = std::getenv("NO_COLOR");
    const char* term = std::getenv("TERM");
    return outIsTerminal && (noColor == nullptr || *noColor == '\0') &&
           (term == nullptr || std::string(term) != "dumb");
}

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
    // The text may quote a file's line or a word given: never raw to a terminal.
    err << "lumaret-cli: " << ShownText(text) << '\n';
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
    const CommandLine line = ReadCommandLine(args);
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
        options.command = line.command;
        error = CheckWords(line, options);
    }
    if (error.empty()) {
        error = TakeValues(line, options);
    }
    if (error.empty()) {
        error = CheckPorts(line, options);
    }
    if (!error.empty()) {
        return {false, UsageError(error, json, out, err)};
    }
    return {true, 0};
}
