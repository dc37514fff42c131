#include "FileLines.h"

std::vector<FileLine> CheckFileLines(const std::vector<std::string>& lines, uint32_t maxCodeBytes) {
    std::vector<FileLine> checked;
    checked.reserve(lines.size());
    std::map<uint16_t, size_t> lastLineOf;
    for (size_t i = 0; i < lines.size(); ++i) {
        FileLine& line = checked.emplace_back();
        line.checked = CheckDatabaseLine(lines[i], maxCodeBytes);
        if (!line.checked.parsed) {
            continue;
        }
        size_t& last = lastLineOf[line.checked.parsed->keyIndex];
        line.duplicateOf = last;
        last = i + 1;
    }
    return checked;
}

std::string DuplicateText(size_t lineNumber, uint16_t slot, size_t earlierLine) {
    return "line " + std::to_string(lineNumber) + " names slot " + std::to_string(slot) +
           " again, after line " + std::to_string(earlierLine);
}

SlotContent SlotsOfLines(const std::vector<std::string>& lines) {
    SlotContent content;
    const std::vector<FileLine> checked = CheckFileLines(lines, MAX_READ_CODE_BYTES);
    for (size_t i = 0; i < checked.size(); ++i) {
        const CheckedLine& line = checked[i].checked;
        if (!line.parsed) {
            content.malformed.emplace_back(i + 1, line.fault);
            continue;
        }
        content.codes[line.parsed->keyIndex] = line.parsed->code;
    }
    return content;
}
