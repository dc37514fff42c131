#pragma once

#include "FrameLayout.h"
#include "ModuleLimits.h"

#include <array>
#include <cstdint>

inline constexpr uint8_t CMD_GET_VERSION = 0xF1;
inline constexpr uint8_t CMD_READ = 0x04;
inline constexpr uint8_t CMD_LEARN = 0x01;
inline constexpr uint8_t CMD_SEND = 0x02;
inline constexpr uint8_t CMD_WRITE = 0xF4;

inline constexpr uint32_t FRAME_CAPACITY = 512;

// A request frame: prefix, length byte, command, payload, CRC high, CRC low.
struct CommandFrame {
    std::array<uint8_t, FRAME_CAPACITY> bytes{};
    uint32_t size = 0;

    const uint8_t* data() const { return bytes.data(); }
};

// What both front ends say of a key number outside MIN_KEY_NUMBER..MAX_KEY_NUMBER.
inline constexpr const char* KEY_NUMBER_OUT_OF_RANGE = "Key No must between 1 to 100!";

// (channel - 1) * 100 + key, kept to its low 16 bits.
uint16_t KeyIndex(int32_t channel, int32_t keyNumber);
// 1 << (channel - 1) kept to 8 bits; 0x00 for channel 0 (and any channel outside 1-8).
uint8_t ChannelMask(int32_t channel);

CommandFrame BuildGetVersionFrame();
CommandFrame BuildReadFrame(uint16_t keyIndex);
CommandFrame BuildLearnFrame(uint16_t keyIndex);
CommandFrame BuildSendFrame(uint16_t keyIndex, uint8_t channelMask);
// Length byte 0xFF whatever the code's length. A code of more than
// MAX_WRITE_CODE_BYTES gives a frame of size 0 (nothing to send).
CommandFrame BuildWriteFrame(uint16_t keyIndex, const uint8_t* code, uint32_t codeLength);
