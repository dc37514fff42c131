#pragma once

#include "Reply.h"

#include <cstdint>
#include <set>
#include <vector>

// Faults a test or trial can switch on; all off by default.
struct SimFaults {
    bool silent = false;               // answer nothing at all
    int stopAfterSlot = -1;            // no answer to reads of slots above this (-1: off)
    std::vector<uint32_t> replyPieces; // split every reply into pieces of these sizes
    uint32_t pieceGapMs = 0;           // silence between two pieces
    int learnStatus = 0;               // status byte of a learn answer
    uint32_t learnDelayMs = 1500;      // time from a learn frame to its answer
    // In a room: how long a learn waits for a code to come in before it ends
    // without an answer.
    uint32_t learnWindowMs = 10000;
    // In a room: the chance (0 to 1) that a code a learn captures has one
    // byte changed, as a noisy reception would.
    double captureNoise = 0.0;
    uint32_t refuseWrites = 0; // leave this many write frames unacknowledged
    // Reply sizes of the write frames after the refused ones, in order: 0 sends
    // nothing and stores nothing, a size below 8 sends the first bytes of the
    // acknowledgement; frames beyond the list are answered in full.
    std::vector<uint32_t> writeReplySizes;
    // Send each reply byte at the 9600-baud byte time, and take in request
    // bytes no faster: a frame is whole once its last byte would have arrived.
    bool paced9600 = false;
    // Paced, the reply bytes go out this many at a time, each group once its
    // last byte would be through, as a USB adapter hands them on: the same
    // line time for a tenth of the wake-ups at 10 (1: byte by byte).
    uint32_t pacedBurst = 1;
    // From a whole request to the first byte of its reply, as a module takes
    // to answer (not a fault: on by default).
    uint32_t turnaroundMs = 2;
    // Every damageEvery-th reply, counting all replies since the faults were
    // set, goes out with a CRC byte flipped, as if damaged on the line (0: none).
    uint32_t damageEvery = 0;
    // Replies of these kinds keep their length but carry no valid CRC, as on
    // modules that check only some replies.
    std::set<ReplyKind> noCrcKinds;
    // Status byte of write acknowledgements; with any but 0 nothing is stored.
    int ackStatus = 0;
    // A learn frame is answered by a stream of bytes that never makes an
    // 8-byte answer (FLOOD_PIECE every FLOOD_INTERVAL_MS) until the next frame.
    bool floodLearn = false;
};
