#pragma once

#include "SerialSettings.h"

#include <cstdint>
#include <string>

// The exchanges with the module, each with its pause and read in the table.
enum class Exchange { GetVersion, ReadKey, SendKey, LearnPoll, ExportSlot, ImportLine };

// What an exchange waits after its frame before its one read, and the bytes
// that read asks for.
struct ExchangeStep {
    uint32_t pauseMs = 0;
    uint32_t readSize = 0;
};

// Pauses and read sizes of every exchange with the module, in one place.
// The window always runs on FixedTiming(); tests may hand in a scaled copy,
// and lumaret-cli runs by default on a copy that takes replies as soon as
// they are whole (--fixed-timing: the fixed one).
struct ExchangeTiming {
    uint32_t getVersionPauseMs = 100;
    uint32_t getVersionReadSize = 32;
    uint32_t readKeyPauseMs = 400;
    uint32_t readKeyReadSize = 512;
    uint32_t sendKeyPauseMs = 300;
    uint32_t sendKeyReadSize = 32;
    uint32_t learnPollPeriodMs = 100;
    uint32_t learnPollReadSize = 32;
    // Polls that complete no answer before a learn times out.
    int32_t learnPolls = 30;
    uint32_t exportPauseMs = 100;
    uint32_t exportReadSize = 512;
    uint32_t importPauseMs = 500;
    uint32_t importReadSize = 16;
    uint32_t importAttempts = 2;
    // Take a reply as soon as it is whole (its one expected size, or a valid
    // CRC of a kind not found unchecked) and quiet for the gap the session
    // learned (CReplyGap), instead of after the fixed pause and read; the
    // pauses and reads remain the bounds when it never is.
    bool wholeReplies = false;
    // The line time-outs the port runs with; a test may shorten the read
    // endings for bulk transfers.
    CommTimeouts lineTimeouts{};

    // The pause and read of an exchange. A learn poll reads at once: its
    // period lies between the polls, not before the read.
    ExchangeStep Step(Exchange exchange) const;
    // The longest an exchange waits for its reply on a silent line: its
    // pause, then the line's bound for its read.
    uint32_t BoundMs(Exchange exchange) const;
};

const ExchangeTiming& FixedTiming();

// The fixed table with every pause multiplied by factor (sizes and line
// time-outs unchanged).
ExchangeTiming ScaledTiming(double factor);

// The longest a learn waits for its answer: every allowed poll empty, each
// as long as the poll's read takes on a silent line or its period, whichever
// is longer.
uint32_t LearnWaitMs(const ExchangeTiming& timing);
// "about 13 seconds": a learn's whole wait to the nearest second.
std::string LearnWaitText(const ExchangeTiming& timing = FixedTiming());
