#include "ExpectedBytes.h"

#include "Crc16.h"

#include <cstdio>

Bytes FrameBytes(const CommandFrame& frame) {
    return Bytes(frame.data(), frame.data() + frame.size);
}

Bytes AppendCrc(Bytes bytes) {
    const uint16_t crc = Crc16Value(bytes.data(), static_cast<uint32_t>(bytes.size()));
    bytes.push_back(static_cast<uint8_t>(crc >> 8));
    bytes.push_back(static_cast<uint8_t>(crc & 0xFF));
    return bytes;
}

bool EndsWithItsCrc(const Bytes& bytes) {
    return bytes.size() >= 2 && AppendCrc(Bytes(bytes.begin(), bytes.end() - 2)) == bytes;
}

Bytes ExpectedStatusReply(uint8_t status) {
    return AppendCrc({0x01, 0x05, 0x02, 0x06, 0x00, status});
}

Bytes ExpectedReadFrame(uint16_t slot) {
    return AppendCrc({0x01, 0x05, 0x02, 0x06, 0x00, 0x00, 0x03, 0x04,
                      static_cast<uint8_t>(slot & 0xFF), static_cast<uint8_t>(slot >> 8)});
}

Bytes ExpectedLearnFrame(uint16_t slot) {
    return AppendCrc({0x01, 0x05, 0x02, 0x06, 0x00, 0x00, 0x03, 0x01,
                      static_cast<uint8_t>(slot & 0xFF), static_cast<uint8_t>(slot >> 8)});
}

Bytes ExpectedWriteFrame(uint16_t slot, const Bytes& code) {
    Bytes frame{0x01,
                0x05,
                0x02,
                0x06,
                0x00,
                0x00,
                0xFF,
                0xF4,
                static_cast<uint8_t>(slot & 0xFF),
                static_cast<uint8_t>(slot >> 8)};
    frame.insert(frame.end(), code.begin(), code.end());
    return AppendCrc(frame);
}

std::string ExpectedLine(uint16_t slot, const Bytes& code) {
    char head[8];
    std::snprintf(head, sizeof head, "%04u,", slot);
    std::string line = head;
    for (uint8_t b : code) {
        char pair[3];
        std::snprintf(pair, sizeof pair, "%02X", b);
        line += pair;
    }
    return line + '\r';
}

Bytes CodePattern(size_t size, uint8_t seed) {
    Bytes code(size);
    for (size_t i = 0; i < size; ++i) {
        code[i] = static_cast<uint8_t>(seed * 31 + i * 7);
    }
    return code;
}
