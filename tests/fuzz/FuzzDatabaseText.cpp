#include "DatabaseFormat.h"
#include "FileLines.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace {

bool IsHexDigit(char c) {
    return HexDigitValue(c) != 16;
}

// What a line that passes its check must be: four decimal digits naming a
// slot, a comma, then pairs of hexadecimal digits and spaces only, every
// pair decoded into the code in order.
void CheckAcceptedLine(std::string_view line, const DatabaseLine& parsed) {
    if (line.size() < 5 || line[4] != ',') {
        __builtin_trap();
    }
    int index = 0;
    for (size_t i = 0; i < 4; ++i) {
        if (line[i] < '0' || line[i] > '9') {
            __builtin_trap();
        }
        index = index * 10 + (line[i] - '0');
    }
    if (index < FIRST_SLOT || index > LAST_SLOT || parsed.keyIndex != index) {
        __builtin_trap();
    }
    size_t byte = 0;
    for (size_t j = 5; j < line.size();) {
        if (line[j] == ' ') {
            ++j;
            continue;
        }
        if (j + 1 >= line.size() || !IsHexDigit(line[j]) || !IsHexDigit(line[j + 1]) ||
            byte >= parsed.code.size() ||
            parsed.code[byte] != HexDigitValue(line[j]) * 16 + HexDigitValue(line[j + 1])) {
            __builtin_trap();
        }
        ++byte;
        j += 2;
    }
    if (byte != parsed.code.size() || parsed.code.size() > MAX_WRITE_CODE_BYTES) {
        __builtin_trap();
    }
}

} // namespace

// File text from anywhere: split, check every line by the rules an import
// writes by, and decode with a small buffer too, so the capacity limit is
// exercised.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const std::vector<std::string> lines = SplitDatabaseText(text);
    const std::vector<FileLine> checked = CheckFileLines(lines);
    if (checked.size() != lines.size()) {
        __builtin_trap();
    }
    for (size_t i = 0; i < lines.size(); ++i) {
        const std::string& line = lines[i];
        const CheckedLine& check = checked[i].checked;
        if (check.parsed) {
            CheckAcceptedLine(line, *check.parsed);
        } else if (check.fault.reason.empty() || check.fault.column > line.size() + 1) {
            __builtin_trap();
        }
        if (checked[i].duplicateOf > i) {
            __builtin_trap();
        }
        uint8_t small[7];
        if (HexTextToBytes(line, small, sizeof small) > sizeof small) {
            __builtin_trap();
        }
    }
    return 0;
}
