#pragma once

#include "SerialSettings.h"

#include <cstdint>

// Pauses and read sizes of every exchange with the module, in one place.
// The program always runs on FixedTiming(); tests may hand in a scaled copy.
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
    // The line time-outs the port runs with; a test may shorten the read
    // endings for bulk transfers.
    CommTimeouts lineTimeouts{};
};

const ExchangeTiming& FixedTiming();

// The fixed table with every pause multiplied by factor (sizes and line
// time-outs unchanged).
ExchangeTiming ScaledTiming(double factor);
