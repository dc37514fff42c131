#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <vector>

// The frames a module received, newest last, for byte-exact checks. Bounded,
// so that a module serving for days stays the same size: beyond MAX_FRAMES
// frames or MAX_BYTES bytes of frames, whichever comes first, the oldest
// frames are dropped. The count of frames received since the last Clear goes
// on regardless. Not locked: its owner guards it.
class CFrameRecord {
public:
    static constexpr size_t MAX_FRAMES = 4096;
    static constexpr size_t MAX_BYTES = size_t{256} * 1024;

    void Add(const std::vector<uint8_t>& frame);
    // Drops every frame held and restarts the count.
    void Clear();

    // The frames still held, oldest first.
    std::vector<std::vector<uint8_t>> Frames() const;
    size_t HeldBytes() const { return m_bytes; }
    // Every frame added since the last Clear, dropped ones included.
    uint64_t ReceivedSinceClear() const { return m_received; }

private:
    std::deque<std::vector<uint8_t>> m_frames;
    size_t m_bytes = 0;
    uint64_t m_received = 0;
};
