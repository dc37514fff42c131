#include "Crc16.h"

#include <array>

namespace {

// The CRC of each byte value alone, so that a byte costs one look-up rather
// than eight shifts: replies are checked again each time more of them comes.
constexpr std::array<uint16_t, 256> MakeTable() {
    std::array<uint16_t, 256> table{};
    for (uint32_t value = 0; value < table.size(); ++value) {
        auto crc = static_cast<uint16_t>(value);
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc & 0x0001) != 0 ? static_cast<uint16_t>((crc >> 1) ^ 0xA001)
                                      : static_cast<uint16_t>(crc >> 1);
        }
        table[value] = crc;
    }
    return table;
}

constexpr std::array<uint16_t, 256> TABLE = MakeTable();

} // namespace

uint16_t Crc16Value(const uint8_t* data, uint32_t len) {
    // The module expects 0x0000 for nothing at all, not MODBUS's 0xFFFF.
    if (len == 0) {
        return 0x0000;
    }
    uint16_t crc = 0xFFFF;
    for (uint32_t i = 0; i < len; ++i) {
        crc = static_cast<uint16_t>((crc >> 8) ^ TABLE[(crc ^ data[i]) & 0xFF]);
    }
    return crc;
}

void Crc16(const uint8_t* data, uint32_t len, uint8_t out[2]) {
    const uint16_t crc = Crc16Value(data, len);
    out[0] = static_cast<uint8_t>(crc >> 8);
    out[1] = static_cast<uint8_t>(crc & 0xFF);
}
