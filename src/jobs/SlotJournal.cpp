#include "SlotJournal.h"

#include "KeyCapture.h"
#include "ModuleJournal.h"

JournalStep JournalKnown(const JobPort& port, uint16_t slot, const std::vector<uint8_t>& code) {
    if (port.journal == nullptr) {
        return JournalStep::Ready;
    }
    return port.journal->Before(slot, code) ? JournalStep::Ready : JournalStep::JournalFailed;
}

JournalStep JournalBefore(const JobPort& port, uint16_t slot) {
    if (port.journal == nullptr) {
        return JournalStep::Ready;
    }
    const SlotCode read = ReadSlotCode(port, slot);
    switch (read.state) {
    case SlotCode::State::NoReply:
        return JournalStep::NoReply;
    case SlotCode::State::Damaged:
        return JournalStep::Damaged;
    case SlotCode::State::Empty:
    case SlotCode::State::Code:
        break;
    }
    return JournalKnown(port, slot, read.code);
}

void JournalAfter(const JobPort& port, uint16_t slot, const std::vector<uint8_t>& code) {
    if (port.journal != nullptr) {
        port.journal->After(slot, code);
    }
}

void JournalCapture(const JobPort& port, uint16_t slot) {
    if (port.journal == nullptr) {
        return;
    }
    const SlotCode read = ReadSlotCode(port, slot);
    if (read.state == SlotCode::State::Code || read.state == SlotCode::State::Empty) {
        JournalAfter(port, slot, read.code);
    }
}

JobOutcome OutcomeOf(JournalStep step) {
    switch (step) {
    case JournalStep::NoReply:
        return JobOutcome::NoReply;
    case JournalStep::Damaged:
        return JobOutcome::Damaged;
    case JournalStep::JournalFailed:
        return JobOutcome::FileError;
    case JournalStep::Ready:
        break;
    }
    return JobOutcome::Complete;
}

std::string JournalStepText(const JobPort& port, JournalStep step, uint16_t slot) {
    const std::string read = "the read of slot " + std::to_string(slot) + " before it was written";
    switch (step) {
    case JournalStep::NoReply:
        return "no reply to " + read;
    case JournalStep::Damaged:
        return read + " stayed damaged";
    case JournalStep::JournalFailed:
        return port.journal != nullptr ? port.journal->Problem() : std::string();
    case JournalStep::Ready:
        break;
    }
    return {};
}
