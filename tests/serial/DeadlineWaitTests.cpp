#include "DeadlineWait.h"
#include "PublishedPty.h"
#include "RuntimeDir.h"
#include "SerialLink.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <sys/eventfd.h>
#include <thread>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

double MsBetween(Clock::time_point a, Clock::time_point b) {
    return std::chrono::duration<double, std::milli>(b - a).count();
}

class EventFd {
public:
    EventFd() : fd(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}
    ~EventFd() { close(fd); }
    EventFd(const EventFd&) = delete;
    EventFd& operator=(const EventFd&) = delete;
    void Raise() const {
        const uint64_t one = 1;
        ASSERT_EQ(write(fd, &one, sizeof one), ssize_t(sizeof one));
    }
    int fd;
};

TEST(PollUntil, EndsOnItsDeadlineOnAnEventOrAtOnceWhenPast) {
    EventFd event;
    pollfd fds[1] = {{event.fd, POLLIN, 0}};

    // Nothing ready: the deadline ends it, not earlier and hardly later.
    auto start = Clock::now();
    EXPECT_EQ(PollUntil(fds, 1, Deadline::After(60ms, start)), 0);
    EXPECT_GE(MsBetween(start, Clock::now()), 60.0);
    EXPECT_LT(MsBetween(start, Clock::now()), 150.0);
    EXPECT_EQ(fds[0].revents, 0);

    // The same deadline again, now past: no sleep.
    const Deadline past = Deadline::After(1ms, start);
    start = Clock::now();
    EXPECT_EQ(PollUntil(fds, 1, past), 0);
    EXPECT_LT(MsBetween(start, Clock::now()), 50.0); // room for a busy machine

    // An event from another thread ends a long wait.
    start = Clock::now();
    std::thread raiser([&event] {
        std::this_thread::sleep_for(20ms);
        event.Raise();
    });
    EXPECT_EQ(PollUntil(fds, 1, Deadline::After(5s)), 1);
    raiser.join();
    EXPECT_LT(MsBetween(start, Clock::now()), 1000.0);
    EXPECT_TRUE(fds[0].revents & POLLIN);

    // A ready descriptor is reported even when the deadline has passed.
    EXPECT_EQ(PollUntil(fds, 1, past), 1);
    EXPECT_EQ(PollUntil(fds, 1, Deadline::Never()), 1);
}

// A read's deadline moves later with each byte; the timer of the earlier
// one must not end the later wait.
TEST(PollUntil, ALaterDeadlineIsWaitedForInFull) {
    EventFd event;
    pollfd fds[1] = {{event.fd, POLLIN, 0}};
    const auto start = Clock::now();
    std::thread raiser([&event] {
        std::this_thread::sleep_for(5ms);
        event.Raise();
    });
    EXPECT_EQ(PollUntil(fds, 1, Deadline::After(30ms, start)), 1);
    raiser.join();
    uint64_t value = 0;
    ASSERT_EQ(read(event.fd, &value, sizeof value), ssize_t(sizeof value));
    EXPECT_EQ(PollUntil(fds, 1, Deadline::After(70ms, start)), 0);
    EXPECT_GE(MsBetween(start, Clock::now()), 70.0);
}

TEST(PollUntil, EachThreadWaitsOnItsOwnDeadline) {
    EventFd never;
    std::atomic<double> shortMs{0}, longMs{0};
    const auto start = Clock::now();
    std::thread longWait([&] {
        pollfd fds[1] = {{never.fd, POLLIN, 0}};
        PollUntil(fds, 1, Deadline::After(150ms, start));
        longMs = MsBetween(start, Clock::now());
    });
    pollfd fds[1] = {{never.fd, POLLIN, 0}};
    PollUntil(fds, 1, Deadline::After(40ms, start));
    shortMs = MsBetween(start, Clock::now());
    longWait.join();
    EXPECT_GE(shortMs.load(), 40.0);
    EXPECT_LT(shortMs.load(), 140.0);
    EXPECT_GE(longMs.load(), 150.0);
}

// A read on the line waits for 5.22 s; an abort from another thread ends it
// almost at once (the bound leaves room for a machine running other tests, and
// is still far below any of the read's own rests and intervals).
TEST(PollUntil, AbortFromAnotherThreadEndsALongReadAtOnce) {
    const PrivateRuntimeDir runtime("deadline-wait");
    ASSERT_TRUE(runtime.Valid());
    PublishedPty pty;
    ASSERT_TRUE(pty.Open("COM7"));
    CSerialLink link;
    ASSERT_TRUE(link.Open(7, 9600, 'N', 8, 0));
    std::atomic<bool> started{false};
    Clock::time_point ended;
    uint32_t got = 99;
    std::thread reader([&] {
        uint8_t buf[512];
        started = true;
        got = link.Read(buf, 512);
        ended = Clock::now();
    });
    while (!started) {
        std::this_thread::yield();
    }
    std::this_thread::sleep_for(100ms); // well inside the read's wait
    const auto aborted = Clock::now();
    ASSERT_TRUE(link.Abort());
    reader.join();
    EXPECT_EQ(got, 0u);
    EXPECT_LT(MsBetween(aborted, ended), 50.0);
}

} // namespace
