#include "JobReport.h"

#include "ExitStatus.h"

std::string Bytes(size_t n) {
    return Counted(n, "byte");
}

void ReportReplyChecks(CPortSession& session, CPortReport& report) {
    const CReplyChecks& checks = session.Checks();
    Json unchecked = Json::array();
    for (const ReplyKind kind : checks.UncheckedKinds()) {
        unchecked.push_back(ReplyKindName(kind));
    }
    for (const std::string& text : UncheckedReplyTexts(checks)) {
        report.Trouble(text);
    }
    if (session.Timing().wholeReplies && !unchecked.empty()) {
        report.Trouble("--fast kept the fixed timing for replies without a valid CRC");
    }
    if (checks.Repeats() > 0) {
        report.Trouble(std::to_string(checks.Repeats()) +
                       (checks.Repeats() == 1 ? " exchange" : " exchanges") +
                       " repeated for a damaged reply");
    }
    report.fields["unchecked_replies"] = std::move(unchecked);
    report.fields["repeats"] = checks.Repeats();
}

void ReportNoReply(CPortSession& session, JobOutcome outcome, uint32_t boundMs,
                   CPortReport& report) {
    const bool unanswered =
        outcome == JobOutcome::NoReply || outcome == JobOutcome::NotAcknowledged;
    if (unanswered && session.FailureStatus() == EXIT_NO_REPLY) {
        session.FailExchange(report, boundMs, EXIT_NO_REPLY);
    }
}

void ReportJournalStop(CPortSession& session, JobOutcome outcome, const std::string& problem,
                       CPortReport& report) {
    if (problem.empty()) {
        return;
    }
    int status = EXIT_OUTCOME;
    if (outcome == JobOutcome::NoReply && session.FailureStatus() == EXIT_NO_REPLY) {
        // Said with the bound the read waited, as any exchange without a reply.
        report.Trouble(problem);
        report.fields["error"] = problem;
        session.FailExchange(report, SlotReadBoundMs(session), EXIT_NO_REPLY);
        return;
    }
    if (outcome == JobOutcome::FileError) {
        status = EXIT_USAGE;
    }
    report.Fail(status, problem);
    report.fields["error"] = problem;
}

uint32_t SlotReadBoundMs(const CPortSession& session) {
    return session.Timing().BoundMs(Exchange::ExportSlot);
}

int StoppedStatus(const CPortSession& session, JobOutcome outcome) {
    if (outcome == JobOutcome::Cancelled) {
        return EXIT_INTERRUPTED;
    }
    return outcome == JobOutcome::Damaged ? EXIT_OUTCOME : session.FailureStatus();
}
