#include "PacedOutput.h"

#include <algorithm>

void CPacedOutput::QueueReply(const std::vector<uint8_t>& reply, const SimFaults& faults,
                              Clock::time_point now) {
    if (m_bytes.size() + reply.size() > MAX_PENDING) {
        return;
    }
    const Clock::duration byteTime = faults.paced9600 ? BYTE_TIME_9600 : Clock::duration{};
    // Bytes queue behind whatever is still going out.
    Clock::time_point t = now + std::chrono::milliseconds(faults.turnaroundMs);
    if (!m_bytes.empty()) {
        t = std::max(t, m_bytes.back().first + byteTime);
    }
    const std::vector<uint32_t>& pieces = faults.replyPieces;
    size_t pieceIndex = 0;
    size_t leftInPiece = 0;
    auto nextPiece = [&]() {
        while (pieceIndex < pieces.size() && pieces[pieceIndex] == 0) {
            ++pieceIndex;
        }
        // The rest of the reply goes as one piece once the given sizes are used up.
        leftInPiece = pieceIndex < pieces.size() ? pieces[pieceIndex++] : reply.size();
    };
    nextPiece();
    const size_t first = m_bytes.size();
    for (const uint8_t byte : reply) {
        if (leftInPiece == 0) {
            t += std::chrono::milliseconds(faults.pieceGapMs);
            nextPiece();
        }
        m_bytes.emplace_back(t, byte);
        --leftInPiece;
        t += byteTime;
    }
    // In groups: each byte goes with the last of its group.
    const size_t burst = std::max<uint32_t>(faults.pacedBurst, 1);
    for (size_t group = first; group < m_bytes.size(); group += burst) {
        const size_t last = std::min(group + burst, m_bytes.size()) - 1;
        for (size_t i = group; i < last; ++i) {
            m_bytes[i].first = m_bytes[last].first;
        }
    }
}

void CPacedOutput::QueueUnlessBusy(const std::vector<uint8_t>& bytes, Clock::time_point now) {
    if (!m_bytes.empty()) {
        return;
    }
    for (const uint8_t byte : bytes) {
        m_bytes.emplace_back(now, byte);
    }
}

std::optional<CPacedOutput::Clock::time_point> CPacedOutput::NextDue() const {
    if (m_bytes.empty()) {
        return std::nullopt;
    }
    return std::max(m_bytes.front().first, m_retry);
}

std::vector<uint8_t> CPacedOutput::Due(Clock::time_point now) const {
    std::vector<uint8_t> due;
    if (now < m_retry) {
        return due;
    }
    for (const auto& [when, byte] : m_bytes) {
        if (when > now) {
            break;
        }
        due.push_back(byte);
    }
    return due;
}

void CPacedOutput::Sent(size_t count) {
    m_bytes.erase(m_bytes.begin(), m_bytes.begin() + static_cast<std::ptrdiff_t>(count));
}

void CPacedOutput::Clear() {
    m_bytes.clear();
    m_retry = {};
}
