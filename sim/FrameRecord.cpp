#include "FrameRecord.h"

void CFrameRecord::Add(const std::vector<uint8_t>& frame) {
    m_frames.push_back(frame);
    m_bytes += frame.size();
    ++m_received;
    // The newest frame always stays, however long it is.
    while (m_frames.size() > 1 && (m_frames.size() > MAX_FRAMES || m_bytes > MAX_BYTES)) {
        m_bytes -= m_frames.front().size();
        m_frames.pop_front();
    }
}

void CFrameRecord::Clear() {
    m_frames.clear();
    m_bytes = 0;
    m_received = 0;
}

std::vector<std::vector<uint8_t>> CFrameRecord::Frames() const {
    return {m_frames.begin(), m_frames.end()};
}
