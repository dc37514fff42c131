#include "Deadline.h"

#include <algorithm>
#include <ctime>

Deadline Deadline::Earlier(const Deadline& other) const {
    if (IsNever()) {
        return other;
    }
    if (other.IsNever()) {
        return *this;
    }
    return Deadline(std::min(*m_when, *other.m_when));
}

std::optional<std::chrono::nanoseconds> Deadline::NextSlice(Clock::time_point now) const {
    if (!m_when) {
        return std::nullopt;
    }
    if (now >= *m_when) {
        return std::chrono::nanoseconds::zero();
    }
    return std::min<std::chrono::nanoseconds>(*m_when - now, MAX_SLICE);
}

const struct timespec* SliceTimespec(const std::optional<std::chrono::nanoseconds>& slice,
                                     struct timespec& storage) {
    if (!slice) {
        return nullptr;
    }
    const auto ns = slice->count();
    storage.tv_sec = static_cast<time_t>(ns / 1'000'000'000);
    storage.tv_nsec = static_cast<long>(ns % 1'000'000'000);
    return &storage;
}
