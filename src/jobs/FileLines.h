#pragma once

#include "DatabaseFormat.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

// One line of a database file as an import would take it.
struct FileLine {
    CheckedLine checked;
    size_t duplicateOf = 0; // the line number (from 1) that named its slot before, 0 none
};

// Every line checked, codes of up to maxCodeBytes, and each slot named again
// pointed at the line that named it last before.
std::vector<FileLine> CheckFileLines(const std::vector<std::string>& lines,
                                     uint32_t maxCodeBytes = MAX_WRITE_CODE_BYTES);

// "line 7 names slot 12 again, after line 3"
std::string DuplicateText(size_t lineNumber, uint16_t slot, size_t earlierLine);

// The slots a database file names, each with its code (the last line of a
// slot wins, as an import leaves it), and its malformed lines.
struct SlotContent {
    std::map<uint16_t, std::vector<uint8_t>> codes;
    std::vector<std::pair<size_t, LineFault>> malformed; // line number from 1, fault
};
// Codes up to the longest a module holds (an export writes them whole).
SlotContent SlotsOfLines(const std::vector<std::string>& lines);
