#pragma once

#include "ExchangeTiming.h"
#include "ReplyChecks.h"

#include <atomic>
#include <cstdint>

class CJournalWriter;
class CSerialLink;

// What every job on a module needs: the open link, the timing of its
// exchanges, the flag that a front end drops to stop the job before its next
// slot or line, and the port session's reply checks (nullptr: each reply
// judged by its byte count alone, as the window judges them).
struct JobPort {
    CSerialLink& link;
    const ExchangeTiming& timing;
    const std::atomic<int32_t>& running;
    CReplyChecks* checks = nullptr;
    // Where what a slot held goes before a job writes it (SlotJournal.h);
    // nullptr: no journal, as the window writes.
    CJournalWriter* journal = nullptr;

    bool Stopped() const { return running.load() == 0; }
};

// How a job ended.
enum class JobOutcome {
    Complete,        // every slot or line was handled
    Cancelled,       // the running flag dropped
    NoReply,         // an exchange got no byte back
    NotAcknowledged, // a line was not acknowledged in its attempts
    Damaged,         // a reply stayed damaged on its repeat
    FileError,       // a line could not be stored
};
