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

// The lines of a database file, or why it could not be read.
struct DatabaseFileLines {
    bool ok = false;
    std::vector<std::string> lines;
    std::string error;
};

// Reads a regular file of at most CDatabaseFile::MAX_READ_BYTES and splits it.
// Never throws and never waits on a pipe or a device.
DatabaseFileLines ReadDatabaseFile(const std::string& path);

struct DatabaseLine {
    uint16_t keyIndex = 0;
    std::vector<uint8_t> code;
};

// The most code bytes an exported line can hold: a 512-byte code reply
// without its six header bytes and two CRC bytes.
inline constexpr uint32_t MAX_EXPORTED_CODE_BYTES = 504;

// nullopt for a malformed line: empty, no comma at index 4, or a code of
// more than maxCodeBytes bytes (at most MAX_EXPORTED_CODE_BYTES), which is
// refused rather than cut short. reason, when given, says what is wrong.
std::optional<DatabaseLine> ParseDatabaseLine(std::string_view line,
                                              uint32_t maxCodeBytes = MAX_LINE_CODE_BYTES,
                                              std::string* reason = nullptr);

// Writes at most capacity bytes; returns the count. Never fails.
uint32_t HexTextToBytes(std::string_view text, uint8_t* out, uint32_t capacity);

// 0-15 for a hexadecimal digit, 16 for any other character.
uint8_t HexDigitValue(char c);
