#include "PortRun.h"

#include "ComName.h"
#include "Console.h"
#include "DeviceMap.h"
#include "ExitStatus.h"
#include "Options.h"
#include "PortAccess.h"
#include "PortDirectory.h"
#include "PortIdentity.h"
#include "PortNamesFile.h"
#include "ProgressBar.h"

#include <system_error>
#include <thread>

std::vector<PortTarget> LookUpPorts(const std::vector<std::string>& names, std::string& error) {
    std::vector<PortTarget> targets;
    for (const std::string& name : names) {
        PortTarget t;
        t.given = name;
        const PortLookup lookup = LookUpPort(name);
        t.port = lookup.port;
        // A network port keeps the address it was given by, as the operator knows it.
        t.label = lookup.port != 0 && !IsNetworkTarget(name) ? ComName(lookup.port) : name;
        if (lookup.problem != PortProblem::None) {
            t.exit = lookup.problem == PortProblem::NotAPortName ? EXIT_USAGE : EXIT_PORT;
            t.error = lookup.text;
        }
        const std::string device = t.port != 0 ? DeviceBehind(ResolveComDevice(t.port)) : "";
        for (const PortTarget& before : targets) {
            if (before.label == t.label) {
                error = "port " + t.label + " is named twice" +
                        (before.given != name ? " (" + before.given + " and " + name + ")" : "");
                return {};
            }
            if (!device.empty() && before.port != 0 &&
                DeviceBehind(ResolveComDevice(before.port)) == device) {
                error = before.given;
                error += " and ";
                error += name;
                error += " are two names for one device (";
                error += device;
                error += "); name it once";
                return {};
            }
        }
        targets.push_back(std::move(t));
    }
    return targets;
}

void SayTroubles(CConsole& console, const CPortReport& report, bool prefixed) {
    const std::string prefix = prefixed ? report.port + ": " : std::string();
    for (const std::string& line : report.troubles) {
        console.Line(prefix + line);
    }
    if (!report.error.empty()) {
        console.Line((report.port.empty() ? std::string("lumaret-cli") : report.port) + ": " +
                     report.error);
    }
}

std::vector<CPortReport> RunOnPorts(const std::vector<PortTarget>& targets, CliContext& context,
                                    const PortWork& work) {
    std::vector<std::string> labels;
    labels.reserve(targets.size());
    for (const PortTarget& t : targets) {
        labels.push_back(t.label);
    }
    CProgressBoard board(context.console, labels, context.progress, context.options.verbose);

    std::vector<CPortReport> reports(targets.size());
    auto runOne = [&](size_t i) {
        const PortTarget& t = targets[i];
        CPortReport& report = reports[i];
        report.port = t.label;
        if (t.exit != 0) {
            report.Fail(t.exit, t.error);
            report.fields["error"] = t.error;
        } else {
            CPortSession session(context, t.label, t.port, CProgressRow(&board, i));
            work(session, report);
            session.Close();
        }
        SayTroubles(context.console, report, context.prefixed);
    };
    std::vector<std::thread> threads;
    for (size_t i = 0; i < targets.size(); ++i) {
        try {
            threads.emplace_back(runOne, i);
        } catch (const std::system_error&) {
            runOne(i); // no thread to be had: this port waits its turn
        }
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    board.Finish();
    return reports;
}
