#pragma once

#include <cstdint>

// The kernel's view of the modem lines and line errors, turned into the bits
// the serial link reports.

// The MS_ bits of a TIOCMGET word.
uint32_t ModemStatusFromLines(int tiocmBits);
// The EV_ events of modem lines that changed between two MS_ readings.
uint32_t LineEventsBetween(uint32_t statusBefore, uint32_t statusNow);

// The kernel's error counters (TIOCGICOUNT).
struct ErrorCounters {
    int brk = 0, frame = 0, overrun = 0, parity = 0, bufOverrun = 0;
};
// The CE_ bits of the counters that moved.
uint32_t CommErrorsBetween(const ErrorCounters& before, const ErrorCounters& now);
// The EV_BREAK and EV_ERR events that CE_ bits stand for.
uint32_t ErrorEventsFrom(uint32_t commErrors);
