// The commands of one exchange each: version, read, send and learn.

#include "Commands.h"

#include "CommandFrame.h"
#include "DatabaseFormat.h"
#include "ExitStatus.h"
#include "JobReport.h"
#include "LearnPrompt.h"
#include "ModuleOperations.h"
#include "Options.h"
#include "Reply.h"
#include "SendSequence.h"
#include "SlotJournal.h"

namespace {

std::string Trimmed(std::string hexGroups) {
    if (!hexGroups.empty()) {
        hexGroups.pop_back();
    }
    return hexGroups;
}

// A failed outcome: the window's text on standard error and in JSON.
void ReportFailure(CPortReport& report, const std::string& text) {
    report.Trouble(text);
    report.fields["outcome"] = text;
}

// A reply that stayed damaged on its repeat: said, and a failed outcome.
void ReportDamaged(CPortReport& report) {
    report.Trouble(REPLY_DAMAGED_TEXT);
    report.fields["outcome"] = REPLY_DAMAGED_TEXT;
    report.Status(EXIT_OUTCOME);
}

// What a read's reply says, in text and JSON.
void ReadReport(const ExchangeReply& reply, bool raw, CPortReport& report) {
    const std::string groups = HexGroups(reply.bytes.data(), reply.count);
    report.fields["bytes"] = reply.count;
    if (reply.count > 0) {
        report.fields["reply"] = Trimmed(groups);
    }
    const ReadOutcome outcome = ReadOutcomeOf(reply);
    const std::string text = ReadOutcomeText(outcome);
    switch (outcome) {
    case ReadOutcome::Damaged:
        ReportDamaged(report);
        break;
    case ReadOutcome::CommunicationFail:
        ReportFailure(report, text);
        break;
    case ReadOutcome::KeyEmpty:
    case ReadOutcome::OtherStatus: {
        const uint8_t status = StatusByte(reply.bytes.data(), reply.count);
        ReportFailure(report, outcome == ReadOutcome::KeyEmpty
                                  ? text
                                  : text + " " + Trimmed(groups) + " (status " +
                                        std::to_string(status) + ")");
        report.fields["status"] = status;
        report.Status(EXIT_OUTCOME);
        break;
    }
    case ReadOutcome::Incomplete:
        report.Trouble(raw ? groups : text + " " + Trimmed(groups));
        report.fields["outcome"] = "incomplete reply";
        report.Status(EXIT_OUTCOME);
        break;
    case ReadOutcome::Code: {
        const CodeSpan code = CodeBytes(reply.bytes.data(), reply.count);
        const std::string pairs = HexPairs(code.data, code.size);
        // --raw: the whole reply, header and CRC included, as the window's log.
        report.Say(raw ? groups : pairs);
        report.fields["code"] = pairs;
        break;
    }
    }
}

// The slot a command names, in the report, and the port opened for it, then
// the key's name from a map when it has one; false when it could not be opened.
bool OpenForSlot(CPortSession& session, uint16_t slot, CPortReport& report,
                 const std::string& keyName = {}) {
    report.fields["slot"] = slot;
    if (!session.Open(report)) {
        return false;
    }
    if (!keyName.empty()) {
        report.fields["name"] = keyName;
    }
    return true;
}

} // namespace

void RunVersion(CPortSession& session, CPortReport& report) {
    if (!session.Open(report)) {
        return;
    }
    const VersionOutcome outcome = GetVersion(session.Link(), session.Timing(), &session.Checks());
    if (outcome.damaged) {
        ReportDamaged(report);
    } else if (outcome.ok) {
        report.Say(outcome.text);
        report.fields["version"] = outcome.text;
    } else {
        ReportFailure(report, GET_FAIL_TEXT);
        session.FailExchange(report, session.Timing().BoundMs(Exchange::GetVersion),
                             session.FailureStatus());
    }
    ReportReplyChecks(session, report);
}

void RunRead(CPortSession& session, CPortReport& report) {
    const CliOptions& o = session.Context().options;
    const uint16_t slot = SlotOf(o);
    if (!OpenForSlot(session, slot, report, o.keyName)) {
        return;
    }
    const ExchangeReply reply = ReadKey(session.Link(), slot, session.Timing(), &session.Checks());
    ReadReport(reply, o.raw, report);
    if (ReadOutcomeOf(reply) == ReadOutcome::CommunicationFail) {
        session.FailExchange(report, session.Timing().BoundMs(Exchange::ReadKey), EXIT_NO_REPLY);
    }
    ReportReplyChecks(session, report);
}

