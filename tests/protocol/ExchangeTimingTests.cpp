#include "ExchangeTiming.h"

#include <gtest/gtest.h>

namespace {

// What the "no reply within N ms" texts say on the fixed timing: each
// exchange's pause and the line's bound for its own read size.
TEST(ExchangeTimingTest, EachExchangeIsBoundByItsPauseAndItsRead) {
    struct Case {
        Exchange exchange;
        uint32_t boundMs;
    };
    const Case cases[] = {
        {Exchange::GetVersion, 100 + 32 * 10 + 100},  {Exchange::ReadKey, 400 + 512 * 10 + 100},
        {Exchange::SendKey, 300 + 32 * 10 + 100},     {Exchange::LearnPoll, 0 + 32 * 10 + 100},
        {Exchange::ExportSlot, 100 + 512 * 10 + 100}, {Exchange::ImportLine, 500 + 16 * 10 + 100},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.exchange));
        EXPECT_EQ(FixedTiming().BoundMs(c.exchange), c.boundMs);
    }
}

TEST(ExchangeTimingTest, ALearnWaitsEveryPollAtItsPeriodOrItsReadWhicheverIsLonger) {
    EXPECT_EQ(LearnWaitMs(FixedTiming()), 30U * 420U);
    EXPECT_EQ(LearnWaitText(), "about 13 seconds");
    ExchangeTiming slow = FixedTiming();
    slow.learnPollPeriodMs = 1000;
    slow.learnPolls = 3;
    EXPECT_EQ(LearnWaitMs(slow), 3000U);
    EXPECT_EQ(LearnWaitText(slow), "about 3 seconds");
}

} // namespace
