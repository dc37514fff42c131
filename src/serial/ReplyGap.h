#pragma once

#include <chrono>
#include <cstdint>

// How long a reply that looks whole must stay quiet before it is taken,
// learned from the line: twice the largest gap seen between two bytes inside
// a reply so far, never under three byte times (a byte late by scheduling
// alone) and never over MAX (a USB adapter holds bytes for up to its 16 ms
// latency timer). Bytes that came after a reply was taken widen it for the
// rest of the session. Times are passed in, so the rule is tested without a
// clock.
class CReplyGap {
public:
    using Duration = std::chrono::microseconds;
    static constexpr Duration MAX{20000};
    // Replies read byte by byte, watching every arrival, before the reads
    // that rest while a reply streams in: the gaps they show are exact.
    static constexpr uint32_t LEARNING_REPLIES = 4;

    // Of a byte on a line of baudRate with bitsPerByte (start, data, parity
    // and stop bits), rounded up.
    static Duration ByteTime(uint32_t baudRate, uint32_t bitsPerByte);

    Duration Quiet(Duration byteTime) const;
    // A gap seen inside a reply (between two of its bytes).
    void SeeGap(Duration gap);
    // A reply was read whole.
    void CountReply() { ++m_replies; }
    bool Learning() const { return m_replies < LEARNING_REPLIES; }
    // Bytes came after a reply was taken: the gap in force doubles, to MAX
    // at most.
    void Widen(Duration byteTime);
    Duration LargestGap() const { return m_largest; }

private:
    Duration m_largest{0};
    Duration m_floor{0}; // raised by Widen
    uint32_t m_replies = 0;
};
