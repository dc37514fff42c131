#pragma once

#include "ExchangeTiming.h"

// The program's exchanges with short pauses and read endings: the same steps
// and frames in a fraction of the time, for tests that run many of them.
inline ExchangeTiming BulkTiming() {
    ExchangeTiming timing = ScaledTiming(0.05);
    timing.lineTimeouts.ReadIntervalTimeout = 10;
    timing.lineTimeouts.ReadTotalTimeoutMultiplier = 1;
    timing.lineTimeouts.ReadTotalTimeoutConstant = 200;
    return timing;
}
