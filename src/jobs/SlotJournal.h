#pragma once

#include "JobPort.h"

#include <cstdint>
#include <string>
#include <vector>

// Every job that writes a slot keeps, when its port has a journal, what the
// slot held before: it is read first (one read a slot written), and the
// write waits until the journal holds it.
enum class JournalStep {
    Ready,         // journaled, or no journal: the slot may be written
    NoReply,       // the read before the write got no reply
    Damaged,       // the read before the write stayed damaged
    JournalFailed, // the journal could not be stored: nothing is written
};
JournalStep JournalBefore(const JobPort& port, uint16_t slot);
// The same with what the job already read from the slot.
JournalStep JournalKnown(const JobPort& port, uint16_t slot, const std::vector<uint8_t>& code);
// After the write: what the slot holds now.
void JournalAfter(const JobPort& port, uint16_t slot, const std::vector<uint8_t>& code);

// After a learn into slot: with a journal, the slot read back and journaled.
void JournalCapture(const JobPort& port, uint16_t slot);

// How a job ends when a journal step stops it before a write.
JobOutcome OutcomeOf(JournalStep step);
// "no reply to the read of slot 7 before it was written", or the journal's problem.
std::string JournalStepText(const JobPort& port, JournalStep step, uint16_t slot);
