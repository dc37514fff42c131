#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <vector>

// The module the transfer benches run against: a third of the slots hold
// codes of 20-500 bytes, the same ones every run.
inline std::map<uint16_t, std::vector<uint8_t>> BenchModuleCodes() {
    std::map<uint16_t, std::vector<uint8_t>> codes;
    uint32_t state = 12345;
    for (uint16_t slot = 1; slot <= 448; ++slot) {
        state = state * 1664525u + 1013904223u;
        if (slot % 3 != 0) {
            continue;
        }
        const size_t size = 20 + (state >> 8) % 481;
        std::vector<uint8_t> code(size);
        for (size_t i = 0; i < size; ++i) {
            code[i] = static_cast<uint8_t>(state >> (i % 24));
        }
        codes[slot] = std::move(code);
    }
    return codes;
}
