#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// A terminal device opened as it is, for a test or bench that speaks to a
// module without CSerialLink's pauses and read endings: frames out, replies
// in, as fast as the line takes them.
class RawLine {
public:
    explicit RawLine(const std::string& path);
    ~RawLine();
    RawLine(const RawLine&) = delete;
    RawLine& operator=(const RawLine&) = delete;

    bool IsOpen() const { return m_fd >= 0; }
    // Writes every byte, waiting while the line is full; false when they do
    // not all go within timeout.
    bool Write(const std::vector<uint8_t>& bytes, std::chrono::milliseconds timeout);
    // Up to count bytes: returns once it has them all or timeout has passed.
    std::vector<uint8_t> Read(size_t count, std::chrono::milliseconds timeout);
    // Writes the frame and reads replySize bytes.
    std::vector<uint8_t> Exchange(const std::vector<uint8_t>& frame, size_t replySize,
                                  std::chrono::milliseconds timeout);

private:
    int m_fd = -1;
};

// The resident set of a process in bytes (VmRSS), this one by default; 0
// when it cannot be read.
size_t ResidentBytes(int pid = 0);