// send --map MAP NAME NAME ...: each key's outcome on its own line.
static void RunSendSequence(CPortSession& session, CPortReport& report) {
    const CliOptions& o = session.Context().options;
    if (!session.Open(report)) {
        return;
    }
    Json keys = Json::array();
    const SequenceResult result = SendSequence(
        session.Job(), o.sequence, static_cast<uint32_t>(o.waitMs), [&](const SequenceStep& step) {
            const std::string text = step.key->name + ": " + SendOutcomeText(step.outcome);
            (step.outcome == SendOutcome::Ok ? report.lines : report.troubles).push_back(text);
            keys.push_back({{"name", step.key->name},
                            {"slot", step.key->slot},
                            {"outcome", SendOutcomeText(step.outcome)},
                            {"waited_ms", step.waitedMs}});
        });
    report.fields["keys"] = std::move(keys);
    report.fields["sent"] = result.complete ? result.steps.size() : result.steps.size() - 1;
    if (result.cancelled) {
        report.Status(EXIT_INTERRUPTED);
    } else if (!result.complete) {
        const SequenceStep& last = result.steps.back();
        const size_t left = o.sequence.size() - result.steps.size();
        report.Trouble("sequence stopped at " + last.key->name + "; " + std::to_string(left) +
                       (left == 1 ? " key" : " keys") + " not sent");
        if (last.outcome == SendOutcome::CommunicationFail) {
            session.FailExchange(report, session.Timing().BoundMs(Exchange::SendKey),
                                 session.FailureStatus());
        } else {
            report.Status(EXIT_OUTCOME);
        }
    }
    ReportReplyChecks(session, report);
}

void RunSend(CPortSession& session, CPortReport& report) {
    const CliOptions& o = session.Context().options;
    if (o.sequence.size() > 1) {
        RunSendSequence(session, report);
        return;
    }
    const uint16_t slot = KeyIndex(o.channel, o.key);
    if (!OpenForSlot(session, slot, report, o.keyName)) {
        return;
    }
    const SendOutcome outcome =
        SendKey(session.Link(), slot, ChannelMask(o.channel), session.Timing(), &session.Checks());
    if (outcome == SendOutcome::Ok) {
        report.Say(SendOutcomeText(outcome));
        report.fields["outcome"] = SendOutcomeText(outcome);
    } else {
        ReportFailure(report, SendOutcomeText(outcome));
    }
    if (outcome == SendOutcome::KeyEmpty || outcome == SendOutcome::Damaged) {
        report.Status(EXIT_OUTCOME);
    } else if (outcome == SendOutcome::CommunicationFail) {
        session.FailExchange(report, session.Timing().BoundMs(Exchange::SendKey),
                             session.FailureStatus());
    }
    ReportReplyChecks(session, report);
}

void RunLearn(CPortSession& session, CPortReport& report) {
    const CliOptions& o = session.Context().options;
    const uint16_t slot = KeyIndex(o.channel, o.key);
    if (!OpenForSlot(session, slot, report)) {
        return;
    }
    const JobPort port = session.Job();
    if (const JournalStep step = JournalBefore(port, slot); step != JournalStep::Ready) {
        ReportJournalStop(session, OutcomeOf(step), JournalStepText(port, step, slot), report);
        return;
    }
    const uint32_t waitMs = LearnWaitMs(session.Timing());
    StartLearn(session.Link(), slot);
    CLearnPrompt prompt(session, waitMs);
    const LearnOutcome outcome =
        AwaitLearnAnswer(session.Link(), session.Timing(), &session.Running(), &session.Checks());
    prompt.Done(outcome.state == CLearnAnswer::State::Answered);
    if (outcome.state == CLearnAnswer::State::Pending) {
        report.Trouble("Learn interrupted");
        report.fields["outcome"] = "interrupted";
        report.Status(EXIT_INTERRUPTED);
        return;
    }
    const std::string text = LearnOutcomeText(outcome);
    const bool learned =
        outcome.state == CLearnAnswer::State::Answered && outcome.status == 0 && !outcome.damaged;
    if (learned) {
        JournalCapture(port, slot);
        report.Say(text);
        report.fields["outcome"] = text;
    } else {
        ReportFailure(report, text);
    }
    if (outcome.state == CLearnAnswer::State::Answered) {
        report.fields["status"] = outcome.status;
        report.Status(learned ? 0 : EXIT_OUTCOME);
    } else {
        session.FailExchange(report, waitMs, session.FailureStatus());
    }
}
