#pragma once

#include <cstdint>
#include <string>

// Replies are told apart by their byte count alone.
enum class ReplyKind { None, Status, Version, Code };

inline constexpr uint32_t STATUS_REPLY_SIZE = 8;
inline constexpr uint32_t VERSION_REPLY_SIZE = 19;

ReplyKind ClassifyReply(uint32_t count);
// A reply to a read is a status reply (an empty slot) or a code reply, a
// 19-byte one included.
ReplyKind ClassifyReadReply(uint32_t count);
// A code reply shorter than a status reply: too short to hold a header and
// a CRC, so it carries no code (an export writes its line with none).
inline bool IsShortCodeReply(uint32_t count) {
    return count > 0 && count < STATUS_REPLY_SIZE;
}

// Offset 5 of a status reply; 0 when the reply is shorter.
uint8_t StatusByte(const uint8_t* reply, uint32_t count);

// Bytes 7-9, ".", 10-12 of a version reply, ended early by a 0x00 byte.
// Empty for a reply that is not a version reply.
std::string VersionText(const uint8_t* reply, uint32_t count);

// The stored code of a code reply: bytes 6 to count - 3.
struct CodeSpan {
    const uint8_t* data = nullptr;
    uint32_t size = 0;
};
CodeSpan CodeBytes(const uint8_t* reply, uint32_t count);

// Bytes as the log shows them: "%02X " for each, the last one's blank kept.
std::string HexGroups(const uint8_t* bytes, uint32_t count);

// What a front end says of a reply whose CRC failed where the module's
// replies of its kind had carried a valid one, on the exchange and its repeat.
inline constexpr const char* REPLY_DAMAGED_TEXT = "reply damaged";

// What a learn's status byte says: "Learn Ok!" for 0, "Carry wrong!" for 2,
// "Save fail!" for 4, "Learn fail!" for any other.
const char* LearnStatusText(uint8_t status);
