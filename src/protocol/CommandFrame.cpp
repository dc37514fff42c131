#include "CommandFrame.h"

#include "Crc16.h"

#include <algorithm>

namespace {

// Prefix, length byte, command, payload, then the CRC over all of those.
CommandFrame BuildFrame(uint8_t lengthByte, uint8_t command, const uint8_t* payload,
                        uint32_t payloadSize) {
    CommandFrame frame;
    std::copy(FRAME_PREFIX.begin(), FRAME_PREFIX.end(), frame.bytes.begin());
    frame.bytes[6] = lengthByte;
    frame.bytes[7] = command;
    if (payloadSize > 0) {
        std::copy(payload, payload + payloadSize, frame.bytes.begin() + 8);
    }
    const uint32_t crcOffset = 8 + payloadSize;
    Crc16(frame.bytes.data(), crcOffset, frame.bytes.data() + crcOffset);
    frame.size = crcOffset + 2;
    return frame;
}

} // namespace

uint16_t KeyIndex(int32_t channel, int32_t keyNumber) {
    // Unsigned arithmetic: wraps modulo 2^32 without overflow, then keeps 16 bits.
    const uint32_t index =
        (static_cast<uint32_t>(channel) - 1U) * 100U + static_cast<uint32_t>(keyNumber);
    return static_cast<uint16_t>(index & 0xFFFFU);
}

uint8_t ChannelMask(int32_t channel) {
    if (channel < 1 || channel > 8) {
        return 0x00;
    }
    return static_cast<uint8_t>(1U << (channel - 1));
}

CommandFrame BuildGetVersionFrame() {
    return BuildFrame(0x01, CMD_GET_VERSION, nullptr, 0);
}

CommandFrame BuildReadFrame(uint16_t keyIndex) {
    const uint8_t payload[2] = {static_cast<uint8_t>(keyIndex & 0xFF),
                                static_cast<uint8_t>(keyIndex >> 8)};
    return BuildFrame(0x03, CMD_READ, payload, 2);
}

CommandFrame BuildLearnFrame(uint16_t keyIndex) {
    const uint8_t payload[2] = {static_cast<uint8_t>(keyIndex & 0xFF),
                                static_cast<uint8_t>(keyIndex >> 8)};
    return BuildFrame(0x03, CMD_LEARN, payload, 2);
}

CommandFrame BuildSendFrame(uint16_t keyIndex, uint8_t channelMask) {
    const uint8_t low = static_cast<uint8_t>(keyIndex & 0xFF);
    const uint8_t high = static_cast<uint8_t>(keyIndex >> 8);
    const uint8_t payload[6] = {low, high, channelMask, 0x01, low, high};
    return BuildFrame(0x07, CMD_SEND, payload, 6);
}

CommandFrame BuildWriteFrame(uint16_t keyIndex, const uint8_t* code, uint32_t codeLength) {
    // Anything longer would not fit the 512-byte frame: send nothing rather
    // than a cut-down code.
    if (codeLength > MAX_WRITE_CODE_BYTES || (codeLength > 0 && code == nullptr)) {
        return CommandFrame{};
    }
    uint8_t payload[2 + MAX_WRITE_CODE_BYTES];
    payload[0] = static_cast<uint8_t>(keyIndex & 0xFF);
    payload[1] = static_cast<uint8_t>(keyIndex >> 8);
    if (codeLength > 0) {
        std::copy(code, code + codeLength, payload + 2);
    }
    // The module wants 0xFF here for every write, not 3 + n.
    return BuildFrame(0xFF, CMD_WRITE, payload, 2 + codeLength);
}
