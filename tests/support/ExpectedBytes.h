#pragma once

#include <cstdint>
#include <string>
#include <vector>

// What the tests expect on the wire and in files, written out from the
// layouts rather than built by the code under test.
using Bytes = std::vector<uint8_t>;

// The bytes with their CRC-16 behind them, high byte first.
Bytes AppendCrc(Bytes bytes);
// A status reply: 01 05 02 06 00, the status, CRC.
Bytes ExpectedStatusReply(uint8_t status);
// The read frame of a slot: 01 05 02 06 00 00 03 04 lo hi, CRC.
Bytes ExpectedReadFrame(uint16_t slot);
// The write frame of a slot: 01 05 02 06 00 00 FF F4 lo hi, the code, CRC.
Bytes ExpectedWriteFrame(uint16_t slot, const Bytes& code);
// The database line of a slot holding code, its CR included.
std::string ExpectedLine(uint16_t slot, const Bytes& code);
// A code of size bytes that differs with the seed.
Bytes CodePattern(size_t size, uint8_t seed);
