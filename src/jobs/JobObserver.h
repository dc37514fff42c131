#pragma once

#include "DatabaseFormat.h"

#include <cstddef>
#include <cstdint>
#include <vector>

// What a read of one slot gave.
struct SlotResult {
    enum class State {
        Code,      // a code reply (1-7 bytes give an empty code)
        Empty,     // a status reply: the slot is empty
        NoReply,   // no byte came
        Damaged,   // the reply and its repeat failed their CRC
        NotStored, // the line could not be stored
    };
    uint16_t slot = 0;
    State state = State::NoReply;
    uint32_t replyBytes = 0;
    std::vector<uint8_t> code; // the code reply's code
};

// What became of one line of a database file.
struct LineResult {
    enum class State {
        Written,
        Malformed,       // "File format wrong": skipped
        NotAcknowledged, // no 8-byte acknowledgement in its attempts
        Refused,         // acknowledged with a status other than 0
        Damaged,         // its acknowledgements failed their CRC
        NotSent,         // the import ended before it
    };
    size_t index = 0; // from 0, in file order
    State state = State::NotSent;
    bool parsed = false; // slot and codeBytes are known
    uint16_t slot = 0;
    size_t codeBytes = 0;
    LineFault fault;        // when malformed
    uint8_t status = 0;     // when refused
    size_t duplicateOf = 0; // the line number (from 1) that named the slot before, 0 none
};

// What a job tells its front end while it runs. Every call comes from the
// job's own thread, in order, and returns once the front end has taken it.
class IJobObserver {
public:
    virtual ~IJobObserver() = default;
    // Before the first slot or line: how many there are.
    virtual void OnStart(int32_t total) { (void)total; }
    // After each slot or line.
    virtual void OnProgress(int32_t done, int32_t total) {
        (void)done;
        (void)total;
    }
    virtual void OnSlot(const SlotResult& slot) { (void)slot; }
    virtual void OnLine(const LineResult& line) { (void)line; }
};
