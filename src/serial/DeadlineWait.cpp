#include "DeadlineWait.h"

#include <algorithm>
#include <cerrno>
#include <sys/timerfd.h>
#include <unistd.h>

namespace {

// One timer per thread, made at its first timed wait and closed when the
// thread ends. A wait whose deadline moved later (a read's interval after
// each byte) keeps a timer still to come: waking once early and waiting on
// costs less than re-arming for every byte of a reply.
class CThreadTimer {
public:
    CThreadTimer() : m_fd(timerfd_create(CLOCK_MONOTONIC, TFD_CLOEXEC | TFD_NONBLOCK)) {}
    ~CThreadTimer() {
        if (m_fd >= 0) {
            close(m_fd);
        }
    }
    CThreadTimer(const CThreadTimer&) = delete;
    CThreadTimer& operator=(const CThreadTimer&) = delete;

    // The descriptor that becomes readable at the deadline; -1 if none could be armed.
    int ArmAt(const Deadline& deadline) {
        if (m_fd < 0) {
            return -1;
        }
        if (m_armed && m_armedAt <= deadline.When() && m_armedAt > Deadline::Clock::now()) {
            return m_fd;
        }
        itimerspec when{};
        when.it_value = deadline.MonotonicTime();
        if (when.it_value.tv_sec == 0 && when.it_value.tv_nsec == 0) {
            when.it_value.tv_nsec = 1; // zero would disarm it
        }
        // Setting the timer also clears an expiry that nobody read.
        if (timerfd_settime(m_fd, TFD_TIMER_ABSTIME, &when, nullptr) != 0) {
            return -1;
        }
        m_armed = true;
        m_armedAt = deadline.When();
        return m_fd;
    }

private:
    int m_fd;
    bool m_armed = false;
    Deadline::Clock::time_point m_armedAt{};
};

// Without a timer: ppoll's own time-out, one sleep for what is left.
int PollRelative(pollfd* fds, nfds_t count, const Deadline& deadline) {
    const auto left =
        std::max(Deadline::Clock::duration::zero(), deadline.When() - Deadline::Clock::now());
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
    const timespec t{static_cast<time_t>(ns / 1'000'000'000),
                     static_cast<long>(ns % 1'000'000'000)};
    return ppoll(fds, count, &t, nullptr);
}

} // namespace

int PollUntil(pollfd* fds, nfds_t count, const Deadline& deadline) {
    switch (deadline.HowToSleep()) {
    case Deadline::Sleep::Forever:
        return ppoll(fds, count, nullptr, nullptr);
    case Deadline::Sleep::NotAtAll: {
        const timespec zero{};
        return ppoll(fds, count, &zero, nullptr);
    }
    case Deadline::Sleep::UntilDeadline:
        break;
    }
    if (count > MAX_POLL_FDS) {
        errno = EINVAL;
        return -1;
    }
    thread_local CThreadTimer timer;
    pollfd all[MAX_POLL_FDS + 1];
    std::copy_n(fds, count, all);
    for (;;) {
        const int timerFd = timer.ArmAt(deadline);
        if (timerFd < 0) {
            return PollRelative(fds, count, deadline);
        }
        all[count] = {timerFd, POLLIN, 0};
        const int r = ppoll(all, count + 1, nullptr, nullptr);
        if (r < 0) {
            return r;
        }
        const int ready = all[count].revents != 0 ? r - 1 : r;
        if (ready > 0 || deadline.Expired()) {
            for (nfds_t i = 0; i < count; ++i) {
                fds[i].revents = all[i].revents;
            }
            return ready;
        }
        // A timer kept from an earlier deadline rang: wait on.
    }
}
