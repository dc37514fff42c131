#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// What a module holds and what an operator can address in it, in one place.
//
// Slots are numbered from 1; an export walks all of them. The window's fields
// address channels 1-4 and keys 1-100, that is slots 1-400 through
// (channel - 1) * 100 + key; the slots above are reached by number only.
inline constexpr uint16_t FIRST_SLOT = 1;
inline constexpr uint16_t SLOT_COUNT = 448;
inline constexpr uint16_t LAST_SLOT = FIRST_SLOT + SLOT_COUNT - 1;

inline constexpr int32_t MIN_CHANNEL = 1;
inline constexpr int32_t MAX_CHANNEL = 4;
inline constexpr int32_t MIN_KEY_NUMBER = 1;
inline constexpr int32_t MAX_KEY_NUMBER = 100;

// A write frame is a 512-byte buffer: its fixed fields, key index and CRC
// leave room for 500 code bytes.
inline constexpr uint32_t MAX_WRITE_CODE_BYTES = 500;
// A code reply is read into 512 bytes: without its six header bytes and two
// CRC bytes it carries at most 504.
inline constexpr uint32_t MAX_READ_CODE_BYTES = 504;

inline constexpr bool IsSlot(int64_t slot) {
    return slot >= FIRST_SLOT && slot <= LAST_SLOT;
}
inline constexpr bool KeyNumberInRange(int32_t keyNumber) {
    return keyNumber >= MIN_KEY_NUMBER && keyNumber <= MAX_KEY_NUMBER;
}
inline constexpr bool ChannelInRange(int32_t channel) {
    return channel >= MIN_CHANNEL && channel <= MAX_CHANNEL;
}

// The ranges as texts give them: "1-4", or with between " to ", "1 to 4".
inline std::string RangeText(int64_t low, int64_t high, std::string_view between = "-") {
    return std::to_string(low) + std::string(between) + std::to_string(high);
}
inline std::string ChannelRangeText(std::string_view between = "-") {
    return RangeText(MIN_CHANNEL, MAX_CHANNEL, between);
}
inline std::string KeyNumberRangeText(std::string_view between = "-") {
    return RangeText(MIN_KEY_NUMBER, MAX_KEY_NUMBER, between);
}
inline std::string SlotRangeText(std::string_view between = "-") {
    return RangeText(FIRST_SLOT, LAST_SLOT, between);
}
