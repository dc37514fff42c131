// verify: the module against a database file.

#include "Commands.h"

#include "ExitStatus.h"
#include "JobReport.h"
#include "VerifyJob.h"

namespace {

struct DifferenceWords {
    const char* kind;
    std::string text;
};

DifferenceWords WordsFor(const SlotDifference& d) {
    switch (d.kind) {
    case SlotDifference::Kind::IncompleteReply:
        return {"incomplete reply", "incomplete reply (" + Bytes(d.moduleBytes) + ")"};
    case SlotDifference::Kind::EmptyOnModule:
        return {"empty on the module", "empty on the module, the file has " + Bytes(d.fileBytes)};
    case SlotDifference::Kind::NotEmpty:
        return {"not empty",
                "the module holds " + Bytes(d.moduleBytes) + ", the file has it empty"};
    case SlotDifference::Kind::NotInFile:
        return {"not in the file",
                "the module holds " + Bytes(d.moduleBytes) + ", not in the file"};
    case SlotDifference::Kind::Different:
        break;
    }
    return {"different", "different code (module " + Bytes(d.moduleBytes) + ", file " +
                             Bytes(d.fileBytes) + ")"};
}

} // namespace

void ReportVerify(CPortSession& session, const VerifyResult& result, bool exact,
                  CPortReport& report) {
    for (const auto& [line, fault] : result.malformed) {
        report.Say("line " + std::to_string(line) + ": " + LineFaultText(fault));
        report.Status(EXIT_OUTCOME);
    }
    Json differences = Json::array();
    int others = 0;
    for (const SlotDifference& d : result.differences) {
        const DifferenceWords words = WordsFor(d);
        report.Say("slot " + std::to_string(d.slot) + ": " + words.text);
        differences.push_back({{"slot", d.slot},
                               {"kind", words.kind},
                               {"module", d.moduleBytes},
                               {"file", d.fileBytes}});
        others += d.kind == SlotDifference::Kind::NotInFile ? 1 : 0;
    }
    report.fields["compared"] = result.compared;
    report.fields["differences"] = differences;

    const size_t count = result.differences.size();
    if (count > 0) {
        report.Status(EXIT_OUTCOME);
    }
    if (result.outcome != JobOutcome::Complete) {
        const bool interrupted = result.outcome == JobOutcome::Cancelled;
        const bool damaged = result.outcome == JobOutcome::Damaged;
        ReportNoReply(session, result.outcome, SlotReadBoundMs(session), report);
        report.Status(StoppedStatus(session, result.outcome));
        report.Trouble(std::string(interrupted ? "Verify interrupted"
                                   : damaged   ? "Verify fail: reply damaged"
                                               : "Verify fail: no reply") +
                       " after " + std::to_string(result.compared) + " slots compared, " +
                       std::to_string(count) + " differ");
        session.Progress().End(interrupted ? "interrupted" : damaged ? "damaged" : "no reply");
        return;
    }
    if (count == 0 && result.malformed.empty()) {
        report.Say("Verify ok: " + std::to_string(result.compared) + " slots match" +
                   (exact ? ", every other slot empty" : ""));
        session.Progress().End("ok");
        return;
    }
    report.Say("Verify fail: " + std::to_string(count) + " of " +
               std::to_string(result.compared + others) + " slots differ" +
               (result.malformed.empty()
                    ? std::string()
                    : ", " + Counted(result.malformed.size(), "line") + " malformed"));
    session.Progress().End("differs");
}
