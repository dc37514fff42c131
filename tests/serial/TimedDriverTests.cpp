// The read and write loops of the timed-driver base, on a line of the
// test's own that never sleeps: each wait for input brings the next piece
// the test lined up.

#include "TimedDriver.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <string>

namespace {

constexpr uint32_t MAXDWORD = 0xFFFFFFFFu;

class ScriptedLine final : public TimedDriver {
public:
    std::string queued;
    std::deque<std::string> arrivals; // one a wait for input
    bool hangUpAtTheEnd = false;      // once the arrivals are used up
    bool ended = false;
    std::string written;
    int inputWaits = 0;

    bool OpenDevice(uint8_t) override { return true; }
    void CloseDevice() override {}
    bool SetState(const Dcb&) override { return true; }
    bool EscapeFunction(uint32_t) override { return true; }
    bool Purge(uint32_t) override { return true; }

private:
    bool LineOpen() const override { return true; }
    LineStep Take(uint8_t* buffer, uint32_t n) override {
        const auto count = std::min<uint32_t>(n, uint32_t(queued.size()));
        std::copy_n(queued.begin(), count, buffer);
        queued.erase(0, count);
        return {count, LineStep::Next::Wait};
    }
    LineStep Put(const uint8_t* buffer, uint32_t n) override {
        written.append(buffer, buffer + n);
        return {n, LineStep::Next::Wait};
    }
    TransferEnd WaitInput(int, const Deadline&, bool& hungUp) override {
        ++inputWaits;
        if (!arrivals.empty()) {
            queued += arrivals.front();
            arrivals.pop_front();
        }
        hungUp = arrivals.empty() && hangUpAtTheEnd;
        return TransferEnd::Complete;
    }
    TransferEnd WaitOutput(int, const Deadline&) override { return TransferEnd::Complete; }
    bool LineEnded() override { return ended; }
};

std::string Text(const uint8_t* buffer, const TransferResult& r) {
    return {buffer, buffer + r.count};
}

TEST(TimedDriver, ReadsTakeWhatIsQueuedBeforeTheirDeadlineIsJudged) {
    ScriptedLine line;
    uint8_t buf[16] = {};
    line.queued = "abc";
    TransferResult r = line.ReadUntil(buf, 8, 0);
    EXPECT_EQ(Text(buf, r), "abc");
    EXPECT_EQ(r.end, TransferEnd::Complete);

    line.queued = "de";
    r = line.ReadSome(buf, 8, Deadline::AfterMs(0));
    EXPECT_EQ(Text(buf, r), "de");

    // Interval MAXDWORD alone: what is queued, at once, even nothing.
    ASSERT_TRUE(line.SetTimeouts({MAXDWORD, 0, 0, 0, 0}));
    line.queued = "f";
    r = line.Read(buf, 8);
    EXPECT_EQ(Text(buf, r), "f");
    r = line.Read(buf, 8);
    EXPECT_EQ(r.count, 0u);
    EXPECT_EQ(r.end, TransferEnd::Complete);
    EXPECT_EQ(line.inputWaits, 0);
}

// A line that is gone keeps the bytes that came before: a hung-up line once
// a take finds it empty, a line ended by other means once a whole pass took
// nothing; a write on an ended line puts nothing.
TEST(TimedDriver, AGoneLineEndsTransfersWithTheBytesThatCameFirst) {
    uint8_t buf[16] = {};
    ScriptedLine hungUp;
    hungUp.arrivals = {"ab", "c"};
    hungUp.hangUpAtTheEnd = true;
    TransferResult r = hungUp.ReadUntil(buf, 8, 5'000);
    EXPECT_EQ(Text(buf, r), "abc");
    EXPECT_EQ(r.end, TransferEnd::Failed);

    ScriptedLine ended;
    ended.queued = "xy";
    ended.ended = true;
    r = ended.ReadUntil(buf, 8, 5'000);
    EXPECT_EQ(Text(buf, r), "xy");
    EXPECT_EQ(r.end, TransferEnd::Failed);
    EXPECT_EQ(ended.inputWaits, 1);

    const uint8_t out[] = {1, 2};
    r = ended.WriteUntil(out, 2, 5'000);
    EXPECT_EQ(r.count, 0u);
    EXPECT_EQ(r.end, TransferEnd::Failed);
    EXPECT_TRUE(ended.written.empty());
}

} // namespace
