#include "JournalCommands.h"

#include "CommandFrame.h"
#include "ExitStatus.h"
#include "JobReport.h"
#include "ModuleJournal.h"
#include "Options.h"
#include "UndoJob.h"

namespace {

// "undo --list": one line a run, oldest first.
void ListRuns(CPortSession& session, const std::string& folder, CPortReport& report) {
    Json runs = Json::array();
    for (const std::string& id : ListJournalRuns(folder)) {
        const JournalRun run = ReadJournalRun(folder, id);
        const std::string summary = run.error.empty() ? run.summary : "unreadable: " + run.error;
        std::string line = JournalRunTime(id);
        line += "  ";
        line += id;
        line += "  ";
        line += summary;
        report.Say(std::move(line));
        Json slots = Json::array();
        for (const JournalSlot& slot : run.slots) {
            slots.push_back(slot.slot);
        }
        runs.push_back({{"id", id},
                        {"time", JournalRunTime(id)},
                        {"summary", summary},
                        {"slots", std::move(slots)},
                        {"finished", run.finished}});
    }
    if (runs.empty()) {
        report.Trouble("the journal of " + session.Module() + " holds no run (" + folder + ")");
    }
    report.fields["runs"] = std::move(runs);
}

// The run to undo: --run ID, else the newest; empty id and the report failed when none.
JournalRun ChooseRun(CPortSession& session, const std::string& folder, CPortReport& report) {
    const std::string& wanted = session.Context().options.runId;
    const std::vector<std::string> ids = ListJournalRuns(folder);
    std::string id = wanted.empty() && !ids.empty() ? ids.back() : std::string();
    for (const std::string& known : ids) {
        if (known == wanted) {
            id = known;
        }
    }
    if (id.empty()) {
        report.Fail(wanted.empty() ? EXIT_OUTCOME : EXIT_USAGE,
                    wanted.empty()
                        ? "the journal of " + session.Module() + " holds no run (" + folder + ")"
                        : "no run " + wanted + " in the journal of " + session.Module() +
                              "; undo --list shows them");
        report.fields["error"] = report.error;
        return {};
    }
    JournalRun run = ReadJournalRun(folder, id);
    if (!run.error.empty()) {
        report.Fail(EXIT_USAGE, "the journal's run " + id + " cannot be read: " + run.error);
        report.fields["error"] = report.error;
        run.id.clear();
    }
    return run;
}

std::string UndoSlotText(const JobPort& port, const UndoSlot& slot) {
    switch (slot.state) {
    case UndoSlot::State::Restored:
        return "restored";
    case UndoSlot::State::AsItWas:
        return "already as it was";
    case UndoSlot::State::ChangedSince:
        return "changed since that run; left alone (--force writes it)";
    case UndoSlot::State::Failed:
        break;
    }
    return "failed: " + (slot.readFailed ? std::string("no reply to its read")
                                         : SlotWriteText(port, slot.slot, slot.write));
}

const char* UndoStateName(UndoSlot::State state) {
    switch (state) {
    case UndoSlot::State::Restored:
        return "restored";
    case UndoSlot::State::AsItWas:
        return "as_it_was";
    case UndoSlot::State::ChangedSince:
        return "changed_since";
    case UndoSlot::State::Failed:
        break;
    }
    return "failed";
}

void ReportUndo(CPortSession& session, const JobPort& port, const UndoResult& result,
                CPortReport& report) {
    Json slots = Json::array();
    for (const UndoSlot& slot : result.slots) {
        const std::string text =
            "slot " + std::to_string(slot.slot) + ": " + UndoSlotText(port, slot);
        if (slot.state == UndoSlot::State::ChangedSince || slot.state == UndoSlot::State::Failed) {
            report.Trouble(text);
        } else {
            report.Say(text);
        }
        slots.push_back({{"slot", slot.slot}, {"state", UndoStateName(slot.state)}});
    }
    report.fields["slots"] = std::move(slots);
    report.fields["restored"] = result.restored;
    report.fields["as_it_was"] = result.asItWas;
    report.fields["changed_since"] = result.changedSince;
    report.fields["failed"] = result.failed;
    const std::string counts = std::to_string(result.restored) + " restored, " +
                               std::to_string(result.asItWas) + " already as they were, " +
                               std::to_string(result.changedSince) + " left alone, " +
                               std::to_string(result.failed) + " failed";
    ReportNoReply(session, result.outcome, SlotReadBoundMs(session), report);
    if (result.outcome == JobOutcome::Cancelled) {
        report.Status(EXIT_INTERRUPTED);
    }
    const bool ok =
        result.outcome == JobOutcome::Complete && result.changedSince == 0 && result.failed == 0;
    report.Status(ok ? 0 : EXIT_OUTCOME);
    (ok ? report.lines : report.troubles).push_back((ok ? "Undo ok: " : "Undo fail: ") + counts);
    session.Progress().End(ok ? "ok" : "fail");
}

} // namespace

void RunUndo(CPortSession& session, CPortReport& report) {
    const CliOptions& options = session.Context().options;
    const std::string folder = JournalFolder(session.Module());
    report.fields["module"] = session.Module();
    if (options.list) {
        ListRuns(session, folder, report);
        return;
    }
    const JournalRun run = ChooseRun(session, folder, report);
    if (run.id.empty() || !session.Open(report)) {
        return;
    }
    report.fields["run"] = run.id;
    report.Say("undoing " + run.id + " (" + run.summary + ")");
    const JobPort port = session.Job();
    CProgressObserver progress(session.Progress(), "undo", "slots");
    ReportUndo(session, port, UndoJournalRun(port, run, options.force, progress), report);
    ReportReplyChecks(session, report);
}

void RunClear(CPortSession& session, CPortReport& report) {
    const CliOptions& o = session.Context().options;
    const uint16_t slot = SlotOf(o);
    report.fields["slot"] = slot;
    if (!o.keyName.empty()) {
        report.fields["name"] = o.keyName;
    }
    if (!session.Open(report)) {
        return;
    }
    const JobPort port = session.Job();
    const SlotWrite write = ClearSlot(port, slot);
    const std::string text = SlotWriteText(port, slot, write);
    report.fields["outcome"] = write.Written() ? "emptied" : text;
    if (write.Written()) {
        report.Say("slot " + std::to_string(slot) + ": emptied");
    } else if (const JobOutcome ended = OutcomeOf(write);
               ended == JobOutcome::NoReply || ended == JobOutcome::NotAcknowledged) {
        report.Trouble("slot " + std::to_string(slot) + ": " + text);
        ReportNoReply(session, JobOutcome::NoReply, SlotReadBoundMs(session), report);
        report.Status(session.FailureStatus());
    } else {
        report.Fail(ended == JobOutcome::FileError ? EXIT_USAGE : EXIT_OUTCOME,
                    "slot " + std::to_string(slot) + ": " + text);
    }
    ReportReplyChecks(session, report);
}
