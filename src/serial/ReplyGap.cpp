#include "ReplyGap.h"

#include <algorithm>

CReplyGap::Duration CReplyGap::ByteTime(uint32_t baudRate, uint32_t bitsPerByte) {
    if (baudRate == 0) {
        return MAX;
    }
    const uint64_t us = (uint64_t{bitsPerByte} * 1000000 + baudRate - 1) / baudRate;
    return Duration(us);
}

CReplyGap::Duration CReplyGap::Quiet(Duration byteTime) const {
    const Duration learned = std::max({2 * m_largest, 3 * byteTime, m_floor});
    return std::min(learned, MAX);
}

void CReplyGap::SeeGap(Duration gap) {
    m_largest = std::max(m_largest, gap);
}

void CReplyGap::Widen(Duration byteTime) {
    m_floor = std::min(MAX, 2 * Quiet(byteTime));
}
