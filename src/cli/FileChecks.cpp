#include "FileChecks.h"

namespace {

// The key index and comma before the code text.
constexpr size_t CODE_TEXT_OFFSET = 5;

} // namespace

std::string LineCheck::StopText() const {
    if (stopColumn == 0 || !parsed) {
        return {};
    }
    const size_t n = parsed->code.size();
    const std::string kept =
        std::to_string(n) + (n == 1 ? " byte before it is" : " bytes before it are");
    if (loneDigit) {
        return "the lone digit at column " + std::to_string(stopColumn) + " is dropped";
    }
    std::string shown;
    if (stopChar == ' ') {
        shown = "a space inside a byte";
    } else if (static_cast<unsigned char>(stopChar) < 0x20 ||
               static_cast<unsigned char>(stopChar) > 0x7E) {
        shown = "byte " + HexPairs(reinterpret_cast<const uint8_t*>(&stopChar), 1);
    } else {
        shown = std::string("'") + stopChar + "'";
    }
    return "the code stops at column " + std::to_string(stopColumn) + " (" + shown +
           "): only the " + kept + " written";
}

LineCheck CheckDatabaseLine(std::string_view line, uint32_t maxCodeBytes) {
    LineCheck check;
    check.parsed = ParseDatabaseLine(line, maxCodeBytes, &check.reason);
    if (!check.parsed) {
        return check;
    }
    // The walk of HexTextToBytes, to see where it stops short of the end.
    const std::string_view text = line.substr(CODE_TEXT_OFFSET);
    size_t j = 0;
    while (j < text.size()) {
        if (text[j] == ' ') {
            ++j;
            continue;
        }
        if (j + 1 >= text.size()) {
            check.loneDigit = HexDigitValue(text[j]) != 16;
            check.stopColumn = CODE_TEXT_OFFSET + j + 1;
            check.stopChar = text[j];
            break;
        }
        const size_t bad = HexDigitValue(text[j]) == 16       ? j
                           : HexDigitValue(text[j + 1]) == 16 ? j + 1
                                                              : std::string_view::npos;
        if (bad != std::string_view::npos) {
            check.stopColumn = CODE_TEXT_OFFSET + bad + 1;
            check.stopChar = text[bad];
            break;
        }
        j += 2;
    }
    return check;
}

SlotContent SlotsOfLines(const std::vector<std::string>& lines) {
    SlotContent content;
    for (size_t i = 0; i < lines.size(); ++i) {
        std::string reason;
        const auto line = ParseDatabaseLine(lines[i], MAX_EXPORTED_CODE_BYTES, &reason);
        if (!line) {
            content.malformed.emplace_back(i + 1, reason);
            continue;
        }
        content.codes[line->keyIndex] = line->code;
    }
    return content;
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
