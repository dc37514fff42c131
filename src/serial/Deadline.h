#pragma once

#include <chrono>
#include <cstdint>
#include <optional>

// The moment a wait must end, on the monotonic clock, or none at all.
//
// Every wait of the serial layer and the simulator sleeps through NextSlice:
// never past the deadline, and never longer than MAX_SLICE at a time, because
// Linux lets poll() oversleep by up to 0.1% of what it was asked. Slices of at
// most 100 ms keep a wait within 0.1 ms of its bound, however long it is.
// The clock reading is a parameter throughout, so the rules are tested
// without a clock of their own.
class Deadline {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::milliseconds MAX_SLICE{100};

    // No deadline: a wait for an event only.
    static Deadline Never() { return Deadline(); }
    static Deadline At(Clock::time_point when) { return Deadline(when); }
    static Deadline After(std::chrono::nanoseconds span, Clock::time_point now = Clock::now()) {
        return Deadline(now + span);
    }
    static Deadline AfterMs(uint64_t ms, Clock::time_point now = Clock::now()) {
        return After(std::chrono::milliseconds(ms), now);
    }

    bool IsNever() const { return !m_when.has_value(); }
    Clock::time_point When() const { return m_when.value_or(Clock::time_point::max()); }
    bool Expired(Clock::time_point now = Clock::now()) const { return m_when && now >= *m_when; }
    // The earlier of the two.
    Deadline Earlier(const Deadline& other) const;
    // How long the next sleep may last: nullopt for no limit, zero once
    // expired, else the time left but at most MAX_SLICE.
    std::optional<std::chrono::nanoseconds> NextSlice(Clock::time_point now = Clock::now()) const;

private:
    Deadline() = default;
    explicit Deadline(Clock::time_point when) : m_when(when) {}
    std::optional<Clock::time_point> m_when;
};

struct timespec;
// A slice as ppoll() takes it; nullptr (no limit) for nullopt.
const struct timespec* SliceTimespec(const std::optional<std::chrono::nanoseconds>& slice,
                                     struct timespec& storage);
