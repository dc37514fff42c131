#pragma once

#include "JobPort.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// What one learn into a slot brought: the code the module stored, read back
// from the slot once it answered "Learn Ok!", or why there is none.
struct Capture {
    enum class Result {
        Code,        // learned and read back
        Failed,      // timed out, refused by the module, or its answer damaged
        Interrupted, // the running flag dropped or the interrupt rose
        Lost,        // the read back got no reply: the module is gone
    };
    Result result = Result::Failed;
    std::vector<uint8_t> code;
    std::string text; // the window's text of the learn's end, or what went wrong
};

// What a slot holds, read as an export reads it.
struct SlotCode {
    enum class State { Code, Empty, NoReply, Damaged };
    State state = State::NoReply;
    std::vector<uint8_t> code; // when Code
};
// A status reply, or a code reply too short to carry a code, is Empty.
SlotCode ReadSlotCode(const JobPort& port, uint16_t slot);

// After StartLearn on the port: waits for the answer as the window's learn
// timer polls, and on "Learn Ok!" reads the slot back as an export reads it.
// A slot that reads back empty or damaged is a failed capture.
Capture AwaitCapture(const JobPort& port, uint16_t slot,
                     const std::atomic<int32_t>* interrupt = nullptr);

// The positions (from 0) where two codes differ; a longer code differs at
// every position past the shorter one's end.
std::vector<size_t> DifferingPositions(const std::vector<uint8_t>& a,
                                       const std::vector<uint8_t>& b);
// "3, 17, 18" of positions counted from 1, at most the first 16, "…" after.
std::string PositionsText(const std::vector<size_t>& positions);
