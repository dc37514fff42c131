#include "SlotWrite.h"

#include "KeyCapture.h"
#include "ModuleLimits.h"
#include "ModuleOperations.h"

namespace {

SlotWrite::Result ResultOf(WriteOutcome::Result result) {
    switch (result) {
    case WriteOutcome::Result::Written:
        return SlotWrite::Result::Written;
    case WriteOutcome::Result::Refused:
        return SlotWrite::Result::Refused;
    case WriteOutcome::Result::Damaged:
        return SlotWrite::Result::Damaged;
    case WriteOutcome::Result::TooLong:
        return SlotWrite::Result::TooLong;
    case WriteOutcome::Result::NotAcknowledged:
        break;
    }
    return SlotWrite::Result::NotAcknowledged;
}

} // namespace

SlotWrite WriteSlotChecked(const JobPort& port, uint16_t slot, const std::vector<uint8_t>& code,
                           const std::vector<uint8_t>* current) {
    SlotWrite write;
    if (code.size() > MAX_WRITE_CODE_BYTES) {
        write.result = SlotWrite::Result::TooLong;
        return write;
    }
    write.journal =
        current != nullptr ? JournalKnown(port, slot, *current) : JournalBefore(port, slot);
    if (write.journal != JournalStep::Ready) {
        write.result = SlotWrite::Result::JournalStopped;
        return write;
    }
    const WriteOutcome written = ImportWriteLine(
        port.link, slot, code.data(), static_cast<uint32_t>(code.size()), port.timing, port.checks);
    write.result = ResultOf(written.result);
    write.status = written.status;
    if (!written.Written()) {
        return write;
    }
    const SlotCode back = ReadSlotCode(port, slot);
    if (back.state == SlotCode::State::NoReply || back.state == SlotCode::State::Damaged) {
        write.result = back.state == SlotCode::State::NoReply ? SlotWrite::Result::NoReadBack
                                                              : SlotWrite::Result::Damaged;
        return write;
    }
    JournalAfter(port, slot, back.code);
    if (back.code != code) {
        write.result = SlotWrite::Result::ReadBackDiffers;
    }
    return write;
}

std::string SlotWriteText(const JobPort& port, uint16_t slot, const SlotWrite& write) {
    switch (write.result) {
    case SlotWrite::Result::Written:
        return "written";
    case SlotWrite::Result::JournalStopped:
        return JournalStepText(port, write.journal, slot);
    case SlotWrite::Result::NotAcknowledged:
        return "not acknowledged";
    case SlotWrite::Result::Refused:
        return "refused (status " + std::to_string(write.status) + ")";
    case SlotWrite::Result::Damaged:
        return "acknowledgement damaged";
    case SlotWrite::Result::TooLong:
        return "the code is longer than a write carries (" + std::to_string(MAX_WRITE_CODE_BYTES) +
               " bytes)";
    case SlotWrite::Result::ReadBackDiffers:
        return "read back differs from what was written";
    case SlotWrite::Result::NoReadBack:
        return "no reply to the read back";
    }
    return {};
}

JobOutcome OutcomeOf(const SlotWrite& write) {
    switch (write.result) {
    case SlotWrite::Result::JournalStopped:
        return OutcomeOf(write.journal);
    case SlotWrite::Result::NotAcknowledged:
        return JobOutcome::NotAcknowledged;
    case SlotWrite::Result::NoReadBack:
        return JobOutcome::NoReply;
    case SlotWrite::Result::Damaged:
        return JobOutcome::Damaged;
    case SlotWrite::Result::Written:
    case SlotWrite::Result::Refused:
    case SlotWrite::Result::TooLong:
    case SlotWrite::Result::ReadBackDiffers:
        break;
    }
    return JobOutcome::Complete;
}
