#include "ExportJob.h"

#include "ModuleOperations.h"
#include "Reply.h"

namespace {

// What a reply says of its slot, the line aside.
void TakeReply(SlotResult& slot, const ExchangeReply& reply) {
    slot.replyBytes = reply.count;
    slot.code.clear();
    switch (ReadOutcomeOf(reply)) {
    case ReadOutcome::Damaged:
        slot.state = SlotResult::State::Damaged;
        break;
    case ReadOutcome::CommunicationFail:
        slot.state = SlotResult::State::NoReply;
        break;
    case ReadOutcome::KeyEmpty:
    case ReadOutcome::OtherStatus:
        // An empty slot, whatever the status reply holds.
        slot.state = SlotResult::State::Empty;
        break;
    case ReadOutcome::Code:
    case ReadOutcome::Incomplete: {
        const CodeSpan code = CodeBytes(reply.bytes.data(), reply.count);
        slot.code.assign(code.data, code.data + code.size);
        slot.state = SlotResult::State::Code;
        break;
    }
    }
}

JobOutcome OutcomeOf(SlotResult::State state) {
    switch (state) {
    case SlotResult::State::Damaged:
        return JobOutcome::Damaged;
    case SlotResult::State::NoReply:
        return JobOutcome::NoReply;
    case SlotResult::State::NotStored:
        return JobOutcome::FileError;
    case SlotResult::State::Code:
    case SlotResult::State::Empty:
        break;
    }
    return JobOutcome::Complete;
}

// A slot taken whole is finished one exchange late: the purge before the next exchange
// (or the settling after the last) may find that its reply was taken before
// it ended, and then its reply read again replaces it before its line is
// stored or its events go out.
class CSlotReader {
public:
    CSlotReader(const JobPort& port, ILineSink* lines, IJobObserver& observer, int32_t total)
        : m_port(port), m_lines(lines), m_observer(observer), m_total(total) {}

    // Reads slot; false once the export has ended (its outcome set).
    bool Read(uint16_t slot, ExportResult& result) {
        const ExchangeReply reply = ExportReadSlot(m_port.link, slot, m_port.timing, m_port.checks);
        if (m_held && !Finish(result, reply.redone.get())) {
            return false;
        }
        SlotResult& read = result.slotsRead.emplace_back();
        read.slot = slot;
        TakeReply(read, reply);
        m_heldReply = reply;
        m_held = true;
        // Only a reply taken as soon as it looked whole can have been taken
        // early; no reply and a damaged one end the export at once.
        if (!m_port.timing.wholeReplies || OutcomeOf(read.state) != JobOutcome::Complete) {
            return Finish(result, nullptr);
        }
        return true;
    }

    // Finishes the slot read last, after looking for bytes of its reply
    // that came late.
    void End(ExportResult& result) {
        if (m_held) {
            const auto redone = SettleExchanges(m_port.link, m_port.checks);
            Finish(result, redone.get());
        }
    }

private:
    bool Finish(ExportResult& result, const ExchangeReply* redone) {
        m_held = false;
        SlotResult& slot = result.slotsRead.back();
        if (redone != nullptr) {
            m_heldReply = *redone;
            TakeReply(slot, m_heldReply);
        }
        if (slot.state == SlotResult::State::Code && m_lines != nullptr &&
            !m_lines->WriteString(
                FormatDatabaseLine(slot.slot, m_heldReply.bytes.data(), m_heldReply.count))) {
            slot.state = SlotResult::State::NotStored;
        }
        m_observer.OnSlot(slot);
        result.outcome = OutcomeOf(slot.state);
        if (result.outcome != JobOutcome::Complete) {
            result.failedSlot = slot.slot;
            return false;
        }
        ++result.census.read;
        ++(slot.state == SlotResult::State::Code ? result.census.codes : result.census.empty);
        m_observer.OnProgress(result.census.read, m_total);
        return true;
    }

    const JobPort& m_port;
    ILineSink* m_lines;
    IJobObserver& m_observer;
    int32_t m_total;
    ExchangeReply m_heldReply;
    bool m_held = false;
};

ExportResult ReadEach(const JobPort& port, const std::vector<uint16_t>& slots, ILineSink* lines,
                      IJobObserver& observer) {
    ExportResult result;
    const auto total = static_cast<int32_t>(slots.size());
    observer.OnStart(total);
    CSlotReader reader(port, lines, observer, total);
    for (const uint16_t slot : slots) {
        if (port.Stopped()) {
            reader.End(result);
            if (result.outcome == JobOutcome::Complete) {
                result.outcome = JobOutcome::Cancelled;
            }
            return result;
        }
        if (!reader.Read(slot, result)) {
            return result;
        }
    }
    reader.End(result);
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
