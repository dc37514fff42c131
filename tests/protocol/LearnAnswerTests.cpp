#include "LearnAnswer.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using State = CLearnAnswer::State;

// Feeds the polls in turn; the state after the last one.
State FeedAll(CLearnAnswer& answer, const std::vector<std::vector<uint8_t>>& polls) {
    State state = State::Pending;
    for (const auto& poll : polls) {
        state = answer.Feed(poll.data(), static_cast<uint32_t>(poll.size()));
    }
    return state;
}

TEST(LearnAnswerTest, PiecesThatAddUpToEightAnswer) {
    const std::vector<uint8_t> reply{1, 5, 2, 6, 0, 4, 0xAA, 0xBB}; // status 4
    struct Case {
        const char* name;
        std::vector<std::vector<uint8_t>> polls;
        State state;
        int32_t held;
    };
    const std::vector<uint8_t> first3(reply.begin(), reply.begin() + 3);
    const std::vector<uint8_t> last5(reply.begin() + 3, reply.end());
    const Case cases[] = {
        {"whole", {reply}, State::Answered, 0},
        {"3 then 5", {first3, last5}, State::Answered, 3},
        {"empty polls between pieces", {first3, {}, {}, last5}, State::Answered, 3},
        // 3 and 3 make 6: the second piece starts a new answer.
        {"3 then 3", {first3, first3}, State::Pending, 3},
        {"3, 3, then 5", {first3, first3, last5}, State::Answered, 3},
        // More than 8 bytes in one poll start over and keep only the first 8.
        {"40 bytes", {std::vector<uint8_t>(40, 0x11)}, State::Pending, 40},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CLearnAnswer answer;
        answer.Start(30);
        EXPECT_EQ(FeedAll(answer, c.polls), c.state);
        EXPECT_EQ(answer.Held(), c.held);
        if (c.state == State::Answered) {
            EXPECT_EQ(answer.Status(), 4);
            EXPECT_EQ(std::vector<uint8_t>(answer.Reply().begin(), answer.Reply().end()), reply);
        }
    }
}

TEST(LearnAnswerTest, PollsWithoutAnAnswerRunOut) {
    CLearnAnswer answer;
    answer.Start(4);
    EXPECT_EQ(answer.Feed(nullptr, 0), State::Pending);
    const uint8_t piece[3] = {1, 5, 2};
    // A piece that completes nothing uses up a poll like an empty one.
    EXPECT_EQ(answer.Feed(piece, 3), State::Pending);
    EXPECT_EQ(answer.Feed(nullptr, 0), State::Pending);
    EXPECT_EQ(answer.PollsLeft(), 1);
    EXPECT_EQ(answer.Feed(nullptr, 0), State::TimedOut);

    // A new learn starts afresh.
    answer.Start(1);
    EXPECT_EQ(answer.Held(), 0);
    EXPECT_EQ(answer.Feed(nullptr, 0), State::TimedOut);
    // With no polls to spend, the learn keeps waiting.
    answer.Start(0);
    EXPECT_EQ(answer.Feed(nullptr, 0), State::Pending);
}

TEST(LearnAnswerTest, ALineThatKeepsBringingBytesStillTimesOut) {
    CLearnAnswer answer;
    answer.Start(30);
    const uint8_t noise[3] = {0xFF, 0x00, 0x7E};
    int polls = 0;
    State state = State::Pending;
    while (state == State::Pending && polls < 100) {
        state = answer.Feed(noise, 3);
        ++polls;
    }
    EXPECT_EQ(state, State::TimedOut);
    EXPECT_EQ(polls, 30);
}

TEST(LearnAnswerTest, TheLastAllowedPollMayStillAnswer) {
    const std::vector<uint8_t> reply{1, 5, 2, 6, 0, 0, 0xAA, 0xBB};
    CLearnAnswer answer;
    answer.Start(2);
    EXPECT_EQ(answer.Feed(reply.data(), 3), State::Pending);
    EXPECT_EQ(answer.Feed(reply.data() + 3, 5), State::Answered);
    EXPECT_EQ(answer.Status(), 0);
}

} // namespace
