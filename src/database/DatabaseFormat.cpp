#include "DatabaseFormat.h"

#include "DatabaseFile.h"
#include "Reply.h"

#include <algorithm>
#include <cstdio>

std::string FormatDatabaseLine(int slot, const uint8_t* reply, uint32_t n) {
    // The reply without its header and its CRC.
    const CodeSpan code = CodeBytes(reply, n);
    return FormatCodeLine(slot, code.data, code.size);
}

std::string FormatCodeLine(int slot, const uint8_t* code, size_t n) {
    char head[16];
    std::snprintf(head, sizeof head, "%04d,", slot);
    std::string line(head);
    line += HexPairs(code, n);
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

namespace {

// The key index and its comma before the code text.
constexpr size_t KEY_INDEX_DIGITS = 4;
constexpr size_t CODE_TEXT_OFFSET = KEY_INDEX_DIGITS + 1;

CheckedLine Malformed(std::string reason, size_t column) {
    CheckedLine checked;
    checked.fault = LineFault{std::move(reason), column};
    return checked;
}

std::string Shown(char c) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 0x20 || u > 0x7E) {
        return "byte " + HexPairs(&u, 1);
    }
    return std::string("'") + c + "'";
}

bool IsDecimal(char c) {
    return c >= '0' && c <= '9';
}

} // namespace

std::optional<std::vector<uint8_t>> CheckCodeText(std::string_view text, uint32_t maxCodeBytes,
                                                  LineFault* fault) {
    auto refuse = [fault](std::string reason, size_t column) {
        if (fault != nullptr) {
            *fault = LineFault{std::move(reason), column};
        }
        return std::nullopt;
    };
    // Pairs of digits, spaces allowed between them, nothing else.
    std::vector<uint8_t> code;
    for (size_t j = 0; j < text.size();) {
        if (text[j] == ' ') {
            ++j;
            continue;
        }
        if (HexDigitValue(text[j]) == 16) {
            return refuse(Shown(text[j]) + " is not a hexadecimal digit", j + 1);
        }
        if (j + 1 >= text.size()) {
            return refuse("an odd number of hexadecimal digits", j + 1);
        }
        if (text[j + 1] == ' ') {
            return refuse("a space inside a byte", j + 2);
        }
        if (HexDigitValue(text[j + 1]) == 16) {
            return refuse(Shown(text[j + 1]) + " is not a hexadecimal digit", j + 2);
        }
        if (code.size() == maxCodeBytes) {
            // Refused rather than cut short into a corrupted slot.
            return refuse("the code is longer than " + std::to_string(maxCodeBytes) + " bytes",
                          j + 1);
        }
        code.push_back(
            static_cast<uint8_t>(HexDigitValue(text[j]) * 16 + HexDigitValue(text[j + 1])));
        j += 2;
    }
    return code;
}

CheckedLine CheckDatabaseLine(std::string_view line, uint32_t maxCodeBytes) {
    if (line.empty()) {
        return Malformed("the line is empty", 0);
    }
    if (line.find(',') != KEY_INDEX_DIGITS) {
        return Malformed("no comma behind a four-character key index", 0);
    }
    int32_t index = 0;
    for (size_t i = 0; i < KEY_INDEX_DIGITS; ++i) {
        if (!IsDecimal(line[i])) {
            return Malformed("the key index holds " + Shown(line[i]) + ", not only decimal digits",
                             i + 1);
        }
        index = index * 10 + (line[i] - '0');
    }
    if (!IsSlot(index)) {
        return Malformed("the key index " + std::string(line.substr(0, KEY_INDEX_DIGITS)) +
                             " names no slot (slots are " + std::to_string(FIRST_SLOT) + " to " +
                             std::to_string(LAST_SLOT) + ")",
                         1);
    }

    LineFault fault;
    std::optional<std::vector<uint8_t>> code = CheckCodeText(
        line.substr(CODE_TEXT_OFFSET), std::min(maxCodeBytes, MAX_READ_CODE_BYTES), &fault);
    if (!code) {
        return Malformed(std::move(fault.reason), fault.column + CODE_TEXT_OFFSET);
    }
    DatabaseLine parsed;
    parsed.keyIndex = static_cast<uint16_t>(index);
    parsed.code = std::move(*code);
    CheckedLine checked;
    checked.parsed = std::move(parsed);
    return checked;
}

std::optional<DatabaseLine> ParseDatabaseLine(std::string_view line, uint32_t maxCodeBytes,
                                              std::string* reason) {
    CheckedLine checked = CheckDatabaseLine(line, maxCodeBytes);
    if (!checked.parsed && reason != nullptr) {
        *reason = std::move(checked.fault.reason);
    }
    return std::move(checked.parsed);
}

std::string LineFaultText(const LineFault& fault) {
    std::string text = std::string(FILE_FORMAT_WRONG_TEXT) + " (" + fault.reason;
    if (fault.column > 0) {
        text += " at column " + std::to_string(fault.column);
    }
    return text + ")";
}

std::string HexPairs(const uint8_t* bytes, size_t count) {
    static const char DIGITS[] = "0123456789ABCDEF";
    std::string text;
    text.reserve(count * 2);
    for (size_t i = 0; i < count; ++i) {
        text.push_back(DIGITS[bytes[i] >> 4]);
        text.push_back(DIGITS[bytes[i] & 0x0F]);
    }
    return text;
}
