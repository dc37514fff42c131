#include "CloneCommand.h"

#include "CloneJob.h"
#include "Commands.h"
#include "ExitStatus.h"
#include "JobReport.h"
#include "Options.h"
#include "PortHandover.h"

namespace {

void ReadSource(CPortSession& s, CPortReport& r, CCloneHandover& handover) {
    r.fields["role"] = "source";
    if (!handover.AwaitTargets()) {
        r.Trouble("not read: a target cannot be opened");
        handover.SourceDone(false, {}, EXIT_SUCCESS_ALL);
        return;
    }
    std::string text;
    const bool read = s.Open(r) && ExportToMemory(s, text, r);
    handover.SourceDone(read, std::move(text), r.exit);
}

void CloneTarget(CPortSession& s, CPortReport& r, CCloneHandover& handover) {
    r.fields["role"] = "target";
    const bool opened = s.Open(r);
    handover.TargetOpened(opened);
    std::vector<std::string> lines;
    int sourceStatus = 0;
    if (!opened || !handover.AwaitSource(lines, sourceStatus)) {
        if (opened) {
            r.Trouble("not cloned: the source was not read");
            r.Status(sourceStatus);
        }
        return;
    }
    const bool exact = s.Context().options.exact;
    CPortReport imported, verified;
    CProgressObserver importing(s.Progress(), "import", "lines");
    CProgressObserver verifying(s.Progress(), "verify", "slots");
    const CloneResult result = CloneOnto(s.Job(), lines, importing, verifying, exact);
    ReportImport(s, result.import, imported, false);
    r.fields["import"] = imported.fields;
    r.Status(imported.exit);
    r.troubles = imported.troubles;
    if (!imported.error.empty()) {
        r.Fail(imported.exit, imported.error);
    }
    std::string line = imported.lines.empty() ? std::string() : imported.lines.back();
    if (result.verified) {
        ReportVerify(s, result.verify, exact, verified);
        r.fields["verify"] = verified.fields;
        r.Status(verified.exit);
        for (size_t i = 0; i + 1 < verified.lines.size(); ++i) {
            r.Say(verified.lines[i]); // each difference
        }
        r.troubles.insert(r.troubles.end(), verified.troubles.begin(), verified.troubles.end());
        if (!verified.lines.empty()) {
            line += "; " + verified.lines.back();
        }
        if (!verified.error.empty()) {
            r.Fail(verified.exit, verified.error);
        }
    }
    if (!line.empty()) {
        r.Say(line);
    }
}

} // namespace

std::vector<CPortReport> RunClone(const std::vector<PortTarget>& ports, CliContext& context) {
    CCloneHandover handover(ports.size() - 1);
    if (ports.front().exit != 0) {
        handover.SourceDone(false, {}, ports.front().exit);
    }
    // A port that could not even be looked up counts as a target not opened.
    for (size_t i = 1; i < ports.size(); ++i) {
        if (ports[i].exit != 0) {
            handover.TargetOpened(false);
        }
    }
    const std::string source = ports.front().label;
    return RunOnPorts(ports, context, [&](CPortSession& s, CPortReport& r) {
        if (s.Name() == source) {
            ReadSource(s, r, handover);
        } else {
            CloneTarget(s, r, handover);
        }
    });
}
