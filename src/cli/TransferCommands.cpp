// The commands that move or compare every slot: export, import and verify,
// and the steps of clone. Each runs its job and turns the result into text
// and JSON.

#include "Commands.h"

#include "ExitStatus.h"
#include "ExportEnd.h"
#include "ExportJob.h"
#include "ImportJob.h"
#include "JobReport.h"
#include "Options.h"
#include "SafeFileWriter.h"
#include "VerifyJob.h"

namespace {

// How an export that did not run through ended, in a few words and its status.
struct ExportStop {
    std::string what;
    std::string progress;
    int status = 0;
};

ExportStop StopOf(const ExportResult& result) {
    const std::string slot = std::to_string(result.failedSlot);
    switch (result.outcome) {
    case JobOutcome::NoReply:
        return {"no reply at slot " + slot, "no reply", EXIT_NO_REPLY};
    case JobOutcome::Damaged:
        return {std::string(REPLY_DAMAGED_TEXT) + " at slot " + slot, "damaged", EXIT_OUTCOME};
    case JobOutcome::FileError:
        return {"cannot write the lines read", "fail", EXIT_USAGE};
    case JobOutcome::Cancelled:
    case JobOutcome::NotAcknowledged:
    case JobOutcome::Complete:
        break;
    }
    return {"interrupted", "interrupted", EXIT_INTERRUPTED};
}

// Code replies never checked, and the operator did not accept them.
bool UncheckedRefused(CPortSession& session) {
    return CodesUnchecked(session.Checks()) && !session.Context().options.acceptUnchecked;
}

void CensusFields(const SlotCensus& census, CPortReport& report) {
    report.fields["slots"] = census.read;
    report.fields["codes"] = census.codes;
    report.fields["empty"] = census.empty;
}

std::string LineHead(const LineResult& line) {
    std::string head = "line " + std::to_string(line.index + 1) + ": ";
    if (line.parsed) {
        head += "slot " + std::to_string(line.slot) + ", " + Bytes(line.codeBytes) + ": ";
    }
    return head;
}

// One line's result in text (said when eachLine) and JSON.
Json ReportLine(const LineResult& line, bool eachLine, CPortReport& report) {
    Json entry{{"line", line.index + 1}};
    if (line.parsed) {
        entry["slot"] = line.slot;
        entry["bytes"] = line.codeBytes;
    }
    if (line.duplicateOf > 0) {
        entry["duplicate_of"] = line.duplicateOf;
        if (eachLine) {
            report.Say(DuplicateText(line.index + 1, line.slot, line.duplicateOf));
        }
    }
    std::string text;
    switch (line.state) {
    case LineResult::State::Written:
        entry["result"] = "ok";
        text = LineHead(line) + "ok";
        break;
    case LineResult::State::Malformed:
        entry["result"] = FILE_FORMAT_WRONG_TEXT;
        entry["reason"] = line.fault.reason;
        entry["column"] = line.fault.column;
        text = LineHead(line) + LineFaultText(line.fault);
        break;
    case LineResult::State::NotAcknowledged:
        entry["result"] = "not acknowledged";
        text = LineHead(line) + "not acknowledged";
        break;
    case LineResult::State::Refused:
        entry["result"] = "refused";
        entry["status"] = line.status;
        text = LineHead(line) + "refused (status " + std::to_string(line.status) + ")";
        break;
    case LineResult::State::Damaged:
        entry["result"] = REPLY_DAMAGED_TEXT;
        text = LineHead(line) + REPLY_DAMAGED_TEXT;
        break;
    case LineResult::State::NotSent:
        entry["result"] = "not sent";
        break;
    }
    if (eachLine && !text.empty()) {
        report.Say(text);
    }
    return entry;
}

std::string ImportSummary(const ImportResult& result, size_t lines) {
    const LineCounts& c = result.counts;
    const bool complete = result.outcome == JobOutcome::Complete;
    const bool success = complete && c.malformed == 0 && c.refused == 0;
    const std::string head = success    ? std::string(IMPORT_OK_TEXT)
                             : complete ? "Import done with errors"
                                        : IMPORT_FAIL_TEXT;
    std::string summary =
        head + ": " + Counted(lines, "line") + ", " + std::to_string(c.written) + " written";
    auto add = [&summary](int count, const std::string& what) {
        if (count > 0) {
            summary += ", " + std::to_string(count) + " " + what;
        }
    };
    add(c.malformed, std::string(FILE_FORMAT_WRONG_TEXT) + " (skipped)");
    add(c.refused, "refused");
    add(c.notAcknowledged, "not acknowledged");
    add(c.damaged, std::string(REPLY_DAMAGED_TEXT));
    add(c.notSent, complete || result.outcome != JobOutcome::Cancelled ? "not sent after it"
                                                                       : "not sent (interrupted)");
    return summary;
}

// What a second Ctrl+C says of an export whose slots are in slotsIn.
std::string KeptText(const CSafeFileWriter& file, const std::string& slotsIn) {
    return "the slots read so far are in " + slotsIn + ", " + file.Path() + " is unchanged";
}

// What a second Ctrl+C says of an export still writing its file: the slots
// go to FILE.partial first, as the file being written may have no name, and
// a named one is cleared as stale by the next run.
CRunControl::KeptWord SlotsKeptAtOnce(CSafeFileWriter& file) {
    return [&file] {
        std::string problem;
        if (!file.KeepWrittenSoFar(&problem)) {
            return "the slots read so far are lost (" + problem + "), " + file.Path() +
                   " is unchanged";
        }
        return KeptText(file, file.PartialPath());
    };
}

// Each move of the export's file with what a second Ctrl+C would say held,
// and said anew once the file is where the move put it.
ExportMoveRunner KeptWhileMoving(CPortSession& session, CSafeFileWriter& file) {
    return [&session, &file](ExportMove move, const std::function<bool()>& run) {
        bool moved = false;
        session.Context().control.KeepAfter(session.Name(), [&]() -> CRunControl::KeptWord {
            moved = run();
            if (move == ExportMove::PutInPlace) {
                return moved ? CRunControl::KeptWord() : SlotsKeptAtOnce(file);
            }
            if (!moved) {
                return {};
            }
            return [&file] { return KeptText(file, file.PartialPath()); };
        });
        return moved;
    };
}

// The export's end: the file put in place, or kept as FILE.partial.
void ExportEnded(CPortSession& session, CSafeFileWriter& file, const ExportResult& result,
                 CPortReport& report) {
    const std::string& path = file.Path();
    CensusFields(result.census, report);
    const std::string counts = result.census.Text();
    const bool readAll = result.outcome == JobOutcome::Complete;
    const bool refused = readAll && file.TargetExisted() && UncheckedRefused(session);
    const bool complete = readAll && !refused;
    const ExportEnd end =
        EndExport(file, complete, ExportEndRule{}, KeptWhileMoving(session, file));
    if (end.inPlace) {
        report.fields["complete"] = true;
        report.Say(std::string(EXPORT_OK_TEXT) + ": " + counts + ", written to " + path);
        session.Progress().End("ok");
        ReportReplyChecks(session, report);
        return;
    }
    if (complete) {
        report.Fail(EXIT_USAGE, end.putProblem);
        report.fields["error"] = end.putProblem;
    }
    report.fields["complete"] = false;
    const ExportStop stop = refused ? ExportStop{CODES_UNCHECKED_TEXT, "fail", EXIT_OUTCOME}
                            : complete
                                ? ExportStop{"cannot put the file in place", "fail", EXIT_USAGE}
                                : StopOf(result);
    ReportNoReply(session, result.outcome, SlotReadBoundMs(session), report);
    report.Status(stop.status);
    if (result.outcome == JobOutcome::NoReply) {
        report.fields["no_reply_at"] = result.failedSlot;
    } else if (result.outcome == JobOutcome::Damaged) {
        report.fields["damaged_at"] = result.failedSlot;
    }
    std::string kept = path + " is unchanged";
    if (end.partial) {
        report.fields["partial"] = file.PartialPath();
        kept += ", the slots read are in " + file.PartialPath();
    } else {
        report.Fail(EXIT_USAGE, end.partialProblem);
    }
    report.Trouble(stop.status == EXIT_INTERRUPTED ? "Export interrupted (" + counts + "); " + kept
                                                   : std::string(EXPORT_FAIL_TEXT) + ": " +
                                                         stop.what + " (" + counts + "); " + kept);
    session.Progress().End(stop.progress);
    ReportReplyChecks(session, report);
}

} // namespace

