#include "DeviceMap.h"
#include "PortDirectory.h"
#include "PublishedPty.h"
#include "RuntimeDir.h"
#include "SerialLink.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

long MsSince(Clock::time_point t) {
    return long(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t).count());
}

// The test plays the device on the master side of a pseudo-terminal whose
// slave is published as COM7 in a port directory of the test's own; the
// line is open on COM7 when a test starts.
class SerialLine : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_runtime.Valid());
        ASSERT_TRUE(m_pty.Open("COM7"));
        m_master = m_pty.Master();
        m_slave = m_pty.Slave(); // kept for looking at the input queue, never read
        ASSERT_TRUE(link.Open(7, 9600, 'N', 8, 0));
    }
    void Send(const uint8_t* bytes, size_t n) { ASSERT_EQ(write(m_master, bytes, n), ssize_t(n)); }
    // Closes the device's side: the line sees a hang-up.
    void HangUp() {
        m_pty.HangUp();
        m_master = -1;
    }
    // Waits, with a deadline, until the line's input queue holds n bytes.
    bool AwaitQueued(int n) {
        return AwaitInputQueue([n](int queued) { return queued >= n; });
    }
    // Waits, with a deadline, until a read on the line has taken every byte.
    bool AwaitTakenIn() {
        return AwaitInputQueue([](int queued) { return queued == 0; });
    }
    template <typename Condition> bool AwaitInputQueue(Condition holds) {
        const auto deadline = Clock::now() + std::chrono::seconds(2);
        int queued = 0;
        while (Clock::now() < deadline) {
            if (ioctl(m_slave, FIONREAD, &queued) == 0 && holds(queued)) {
                return true;
            }
            std::this_thread::yield();
        }
        return false;
    }

    PrivateRuntimeDir m_runtime{"serial-line"};
    PublishedPty m_pty;
    int m_master = -1;
    int m_slave = -1;
    CSerialLink link;
};

TEST_F(SerialLine, SilentReadsEndByTheirTotalTimeout) {
    uint8_t buf[32];
    for (uint32_t n : {16u, 32u}) {
        const auto start = Clock::now();
        EXPECT_EQ(link.Read(buf, n), 0u);
        const long ms = MsSince(start);
        EXPECT_GE(ms, long(100 + 10 * n)) << n;
        EXPECT_LT(ms, long(100 + 10 * n) + 400) << n;
    }
}

TEST_F(SerialLine, SilentReadOf512EndsAfter5220Ms) {
    uint8_t buf[512];
    const auto start = Clock::now();
    EXPECT_EQ(link.Read(buf, 512), 0u);
    EXPECT_GE(MsSince(start), 5220);
    EXPECT_LT(MsSince(start), 6500);
}

