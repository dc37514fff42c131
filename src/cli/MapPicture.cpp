#include "MapPicture.h"

#include "ModuleLimits.h"
#include "ShownText.h"

#include <array>

namespace {

constexpr size_t COLUMNS = 80;
constexpr size_t LABEL_WIDTH = 11; // "channel 1  "
constexpr uint16_t ROW_KEYS = 50;
constexpr uint16_t GROUP_KEYS = 10; // a space after each ten, the key numbers above them
constexpr uint16_t CHANNEL_SLOTS = MAX_KEY_NUMBER;
constexpr uint16_t KEYED_SLOTS = MAX_CHANNEL * MAX_KEY_NUMBER;

// From the lowest to the tallest mark of a code.
const std::array<const char*, CODE_LEVELS> CODE_MARKS{"\u2581", "\u2582", "\u2583", "\u2584",
                                                      "\u2585", "\u2586", "\u2587", "\u2588"};

// The SGR colour of each state, in SlotState's order.
const std::array<const char*, SLOT_STATE_COUNT> STATE_COLOURS{"90", "36", "32", "1;31",
                                                              "33", "35", ""};

const char* ColourOf(SlotState state) {
    return STATE_COLOURS[static_cast<size_t>(state)];
}

std::string Painted(const std::string& text, SlotState state, bool colour) {
    const std::string code = ColourOf(state);
    if (!colour || code.empty()) {
        return text;
    }
    return "\x1b[" + code + "m" + text + "\x1b[0m";
}

std::string Label(const std::string& text) {
    return text + std::string(LABEL_WIDTH - text.size(), ' ');
}

// The numbers of the first slot or key of each group of ten, above or below it.
std::string Ruler(const std::string& label, int first, size_t count) {
    std::string line = Label(label);
    for (size_t i = 0; i < count; i += GROUP_KEYS) {
        std::string number = std::to_string(first + static_cast<int>(i));
        if (i + GROUP_KEYS < count) {
            number.resize(GROUP_KEYS + 1, ' ');
        }
        line += number;
    }
    return line;
}

// count slots from first, one mark each, a space after every ten; one
// colour code for each run of a state.
std::string Row(const SlotMap& map, uint16_t first, size_t count, bool colour) {
    std::string line = Label("");
    std::string run;
    SlotState runState = SlotState::Unread;
    const auto flush = [&] {
        line += Painted(run, runState, colour);
        run.clear();
    };
    for (size_t i = 0; i < count; ++i) {
        const SlotCell& cell = map.Cell(static_cast<uint16_t>(first + i));
        if (i > 0 && i % GROUP_KEYS == 0) {
            flush();
            line += ' ';
        }
        if (!run.empty() && cell.state != runState) {
            flush();
        }
        runState = cell.state;
        run += SlotMark(cell);
    }
    flush();
    return line;
}

// Display columns of UTF-8 text without colour codes: one a character.
size_t Columns(const std::string& text) {
    size_t columns = 0;
    bool escape = false;
    for (const char c : text) {
        if (c == '\x1b') {
            escape = true;
        } else if (escape) {
            escape = c != 'm';
        } else if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) {
            ++columns;
        }
    }
    return columns;
}

// items after head, separated by sep, on lines of at most COLUMNS (sep
// ends none of them); the lines after the first indented.
void Wrap(std::vector<std::string>& lines, const std::string& head,
          const std::vector<std::string>& items, const std::string& sep) {
    const std::string indent = "  ";
    std::string line = head;
    for (size_t i = 0; i < items.size(); ++i) {
        const std::string joint = i == 0 ? std::string() : sep;
        if (i > 0 && Columns(line) + Columns(joint + items[i]) > COLUMNS) {
            lines.push_back(line + std::string(sep.substr(0, sep.find_last_not_of(' ') + 1)));
            line = indent + items[i];
        } else {
            line += joint + items[i];
        }
    }
    lines.push_back(line);
}

