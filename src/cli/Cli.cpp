#include "Cli.h"

#include "CommandTable.h"
#include "Console.h"
#include "ExitStatus.h"
#include "Options.h"
#include "Output.h"
#include "PortChoice.h"
#include "PortNamesFile.h"
#include "PortRun.h"

#include <algorithm>

namespace {

// The command on the ports it names, looked up; several: each port's lines
// carry its name. A port that cannot be looked up ends the run before any
// opens: its exit status, else 0.
int RunOnNamedPorts(const CommandEntry& command, CliContext& context, const CliEnvironment& env,
                    std::vector<CPortReport>& reports, bool& several) {
    const CliOptions& options = context.options;
    std::vector<std::string> names = ExpandAll(options.ports);
    if (names.empty()) {
        return UsageError("-p all: no USB adapter, no published module and no name in ports.conf",
                          options.json, env.out, env.err, EXIT_PORT);
    }
    if (command.run.ownPorts != nullptr) {
        const std::vector<std::string> own = command.run.ownPorts(options);
        names.insert(names.end(), own.begin(), own.end());
    }
    std::string error;
    const std::vector<PortTarget> targets = LookUpPorts(names, error);
    if (!error.empty()) {
        return UsageError(error, options.json, env.out, env.err);
    }
    several = command.run.together != nullptr || targets.size() > 1;
    context.prefixed = several;
    reports = command.run.together != nullptr ? command.run.together(targets, context)
                                              : RunOnPorts(targets, context, command.run.each);
    return 0;
}

// The general option an argument is (--port=COM9 and -pCOM9 too, which
// hold their value), or nullptr.
const OptionEntry* GeneralOptionOf(const std::string& arg, bool& holdsValue) {
    for (const OptionEntry& option : GeneralOptions()) {
        for (const std::string& name : OptionNames(option)) {
            const bool glued = !option.value.empty() && arg.size() > name.size() &&
                               arg.compare(0, name.size(), name) == 0 &&
                               (name.size() == 2 || arg[name.size()] == '=');
            if (arg == name || glued) {
                holdsValue = glued;
                return &option;
            }
        }
    }
    return nullptr;
}

// "import backup.txt": the command line from the command's name on, without
// the options every command takes (ports, output, timing).
std::string CommandWordsOf(const std::vector<std::string>& args, const std::string& name) {
    std::string words;
    auto it = std::find(args.begin(), args.end(), name);
    while (it != args.end()) {
        bool holdsValue = false;
        const OptionEntry* general = GeneralOptionOf(*it, holdsValue);
        if (general == nullptr) {
            words += (words.empty() ? "" : " ") + *it;
        } else if (!general->value.empty() && !holdsValue && it + 1 != args.end()) {
            ++it; // its value
        }
        ++it;
    }
    return words;
}

} // namespace

int RunCli(const std::vector<std::string>& args, CliEnvironment& env) {
    CliOptions options;
    const ParseOutcome parsed = ParseOptions(args, options, env.out, env.err, env.width);
    if (!parsed.run) {
        return parsed.exit;
    }
    options.colour = ColourWanted(options.color, env.outIsTerminal);

    const CommandEntry& command = *options.command;
    CConsole console(env.err);
    if (command.run.listsPorts || !options.ports.empty()) {
        // A names file with faults: each once, before any port is looked up.
        for (const PortNamesFault& fault : ReadPortNames(ReadLocalDeviceMap()).faults) {
            console.Line("lumaret-cli: " + PortNamesFaultText(fault));
        }
    }
    ExchangeTiming timing = env.timing;
    timing.wholeReplies = !options.fixedTiming;
    CliContext context{options, timing, console, env.control,
                       env.errIsTerminal && !options.quiet && !options.trace};
    context.clock = ReadRunClock();
    context.answerFd = env.answerFd;
    context.oneTerminal = env.outIsTerminal && env.errIsTerminal;
    context.words = CommandWordsOf(args, command.name);
    std::vector<CPortReport> reports;
    bool several = false;
    if (!NeedsPort(options)) {
        command.run.alone(options, reports.emplace_back());
    } else if (const int exit = RunOnNamedPorts(command, context, env, reports, several);
               exit != 0) {
        return exit;
    }
    // The port runs said their troubles as they came; the others say them now.
    for (const CPortReport& report : reports) {
        if (report.port.empty()) {
            SayTroubles(console, report, false);
        }
    }

    if (options.json) {
        WriteJson(env.out, reports, several);
    } else {
        WriteText(env.out, reports, several);
    }

    int exit = 0;
    for (const CPortReport& report : reports) {
        exit = std::max(exit, report.exit);
    }
    return env.control.Interrupted() ? EXIT_INTERRUPTED : exit;
}
