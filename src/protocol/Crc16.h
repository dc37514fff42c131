#pragma once

#include <cstdint>

// CRC-16/MODBUS over len bytes, stored high byte first into out[0], out[1].
// Zero bytes give 0x0000.
void Crc16(const uint8_t* data, uint32_t len, uint8_t out[2]);

// The same CRC as a number (high byte << 8 | low byte).
uint16_t Crc16Value(const uint8_t* data, uint32_t len);
