#pragma once

#include "Reply.h"
#include "SimFaults.h"

#include <cstdint>
#include <vector>

// What the faults do to a reply on its way out, apart from any line.

// The reply with its length kept and its last two bytes anything but the
// CRC-16 of the bytes before: zero, or 0xFF 0xFF where zero is that CRC.
std::vector<uint8_t> WithoutValidCrc(std::vector<uint8_t> reply);

// The reply of this kind as the module sends it when it is reply number
// (counted from 1 since the faults were set): without a valid CRC for a kind
// in faults.noCrcKinds, and with its last CRC byte flipped when number is a
// multiple of faults.damageEvery.
std::vector<uint8_t> ReplyAsSent(std::vector<uint8_t> reply, ReplyKind kind, uint64_t number,
                                 const SimFaults& faults);
