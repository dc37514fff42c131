#pragma once

#include "CommandFrame.h"

#include <cstdint>
#include <string>
#include <vector>

// What the tests expect on the wire and in files, written out from the
// layouts rather than built by the code under test.
using Bytes = std::vector<uint8_t>;

// The bytes a frame puts on the line.
Bytes FrameBytes(const CommandFrame& frame);
// The bytes with their CRC-16 behind them, high byte first.
Bytes AppendCrc(Bytes bytes);
// Whether the last two bytes are the CRC-16 of the bytes before them.
bool EndsWithItsCrc(const Bytes& bytes);
// A status reply: 01 05 02 06 00, the status, CRC.
Bytes ExpectedStatusReply(uint8_t status);
// The read frame of a slot: 01 05 02 06 00 00 03 04 lo hi, CRC.
Bytes ExpectedReadFrame(uint16_t slot);
// The learn frame of a slot: 01 05 02 06 00 00 03 01 lo hi, CRC.
Bytes ExpectedLearnFrame(uint16_t slot);
// The write frame of a slot: 01 05 02 06 00 00 FF F4 lo hi, the code, CRC.
Bytes ExpectedWriteFrame(uint16_t slot, const Bytes& code);
// The database line of a slot holding code, its CR included.
std::string ExpectedLine(uint16_t slot, const Bytes& code);
// A code of size bytes that differs with the seed.
Bytes CodePattern(size_t size, uint8_t seed);

// The worked frames of channel 2, key 5 (index 0x0069, mask 0x02), as the
// window and the command line put them on the line.
inline const Bytes WORKED_GET_FRAME{0x01, 0x05, 0x02, 0x06, 0x00, 0x00, 0x01, 0xF1, 0x31, 0x9D};
inline const Bytes WORKED_READ_FRAME{0x01, 0x05, 0x02, 0x06, 0x00, 0x00,
                                     0x03, 0x04, 0x69, 0x00, 0x9E, 0x96};
inline const Bytes WORKED_SEND_FRAME{0x01, 0x05, 0x02, 0x06, 0x00, 0x00, 0x07, 0x02,
                                     0x69, 0x00, 0x02, 0x01, 0x69, 0x00, 0xBD, 0x55};
inline const Bytes WORKED_LEARN_FRAME{0x01, 0x05, 0x02, 0x06, 0x00, 0x00,
                                      0x03, 0x01, 0x69, 0x00, 0x9F, 0x86};
