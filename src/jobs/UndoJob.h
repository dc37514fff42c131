#pragma once

#include "JobObserver.h"
#include "JobPort.h"
#include "ModuleJournal.h"
#include "SlotWrite.h"

#include <cstdint>
#include <string>
#include <vector>

// What became of one slot of the run being undone.
struct UndoSlot {
    enum class State {
        Restored,     // it holds again what the run found
        AsItWas,      // it already held what the run found: nothing written
        ChangedSince, // it holds neither what the run found nor what it wrote: left alone
        Failed,       // the read or the write failed (write says how)
    };
    uint16_t slot = 0;
    State state = State::Failed;
    SlotWrite write;
    bool readFailed = false; // the read before anything was written failed
};

struct UndoResult {
    JobOutcome outcome = JobOutcome::Complete;
    std::vector<UndoSlot> slots; // in the order undone
    int restored = 0;
    int asItWas = 0;
    int changedSince = 0;
    int failed = 0;
};

// Puts every slot a journaled run wrote back as the run found it, emptying
// those that were empty, and reads each back. A slot that holds neither what
// the run found nor what it left there was changed since; it is left alone
// unless force. Ends at a slot that gets no reply, and before the next slot
// once the running flag drops. Journaled itself when the port keeps a
// journal, so that undoing the undo redoes the run.
UndoResult UndoJournalRun(const JobPort& port, const JournalRun& run, bool force,
                          IJobObserver& observer);

// Empties one slot (journaled), and reads it back.
SlotWrite ClearSlot(const JobPort& port, uint16_t slot);
