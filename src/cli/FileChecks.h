#pragma once

#include "DatabaseFormat.h"

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// A database line as import would take it, and what it would lose.
struct LineCheck {
    std::optional<DatabaseLine> parsed; // nullopt: "File format wrong"
    std::string reason;                 // why it is malformed
    // Where the code text stops being read (1-based column of the line, 0 when
    // it is read to its end): a character that is not a hexadecimal digit or
    // a space, a space inside a byte, or a lone last digit.
    size_t stopColumn = 0;
    char stopChar = 0;
    bool loneDigit = false;

    // "stops at column 12 ('G'): only the 3 bytes before it are written", or empty.
    std::string StopText() const;
};

LineCheck CheckDatabaseLine(std::string_view line, uint32_t maxCodeBytes = MAX_LINE_CODE_BYTES);

// The slots a database file names, each with its code (the last line of a
// slot wins, as an import leaves it); the malformed lines separately.
struct SlotContent {
    std::map<uint16_t, std::vector<uint8_t>> codes;
    std::vector<std::pair<size_t, std::string>> malformed; // line number, reason
};

// Codes up to the longest a module can hold (an export writes them whole).
SlotContent SlotsOfLines(const std::vector<std::string>& lines);

// Upper-case hexadecimal pairs without separators, as in a database line.
std::string HexPairs(const uint8_t* bytes, size_t count);
inline std::string HexPairs(const std::vector<uint8_t>& bytes) {
    return HexPairs(bytes.data(), bytes.size());
}
