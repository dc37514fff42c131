#include "RestoreJob.h"

#include "FileLines.h"
#include "KeyCapture.h"
#include "ModuleLimits.h"

#include <map>

namespace {

using Codes = std::map<uint16_t, std::vector<uint8_t>>;

// Every slot as the module holds it; false when the reads ended early.
bool ReadEverySlot(const JobPort& port, Codes& now, RestoreResult& result, IJobObserver& observer) {
    observer.OnStart(SLOT_COUNT);
    for (uint16_t slot = FIRST_SLOT; slot <= LAST_SLOT; ++slot) {
        if (port.Stopped()) {
            result.outcome = JobOutcome::Cancelled;
            return false;
        }
        SlotCode read = ReadSlotCode(port, slot);
        if (read.state == SlotCode::State::NoReply || read.state == SlotCode::State::Damaged) {
            result.outcome =
                read.state == SlotCode::State::NoReply ? JobOutcome::NoReply : JobOutcome::Damaged;
            result.stoppedAt = slot;
            return false;
        }
        now[slot] = std::move(read.code);
        ++result.read;
        observer.OnProgress(result.read, SLOT_COUNT);
    }
    return true;
}

} // namespace

RestoreResult RestoreModule(const JobPort& port, const std::vector<std::string>& lines,
                            IJobObserver& observer) {
    RestoreResult result;
    const SlotContent file = SlotsOfLines(lines);
    if (!file.malformed.empty()) {
        const auto& [line, fault] = file.malformed.front();
        result.outcome = JobOutcome::FileError;
        result.fault = "line " + std::to_string(line) + ": " + LineFaultText(fault);
        return result;
    }
    Codes now;
    if (!ReadEverySlot(port, now, result, observer)) {
        return result;
    }
    std::vector<uint16_t> changes;
    for (const auto& [slot, code] : now) {
        const auto wanted = file.codes.find(slot);
        const std::vector<uint8_t> empty;
        if (code == (wanted != file.codes.end() ? wanted->second : empty)) {
            ++result.unchanged;
        } else {
            changes.push_back(slot);
        }
    }
    const auto total = static_cast<int32_t>(changes.size());
    observer.OnStart(total);
    for (int32_t i = 0; i < total; ++i) {
        const uint16_t slot = changes[static_cast<size_t>(i)];
        if (port.Stopped()) {
            result.outcome = JobOutcome::Cancelled;
            break;
        }
        const auto wanted = file.codes.find(slot);
        const bool emptying = wanted == file.codes.end();
        const SlotWrite write = WriteSlotChecked(
            port, slot, emptying ? std::vector<uint8_t>() : wanted->second, &now[slot]);
        if (!write.Written()) {
            result.failed.emplace_back(slot, write);
            if (const JobOutcome ended = OutcomeOf(write); ended != JobOutcome::Complete) {
                result.outcome = ended;
                result.stoppedAt = slot;
                break;
            }
        } else {
            ++(emptying ? result.emptied : result.written);
        }
        observer.OnProgress(i + 1, total);
    }
    return result;
}
