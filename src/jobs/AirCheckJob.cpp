#include "AirCheckJob.h"

#include "CommandFrame.h"
#include "CountedText.h"
#include "KeyCapture.h"
#include "ModuleJournal.h"
#include "ModuleLimits.h"
#include "ModuleOperations.h"
#include "Reply.h"
#include "SlotJournal.h"
#include "UndoJob.h"

#include <algorithm>
#include <chrono>
#include <optional>
#include <thread>

namespace {

// What a slot holds: nullopt when no reply came or it stayed damaged; an
// empty code for an empty slot.
std::optional<std::vector<uint8_t>> HeldCode(const JobPort& port, uint16_t slot) {
    SlotCode read = ReadSlotCode(port, slot);
    if (read.state == SlotCode::State::NoReply || read.state == SlotCode::State::Damaged) {
        return std::nullopt;
    }
    return std::move(read.code);
}

AirKeyResult CheckKey(const JobPort& sender, const JobPort& receiver, const RemoteKey& key,
                      const std::vector<uint8_t>& sent, uint16_t scratch) {
    AirKeyResult r;
    r.sentBytes = sent.size();
    StartLearn(receiver.link, scratch);
    // A module takes a moment to start listening once its learn frame is in.
    std::this_thread::sleep_for(std::chrono::milliseconds(receiver.timing.learnPollPeriodMs));
    const SendOutcome send =
        SendKey(sender.link, key.slot, ChannelMask(KeyChannel(key)), sender.timing, sender.checks);
    Capture capture = AwaitCapture(receiver, scratch);
    if (send != SendOutcome::Ok) {
        r.failure = std::string("the sender answered ") + SendOutcomeText(send);
    }
    if (capture.result != Capture::Result::Code) {
        r.outcome = AirKeyResult::Outcome::NotCaptured;
        if (r.failure.empty()) {
            r.failure = capture.text;
        }
        if (send == SendOutcome::CommunicationFail) {
            r.gone = "the sending module no longer answers";
        } else if (capture.result == Capture::Result::Lost ||
                   GetVersion(receiver.link, receiver.timing, receiver.checks).replyBytes == 0) {
            r.gone = "the learning module no longer answers";
        }
        return r;
    }
    JournalAfter(receiver, scratch, capture.code);
    r.capturedBytes = capture.code.size();
    r.differing = DifferingPositions(sent, capture.code);
    r.outcome =
        r.differing.empty() ? AirKeyResult::Outcome::Identical : AirKeyResult::Outcome::Differs;
    return r;
}

// A check that ended without writing its scratch slot back (killed, or a
// second Ctrl+C) left a capture there: its run is undone first, outside
// this run's journal, so that undoing this run puts the learner's own code
// back, not that capture.
std::string PutRightUnfinishedCheck(const JobPort& receiver) {
    if (receiver.journal == nullptr) {
        return {};
    }
    const std::string folder = receiver.journal->Folder();
    const std::vector<std::string> ids = ListJournalRuns(folder);
    // The newest check first.
    for (size_t i = ids.size(); i-- > 0;) {
        const std::string& id = ids[i];
        if (JournalRunCommand(id) != "check-remote") {
            continue;
        }
        const JournalRun run = ReadJournalRun(folder, id);
        if (!run.error.empty() || run.finished) {
            return {};
        }
        JobPort unjournaled = receiver;
        unjournaled.journal = nullptr;
        IJobObserver quiet;
        const UndoResult undo = UndoJournalRun(unjournaled, run, false, quiet);
        if (undo.outcome != JobOutcome::Complete || undo.failed > 0) {
            std::string text = "the check " + id;
            text += " did not finish, and its scratch slot could not be put back; "
                    "lumaret-cli undo --run ";
            text += id;
            return text + " tries again";
        }
        MarkJournalRunFinished(folder, id);
        return "the check " + id + " did not finish: " + std::to_string(undo.restored) +
               (undo.restored == 1 ? " slot" : " slots") + " of the learning module put back " +
               (undo.changedSince > 0 ? "(one changed since was left alone) " : "") +
               "before this check";
    }
    return {};
}

} // namespace