TEST_F(SerialLine, ShortReplyEndsByTheInterval) {
    const uint8_t reply[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    uint8_t buf[32] = {};
    Send(reply, 8);
    ASSERT_TRUE(AwaitQueued(8));
    const auto start = Clock::now();
    EXPECT_EQ(link.Read(buf, 32), 8u);
    const long ms = MsSince(start);
    EXPECT_GE(ms, 100);
    EXPECT_LT(ms, 400);
    EXPECT_EQ(std::memcmp(buf, reply, 8), 0);
}

TEST_F(SerialLine, LongReplyFillsTheBufferAndLeavesTheRest) {
    uint8_t reply[40];
    for (int i = 0; i < 40; ++i) {
        reply[i] = uint8_t(i);
    }
    Send(reply, 40);
    ASSERT_TRUE(AwaitQueued(40));
    uint8_t buf[32] = {};
    // The bytes may reach the slave in pieces; 32 must come before the interval ends.
    const auto start = Clock::now();
    EXPECT_EQ(link.Read(buf, 32), 32u);
    EXPECT_LT(MsSince(start), 100);
    EXPECT_EQ(buf[31], 31);
    EXPECT_EQ(link.Read(buf, 32), 8u);
    EXPECT_EQ(buf[0], 32);
}

TEST_F(SerialLine, PurgeInputDiscardsEarlierBytes) {
    const uint8_t old[4] = {9, 9, 9, 9}, fresh[2] = {1, 2};
    Send(old, 4);
    uint8_t buf[16];
    ASSERT_TRUE(AwaitQueued(4));
    EXPECT_TRUE(link.PurgeInput());
    Send(fresh, 2);
    EXPECT_EQ(link.Read(buf, 16), 2u);
    EXPECT_EQ(buf[0], 1);
}

TEST_F(SerialLine, CloseReleasesABlockedReadWithItsBytes) {
    CommTimeouts slow{0, 0, 0, 10, 100}; // no read time-out at all
    ASSERT_TRUE(link.SetTimeouts(slow));
    const uint8_t part[3] = {5, 6, 7};
    Send(part, 3);
    ASSERT_TRUE(AwaitQueued(3));
    uint32_t got = 99;
    uint8_t buf[32];
    std::thread reader([&] { got = link.Read(buf, 32); });
    EXPECT_TRUE(AwaitTakenIn()); // the read holds the 3 bytes and waits for more
    const auto start = Clock::now();
    link.Close();
    reader.join();
    EXPECT_GE(MsSince(start), 1000);
    EXPECT_LT(MsSince(start), 2500);
    EXPECT_EQ(got, 3u);
    EXPECT_FALSE(link.IsOpen());
}

TEST_F(SerialLine, AbortStaysRaisedUntilResetOrAnEndedWrite) {
    uint8_t buf[32];
    uint32_t got = 99;
    const auto start = Clock::now();
    std::thread reader([&] { got = link.Read(buf, 32); });
    ASSERT_TRUE(link.Abort());
    reader.join();
    EXPECT_EQ(got, 0u);
    EXPECT_LT(MsSince(start), 400);
    // Still raised: the next read that has to wait ends at once.
    auto t = Clock::now();
    EXPECT_EQ(link.Read(buf, 32), 0u);
    EXPECT_LT(MsSince(t), 100);
    ASSERT_TRUE(link.ResetAbort());
    t = Clock::now();
    EXPECT_EQ(link.Read(buf, 16), 0u);
    EXPECT_GE(MsSince(t), 260);
}

TEST_F(SerialLine, HungUpPeerEndsTransfersAtOnce) {
    HangUp();
    uint8_t buf[512] = {};
    const auto start = Clock::now();
    EXPECT_EQ(link.Read(buf, 512), 0u);
    EXPECT_FALSE(link.Write(buf, 12));
    EXPECT_LT(MsSince(start), 1000);
}

TEST_F(SerialLine, SecondExclusiveOpenFails) {
    CSerialLink second;
    EXPECT_FALSE(second.Open(7, 9600, 'N', 8, 0));
    EXPECT_FALSE(second.IsOpen());
    EXPECT_TRUE(link.Open(7, 9600, 'N', 8, 0)) << "the same port again keeps it";
    EXPECT_TRUE(link.IsOpen());
    const uint8_t req[12] = {};
    EXPECT_TRUE(link.Write(req, 12));
}

TEST_F(SerialLine, StaleLinksAreNotListed) {
    EXPECT_EQ(ResolveComDevice(7), m_pty.LinkPath());
    m_pty.Withdraw();
    EXPECT_TRUE(ResolveComDevice(7).empty());
}

TEST_F(SerialLine, QueueCountsWithoutErrorCounters) {
    EXPECT_EQ(link.GetInputCount(), 0u);
    const uint8_t bytes[5] = {1, 2, 3, 4, 5};
    Send(bytes, sizeof bytes);
    ASSERT_TRUE(AwaitQueued(5));
    EXPECT_EQ(link.GetInputCount(), 5u);
    // A pseudo-terminal has no error counters: no errors, the queues still.
    uint32_t errors = 99;
    ComStat stat;
    ASSERT_TRUE(link.ClearErrors(errors, stat));
    EXPECT_EQ(errors, 0u);
    EXPECT_EQ(stat.cbInQue, 5u);
    EXPECT_EQ(stat.flags, 0u);
    EXPECT_EQ(link.BreakDetected(), 0u);
    // Nor modem lines.
    EXPECT_EQ(link.GetModemStatus(), 0u);
}

TEST_F(SerialLine, DeadlineReadsStopAtNBytesOrTheDeadline) {
    const uint8_t bytes[4] = {9, 8, 7, 6};
    Send(bytes, sizeof bytes);
    ASSERT_TRUE(AwaitQueued(4));
    uint8_t buf[16] = {};
    auto start = Clock::now();
    EXPECT_EQ(link.ReadTimed(buf, 3, 3000), 3u);
    EXPECT_LT(MsSince(start), 1000);
    EXPECT_EQ(buf[2], 7);
    // One byte left, ten asked for: the deadline ends it.
    start = Clock::now();
    EXPECT_EQ(link.ReadTimed(buf, 10, 300), 1u);
    EXPECT_GE(MsSince(start), 300);
    EXPECT_LT(MsSince(start), 700);
    EXPECT_EQ(buf[0], 6);

    int pumped = 0;
    link.SetMessagePump([&] { ++pumped; });
    start = Clock::now();
    EXPECT_EQ(link.ReadWithin(buf, 10, 200), 0u);
    EXPECT_GE(MsSince(start), 200);
    EXPECT_LT(MsSince(start), 600);
    EXPECT_GE(pumped, 3);
    Send(bytes, 1);
    EXPECT_EQ(link.ReadByte(buf, 2000), 1u);
    EXPECT_EQ(buf[0], 9);
}

TEST_F(SerialLine, AbortEndsDeadlineReadsUntilReset) {
    uint8_t buf[4];
    ASSERT_TRUE(link.Abort());
    for (int i = 0; i < 2; ++i) {
        const auto start = Clock::now();
        EXPECT_EQ(link.ReadTimed(buf, 4, 3000), 0u);
        EXPECT_LT(MsSince(start), 1000);
    }
    ASSERT_TRUE(link.ResetAbort());
    const auto start = Clock::now();
    EXPECT_EQ(link.ReadTimed(buf, 4, 150), 0u);
    EXPECT_GE(MsSince(start), 150);
}

TEST_F(SerialLine, QueuedReadWithAShortBuffer) {
    const uint8_t bytes[10] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
    Send(bytes, sizeof bytes);
    ASSERT_TRUE(AwaitQueued(10));
    uint8_t buf[4] = {};
    EXPECT_EQ(link.ReadQueued(buf, 4), 4u);
    EXPECT_EQ(buf[3], 3);
    EXPECT_EQ(link.GetInputCount(), 6u);
    const auto start = Clock::now();
    EXPECT_EQ(link.ReadQueuedAfter(buf, 4, 100), 4u);
    EXPECT_GE(MsSince(start), 100);
    EXPECT_EQ(buf[0], 4);
}

TEST_F(SerialLine, WriteWithinTimesOutOnAFullLine) {
    // Nobody reads the master side, so this never fits.
    const std::vector<uint8_t> big(1 << 20, 0x55);
    const auto start = Clock::now();
    EXPECT_FALSE(link.WriteWithin(big.data(), uint32_t(big.size()), 250));
    EXPECT_GE(MsSince(start), 250);
    EXPECT_LT(MsSince(start), 750);
    EXPECT_TRUE(link.PurgeOutput());
}

TEST_F(SerialLine, WaitForInputEndsByInputTimeOrSignal) {
    auto start = Clock::now();
    EXPECT_EQ(link.WaitForEvent(EV_RXCHAR | EV_CTS, 200), 0u);
    EXPECT_GE(MsSince(start), 200);
    EXPECT_LT(MsSince(start), 600);

    // The closing signal, raised from another thread, ends the wait with 0.
    start = Clock::now();
    std::thread interrupter([&] { link.InterruptTransfers(300); });
    EXPECT_EQ(link.WaitForEvent(EV_RXCHAR, 5000), 0u);
    EXPECT_LT(MsSince(start), 2000);
    interrupter.join();

    // Input arriving while the wait runs wakes it.
    const uint8_t bytes[3] = {1, 2, 3};
    std::thread sender([&] { Send(bytes, 1); });
    start = Clock::now();
    EXPECT_EQ(link.WaitForEvent(EV_RXCHAR, 5000), EV_RXCHAR);
    EXPECT_LT(MsSince(start), 2000);
    sender.join();

    // The abort signal ends the wait as a time-out and is lowered by it.
    uint8_t buf[4];
    ASSERT_EQ(link.ReadTimed(buf, 1, 1000), 1u);
    ASSERT_TRUE(link.Abort());
    start = Clock::now();
    EXPECT_EQ(link.WaitForEvent(EV_RXCHAR, 5000), 0u);
    EXPECT_LT(MsSince(start), 1000);
    start = Clock::now();
    EXPECT_EQ(link.ReadTimed(buf, 1, 150), 0u);
    EXPECT_GE(MsSince(start), 150);
}

TEST_F(SerialLine, WaitForCharSeesItsCharacterAndKeepsTheInput) {
    const std::string text = "abcZdef";
    Send(reinterpret_cast<const uint8_t*>(text.data()), text.size());
    EXPECT_TRUE(link.WaitForChar('Z', 2000));
    const std::string more = "xyz";
    Send(reinterpret_cast<const uint8_t*>(more.data()), more.size());
    const auto start = Clock::now();
    EXPECT_FALSE(link.WaitForChar('Q', 200));
    EXPECT_GE(MsSince(start), 200);
    // What the waits looked at is still there, in order.
    EXPECT_EQ(link.GetInputCount(), 10u);
    uint8_t buf[16] = {};
    EXPECT_EQ(link.ReadTimed(buf, 10, 2000), 10u);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buf), 10), "abcZdefxyz");

    Send(reinterpret_cast<const uint8_t*>(more.data()), more.size());
    EXPECT_EQ(link.WaitAndRead(buf, 3, 2000), 3u);
    EXPECT_EQ(buf[2], 'z');
}

