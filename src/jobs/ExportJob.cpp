#include "ExportJob.h"

#include "ModuleOperations.h"
#include "Reply.h"

namespace {

ExportResult ReadEach(const JobPort& port, const std::vector<uint16_t>& slots, ILineSink* lines,
                      IJobObserver& observer) {
    ExportResult result;
    const auto total = static_cast<int32_t>(slots.size());
    observer.OnStart(total);
    for (size_t i = 0; i < slots.size(); ++i) {
        if (port.Stopped()) {
            result.outcome = JobOutcome::Cancelled;
            return result;
        }
        SlotResult& slot = result.slotsRead.emplace_back();
        slot.slot = slots[i];
        const ExchangeReply reply = ExportReadSlot(port.link, slot.slot, port.timing, port.checks);
        slot.replyBytes = reply.count;
        const ReadOutcome read = ReadOutcomeOf(reply);
        if (read == ReadOutcome::Damaged) {
            slot.state = SlotResult::State::Damaged;
            result.outcome = JobOutcome::Damaged;
        } else if (read == ReadOutcome::CommunicationFail) {
            slot.state = SlotResult::State::NoReply;
            result.outcome = JobOutcome::NoReply;
        } else if (read == ReadOutcome::KeyEmpty || read == ReadOutcome::OtherStatus) {
            // An empty slot, whatever the status reply holds.
            slot.state = SlotResult::State::Empty;
            ++result.census.empty;
        } else {
            const CodeSpan code = CodeBytes(reply.bytes.data(), reply.count);
            slot.code.assign(code.data, code.data + code.size);
            slot.state = SlotResult::State::Code;
            if (lines != nullptr && !lines->WriteString(FormatDatabaseLine(
                                        slot.slot, reply.bytes.data(), reply.count))) {
                slot.state = SlotResult::State::NotStored;
                result.outcome = JobOutcome::FileError;
            } else {
                ++result.census.codes;
            }
        }
        observer.OnSlot(slot);
        if (result.outcome != JobOutcome::Complete) {
            result.failedSlot = slot.slot;
            return result;
        }
        ++result.census.read;
        observer.OnProgress(static_cast<int32_t>(i + 1), total);
    }
    return result;
}

} // namespace

std::string SlotCensus::Text() const {
    return std::to_string(read) + " slots read, " + std::to_string(codes) + " with codes, " +
           std::to_string(empty) + " empty";
}

std::vector<uint16_t> AllSlots() {
    std::vector<uint16_t> slots;
    slots.reserve(SLOT_COUNT);
    for (uint16_t slot = FIRST_SLOT; slot <= LAST_SLOT; ++slot) {
        slots.push_back(slot);
    }
    return slots;
}

ExportResult ExportModule(const JobPort& port, ILineSink& lines, IJobObserver& observer) {
    return ReadEach(port, AllSlots(), &lines, observer);
}

ExportResult ReadSlots(const JobPort& port, const std::vector<uint16_t>& slots,
                       IJobObserver& observer) {
    return ReadEach(port, slots, nullptr, observer);
}