void RunExport(CPortSession& session, const std::string& path, CPortReport& report) {
    report.fields["file"] = path;
    // The file first: a target that cannot be replaced is refused before
    // the module is touched.
    CSafeFileWriter file(path);
    std::string why;
    if (!file.Open(&why)) {
        report.Fail(EXIT_USAGE, why);
        report.fields["error"] = why;
        return;
    }
    if (!session.Open(report)) {
        return;
    }
    CRunControl& control = session.Context().control;
    control.Keep(session.Name(), SlotsKeptAtOnce(file));
    CProgressObserver progress(session.Progress(), "export", "slots");
    const ExportResult result = ExportModule(session.Job(), file, progress);
    ExportEnded(session, file, result, report);
    control.Forget(session.Name());
}

bool ExportToMemory(CPortSession& session, std::string& text, CPortReport& report) {
    CMemoryLineSink memory;
    CProgressObserver progress(session.Progress(), "export", "slots");
    const ExportResult result = ExportModule(session.Job(), memory, progress);
    text = memory.Text();
    report.fields["codes"] = result.census.codes;
    report.fields["empty"] = result.census.empty;
    if (result.outcome == JobOutcome::Complete && UncheckedRefused(session)) {
        report.Fail(EXIT_OUTCOME, std::string("export fail: ") + CODES_UNCHECKED_TEXT);
        report.fields["error"] = report.error;
        session.Progress().End("fail");
        return false;
    }
    if (result.outcome == JobOutcome::Complete) {
        report.Say("exported: " + std::to_string(result.census.codes) + " slots with codes, " +
                   std::to_string(result.census.empty) + " empty");
        session.Progress().End("ok");
        return true;
    }
    const ExportStop stop = StopOf(result);
    ReportNoReply(session, result.outcome, SlotReadBoundMs(session), report);
    report.Status(stop.status);
    report.Trouble("export " +
                   std::string(stop.status == EXIT_INTERRUPTED ? "interrupted" : "fail") +
                   (stop.status == EXIT_INTERRUPTED ? "" : ": " + stop.what));
    session.Progress().End(stop.progress);
    return false;
}

