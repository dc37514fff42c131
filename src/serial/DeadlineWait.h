#pragma once

#include "Deadline.h"

#include <poll.h>

// ppoll() over fds until one is ready or the deadline passes, with one
// wake-up however long the wait: a timerfd armed at the deadline
// (CLOCK_MONOTONIC, absolute) joins the set, so the end is neither early nor
// stretched by the slack that poll's own time-out gets (0.1 % of it).
// A deadline already past polls without blocking. Returns the number of fds
// ready (0 when the deadline came first), or -1 with errno as ppoll sets it.
// At most MAX_POLL_FDS descriptors.
constexpr nfds_t MAX_POLL_FDS = 7;
int PollUntil(pollfd* fds, nfds_t count, const Deadline& deadline);
