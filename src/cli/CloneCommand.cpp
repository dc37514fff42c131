#include "CloneCommand.h"

#include "CloneJob.h"
#include "Commands.h"
#include "DatabaseFormat.h"
#include "ExitStatus.h"
#include "JobReport.h"
#include "Options.h"

#include <condition_variable>
#include <mutex>

namespace {

// Where the source's thread and the targets' threads meet: the targets say
// whether they are open, the source waits for all of them, then hands over
// what it read.
class CCloneHandover {
public:
    explicit CCloneHandover(size_t targets) : m_waiting(targets) {}

    void TargetOpened(bool opened) {
        std::lock_guard lock(m_mutex);
        --m_waiting;
        m_allOpen = m_allOpen && opened;
        m_changed.notify_all();
    }
    // True when every target is open.
    bool AwaitTargets() {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [this] { return m_waiting == 0; });
        return m_allOpen;
    }
    void SourceDone(bool read, std::string text, int status) {
        std::lock_guard lock(m_mutex);
        m_done = true;
        m_read = read;
        m_text = std::move(text);
        m_status = status;
        m_changed.notify_all();
    }
    // The source's lines, or false (and its status) when it was not read.
    bool AwaitSource(std::vector<std::string>& lines, int& status) {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [this] { return m_done; });
        status = m_status;
        if (m_read) {
            lines = SplitDatabaseText(m_text);
        }
        return m_read;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    size_t m_waiting;
    bool m_allOpen = true;
    bool m_done = false;
    bool m_read = false;
    std::string m_text;
    int m_status = 0;
};

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
