#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The database file: one line per key slot, "%04d" key index, ",", the code
// as "%02X" pairs, one CR. 8-bit text, no newline translation.

inline constexpr uint32_t MAX_LINE_CODE_BYTES = 500;

// The line for a code reply of n bytes (n >= 1, n != 8), CR included.
std::string FormatDatabaseLine(int slot, const uint8_t* reply, uint32_t n);

// Cuts the whole text of a file into lines, without their ends. CR ends a line
// (as an export writes it); LF and CR LF do too; a final piece without an end
// is a line. An empty text gives no lines.
std::vector<std::string> SplitDatabaseText(std::string_view text);

// Reads the file at path and splits it; nullopt when it cannot be read.
std::optional<std::vector<std::string>> ReadDatabaseFile(const std::string& path);

struct DatabaseLine {
    uint16_t keyIndex = 0;
    std::vector<uint8_t> code;
};

// nullopt for a malformed line: empty, no comma at index 4, or a code of
// more than MAX_LINE_CODE_BYTES bytes.
std::optional<DatabaseLine> ParseDatabaseLine(std::string_view line);

// Writes at most capacity bytes; returns the count. Never fails.
uint32_t HexTextToBytes(std::string_view text, uint8_t* out, uint32_t capacity);

// 0-15 for a hexadecimal digit, 16 for any other character.
uint8_t HexDigitValue(char c);
