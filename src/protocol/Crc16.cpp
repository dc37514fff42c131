#include "Crc16.h"

uint16_t Crc16Value(const uint8_t* data, uint32_t len) {
    // The module expects 0x0000 for nothing at all, not MODBUS's 0xFFFF.
    if (len == 0) {
        return 0x0000;
    }
    uint16_t crc = 0xFFFF;
    for (uint32_t i = 0; i < len; ++i) {
        crc ^= data[i];
        for (int bit = 0; bit < 8; ++bit) {
            if (crc & 0x0001) {
                crc = static_cast<uint16_t>((crc >> 1) ^ 0xA001);
            } else {
                crc = static_cast<uint16_t>(crc >> 1);
            }
        }
    }
    return crc;
}

void Crc16(const uint8_t* data, uint32_t len, uint8_t out[2]) {
    const uint16_t crc = Crc16Value(data, len);
    out[0] = static_cast<uint8_t>(crc >> 8);
    out[1] = static_cast<uint8_t>(crc & 0xFF);
}
