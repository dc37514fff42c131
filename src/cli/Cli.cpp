#include "Cli.h"

#include "CloneJob.h"
#include "Commands.h"
#include "Console.h"
#include "DatabaseFormat.h"
#include "ExitStatus.h"
#include "JobReport.h"
#include "Options.h"
#include "Output.h"
#include "PortRun.h"

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
    case CliCommand::Export:
        return [&o](CPortSession& s, CPortReport& r) {
            RunExport(s, FileForPort(o.file, s.Name()), r);
        };
    case CliCommand::Import:
        return [&o](CPortSession& s, CPortReport& r) {
            RunImport(s, FileForPort(o.file, s.Name()), r);
        };
    case CliCommand::Verify:
        return [&o](CPortSession& s, CPortReport& r) {
            RunVerify(s, FileForPort(o.file, s.Name()), r);
        };
    default:
        return {};
    }
}

// Export from the source into memory, then import into every target at
// once and verify each: one line a target.
std::vector<CPortReport> RunClone(CliContext& context, int& usage, std::string& error) {
    const CliOptions& o = context.options;
    std::vector<std::string> all = o.ports;
    all.insert(all.end(), o.targets.begin(), o.targets.end());
    std::vector<PortTarget> everyPort = LookUpPorts(all, error);
    if (!error.empty()) {
        usage = EXIT_USAGE;
        return {};
    }
    const std::vector<PortTarget> source(everyPort.begin(), everyPort.begin() + 1);
    const std::vector<PortTarget> targets(everyPort.begin() + 1, everyPort.end());

    std::string text;
    std::vector<CPortReport> reports =
        RunOnPorts(source, context, [&text](CPortSession& s, CPortReport& r) {
            r.fields["role"] = "source";
            if (s.Open(r)) {
                ExportToMemory(s, text, r);
            }
        });
    if (reports.front().exit != 0 || context.control.Interrupted()) {
        return reports;
    }

    const std::vector<std::string> lines = SplitDatabaseText(text);
    std::vector<CPortReport> cloned =
        RunOnPorts(targets, context, [&lines](CPortSession& s, CPortReport& r) {
            r.fields["role"] = "target";
            if (!s.Open(r)) {
                return;
            }
            CPortReport imported, verified;
            CProgressObserver importing(s.Progress(), "import", "lines");
            CProgressObserver verifying(s.Progress(), "verify", "slots");
            const CloneResult result = CloneOnto(s.Job(), lines, importing, verifying);
            ReportImport(s, result.import, imported, false);
            r.fields["import"] = imported.fields;
            r.Status(imported.exit);
            std::string line = imported.lines.back();
            if (result.verified) {
                ReportVerify(s, result.verify, false, verified);
                r.fields["verify"] = verified.fields;
                r.Status(verified.exit);
                for (size_t i = 0; i + 1 < verified.lines.size(); ++i) {
                    r.Say(verified.lines[i]); // each difference
                }
                line += "; " + verified.lines.back();
            }
            r.Say(line);
        });
    reports.insert(reports.end(), cloned.begin(), cloned.end());
    return reports;
}

} // namespace

int RunCli(const std::vector<std::string>& args, CliEnvironment& env) {
    CliOptions options;
    const ParseOutcome parsed = ParseOptions(args, options, env.out, env.err);
    if (!parsed.run) {
        return parsed.exit;
    }

    CConsole console(env.err);
    ExchangeTiming timing = env.timing;
    timing.wholeReplies = options.fast;
    CliContext context{options, timing, console, env.control,
                       env.errIsTerminal && !options.quiet && !options.trace};
    std::vector<CPortReport> reports;
    bool several = false;
    int usage = 0;
    std::string error;

    switch (options.command) {
    case CliCommand::Ports:
        reports.emplace_back();
        RunPorts(reports.back());
        break;
    case CliCommand::Diff:
        reports.emplace_back();
        RunDiff(options.file, options.fileB, reports.back());
        break;
    case CliCommand::Clone:
        reports = RunClone(context, usage, error);
        several = true;
        break;
    default:
        if (options.command == CliCommand::Import && options.dryRun) {
            reports.emplace_back();
            RunDryRun(options.file, reports.back());
            break;
        }
        {
            const std::vector<PortTarget> targets = LookUpPorts(options.ports, error);
            if (!error.empty()) {
                usage = EXIT_USAGE;
                break;
            }
            reports = RunOnPorts(targets, context, WorkFor(options));
            several = targets.size() > 1;
        }
        break;
    }
    if (usage != 0) {
        console.Line("lumaret-cli: " + error);
        return usage;
    }
    // The port runs said their errors as they came; the others say them now.
    for (const CPortReport& report : reports) {
        if (report.port.empty() && !report.error.empty()) {
            console.Line("lumaret-cli: " + report.error);
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
