#include "RestoreCommand.h"

#include "BackupRepository.h"
#include "DatabaseFormat.h"
#include "ExitStatus.h"
#include "JobReport.h"
#include "Options.h"
#include "RestoreJob.h"

namespace {

// The module's file at the revision asked for; false with the report failed.
bool ReadBackup(CPortSession& session, std::string& text, CPortReport& report) {
    const CliOptions& options = session.Context().options;
    const std::string rev = options.at.empty() ? "HEAD" : options.at;
    const std::string name = BackupFileName(session.Module());
    CBackupRepository repository;
    std::string problem;
    if (!repository.Open(options.file, false, &problem)) {
        report.Fail(EXIT_USAGE, problem);
    } else if (const BackupFileText file = repository.FileAt(name, rev); !file.found) {
        report.Fail(EXIT_USAGE, file.problem.empty()
                                    ? options.file + " holds no " + name + " at " + rev
                                    : file.problem);
    } else {
        text = file.text;
        report.fields["commit"] = file.commit;
        report.Say("restoring " + name + " as at " + file.commit);
        return true;
    }
    report.fields["error"] = report.error;
    return false;
}

void ReportRestore(CPortSession& session, const JobPort& port, const RestoreResult& result,
                   CPortReport& report) {
    report.fields["written"] = result.written;
    report.fields["emptied"] = result.emptied;
    report.fields["unchanged"] = result.unchanged;
    report.fields["failed"] = result.failed.size();
    for (const auto& [slot, write] : result.failed) {
        report.Trouble("slot " + std::to_string(slot) + ": " + SlotWriteText(port, slot, write));
    }
    const std::string counts = std::to_string(result.written) + " written, " +
                               std::to_string(result.emptied) + " emptied, " +
                               std::to_string(result.unchanged) + " unchanged";
    if (!result.fault.empty()) {
        report.Fail(EXIT_USAGE, "the backup cannot be restored: " + result.fault);
    }
    ReportNoReply(session, result.outcome, SlotReadBoundMs(session), report);
    if (result.outcome == JobOutcome::Cancelled) {
        report.Status(EXIT_INTERRUPTED);
    }
    const bool ok = result.outcome == JobOutcome::Complete && result.failed.empty();
    report.Status(ok ? 0 : EXIT_OUTCOME);
    if (ok) {
        report.Say("Restore ok: " + counts);
    } else {
        report.Trouble("Restore fail: " + counts +
                       (result.stoppedAt > 0
                            ? "; stopped at slot " + std::to_string(result.stoppedAt)
                            : std::string()));
    }
    session.Progress().End(ok ? "ok" : "fail");
}

} // namespace

void RunRestore(CPortSession& session, CPortReport& report) {
    report.fields["module"] = session.Module();
    std::string text;
    if (!ReadBackup(session, text, report) || !session.Open(report)) {
        return;
    }
    const JobPort port = session.Job();
    CProgressObserver progress(session.Progress(), "restore", "slots");
    ReportRestore(session, port, RestoreModule(port, SplitDatabaseText(text), progress), report);
    ReportReplyChecks(session, report);
}
