#include "KeyCapture.h"

#include "ModuleOperations.h"
#include "Reply.h"

#include <algorithm>

SlotCode ReadSlotCode(const JobPort& port, uint16_t slot) {
    SlotCode read;
    const ExchangeReply reply = ExportReadSlot(port.link, slot, port.timing, port.checks);
    const ReadOutcome outcome = ReadOutcomeOf(reply);
    if (outcome == ReadOutcome::Damaged) {
        read.state = SlotCode::State::Damaged;
    } else if (outcome == ReadOutcome::CommunicationFail) {
        read.state = SlotCode::State::NoReply;
    } else if (outcome != ReadOutcome::Code) {
        // A status reply, or a code reply too short to hold a code.
        read.state = SlotCode::State::Empty;
    } else {
        const CodeSpan code = CodeBytes(reply.bytes.data(), reply.count);
        read.code.assign(code.data, code.data + code.size);
        read.state = SlotCode::State::Code;
    }
    return read;
}

Capture AwaitCapture(const JobPort& port, uint16_t slot, const std::atomic<int32_t>* interrupt) {
    Capture capture;
    const LearnOutcome outcome =
        AwaitLearnAnswer(port.link, port.timing, &port.running, port.checks, interrupt);
    capture.text = LearnOutcomeText(outcome);
    if (outcome.state == CLearnAnswer::State::Pending) {
        capture.result = Capture::Result::Interrupted;
        return capture;
    }
    if (outcome.state != CLearnAnswer::State::Answered || outcome.status != 0 || outcome.damaged) {
        return capture;
    }
    SlotCode read = ReadSlotCode(port, slot);
    switch (read.state) {
    case SlotCode::State::Damaged:
        capture.text = std::string("the code read back was damaged: ") + REPLY_DAMAGED_TEXT;
        break;
    case SlotCode::State::NoReply:
        capture.result = Capture::Result::Lost;
        capture.text =
            "no reply to the read of slot " + std::to_string(slot) + " after " + capture.text;
        break;
    case SlotCode::State::Empty:
        capture.text = "slot " + std::to_string(slot) + " was empty after " + capture.text;
        break;
    case SlotCode::State::Code:
        capture.code = std::move(read.code);
        capture.result = Capture::Result::Code;
        break;
    }
    return capture;
}

std::vector<size_t> DifferingPositions(const std::vector<uint8_t>& a,
                                       const std::vector<uint8_t>& b) {
    std::vector<size_t> positions;
    const size_t longer = std::max(a.size(), b.size());
    for (size_t i = 0; i < longer; ++i) {
        if (i >= a.size() || i >= b.size() || a[i] != b[i]) {
            positions.push_back(i);
        }
    }
    return positions;
}

std::string PositionsText(const std::vector<size_t>& positions) {
    constexpr size_t SHOWN = 16;
    std::string text;
    for (size_t i = 0; i < positions.size() && i < SHOWN; ++i) {
        text += (i == 0 ? "" : ", ") + std::to_string(positions[i] + 1);
    }
    if (positions.size() > SHOWN) {
        text += ", \xE2\x80\xA6";
    }
    return text;
}
