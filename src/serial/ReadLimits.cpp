#include "ReadLimits.h"

#include <algorithm>

namespace {

constexpr uint32_t MAXDWORD = 0xFFFFFFFFu;

} // namespace

ReadLimits ReadLimitsFor(const CommTimeouts& t, uint32_t n, Deadline::Clock::time_point start) {
    const uint32_t interval = t.ReadIntervalTimeout;
    const uint32_t multiplier = t.ReadTotalTimeoutMultiplier;
    const uint32_t constant = t.ReadTotalTimeoutConstant;
    ReadLimits limits;
    limits.immediate = interval == MAXDWORD && multiplier == 0 && constant == 0;
    limits.firstByte =
        interval == MAXDWORD && multiplier == MAXDWORD && constant != 0 && constant != MAXDWORD;
    if (limits.firstByte) {
        limits.total = Deadline::AfterMs(constant, start);
    } else if (multiplier != 0 || constant != 0) {
        limits.total = Deadline::AfterMs(uint64_t{multiplier} * n + constant, start);
    }
    if (interval != MAXDWORD) {
        limits.interval = interval;
    }
    return limits;
}

Deadline WriteDeadlineFor(const CommTimeouts& t, uint32_t n, Deadline::Clock::time_point start) {
    const uint32_t multiplier = t.WriteTotalTimeoutMultiplier;
    const uint32_t constant = t.WriteTotalTimeoutConstant;
    if (multiplier == 0 && constant == 0) {
        return Deadline::Never();
    }
    return Deadline::AfterMs(uint64_t{multiplier} * n + constant, start);
}

Deadline ReadEnd(const ReadLimits& limits, bool anyByte, Deadline::Clock::time_point lastByte) {
    if (!anyByte || limits.interval == 0) {
        return limits.total;
    }
    // A gap of exactly the interval still ends the read: the wait runs just past it.
    return limits.total.Earlier(Deadline::After(
        std::chrono::milliseconds(limits.interval) + std::chrono::microseconds(1), lastByte));
}

Deadline ReplyReadEnd(const ReplyRead& read, bool anyByte, bool complete,
                      Deadline::Clock::time_point lastByte) {
    const Deadline latest = ReadEnd(read.limits, anyByte, std::max(lastByte, read.pauseEnd));
    if (!anyByte || !complete) {
        return latest;
    }
    return latest.Earlier(Deadline::At(lastByte + read.quietGap));
}

uint32_t ReadBoundMs(const CommTimeouts& timeouts, uint32_t n) {
    const auto start = Deadline::Clock::now();
    const Deadline total = ReadLimitsFor(timeouts, n, start).total;
    if (total.IsNever()) {
        return 0;
    }
    return static_cast<uint32_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(total.When() - start).count());
}
