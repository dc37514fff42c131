#include "AirCheckJob.h"

#include "CommandFrame.h"
#include "CountedText.h"
#include "KeyCapture.h"
#include "ModuleOperations.h"
#include "Reply.h"

#include <algorithm>
#include <chrono>
#include <optional>
#include <thread>

namespace {

// What a slot holds: nullopt when no reply came or it stayed damaged; an
// empty code for an empty slot.
std::optional<std::vector<uint8_t>> SlotContent(const JobPort& port, uint16_t slot) {
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
        return r;
    }
    r.capturedBytes = capture.code.size();
    r.differing = DifferingPositions(sent, capture.code);
    r.outcome =
        r.differing.empty() ? AirKeyResult::Outcome::Identical : AirKeyResult::Outcome::Differs;
    return r;
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
    const std::optional<std::vector<uint8_t>> before = SlotContent(receiver, scratch);
    if (!before) {
        result.outcome = JobOutcome::NoReply;
        result.problem =
            "no reply to the read of slot " + std::to_string(scratch) + " of the learning module";
        return result;
    }
    for (size_t i = 0; i < map.keys.size(); ++i) {
        if (sender.Stopped() || receiver.Stopped()) {
            result.outcome = JobOutcome::Cancelled;
            break;
        }
        const RemoteKey& key = map.keys[i];
        const std::optional<std::vector<uint8_t>> sent = SlotContent(sender, key.slot);
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
        result.keys.push_back(std::move(r));
    }
    const WriteOutcome restore =
        ImportWriteLine(receiver.link, scratch, before->data(),
                        static_cast<uint32_t>(before->size()), receiver.timing, receiver.checks);
    result.restored = restore.Written();
    if (!result.restored && result.problem.empty()) {
        result.problem =
            "slot " + std::to_string(scratch) + " of the learning module could not be written back";
    }
    return result;
}
