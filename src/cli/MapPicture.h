#pragma once

#include "SlotMap.h"

#include <string>
#include <vector>

// The slot map as text within 80 columns: one block per channel, two rows
// of 50 keys with the key numbers every 10 above and below, then slots
// 401-448; one character a slot. With colour, each state in its own colour
// (ANSI codes, which take no column).
struct MapPictureStyle {
    bool colour = false;
    // The legend's words for a code on one side only: "only on the module"
    // and "only in the file", or with file names "only in a.txt".
    std::string onlyInSource = SlotStateText(SlotState::OnlyOnModule);
    std::string onlyInAgainst = SlotStateText(SlotState::OnlyInFile);
};

// The grid, the legend with each state's count, and with names the named
// slots that are not as expected (missing, different or empty).
std::vector<std::string> MapPictureLines(const SlotMap& map, const MapPictureStyle& style);

// The character a slot is drawn with ("·", "▃", "≠", ...).
std::string SlotMark(const SlotCell& cell);
