#include "ModuleFrames.h"

#include "CommandFrame.h"
#include "Crc16.h"
#include "FrameLayout.h"
#include "Reply.h"

#include <algorithm>

namespace {

bool HasPrefix(const std::vector<uint8_t>& bytes) {
    return bytes.size() >= FRAME_PREFIX_SIZE &&
           std::equal(FRAME_PREFIX.begin(), FRAME_PREFIX.end(), bytes.begin());
}

} // namespace

std::optional<size_t> ExpectedFrameLength(const std::vector<uint8_t>& bytes) {
    if (bytes.size() <= FRAME_LENGTH_OFFSET || !HasPrefix(bytes)) {
        return std::nullopt;
    }
    const uint8_t lengthByte = bytes[FRAME_LENGTH_OFFSET];
    if (lengthByte == WRITE_LENGTH_BYTE || lengthByte == 0) {
        return std::nullopt;
    }
    return size_t{lengthByte} + FRAME_LENGTH_BYTE_EXTRA;
}

size_t NextFrameSize(const std::vector<uint8_t>& incoming, std::chrono::nanoseconds quiet) {
    if (incoming.empty()) {
        return 0;
    }
    if (const auto expected = ExpectedFrameLength(incoming);
        expected && incoming.size() >= *expected) {
        return *expected;
    }
    if (incoming.size() >= FRAME_CAPACITY) {
        return FRAME_CAPACITY; // no request is longer
    }
    if (quiet >= WRITE_END_QUIET && IsValidFrame(incoming) &&
        incoming[FRAME_COMMAND_OFFSET] == CMD_WRITE) {
        return incoming.size();
    }
    return quiet >= FRAME_SILENCE ? incoming.size() : 0;
}

bool IsValidFrame(const std::vector<uint8_t>& f) {
    if (f.size() < FRAME_OVERHEAD || !HasPrefix(f)) {
        return false;
    }
    const uint16_t crc = Crc16Value(f.data(), static_cast<uint32_t>(f.size() - CRC_SIZE));
    if (f[f.size() - 2] != (crc >> 8) || f[f.size() - 1] != (crc & 0xFF)) {
        return false;
    }
    if (f[FRAME_COMMAND_OFFSET] == CMD_WRITE) {
        return f[FRAME_LENGTH_OFFSET] == WRITE_LENGTH_BYTE &&
               f.size() >= WRITE_CODE_OFFSET + CRC_SIZE;
    }
    // Any other frame is as long as its length byte says, by the one rule
    // that cuts frames: a length byte that tells no length makes no frame.
    const std::optional<size_t> expected = ExpectedFrameLength(f);
    return expected && *expected == f.size();
}

std::vector<uint8_t> WithCrc(std::vector<uint8_t> bytes) {
    uint8_t crc[CRC_SIZE];
    Crc16(bytes.data(), static_cast<uint32_t>(bytes.size()), crc);
    bytes.insert(bytes.end(), crc, crc + CRC_SIZE);
    return bytes;
}

std::vector<uint8_t> CodeReply(const std::vector<uint8_t>& code) {
    std::vector<uint8_t> reply(FRAME_PREFIX.begin(), FRAME_PREFIX.begin() + REPLY_HEADER_SIZE);
    reply.insert(reply.end(), code.begin(), code.end());
    return WithCrc(std::move(reply));
}

std::vector<uint8_t> StatusReply(uint8_t status) {
    std::vector<uint8_t> reply(FRAME_PREFIX.begin(), FRAME_PREFIX.begin() + REPLY_STATUS_OFFSET);
    reply.push_back(status);
    return WithCrc(std::move(reply));
}

std::vector<uint8_t> VersionReply(const std::string& version) {
    std::vector<uint8_t> reply(FRAME_PREFIX.begin(), FRAME_PREFIX.end());
    reply.push_back(CMD_GET_VERSION);
    for (size_t i = 0; i < VERSION_TEXT_SIZE; ++i) {
        reply.push_back(i < version.size() ? static_cast<uint8_t>(version[i]) : 0x00);
    }
    reply.resize(VERSION_REPLY_SIZE - CRC_SIZE, 0x00);
    return WithCrc(std::move(reply));
}

std::vector<uint8_t> GeneratedCode(uint16_t index, uint32_t learnCount) {
    std::vector<uint8_t> code;
    uint32_t state = 0x9E3779B9u ^ (uint32_t{index} << 8) ^ learnCount;
    const size_t size = 16 + (index + learnCount) % 17;
    code.reserve(size);
    for (size_t i = 0; i < size; ++i) {
        state = state * 1664525u + 1013904223u;
        code.push_back(static_cast<uint8_t>(state >> 24));
    }
    return code;
}
