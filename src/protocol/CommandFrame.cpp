#include "CommandFrame.h"

#include "Crc16.h"

#include <algorithm>

namespace {

// Frames of known length carry the payload's length and the command byte.
uint8_t LengthByteFor(uint32_t payloadSize) {
    return static_cast<uint8_t>(payloadSize + 1);
}

// Prefix, length byte, command, payload, then the CRC over all of those.
CommandFrame BuildFrame(uint8_t lengthByte, uint8_t command, const uint8_t* payload,
                        uint32_t payloadSize) {
    CommandFrame frame;
    std::copy(FRAME_PREFIX.begin(), FRAME_PREFIX.end(), frame.bytes.begin());
    frame.bytes[FRAME_LENGTH_OFFSET] = lengthByte;
    frame.bytes[FRAME_COMMAND_OFFSET] = command;
    if (payloadSize > 0) {
        std::copy(payload, payload + payloadSize, frame.bytes.begin() + FRAME_PAYLOAD_OFFSET);
    }
    const uint32_t crcOffset = FRAME_PAYLOAD_OFFSET + payloadSize;
    Crc16(frame.bytes.data(), crcOffset, frame.bytes.data() + crcOffset);
    frame.size = crcOffset + CRC_SIZE;
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
    return BuildFrame(LengthByteFor(0), CMD_GET_VERSION, nullptr, 0);
}

CommandFrame BuildReadFrame(uint16_t keyIndex) {
    uint8_t payload[KEY_INDEX_SIZE];
    PutIndex(payload, keyIndex);
    return BuildFrame(LengthByteFor(sizeof payload), CMD_READ, payload, sizeof payload);
}

CommandFrame BuildLearnFrame(uint16_t keyIndex) {
    uint8_t payload[KEY_INDEX_SIZE];
    PutIndex(payload, keyIndex);
    return BuildFrame(LengthByteFor(sizeof payload), CMD_LEARN, payload, sizeof payload);
}

CommandFrame BuildSendFrame(uint16_t keyIndex, uint8_t channelMask) {
    // The index, the channels, one transmission, and the index once more.
    uint8_t payload[6];
    PutIndex(payload, keyIndex);
    payload[2] = channelMask;
    payload[3] = 0x01;
    PutIndex(payload + 4, keyIndex);
    return BuildFrame(LengthByteFor(sizeof payload), CMD_SEND, payload, sizeof payload);
}

CommandFrame BuildWriteFrame(uint16_t keyIndex, const uint8_t* code, uint32_t codeLength) {
    // Anything longer would not fit the 512-byte frame: send nothing rather
    // than a cut-down code.
    if (codeLength > MAX_WRITE_CODE_BYTES || (codeLength > 0 && code == nullptr)) {
        return CommandFrame{};
    }
    uint8_t payload[KEY_INDEX_SIZE + MAX_WRITE_CODE_BYTES];
    PutIndex(payload, keyIndex);
    if (codeLength > 0) {
        std::copy(code, code + codeLength, payload + KEY_INDEX_SIZE);
    }
    // The module wants 0xFF here for every write, not 3 + n.
    return BuildFrame(WRITE_LENGTH_BYTE, CMD_WRITE, payload, KEY_INDEX_SIZE + codeLength);
}
