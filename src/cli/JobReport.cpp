#include "JobReport.h"

std::string Bytes(size_t n) {
    return std::to_string(n) + (n == 1 ? " byte" : " bytes");
}

void ReportReplyChecks(CPortSession& session, CPortReport& report) {
    const CReplyChecks& checks = session.Checks();
    Json unchecked = Json::array();
    for (const ReplyKind kind : checks.UncheckedKinds()) {
        unchecked.push_back(ReplyKindName(kind));
    }
    for (const std::string& text : UncheckedReplyTexts(checks)) {
        report.Say(text);
    }
    if (session.Timing().wholeReplies && !unchecked.empty()) {
        report.Say("--fast kept the fixed timing for replies without a valid CRC");
    }
    if (checks.Repeats() > 0) {
        report.Say(std::to_string(checks.Repeats()) +
                   (checks.Repeats() == 1 ? " exchange" : " exchanges") +
                   " repeated for a damaged reply");
    }
    report.fields["unchecked_replies"] = std::move(unchecked);
    report.fields["repeats"] = checks.Repeats();
}
