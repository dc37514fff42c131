#pragma once

#include "ModuleLimits.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

// The module's key slots, 1 to SLOT_COUNT, each empty or holding a code of up
// to MAX_CODE_BYTES. Not locked: its owner guards it.
class CSlotStore {
public:
    static constexpr uint16_t SLOT_COUNT = ::SLOT_COUNT;
    // A code reply must fit the host's 512-byte read.
    static constexpr uint32_t MAX_CODE_BYTES = MAX_READ_CODE_BYTES;

    // The one way a slot changes: an empty code empties it. False (nothing
    // changed) for an index outside 1..SLOT_COUNT or a code too long.
    bool Set(uint16_t index, std::vector<uint8_t> code);
    std::vector<uint8_t> Get(uint16_t index) const; // empty when empty or outside
    void Clear() { m_codes.clear(); }

    // The store a database file describes: its slots as the file says, every
    // other slot empty. False, with the line and the reason in error, when
    // the file cannot be read or a line is malformed or names no slot.
    static bool FromDatabaseFile(const std::string& path, CSlotStore& store, std::string& error);
    // The database text of every slot that holds a code, in slot order.
    std::string DatabaseText() const;

private:
    std::map<uint16_t, std::vector<uint8_t>> m_codes;
};