// The file's lines, read before the port is opened: a file that cannot be
// read is a usage error and the module is never touched.
static bool ReadLinesThenOpen(CPortSession& session, const std::string& path, CPortReport& report,
                              std::vector<std::string>& lines) {
    report.fields["file"] = path;
    return ReadLines(path, lines, report) && session.Open(report);
}

void RunImport(CPortSession& session, const std::string& path, CPortReport& report) {
    std::vector<std::string> lines;
    if (ReadLinesThenOpen(session, path, report, lines)) {
        CProgressObserver progress(session.Progress(), "import", "lines");
        ReportImport(session, ImportFile(session.Job(), lines, progress), report, true);
        ReportReplyChecks(session, report);
    }
}

void ReportImport(CPortSession& session, const ImportResult& result, CPortReport& report,
                  bool eachLine) {
    Json perLine = Json::array();
    for (const LineResult& line : result.lines) {
        perLine.push_back(ReportLine(line, eachLine, report));
    }
    const LineCounts& c = result.counts;
    report.fields["lines"] = std::move(perLine);
    report.fields["lines_written"] = c.written;
    report.fields["lines_malformed"] = c.malformed;
    report.fields["lines_refused"] = c.refused;
    report.fields["lines_not_acknowledged"] = c.notAcknowledged;
    report.fields["lines_damaged"] = c.damaged;
    report.fields["lines_not_sent"] = c.notSent;
    report.fields["lines_duplicate"] = c.duplicates;

    if (result.outcome == JobOutcome::NotAcknowledged) {
        ReportNoReply(session, result.outcome, session.Timing().BoundMs(Exchange::ImportLine),
                      report);
        report.Status(session.FailureStatus());
    } else if (result.outcome == JobOutcome::Cancelled) {
        report.Status(EXIT_INTERRUPTED);
    }
    ReportJournalStop(session, result.outcome, result.journalProblem, report);
    if (c.malformed > 0 || c.refused > 0 || c.damaged > 0) {
        report.Status(EXIT_OUTCOME);
    }
    const bool complete = result.outcome == JobOutcome::Complete;
    if (complete) {
        report.Say(ImportSummary(result, result.lines.size()));
    } else {
        report.Trouble(ImportSummary(result, result.lines.size()));
    }
    session.Progress().End(complete && report.exit == 0 ? "ok" : complete ? "errors" : "fail");
}

void RunVerify(CPortSession& session, const std::string& path, CPortReport& report) {
    std::vector<std::string> lines;
    if (ReadLinesThenOpen(session, path, report, lines)) {
        CProgressObserver progress(session.Progress(), "verify", "slots");
        const bool exact = session.Context().options.exact;
        ReportVerify(session, VerifyModule(session.Job(), lines, exact, progress), exact, report);
        ReportReplyChecks(session, report);
    }
}
