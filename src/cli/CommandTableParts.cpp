#include "CommandTableParts.h"

#include "CommandLine.h"
#include "Options.h"
#include "PortChoice.h"

OptionTake Flag(bool CliOptions::*flag) {
    return [flag](const std::string&, CliOptions& options) {
        options.*flag = true;
        return std::string();
    };
}

OptionTake Text(std::string CliOptions::*text) {
    return [text](const std::string& value, CliOptions& options) {
        options.*text = value;
        return std::string();
    };
}

OptionTake PortName(std::string CliOptions::*port) {
    return [port](const std::string& value, CliOptions& options) {
        options.*port = Trim(value);
        return std::string();
    };
}

OptionTake Names(std::vector<std::string> CliOptions::*names, const std::string& what) {
    return [=](const std::string& value, CliOptions& options) {
        std::vector<std::string> split;
        if (!SplitPortList({value}, split)) {
            return what;
        }
        (options.*names).insert((options.*names).end(), split.begin(), split.end());
        return std::string();
    };
}

OptionTake Number(int CliOptions::*number, int low, int high, const std::string& what) {
    return [=](const std::string& value, CliOptions& options) {
        const std::optional<int> n = NumberIn(value, low, high);
        if (!n) {
            return OutOfRange(what, low, high, value);
        }
        options.*number = *n;
        return std::string();
    };
}

bool OneModule(const CliOptions& options) {
    return options.ports.size() == 1 && !IsAllPorts(options.ports.front());
}

std::string OnePort(const CommandLine& line, const CliOptions& options) {
    if (!OneModule(options)) {
        return line.command->name +
               " runs on one port: " + line.Example(line.command->words.example);
    }
    return {};
}

OptionEntry FlagOption(std::string names, std::string help, bool CliOptions::*flag) {
    return {.names = std::move(names), .help = std::move(help), .take = Flag(flag)};
}

OptionEntry ValueOption(std::string names, std::string value, std::string help, std::string example,
                        OptionTake take, std::string needs) {
    return {.names = std::move(names),
            .value = std::move(value),
            .help = std::move(help),
            .example = std::move(example),
            .take = std::move(take),
            .needs = std::move(needs)};
}

OptionEntry PortsOption(std::string names, std::string help, std::string example,
                        std::vector<std::string> CliOptions::*ports) {
    return {.names = std::move(names),
            .value = "PORT",
            .help = std::move(help),
            .example = std::move(example),
            .ports = ports};
}

const CommandWords KEY_WORDS{.kind = WordsKind::Key};
const CommandWords FILE_WORDS{WordsKind::Files, "a file", " backup.txt", {&CliOptions::file}};
const CommandWords MAP_WORDS{WordsKind::Files, "a remote map", " tv.map", {&CliOptions::map}};

const OptionEntry CHANNEL{"CHANNEL", "", "the channel, " + ChannelRangeText(" to ")};
const OptionEntry KEY{"KEY", "", "the key number, " + KeyNumberRangeText(" to ")};
const OptionEntry FILE_ARGUMENT{"FILE", "", "a database file, one line a slot: 0007,12AB34CD"};
const OptionEntry MAP_ARGUMENT{"MAP", "",
                               "a remote map, one key a line: 1/1 POWER (channel/key) or "
                               "412 POWER (slot)"};
const OptionEntry MAP_OPTION =
    ValueOption("--map", "MAP", "take the key by its NAME in the remote map MAP", "tv.map",
                Text(&CliOptions::map));

const OptionEntry WAIT_OPTION = ValueOption(
    "--wait", "DURATION",
    "the pause between two keys of a sequence, e.g. 500ms or 2s (default 0.5s)", "2s",
    [](const std::string& value, CliOptions& options) {
        constexpr int MAX_WAIT_MS = 3600 * 1000;
        const std::optional<int> ms = DurationMs(value, MAX_WAIT_MS);
        if (!ms) {
            return "--wait takes a duration up to 3600s, e.g. 500ms or 2s, not \"" + value + "\"";
        }
        options.waitMs = *ms;
        return std::string();
    });
const OptionEntry ACCEPT_UNCHECKED = FlagOption(
    "--accept-unchecked",
    "take code replies that never showed a valid CRC (a module whose replies carry none); "
    "without it they never replace a file or reach another module",
    &CliOptions::acceptUnchecked);
const CommandWords SEND_WORDS{.kind = WordsKind::Key, .sequence = true};

OptionEntry SlotOption(const std::string& verb) {
    return ValueOption(
        "--slot", "N",
        verb + " slot N (" + SlotRangeText(" to ") + ") instead of a channel and a key", "12",
        Number(&CliOptions::slot, FIRST_SLOT, LAST_SLOT, "slot must be a number"));
}