std::string AirOutcomeText(const AirKeyResult& result) {
    switch (result.outcome) {
    case AirKeyResult::Outcome::Identical:
        return "identical";
    case AirKeyResult::Outcome::Differs:
        // Codes of other lengths differ at every byte past the shorter one:
        // their lengths say more than a count of positions.
        if (result.sentBytes != result.capturedBytes) {
            return "differs: sent " + Counted(result.sentBytes, "byte") + ", captured " +
                   std::to_string(result.capturedBytes);
        }
        return "differs in " + std::to_string(result.differing.size()) + " of " +
               Counted(result.sentBytes, "byte");
    case AirKeyResult::Outcome::NotHeld:
        return "not held";
    case AirKeyResult::Outcome::NotCaptured:
        break;
    }
    return "not captured";
}

size_t AirCheckResult::Count(AirKeyResult::Outcome outcome) const {
    return static_cast<size_t>(std::count_if(keys.begin(), keys.end(),
                                             [&](const auto& k) { return k.outcome == outcome; }));
}

AirCheckResult CheckByAir(const JobPort& sender, const JobPort& receiver, const RemoteMap& map,
                          uint16_t scratch, IAirCheckObserver& observer) {
    AirCheckResult result;
    result.putRight = PutRightUnfinishedCheck(receiver);
    const std::optional<std::vector<uint8_t>> before = HeldCode(receiver, scratch);
    const std::string slotName = "slot " + std::to_string(scratch) + " of the learning module";
    if (!before) {
        result.outcome = JobOutcome::NoReply;
        result.problem = "no reply to the read of " + slotName;
        return result;
    }
    result.restored = true; // nothing written yet
    if (before->size() > MAX_WRITE_CODE_BYTES) {
        result.refused = true;
        result.outcome = JobOutcome::NotAcknowledged;
        result.problem = slotName + " holds a code of " + std::to_string(before->size()) +
                         " bytes, more than a write carries back (" +
                         std::to_string(MAX_WRITE_CODE_BYTES) +
                         "): name another slot with --scratch";
        return result;
    }
    if (const JournalStep step = JournalKnown(receiver, scratch, *before);
        step != JournalStep::Ready) {
        result.refused = true;
        result.outcome = JobOutcome::FileError;
        result.problem = JournalStepText(receiver, step, scratch);
        return result;
    }
    for (size_t i = 0; i < map.keys.size(); ++i) {
        if (sender.Stopped() || receiver.Stopped()) {
            result.outcome = JobOutcome::Cancelled;
            break;
        }
        const RemoteKey& key = map.keys[i];
        const std::optional<std::vector<uint8_t>> sent = HeldCode(sender, key.slot);
        if (!sent) {
            result.outcome = JobOutcome::NoReply;
            result.problem = "no reply to the read of slot " + std::to_string(key.slot) +
                             " of the sending module";
            break;
        }
        AirKeyResult r;
        if (sent->empty()) {
            r.outcome = AirKeyResult::Outcome::NotHeld;
        } else {
            r = CheckKey(sender, receiver, key, *sent, scratch);
        }
        r.index = i;
        observer.OnKey(key, r);
        const std::string gone = r.gone;
        result.keys.push_back(std::move(r));
        if (!gone.empty()) {
            result.outcome = JobOutcome::NoReply;
            result.problem = gone;
            break;
        }
    }
    const WriteOutcome restore =
        ImportWriteLine(receiver.link, scratch, before->data(),
                        static_cast<uint32_t>(before->size()), receiver.timing, receiver.checks);
    result.restored = restore.Written();
    if (result.restored) {
        JournalAfter(receiver, scratch, *before);
    }
    if (!result.restored && result.problem.empty()) {
        result.problem =
            "slot " + std::to_string(scratch) + " of the learning module could not be written back";
    }
    return result;
}
