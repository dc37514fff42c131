// The module without a line: what it answers to whole frames, and when the
// bytes of its replies are due. The clock is handed in, so learns, floods
// and the line's pace are followed to the nanosecond without sleeping.

#include "ExpectedBytes.h"
#include "ModuleBehaviour.h"
#include "PacedOutput.h"

#include <gtest/gtest.h>

#include <chrono>
#include <optional>

namespace {

using namespace std::chrono_literals;
using Clock = CModuleBehaviour::Clock;

const Clock::time_point T0{100s};

TEST(ModuleBehaviour, WritesAreRefusedThenAcknowledgedInTheGivenSizes) {
    CModuleBehaviour module;
    SimFaults faults;
    faults.refuseWrites = 1;
    faults.writeReplySizes = {0, 3};
    module.SetFaults(faults);
    const Bytes full = ExpectedStatusReply(0);
    struct Case {
        const char* what;
        std::optional<Bytes> reply;
        bool stored;
    };
    const Case cases[] = {
        {"refused", std::nullopt, false},
        {"a reply size of 0", std::nullopt, false},
        {"a reply size of 3", Bytes(full.begin(), full.begin() + 3), true},
        {"beyond the sizes given", full, true},
    };
    uint16_t slot = 10;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Bytes code = CodePattern(4, static_cast<uint8_t>(slot));
        EXPECT_EQ(module.Answer(ExpectedWriteFrame(slot, code), T0, false).reply, c.reply);
        EXPECT_EQ(module.Slots().Get(slot), c.stored ? code : Bytes{});
        ++slot;
    }
    // Setting the faults again starts their counts again.
    module.SetFaults(faults);
    EXPECT_FALSE(module.Answer(ExpectedWriteFrame(20, {0x01}), T0, false).reply);
    EXPECT_TRUE(module.Slots().Get(20).empty());
}

TEST(ModuleBehaviour, LearnsAndFloodsFollowTheClockHandedIn) {
    CModuleBehaviour module;
    SimFaults faults;
    faults.learnDelayMs = 300;
    module.SetFaults(faults);
    ASSERT_TRUE(module.Slots().Set(42, {}));
    EXPECT_FALSE(module.Answer(ExpectedLearnFrame(42), T0, false).reply);
    EXPECT_EQ(module.NextDue(), T0 + 300ms);
    EXPECT_FALSE(module.Tick(T0 + 299ms).reply);
    EXPECT_TRUE(module.Slots().Get(42).empty());
    EXPECT_EQ(module.Tick(T0 + 300ms).reply, ExpectedStatusReply(0));
    EXPECT_FALSE(module.Slots().Get(42).empty());
    EXPECT_FALSE(module.NextDue());

    // Flooded, a learn is never answered: a piece every interval until the
    // next frame, valid or not.
    faults.floodLearn = true;
    module.SetFaults(faults);
    EXPECT_FALSE(module.Answer(ExpectedLearnFrame(43), T0, false).reply);
    for (int piece = 1; piece <= 3; ++piece) {
        SCOPED_TRACE(piece);
        const Clock::time_point due = T0 + piece * CModuleBehaviour::FLOOD_INTERVAL;
        EXPECT_EQ(module.NextDue(), due);
        EXPECT_FALSE(module.Tick(due - 1ms).floodPiece);
        const CModuleBehaviour::Step step = module.Tick(due);
        EXPECT_TRUE(step.floodPiece);
        EXPECT_FALSE(step.reply);
    }
    EXPECT_FALSE(module.Answer({0x00}, T0 + 160ms, false).reply);
    EXPECT_FALSE(module.NextDue());
    EXPECT_TRUE(module.Slots().Get(43).empty());
}

TEST(PacedOutput, RepliesGoOutAfterTheTurnaroundInTheirPiecesAtTheLinesPace) {
    SimFaults faults;
    faults.turnaroundMs = 5;
    faults.paced9600 = true;
    faults.replyPieces = {2};
    faults.pieceGapMs = 40;
    CPacedOutput output;
    const Bytes reply = {1, 2, 3, 4};
    output.QueueReply(reply, faults, T0);
    const Clock::time_point first = T0 + 5ms;
    EXPECT_EQ(output.NextDue(), first);
    EXPECT_TRUE(output.Due(first - 1ns).empty());
    EXPECT_EQ(output.Due(first), Bytes{1});
    EXPECT_EQ(output.Due(first + BYTE_TIME_9600), (Bytes{1, 2}));
    // The rest of the reply is the second piece, after the gap.
    const Clock::time_point third = first + 2 * BYTE_TIME_9600 + 40ms;
    EXPECT_EQ(output.Due(third - 1ns), (Bytes{1, 2}));
    EXPECT_EQ(output.Due(third + BYTE_TIME_9600), reply);
    // A reply decided meanwhile queues behind, not at its own turnaround.
    output.QueueReply({9}, faults, T0);
    EXPECT_EQ(output.Due(third + BYTE_TIME_9600), reply);
    EXPECT_EQ(output.Due(third + 2 * BYTE_TIME_9600), (Bytes{1, 2, 3, 4, 9}));
    // What went out leaves; a line that took nothing holds the rest until the retry.
    output.Sent(4);
    output.RetryAt(third + 10ms);
    EXPECT_TRUE(output.Due(third + 5ms).empty());
    EXPECT_EQ(output.NextDue(), third + 10ms);
    EXPECT_EQ(output.Due(third + 10ms), Bytes{9});
}

TEST(PacedOutput, InBurstsEachGroupGoesWithItsLastByte) {
    SimFaults faults;
    faults.turnaroundMs = 0;
    faults.paced9600 = true;
    faults.pacedBurst = 3;
    CPacedOutput output;
    output.QueueReply({1, 2, 3, 4, 5}, faults, T0);
    EXPECT_EQ(output.NextDue(), T0 + 2 * BYTE_TIME_9600);
    EXPECT_TRUE(output.Due(T0 + 2 * BYTE_TIME_9600 - 1ns).empty());
    EXPECT_EQ(output.Due(T0 + 2 * BYTE_TIME_9600), (Bytes{1, 2, 3}));
    EXPECT_EQ(output.Due(T0 + 4 * BYTE_TIME_9600 - 1ns), (Bytes{1, 2, 3}));
    EXPECT_EQ(output.Due(T0 + 4 * BYTE_TIME_9600), (Bytes{1, 2, 3, 4, 5}));
}

TEST(PacedOutput, UnreadRepliesStayBoundedAndAFloodPieceWaitsForAnIdleLine) {
    const SimFaults faults;
    CPacedOutput output;
    const Bytes half(CPacedOutput::MAX_PENDING / 2, 0x55);
    output.QueueReply(half, faults, T0);
    output.QueueReply(half, faults, T0);
    output.QueueReply({0x01}, faults, T0); // beyond the bound: lost whole
    output.QueueUnlessBusy({0x5A}, T0);
    const Bytes due = output.Due(T0 + 1s);
    EXPECT_EQ(due.size(), CPacedOutput::MAX_PENDING);
    EXPECT_EQ(due.back(), 0x55);
    output.Sent(due.size());
    EXPECT_FALSE(output.NextDue());
    output.QueueUnlessBusy({0x5A}, T0 + 1s);
    EXPECT_EQ(output.Due(T0 + 1s), Bytes{0x5A});
}

} // namespace
