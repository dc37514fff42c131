#pragma once

#include <array>
#include <cstdint>

// Where each field of a request frame and of a module's reply lies.
//
// Request: prefix (6), length byte, command, payload, CRC high, CRC low.
// The payload of every keyed command starts with the key index, low byte first.
inline constexpr std::array<uint8_t, 6> FRAME_PREFIX{0x01, 0x05, 0x02, 0x06, 0x00, 0x00};
inline constexpr uint32_t FRAME_PREFIX_SIZE = static_cast<uint32_t>(FRAME_PREFIX.size());
inline constexpr uint32_t FRAME_LENGTH_OFFSET = FRAME_PREFIX_SIZE;
inline constexpr uint32_t FRAME_COMMAND_OFFSET = FRAME_LENGTH_OFFSET + 1;
inline constexpr uint32_t FRAME_PAYLOAD_OFFSET = FRAME_COMMAND_OFFSET + 1;
inline constexpr uint32_t FRAME_KEY_INDEX_OFFSET = FRAME_PAYLOAD_OFFSET;
inline constexpr uint32_t KEY_INDEX_SIZE = 2;
inline constexpr uint32_t WRITE_CODE_OFFSET = FRAME_KEY_INDEX_OFFSET + KEY_INDEX_SIZE;
inline constexpr uint32_t CRC_SIZE = 2;
// A frame's bytes besides its payload.
inline constexpr uint32_t FRAME_OVERHEAD = FRAME_PAYLOAD_OFFSET + CRC_SIZE;
// Frames of known length say so in their length byte: payload and command
// byte, besides the prefix, the length byte and the CRC.
inline constexpr uint32_t FRAME_LENGTH_BYTE_EXTRA = FRAME_PREFIX_SIZE + 1 + CRC_SIZE;
// The length byte of every write frame, whatever its code's length.
inline constexpr uint8_t WRITE_LENGTH_BYTE = 0xFF;

// Reply: a six-byte header, then what the reply carries, then two CRC bytes.
inline constexpr uint32_t REPLY_HEADER_SIZE = 6;
inline constexpr uint32_t REPLY_STATUS_OFFSET = 5;
inline constexpr uint32_t VERSION_TEXT_OFFSET = 7;
inline constexpr uint32_t VERSION_TEXT_SIZE = 6;
// The version text shows a dot after this many characters ("102.003").
inline constexpr uint32_t VERSION_DOT_AFTER = 3;

// A key index as it travels: low byte, then high byte.
inline void PutIndex(uint8_t* at, uint16_t index) {
    at[0] = static_cast<uint8_t>(index & 0xFF);
    at[1] = static_cast<uint8_t>(index >> 8);
}

inline uint16_t IndexAt(const uint8_t* at) {
    return static_cast<uint16_t>(at[0] | (at[1] << 8));
}
