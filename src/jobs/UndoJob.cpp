#include "UndoJob.h"

#include "KeyCapture.h"

namespace {

UndoSlot UndoOne(const JobPort& port, const JournalSlot& entry, bool force) {
    UndoSlot undo;
    undo.slot = entry.slot;
    const SlotCode now = ReadSlotCode(port, entry.slot);
    if (now.state == SlotCode::State::NoReply || now.state == SlotCode::State::Damaged) {
        undo.readFailed = true;
        undo.write.result = SlotWrite::Result::NoReadBack;
        return undo;
    }
    if (now.code == entry.before) {
        undo.state = UndoSlot::State::AsItWas;
        return undo;
    }
    // A write the run never saw end may or may not have happened: the run
    // was the slot's last writer either way.
    const bool leftByRun = !entry.after || now.code == *entry.after;
    if (!leftByRun && !force) {
        undo.state = UndoSlot::State::ChangedSince;
        return undo;
    }
    undo.write = WriteSlotChecked(port, entry.slot, entry.before, &now.code);
    undo.state = undo.write.Written() ? UndoSlot::State::Restored : UndoSlot::State::Failed;
    return undo;
}

void Count(UndoResult& result, const UndoSlot& slot) {
    switch (slot.state) {
    case UndoSlot::State::Restored:
        ++result.restored;
        break;
    case UndoSlot::State::AsItWas:
        ++result.asItWas;
        break;
    case UndoSlot::State::ChangedSince:
        ++result.changedSince;
        break;
    case UndoSlot::State::Failed:
        ++result.failed;
        break;
    }
}

} // namespace

UndoResult UndoJournalRun(const JobPort& port, const JournalRun& run, bool force,
                          IJobObserver& observer) {
    UndoResult result;
    const auto total = static_cast<int32_t>(run.slots.size());
    observer.OnStart(total);
    for (const JournalSlot& entry : run.slots) {
        if (port.Stopped()) {
            result.outcome = JobOutcome::Cancelled;
            break;
        }
        UndoSlot undo = UndoOne(port, entry, force);
        Count(result, undo);
        result.slots.push_back(undo);
        if (undo.readFailed) {
            result.outcome = JobOutcome::NoReply;
            break;
        }
        if (const JobOutcome ended = OutcomeOf(undo.write);
            undo.state == UndoSlot::State::Failed && ended != JobOutcome::Complete) {
            result.outcome = ended;
            break;
        }
        observer.OnProgress(static_cast<int32_t>(result.slots.size()), total);
    }
    return result;
}

SlotWrite ClearSlot(const JobPort& port, uint16_t slot) {
    return WriteSlotChecked(port, slot, {});
}