std::string Words(SlotState state, const MapPictureStyle& style) {
    if (state == SlotState::OnlyOnModule) {
        return style.onlyInSource;
    }
    if (state == SlotState::OnlyInFile) {
        return style.onlyInAgainst;
    }
    return SlotStateText(state);
}

void AddLegend(std::vector<std::string>& lines, const SlotMap& map, const MapPictureStyle& style) {
    const auto counts = map.Counts();
    std::vector<std::string> items;
    for (const SlotState state : map.LegendStates()) {
        SlotCell sample;
        sample.state = state;
        std::string mark = SlotMark(sample);
        if (state == SlotState::Code) {
            mark.clear();
            for (const char* level : CODE_MARKS) {
                mark += level;
            }
        }
        items.push_back(Painted(mark, state, style.colour) + " " + Words(state, style) + " " +
                        std::to_string(counts[static_cast<size_t>(state)]));
    }
    Wrap(lines, "", items, "   ");
    if (!map.compared) {
        const size_t top = CODE_LEVEL_BYTES << (CODE_LEVELS - 2);
        lines.push_back(std::string("a code's height: ") + CODE_MARKS.front() + " up to " +
                        std::to_string(CODE_LEVEL_BYTES) + " bytes, each step up twice as long, " +
                        CODE_MARKS.back() + " over " + std::to_string(top) + " bytes");
    }
}

std::string Place(uint16_t slot) {
    if (SlotChannel(slot) == 0) {
        return "slot " + std::to_string(slot);
    }
    return std::to_string(SlotChannel(slot)) + "/" + std::to_string(SlotKey(slot));
}

// The named slots that are not what the name promises: missing, different
// or, in a map not compared, empty; one line (or more) a state.
void AddNames(std::vector<std::string>& lines, const SlotMap& map, const MapPictureStyle& style) {
    for (const SlotState state : {SlotState::Differs, SlotState::OnlyOnModule,
                                  SlotState::OnlyInFile, SlotState::Empty, SlotState::Unread}) {
        std::vector<std::string> names;
        for (const SlotCell& cell : map.cells) {
            if (cell.state == state && !cell.name.empty()) {
                names.push_back(ShownText(cell.name) + " (" + Place(cell.slot) + ")");
            }
        }
        if (!names.empty()) {
            Wrap(lines, Words(state, style) + ": ", names, ", ");
        }
    }
}

} // namespace

std::string SlotMark(const SlotCell& cell) {
    switch (cell.state) {
    case SlotState::Empty:
        return "\u00B7";
    case SlotState::Code:
        return CODE_MARKS[static_cast<size_t>(CodeLevel(cell.code.size()) - 1)];
    case SlotState::Same:
        return "=";
    case SlotState::Differs:
        return "\u2260";
    case SlotState::OnlyOnModule:
        return "+";
    case SlotState::OnlyInFile:
        return "-";
    case SlotState::Unread:
        break;
    }
    return "?";
}

std::vector<std::string> MapPictureLines(const SlotMap& map, const MapPictureStyle& style) {
    std::vector<std::string> lines;
    for (int channel = MIN_CHANNEL; channel <= MAX_CHANNEL; ++channel) {
        const auto first = static_cast<uint16_t>((channel - 1) * CHANNEL_SLOTS + 1);
        lines.push_back(Ruler("channel " + std::to_string(channel), 1, ROW_KEYS));
        lines.push_back(Row(map, first, ROW_KEYS, style.colour));
        lines.push_back(Row(map, first + ROW_KEYS, ROW_KEYS, style.colour));
        lines.push_back(Ruler("", ROW_KEYS + 1, ROW_KEYS));
        lines.emplace_back();
    }
    const size_t rest = LAST_SLOT - KEYED_SLOTS;
    lines.push_back(Ruler("slots", KEYED_SLOTS + 1, rest));
    lines.push_back(Row(map, KEYED_SLOTS + 1, rest, style.colour));
    lines.emplace_back();
    AddLegend(lines, map, style);
    AddNames(lines, map, style);
    return lines;
}
