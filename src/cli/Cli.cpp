#include "Cli.h"

#include "CloneCommand.h"
#include "Commands.h"
#include "Console.h"
#include "ExitStatus.h"
#include "Options.h"
#include "Output.h"
#include "PortChoice.h"
#include "PortNamesFile.h"
#include "PortRun.h"
#include "RemoteCommands.h"

namespace {

PortWork WorkFor(const CliOptions& o) {
    switch (o.command) {
    case CliCommand::Version:
        return RunVersion;
    case CliCommand::Read:
        return RunRead;
    case CliCommand::Send:
        return RunSend;
    case CliCommand::Learn:
        return RunLearn;
    case CliCommand::LearnRemote:
        return RunLearnRemote;
    case CliCommand::Export:
        return [&o](CPortSession& s, CPortReport& r) { RunExport(s, s.FileFor(o.file), r); };
    case CliCommand::Import:
        return [&o](CPortSession& s, CPortReport& r) { RunImport(s, s.FileFor(o.file), r); };
    case CliCommand::Verify:
        return [&o](CPortSession& s, CPortReport& r) { RunVerify(s, s.FileFor(o.file), r); };
    default:
        return {};
    }
}

// The commands that run without a port: one report.
bool RunWithoutPort(const CliOptions& o, std::vector<CPortReport>& reports) {
    const bool dryRun = o.command == CliCommand::Import && o.dryRun;
    if (o.command != CliCommand::Ports && o.command != CliCommand::Diff &&
        o.command != CliCommand::Show && !dryRun) {
        return false;
    }
    CPortReport& report = reports.emplace_back();
    if (o.command == CliCommand::Ports) {
        RunPorts(report);
    } else if (o.command == CliCommand::Diff) {
        RunDiff(o.file, o.fileB, report);
    } else if (o.command == CliCommand::Show) {
        RunShow(o.file, report);
    } else {
        RunDryRun(o.file, report);
    }
    return true;
}

} // namespace

int RunCli(const std::vector<std::string>& args, CliEnvironment& env) {
    CliOptions options;
    const ParseOutcome parsed = ParseOptions(args, options, env.out, env.err, env.width);
    if (!parsed.run) {
        return parsed.exit;
    }

    CConsole console(env.err);
    if (options.command == CliCommand::Ports || !options.ports.empty()) {
        // A names file with faults: each once, before any port is looked up.
        for (const PortNamesFault& fault : ReadPortNames(ReadLocalDeviceMap()).faults) {
            console.Line("lumaret-cli: " + PortNamesFaultText(fault));
        }
    }
    ExchangeTiming timing = env.timing;
    timing.wholeReplies = options.fast;
    CliContext context{options, timing, console, env.control,
                       env.errIsTerminal && !options.quiet && !options.trace};
    context.clock = ReadRunClock();
    context.answerFd = env.answerFd;
    std::vector<CPortReport> reports;
    bool several = false;
    std::string error;

    if (!RunWithoutPort(options, reports)) {
        const bool clone = options.command == CliCommand::Clone;
        const bool byAir = options.command == CliCommand::CheckRemote;
        std::vector<std::string> names = ExpandAll(options.ports);
        if (names.empty()) {
            return UsageError("-p all: no USB adapter and no published module in the port list",
                              options.json, env.out, env.err, EXIT_PORT);
        }
        if (clone) {
            names.insert(names.end(), options.targets.begin(), options.targets.end());
        }
        if (byAir) {
            names.push_back(options.withPort);
        }
        const std::vector<PortTarget> targets = LookUpPorts(names, error);
        if (!error.empty()) {
            return UsageError(error, options.json, env.out, env.err);
        }
        several = clone || byAir || targets.size() > 1;
        context.prefixed = several;
        reports = clone   ? RunClone(targets, context)
                  : byAir ? RunCheckRemote(targets, context)
                          : RunOnPorts(targets, context, WorkFor(options));
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
