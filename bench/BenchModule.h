#pragma once

#include "DatabaseFormat.h"
#include "SimulatedModule.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
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

// A database line as the module's export writes it: the code's whole reply.
inline std::string BenchLine(uint16_t slot, const std::vector<uint8_t>& code) {
    const auto reply = SimulatedModule::CodeReply(code);
    return FormatDatabaseLine(slot, reply.data(), static_cast<uint32_t>(reply.size()));
}

// The bench module's export: a line for each slot with a code.
inline std::string BenchModuleContent() {
    std::string text;
    for (const auto& [slot, code] : BenchModuleCodes()) {
        text += BenchLine(slot, code);
    }
    return text;
}

// The file the import benches write: a line for every slot, an empty code's
// reply for the slots without one.
inline std::string BenchImportFile() {
    const auto codes = BenchModuleCodes();
    std::string text;
    for (uint16_t slot = 1; slot <= 448; ++slot) {
        const auto it = codes.find(slot);
        text += BenchLine(slot, it == codes.end() ? std::vector<uint8_t>{} : it->second);
    }
    return text;
}
