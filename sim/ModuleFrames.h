#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// The module's side of the protocol, apart from any line: how request frames
// are told apart in the incoming bytes, which are valid, and the replies.

// Length of the frame starting bytes, when its prefix and length byte tell it
// (write frames do not: they end by line silence).
std::optional<size_t> ExpectedFrameLength(const std::vector<uint8_t>& bytes);

// Line silence that ends whatever came: a frame of unknown length, or noise.
inline constexpr std::chrono::milliseconds FRAME_SILENCE{20};
// A write frame carries no length. Once its CRC holds, a quiet of two byte
// times at 9600 baud ends it, as a module's receiver would decide; a chance
// match in the middle is followed by the next byte well within it.
inline constexpr std::chrono::microseconds WRITE_END_QUIET{2100};

// How many of the incoming bytes make the next frame, the line having been
// quiet for quiet since the last of them: a frame of known length once
// complete, the longest request there is, a write frame whose CRC holds after
// WRITE_END_QUIET, or everything after FRAME_SILENCE; 0 while the frame is
// still coming.
size_t NextFrameSize(const std::vector<uint8_t>& incoming, std::chrono::nanoseconds quiet);

// Prefix, CRC and length all as a request has them.
bool IsValidFrame(const std::vector<uint8_t>& frame);

std::vector<uint8_t> WithCrc(std::vector<uint8_t> bytes);
// Six header bytes, the code, two CRC bytes.
std::vector<uint8_t> CodeReply(const std::vector<uint8_t>& code);
// Eight bytes, the status at offset 5.
std::vector<uint8_t> StatusReply(uint8_t status);
// Nineteen bytes, up to six version characters at offsets 7 to 12.
std::vector<uint8_t> VersionReply(const std::string& version);

// A code a learn stores: varies with the slot and with each learn.
std::vector<uint8_t> GeneratedCode(uint16_t index, uint32_t learnCount);
