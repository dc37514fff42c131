#include "Deadline.h"

#include <algorithm>

Deadline Deadline::Earlier(const Deadline& other) const {
    if (IsNever()) {
        return other;
    }
    if (other.IsNever()) {
        return *this;
    }
    return Deadline(std::min(*m_when, *other.m_when));
}

Deadline::Sleep Deadline::HowToSleep(Clock::time_point now) const {
    if (!m_when) {
        return Sleep::Forever;
    }
    return now >= *m_when ? Sleep::NotAtAll : Sleep::UntilDeadline;
}

timespec Deadline::MonotonicTime() const {
    const auto ns = std::max<int64_t>(
        0, std::chrono::duration_cast<std::chrono::nanoseconds>(When().time_since_epoch()).count());
    timespec t{};
    t.tv_sec = static_cast<time_t>(ns / 1'000'000'000);
    t.tv_nsec = static_cast<long>(ns % 1'000'000'000);
    return t;
}
