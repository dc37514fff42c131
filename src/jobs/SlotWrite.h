#pragma once

#include "JobPort.h"
#include "SlotJournal.h"

#include <cstdint>
#include <string>
#include <vector>

// One slot made to hold a code (an empty code empties it): journaled when the
// port keeps a journal, written, then read back to see that it holds it.
struct SlotWrite {
    enum class Result {
        Written,         // read back as written
        JournalStopped,  // the journal step before it failed: nothing written
        NotAcknowledged, // no acknowledgement in its attempts
        Refused,         // acknowledged with a status other than 0
        Damaged,         // its acknowledgements, or the read back, stayed damaged
        TooLong,         // more than a write can carry
        ReadBackDiffers, // acknowledged, but the slot holds something else
        NoReadBack,      // acknowledged, but the read back got no reply
    };
    Result result = Result::NotAcknowledged;
    JournalStep journal = JournalStep::Ready;
    uint8_t status = 0; // when refused
    bool Written() const { return result == Result::Written; }
};
// current: what the slot is known to hold (so the journal needs no read), or nullptr.
SlotWrite WriteSlotChecked(const JobPort& port, uint16_t slot, const std::vector<uint8_t>& code,
                           const std::vector<uint8_t>* current = nullptr);
// "written", "not acknowledged", "refused (status 3)", ... for a report line.
std::string SlotWriteText(const JobPort& port, uint16_t slot, const SlotWrite& write);
// How a job ends after a write that failed: NoReply when the module stopped
// answering, Damaged for a damaged reply; Complete for a failure the next
// slot may follow (refused, too long, read back differing).
JobOutcome OutcomeOf(const SlotWrite& write);
