#pragma once

#include <chrono>
#include <cstdint>
#include <ctime>
#include <optional>

// The moment a wait must end, on the monotonic clock, or none at all.
//
// Every wait of the serial layer and the simulator ends through one: PollUntil
// (DeadlineWait.h) arms a timer at When() and sleeps once, whatever the length
// of the wait. The clock reading is a parameter throughout, so the rules are
// tested without a clock of their own.
class Deadline {
public:
    using Clock = std::chrono::steady_clock;

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

    // How a wait on it sleeps: without a limit, not at all, or until When().
    enum class Sleep { Forever, NotAtAll, UntilDeadline };
    Sleep HowToSleep(Clock::time_point now = Clock::now()) const;
    // When() on CLOCK_MONOTONIC, the clock of steady_clock, as an absolute
    // timer takes it; a deadline before the clock's start is its start.
    timespec MonotonicTime() const;

private:
    Deadline() = default;
    explicit Deadline(Clock::time_point when) : m_when(when) {}
    std::optional<Clock::time_point> m_when;
};