TEST_F(SerialLine, ReadBesideAWaitForCharGetsTheBytesTheWaitTookIn) {
    // Whichever of the two takes the bytes off the line first, the read
    // sees them at once instead of at its deadline.
    for (int round = 0; round < 5; ++round) {
        SCOPED_TRACE(round);
        std::atomic<bool> seen{false};
        std::thread waiter([&] { seen = link.WaitForChar('Z', 3000); });
        uint8_t buf[4] = {};
        uint32_t got = 0;
        std::thread reader([&] { got = link.ReadTimed(buf, 4, 3000); });
        const auto start = Clock::now();
        const std::string text = "abcZ";
        Send(reinterpret_cast<const uint8_t*>(text.data()), text.size());
        reader.join();
        EXPECT_LT(MsSince(start), 1000);
        // A wait that lost the bytes to the read is ended by another Z.
        Send(reinterpret_cast<const uint8_t*>("Z"), 1);
        waiter.join();
        EXPECT_TRUE(seen);
        EXPECT_EQ(got, 4u);
        EXPECT_EQ(std::string(reinterpret_cast<char*>(buf), got), "abcZ");
        EXPECT_TRUE(link.PurgeInput());
    }
}

} // namespace

// A reply read whole on a line whose gap is learned wakes a few times per
// reply, not once per byte, and is taken soon after its last byte, not at
// the read's interval.
TEST_F(SerialLine, ReplyReadRestsWhileAReplyStreamsIn) {
    constexpr uint32_t SIZE = 240;
    CReplyGap gap;
    for (uint32_t i = 0; i < CReplyGap::LEARNING_REPLIES; ++i) {
        gap.CountReply();
    }
    Clock::time_point lastSent;
    std::thread device([&] {
        for (uint32_t i = 0; i < SIZE; ++i) {
            const uint8_t byte = uint8_t(i);
            Send(&byte, 1);
            lastSent = Clock::now();
            std::this_thread::sleep_for(std::chrono::microseconds(1042));
        }
    });
    rusage before{};
    getrusage(RUSAGE_THREAD, &before);
    uint8_t buf[512] = {};
    const uint32_t got = link.ReadReply(
        buf, sizeof buf, 0, gap, 8, [](const uint8_t*, uint32_t count) { return count == SIZE; });
    const auto taken = Clock::now();
    rusage after{};
    getrusage(RUSAGE_THREAD, &after);
    device.join();
    EXPECT_EQ(got, SIZE);
    EXPECT_EQ(buf[SIZE - 1], uint8_t(SIZE - 1));
    // About 260 ms of reply: one wake-up a byte would be 240.
    EXPECT_LT(after.ru_nvcsw - before.ru_nvcsw, 40) << "wake-ups";
    EXPECT_LT(taken - lastSent, std::chrono::milliseconds(60));
}
