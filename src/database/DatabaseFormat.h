#pragma once

#include "ModuleLimits.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The database file: one line per key slot, "%04d" key index, ",", the code
// as "%02X" pairs, one CR. 8-bit text, no newline translation.

// The line for a code reply of n bytes (n >= 1, n != 8), CR included.
std::string FormatDatabaseLine(int slot, const uint8_t* reply, uint32_t n);
// The line for a code of n bytes, CR included.
std::string FormatCodeLine(int slot, const uint8_t* code, size_t n);

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

// What is wrong with a line that cannot be written: the reason, and the
// column (from 1) where it shows, 0 when it is the line as a whole.
struct LineFault {
    std::string reason;
    size_t column = 0;
};

// Code text as a database line holds it: pairs of hexadecimal digits, with
// spaces between pairs allowed, nothing else, at most maxCodeBytes bytes. The
// code (empty for text without digits), or nullopt with what is wrong in
// *fault, its column counted from 1 in text.
std::optional<std::vector<uint8_t>> CheckCodeText(std::string_view text, uint32_t maxCodeBytes,
                                                  LineFault* fault = nullptr);

// A line as import takes it. A line is written only when it names a slot by
// four decimal digits (0001 to 0448), a comma follows, and the code text
// holds nothing but pairs of hexadecimal digits, with spaces between pairs
// allowed, of at most maxCodeBytes bytes (at most MAX_READ_CODE_BYTES).
// Anything else is malformed and never reaches a module: a code cut short
// at a stray character, or a slot that wraps around, would overwrite a good
// slot with something the file never meant.
struct CheckedLine {
    std::optional<DatabaseLine> parsed; // nullopt: malformed
    LineFault fault;                    // why, when malformed
};
CheckedLine CheckDatabaseLine(std::string_view line, uint32_t maxCodeBytes = MAX_WRITE_CODE_BYTES);

// The same check without the details; reason, when given, says what is wrong.
std::optional<DatabaseLine> ParseDatabaseLine(std::string_view line,
                                              uint32_t maxCodeBytes = MAX_WRITE_CODE_BYTES,
                                              std::string* reason = nullptr);

// What both front ends say of a line that is not a database line.
inline constexpr const char* FILE_FORMAT_WRONG_TEXT = "File format wrong";
// "File format wrong (REASON at column N)", or without the column.
std::string LineFaultText(const LineFault& fault);

// Writes at most capacity bytes; returns the count. Never fails: it stops
// at the first character that is not a hexadecimal digit or a space.
uint32_t HexTextToBytes(std::string_view text, uint8_t* out, uint32_t capacity);

// 0-15 for a hexadecimal digit, 16 for any other character.
uint8_t HexDigitValue(char c);

// Upper-case hexadecimal pairs without separators, as in a database line.
std::string HexPairs(const uint8_t* bytes, size_t count);
inline std::string HexPairs(const std::vector<uint8_t>& bytes) {
    return HexPairs(bytes.data(), bytes.size());
}
