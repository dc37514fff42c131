#include "DatabaseFormat.h"

#include "DatabaseFile.h"
#include "Reply.h"

#include <algorithm>
#include <array>
#include <cstdio>

std::string FormatDatabaseLine(int slot, const uint8_t* reply, uint32_t n) {
    char head[16];
    std::snprintf(head, sizeof head, "%04d,", slot);
    std::string line(head);
    // The reply without its header and its CRC.
    const CodeSpan code = CodeBytes(reply, n);
    static const char DIGITS[] = "0123456789ABCDEF";
    line.reserve(line.size() + 2 * size_t{code.size} + 1);
    for (uint32_t i = 0; i < code.size; ++i) {
        line.push_back(DIGITS[code.data[i] >> 4]);
        line.push_back(DIGITS[code.data[i] & 0x0F]);
    }
    line.push_back('\r');
    return line;
}

std::vector<std::string> SplitDatabaseText(std::string_view text) {
    std::vector<std::string> lines;
    size_t start = 0;
    size_t i = 0;
    while (i < text.size()) {
        const char c = text[i];
        if (c == '\r' || c == '\n') {
            lines.emplace_back(text.substr(start, i - start));
            // CR LF is one line end, not a line end and an empty line.
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
                ++i;
            }
            start = i + 1;
        }
        ++i;
    }
    // An editor may leave the last line without an end; it is still a line.
    if (start < text.size()) {
        lines.emplace_back(text.substr(start));
    }
    return lines;
}

DatabaseFileLines ReadDatabaseFile(const std::string& path) {
    DatabaseFileLines result;
    CDatabaseFile file;
    std::string text;
    if (!file.OpenForReading(path, &result.error) || !file.ReadAll(text, &result.error)) {
        return result;
    }
    result.lines = SplitDatabaseText(text);
    result.ok = true;
    return result;
}

uint8_t HexDigitValue(char c) {
    if (c >= '0' && c <= '9') {
        return static_cast<uint8_t>(c - '0');
    }
    if (c >= 'A' && c <= 'F') {
        return static_cast<uint8_t>(c - 'A' + 10);
    }
    if (c >= 'a' && c <= 'f') {
        return static_cast<uint8_t>(c - 'a' + 10);
    }
    return 16;
}

uint32_t HexTextToBytes(std::string_view text, uint8_t* out, uint32_t capacity) {
    uint32_t count = 0;
    size_t j = 0;
    while (j < text.size() && count < capacity) {
        if (text[j] == ' ') {
            ++j;
            continue;
        }
        if (j + 1 >= text.size()) {
            break; // a lone last digit is dropped
        }
        const uint8_t high = HexDigitValue(text[j]);
        const uint8_t low = HexDigitValue(text[j + 1]);
        if (high == 16 || low == 16) {
            break;
        }
        out[count++] = static_cast<uint8_t>(high * 16 + low);
        j += 2;
    }
    return count;
}

std::optional<DatabaseLine> ParseDatabaseLine(std::string_view line, uint32_t maxCodeBytes,
                                              std::string* reason) {
    auto malformed = [reason](const char* why) -> std::optional<DatabaseLine> {
        if (reason != nullptr) {
            *reason = why;
        }
        return std::nullopt;
    };
    if (line.empty()) {
        return malformed("the line is empty");
    }
    if (line.find(',') != 4) {
        return malformed("no comma behind a four-character key index");
    }
    // Characters other than digits are not refused: files in use rely on
    // '00A1' giving 171. Signed 8-bit character codes, as the file is read.
    int32_t index = 0;
    for (size_t i = 0; i < 4; ++i) {
        index = index * 10 + (static_cast<int8_t>(line[i]) - 48);
    }
    DatabaseLine parsed;
    parsed.keyIndex = static_cast<uint16_t>(static_cast<uint32_t>(index) & 0xFFFFU);

    // One byte more than allowed, so a code too long is seen and refused
    // instead of being cut short into a corrupted slot.
    const uint32_t limit = std::min(maxCodeBytes, MAX_EXPORTED_CODE_BYTES);
    std::array<uint8_t, MAX_EXPORTED_CODE_BYTES + 1> buffer;
    const uint32_t count = HexTextToBytes(line.substr(5), buffer.data(), limit + 1);
    if (count > limit) {
        if (reason != nullptr) {
            *reason = "the code is longer than " + std::to_string(limit) + " bytes";
        }
        return std::nullopt;
    }
    parsed.code.assign(buffer.begin(), buffer.begin() + count);
    return parsed;
}
