#pragma once

#include "SimFaults.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <utility>
#include <vector>

// 9600 baud, 8N1: ten bit times per byte.
inline constexpr std::chrono::nanoseconds BYTE_TIME_9600{1'000'000'000LL * 10 / 9600};

// The bytes a module still has to put on its line, each with the moment it
// is due: a reply's first byte a turnaround after it was decided, behind
// whatever is still going out, in the pieces and gaps the faults ask for,
// and paced, one byte time after another. Replies nobody reads wait only up
// to MAX_PENDING bytes; a reply beyond them is lost, as bytes sent on a line
// nobody reads are, instead of piling up. The clock reading is a parameter.
class CPacedOutput {
public:
    using Clock = std::chrono::steady_clock;

    static constexpr size_t MAX_PENDING = 8192;

    void QueueReply(const std::vector<uint8_t>& reply, const SimFaults& faults,
                    Clock::time_point now);
    // The bytes at once, unless something is still to go out: a reader that
    // does not keep up gets no more.
    void QueueUnlessBusy(const std::vector<uint8_t>& bytes, Clock::time_point now);

    // When the next byte is due, or a write the line refused is tried again.
    std::optional<Clock::time_point> NextDue() const;
    // The bytes due at now, oldest first; empty while a retry waits.
    std::vector<uint8_t> Due(Clock::time_point now) const;
    // The first count of them went out.
    void Sent(size_t count);
    // The line took none (its buffer full, nobody reads): none is due before when.
    void RetryAt(Clock::time_point when) { m_retry = when; }
    void Clear();

private:
    std::deque<std::pair<Clock::time_point, uint8_t>> m_bytes;
    Clock::time_point m_retry;
};
