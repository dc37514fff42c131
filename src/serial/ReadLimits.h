#pragma once

#include "Deadline.h"
#include "SerialSettings.h"

#include <cstdint>

// When a read ends besides having all its bytes, as the stored line
// time-outs say: an overall deadline, a gap after a byte (0: none), at once
// with what is queued, or as soon as the first byte is in.
struct ReadLimits {
    Deadline total = Deadline::Never();
    uint32_t interval = 0;
    bool immediate = false;
    bool firstByte = false;
};

// The limits of a read of n bytes that starts at start.
//  - both totals 0: no overall limit;
//  - interval MAXDWORD with no totals: take what is queued and return;
//  - interval and multiplier MAXDWORD, a constant between: wait up to the
//    constant for the first byte, then return what is there;
//  - otherwise the total is multiplier * n + constant, and the interval (unless
//    MAXDWORD) ends the read that long after its last byte.
ReadLimits ReadLimitsFor(const CommTimeouts& timeouts, uint32_t n,
                         Deadline::Clock::time_point start);

// How long a read of n bytes lasts at most when nothing comes, in
// milliseconds; 0 when it has no overall limit.
uint32_t ReadBoundMs(const CommTimeouts& timeouts, uint32_t n);

// The deadline of a write of n bytes: multiplier * n + constant, none when both are 0.
Deadline WriteDeadlineFor(const CommTimeouts& timeouts, uint32_t n,
                          Deadline::Clock::time_point start);

// The moment a read with these limits ends, given when its last byte came
// (none yet: the overall deadline alone).
Deadline ReadEnd(const ReadLimits& limits, bool anyByte, Deadline::Clock::time_point lastByte);

// A read of a reply that is taken once the bytes make a whole reply: what
// ends it at the latest is the read with these limits that starts when a
// pause ends (bytes that came during the pause count from the pause's end);
// once the bytes are complete, quietGap after the last byte ends it sooner
// unless another byte comes.
struct ReplyRead {
    ReadLimits limits; // of the read after the pause
    Deadline::Clock::time_point pauseEnd;
    std::chrono::microseconds quietGap;
};
Deadline ReplyReadEnd(const ReplyRead& read, bool anyByte, bool complete,
                      Deadline::Clock::time_point lastByte);
