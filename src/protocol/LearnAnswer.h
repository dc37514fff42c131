#pragma once

#include "FrameLayout.h"
#include "Reply.h"

#include <array>
#include <cstdint>

// The answer to a learn, gathered from the polls that follow the learn frame.
// The module answers with one status reply, which may come in pieces: a poll
// that completes the pieces held so far answers the learn; any other poll
// with bytes starts a new answer; after a given number of polls that
// completed nothing, with bytes or without, it ends unanswered.
class CLearnAnswer {
public:
    enum class State { Pending, Answered, TimedOut };

    // A new learn: nothing held, polls polls without an answer until it times out.
    void Start(int32_t polls);
    // One poll's bytes; n may be 0.
    State Feed(const uint8_t* bytes, uint32_t n);

    // The status byte of the answer, once answered.
    uint8_t Status() const { return m_reply[REPLY_STATUS_OFFSET]; }
    int32_t Held() const { return m_held; }
    int32_t PollsLeft() const { return m_pollsLeft; }
    const std::array<uint8_t, STATUS_REPLY_SIZE>& Reply() const { return m_reply; }

private:
    int32_t m_held = 0;
    int32_t m_pollsLeft = 0;
    std::array<uint8_t, STATUS_REPLY_SIZE> m_reply{};
};
