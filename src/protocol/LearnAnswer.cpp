#include "LearnAnswer.h"

#include <algorithm>
#include <cstring>

static_assert(REPLY_STATUS_OFFSET < STATUS_REPLY_SIZE);

void CLearnAnswer::Start(int32_t polls) {
    m_held = 0;
    m_pollsLeft = polls;
}

CLearnAnswer::State CLearnAnswer::Feed(const uint8_t* bytes, uint32_t n) {
    if (n > 0 && m_held >= 0 && m_held + static_cast<int64_t>(n) == STATUS_REPLY_SIZE) {
        std::memcpy(m_reply.data() + m_held, bytes, n);
        return State::Answered;
    }
    if (n > 0) {
        // A new partial answer. A poll of more than 8 bytes keeps only its
        // first 8: nothing is written past the answer buffer.
        std::memcpy(m_reply.data(), bytes, std::min<size_t>(n, m_reply.size()));
        m_held = static_cast<int32_t>(n);
    }
    // Every poll that completes no answer uses up one of the allowance,
    // whether it brought bytes or not: a line that keeps bringing bytes
    // that never form an answer still ends the learn.
    if (m_pollsLeft <= 0) {
        // A count already spent keeps the learn waiting, as it always did.
        return State::Pending;
    }
    --m_pollsLeft;
    return m_pollsLeft > 0 ? State::Pending : State::TimedOut;
}
