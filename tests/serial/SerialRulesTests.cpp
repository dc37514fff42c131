// The serial layer's pure rules, with no device: deadlines and their slices
// on an injected clock, read limits from the stored time-outs, modem-line and
// error bits, and the line settings a DCB turns into.

#include "DcbTermios.h"
#include "Deadline.h"
#include "LineBits.h"
#include "ReadLimits.h"
#include "ReplyGap.h"
#include "SerialDriver.h"

#include <gtest/gtest.h>

#include <sys/ioctl.h>

namespace {

using namespace std::chrono_literals;
using Clock = Deadline::Clock;
const Clock::time_point T0 = Clock::time_point() + 1000s;

TEST(DeadlineTest, SleepsUntilItsMomentOnTheMonotonicClock) {
    const Deadline d = Deadline::AfterMs(5220, T0);
    EXPECT_EQ(d.HowToSleep(T0), Deadline::Sleep::UntilDeadline);
    EXPECT_EQ(d.HowToSleep(T0 + 5219ms + 999us), Deadline::Sleep::UntilDeadline);
    EXPECT_FALSE(d.Expired(T0 + 5219ms + 999us));
    // Reached or passed: no sleep at all.
    EXPECT_TRUE(d.Expired(T0 + 5220ms));
    EXPECT_EQ(d.HowToSleep(T0 + 5220ms), Deadline::Sleep::NotAtAll);
    EXPECT_EQ(d.HowToSleep(T0 + 6s), Deadline::Sleep::NotAtAll);
    // The timer is armed at the deadline itself, to the nanosecond.
    const timespec at = Deadline::At(T0 + 5220ms + 7ns).MonotonicTime();
    EXPECT_EQ(at.tv_sec, 1005);
    EXPECT_EQ(at.tv_nsec, 220'000'007);

    const Deadline never = Deadline::Never();
    EXPECT_TRUE(never.IsNever());
    EXPECT_FALSE(never.Expired(T0 + 1000000s));
    EXPECT_EQ(never.HowToSleep(T0 + 1000000s), Deadline::Sleep::Forever);
}

TEST(DeadlineTest, EarlierOfTwo) {
    const Deadline soon = Deadline::AfterMs(10, T0);
    const Deadline late = Deadline::AfterMs(20, T0);
    EXPECT_EQ(soon.Earlier(late).When(), soon.When());
    EXPECT_EQ(late.Earlier(soon).When(), soon.When());
    EXPECT_EQ(Deadline::Never().Earlier(late).When(), late.When());
    EXPECT_EQ(late.Earlier(Deadline::Never()).When(), late.When());
    EXPECT_TRUE(Deadline::Never().Earlier(Deadline::Never()).IsNever());
}

TEST(ReadLimitsTest, FromTheStoredTimeouts) {
    constexpr uint32_t MAX = 0xFFFFFFFFu;
    struct Case {
        const char* name;
        CommTimeouts timeouts;
        uint32_t n;
        bool never;
        std::chrono::milliseconds total;
        uint32_t interval;
        bool immediate, firstByte;
    };
    const Case cases[] = {
        {"the program's own", {100, 10, 100, 10, 100}, 512, false, 5220ms, 100, false, false},
        {"no totals", {50, 0, 0, 0, 0}, 32, true, 0ms, 50, false, false},
        {"queued only", {MAX, 0, 0, 0, 0}, 32, true, 0ms, 0, true, false},
        {"first byte", {MAX, MAX, 250, 0, 0}, 32, false, 250ms, 0, false, true},
        {"interval off", {MAX, 2, 30, 0, 0}, 10, false, 50ms, 0, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const ReadLimits limits = ReadLimitsFor(c.timeouts, c.n, T0);
        EXPECT_EQ(limits.total.IsNever(), c.never);
        if (!c.never) {
            EXPECT_EQ(limits.total.When(), T0 + c.total);
        }
        EXPECT_EQ(limits.interval, c.interval);
        EXPECT_EQ(limits.immediate, c.immediate);
        EXPECT_EQ(limits.firstByte, c.firstByte);
    }
}

TEST(ReadLimitsTest, IntervalEndsTheReadAfterItsLastByte) {
    const ReadLimits limits = ReadLimitsFor(CommTimeouts{}, 512, T0);
    // Nothing yet: the overall deadline alone.
    EXPECT_EQ(ReadEnd(limits, false, T0).When(), T0 + 5220ms);
    // A byte at 300 ms: the read ends just past 400 ms.
    const Deadline end = ReadEnd(limits, true, T0 + 300ms);
    EXPECT_FALSE(end.Expired(T0 + 400ms));
    EXPECT_TRUE(end.Expired(T0 + 400ms + 1us));
    // A byte just before the total: the total still holds.
    EXPECT_EQ(ReadEnd(limits, true, T0 + 5200ms).When(), T0 + 5220ms);

    EXPECT_EQ(WriteDeadlineFor(CommTimeouts{}, 12, T0).When(), T0 + 220ms);
    EXPECT_TRUE(WriteDeadlineFor(CommTimeouts{100, 10, 100, 0, 0}, 12, T0).IsNever());
}

// A reply read after a 100 ms pause, with the window's line time-outs.
TEST(ReadLimitsTest, AWholeReplyEndsAQuietGapAfterItsLastByte) {
    const Clock::time_point pauseEnd = T0 + 100ms;
    const ReplyRead read{ReadLimitsFor(CommTimeouts{}, 512, pauseEnd), pauseEnd, 20ms};
    // Nothing yet: the read's own total, counted from the pause's end.
    EXPECT_EQ(ReplyReadEnd(read, false, false, T0).When(), T0 + 100ms + 5220ms);
    // A whole reply during the pause is taken 20 ms after its last byte.
    EXPECT_EQ(ReplyReadEnd(read, true, true, T0 + 30ms).When(), T0 + 50ms);
    // Not whole: the interval runs from the pause's end, as the read after
    // the pause would take those bytes then.
    const Deadline partial = ReplyReadEnd(read, true, false, T0 + 30ms);
    EXPECT_FALSE(partial.Expired(T0 + 200ms));
    EXPECT_TRUE(partial.Expired(T0 + 200ms + 1us));
    // After the pause, whole: the gap; not whole: the interval.
    EXPECT_EQ(ReplyReadEnd(read, true, true, T0 + 300ms).When(), T0 + 320ms);
    EXPECT_TRUE(ReplyReadEnd(read, true, false, T0 + 300ms).Expired(T0 + 400ms + 1us));
    // The read's total bounds the gap too.
    EXPECT_EQ(ReplyReadEnd(read, true, true, T0 + 5310ms).When(), T0 + 5320ms);
}

// The quiet gap at 9600 baud 8N1 (a byte time of 1042 us) as replies show gaps.
TEST(ReplyGapTest, TwiceTheLargestGapWithinThreeByteTimesAndTwentyMilliseconds) {
    const CReplyGap::Duration byte = CReplyGap::ByteTime(9600, 10);
    EXPECT_EQ(byte, 1042us);
    CReplyGap gap;
    EXPECT_EQ(gap.Quiet(byte), 3126us); // nothing seen: three byte times
    gap.SeeGap(1200us);
    EXPECT_EQ(gap.Quiet(byte), 3126us);
    gap.SeeGap(4ms);
    gap.SeeGap(2ms); // a smaller gap does not narrow it
    EXPECT_EQ(gap.Quiet(byte), 8ms);
    gap.SeeGap(13ms);
    EXPECT_EQ(gap.Quiet(byte), 20ms);
    // Late bytes double the gap in force, to 20 ms at most.
    CReplyGap late;
    late.Widen(byte);
    EXPECT_EQ(late.Quiet(byte), 6252us);
    late.Widen(byte);
    late.Widen(byte);
    EXPECT_EQ(late.Quiet(byte), 20ms);
}

TEST(LineBitsTest, ModemLinesAndTheirChanges) {
    struct Case {
        int lines;
        uint32_t status;
        uint32_t eventsFromNone;
    };
    const Case cases[] = {
        {TIOCM_CTS, MS_CTS_ON, EV_CTS},  {TIOCM_DSR, MS_DSR_ON, EV_DSR},
        {TIOCM_RI, MS_RING_ON, EV_RING}, {TIOCM_CD, MS_RLSD_ON, EV_RLSD},
        {TIOCM_DTR | TIOCM_RTS, 0, 0}, // our own outputs are not reported
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.lines);
        EXPECT_EQ(ModemStatusFromLines(c.lines), c.status);
        EXPECT_EQ(LineEventsBetween(0, c.status), c.eventsFromNone);
        EXPECT_EQ(LineEventsBetween(c.status, 0), c.eventsFromNone); // a drop is a change too
        EXPECT_EQ(LineEventsBetween(c.status, c.status), 0u);
    }
}

TEST(LineBitsTest, ErrorCountersThatMoved) {
    const ErrorCounters before{1, 2, 3, 4, 5};
    struct Case {
        ErrorCounters now;
        uint32_t errors;
        uint32_t events;
    };
    const Case cases[] = {
        {{1, 2, 3, 4, 5}, 0, 0},
        {{2, 2, 3, 4, 5}, CE_BREAK, EV_BREAK},
        {{1, 3, 3, 4, 5}, CE_FRAME, EV_ERR},
        {{1, 2, 4, 4, 5}, CE_OVERRUN, EV_ERR},
        {{1, 2, 3, 5, 5}, CE_RXPARITY, EV_ERR},
        {{1, 2, 3, 4, 6}, CE_RXOVER, 0},
        {{2, 3, 4, 5, 6},
         CE_BREAK | CE_FRAME | CE_OVERRUN | CE_RXPARITY | CE_RXOVER,
         EV_BREAK | EV_ERR},
    };
    for (const Case& c : cases) {
        const uint32_t errors = CommErrorsBetween(before, c.now);
        EXPECT_EQ(errors, c.errors);
        EXPECT_EQ(ErrorEventsFrom(errors), c.events);
    }
}

TEST(DcbTermiosTest, LineSettingsFromTheDcb) {
    struct Case {
        const char* name;
        uint32_t rate;
        uint8_t byteSize, parity, stopBits;
        uint32_t flags;
        tcflag_t cflagSet, cflagClear, iflagSet;
        unsigned speedCode;
    };
    const Case cases[] = {
        {"9600 8N1", 9600, 8, 0, 0, 0, CS8 | CLOCAL | CREAD, PARENB | CSTOPB | CRTSCTS | HUPCL, 0,
         B9600},
        {"7O2", 19200, 7, 1, 2, 0, CS7 | PARENB | PARODD, CMSPAR, INPCK, B19200},
        {"mark", 9600, 8, 3, 0, 0, PARENB | PARODD | CMSPAR, 0, INPCK, B9600},
        {"space, one and a half stop bits", 9600, 8, 4, 1, 0, PARENB | CMSPAR | CSTOPB, PARODD,
         INPCK, B9600},
        {"CTS flow", 9600, 8, 0, 0, DCB_FOUTXCTSFLOW, CRTSCTS, 0, 0, B9600},
        {"RTS handshake", 9600, 8, 0, 0, 2u << DCB_FRTSCONTROL_SHIFT, CRTSCTS, 0, 0, B9600},
        {"XON/XOFF", 9600, 8, 0, 0, DCB_FOUTX | DCB_FINX, 0, CRTSCTS, IXON | IXOFF, B9600},
        {"a rate without a constant", 250000, 8, 0, 0, 0, CS8, 0, 0, BOTHER},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Dcb dcb;
        dcb.BaudRate = c.rate;
        dcb.ByteSize = c.byteSize;
        dcb.Parity = c.parity;
        dcb.StopBits = c.stopBits;
        dcb.flags = c.flags;
        dcb.XonChar = 0x11;
        dcb.XoffChar = 0x13;
        struct termios2 t {};
        // Whatever the line held before is overruled.
        t.c_cflag = HUPCL | CRTSCTS | CS5 | B115200;
        t.c_iflag = ICRNL | IXANY;
        t.c_lflag = ICANON | ECHO;
        DcbToTermios(dcb, t);
        EXPECT_EQ(t.c_cflag & c.cflagSet, c.cflagSet);
        EXPECT_EQ(t.c_cflag & c.cflagClear, 0u);
        EXPECT_EQ(t.c_iflag & c.iflagSet, c.iflagSet);
        EXPECT_EQ(t.c_cflag & CBAUD, c.speedCode);
        EXPECT_EQ(t.c_ospeed, c.rate);
        EXPECT_EQ(t.c_iflag & (ICRNL | IXANY), 0u);
        EXPECT_EQ(t.c_lflag & (ICANON | ECHO), 0u);
        EXPECT_EQ(t.c_cc[VMIN], 0);
        EXPECT_EQ(t.c_cc[VTIME], 0);
        EXPECT_EQ(t.c_cc[VSTART], 0x11);
        EXPECT_EQ(t.c_cc[VSTOP], 0x13);
    }
}

} // namespace
