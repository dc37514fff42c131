#include "SlotMap.h"

#include "ExportJob.h"
#include "ModuleLimits.h"

namespace {

// The state of a slot read, before or without a comparison.
SlotState StateOfRead(const SlotCell& cell) {
    return cell.held ? SlotState::Code : SlotState::Empty;
}

} // namespace

std::string SlotStateName(SlotState state) {
    switch (state) {
    case SlotState::Empty:
        return "empty";
    case SlotState::Code:
        return "code";
    case SlotState::Same:
        return "same";
    case SlotState::Differs:
        return "differs";
    case SlotState::OnlyOnModule:
        return "only_on_module";
    case SlotState::OnlyInFile:
        return "only_in_file";
    case SlotState::Unread:
        break;
    }
    return "not_read";
}

std::string SlotStateText(SlotState state) {
    switch (state) {
    case SlotState::OnlyOnModule:
        return "only on the module";
    case SlotState::OnlyInFile:
        return "only in the file";
    case SlotState::Unread:
        return "not read";
    default:
        return SlotStateName(state);
    }
}

int SlotChannel(uint16_t slot) {
    return slot <= MAX_CHANNEL * MAX_KEY_NUMBER ? (slot - 1) / MAX_KEY_NUMBER + 1 : 0;
}

int SlotKey(uint16_t slot) {
    return slot <= MAX_CHANNEL * MAX_KEY_NUMBER ? (slot - 1) % MAX_KEY_NUMBER + 1 : 0;
}

int CodeLevel(size_t bytes) {
    int level = 1;
    for (size_t top = CODE_LEVEL_BYTES; bytes > top && level < CODE_LEVELS; top *= 2) {
        ++level;
    }
    return level;
}

SlotMap::SlotMap() : cells(SLOT_COUNT) {
    for (uint16_t slot = FIRST_SLOT; slot <= LAST_SLOT; ++slot) {
        cells[slot - 1].slot = slot;
    }
}

std::array<int, SLOT_STATE_COUNT> SlotMap::Counts() const {
    std::array<int, SLOT_STATE_COUNT> counts{};
    for (const SlotCell& cell : cells) {
        ++counts[static_cast<size_t>(cell.state)];
    }
    return counts;
}

std::vector<SlotState> SlotMap::LegendStates() const {
    std::vector<SlotState> states{SlotState::Empty};
    if (compared) {
        states.insert(states.end(), {SlotState::Same, SlotState::Differs, SlotState::OnlyOnModule,
                                     SlotState::OnlyInFile});
    } else {
        states.push_back(SlotState::Code);
    }
    if (Counts()[static_cast<size_t>(SlotState::Unread)] > 0) {
        states.push_back(SlotState::Unread);
    }
    return states;
}

bool SlotMap::HasDifference() const {
    const auto counts = Counts();
    return compared && counts[static_cast<size_t>(SlotState::Differs)] +
                               counts[static_cast<size_t>(SlotState::OnlyOnModule)] +
                               counts[static_cast<size_t>(SlotState::OnlyInFile)] >
                           0;
}

SlotMap SlotMapOfFile(const SlotContent& file) {
    SlotMap map;
    for (SlotCell& cell : map.cells) {
        cell.state = SlotState::Empty;
    }
    for (const auto& [slot, code] : file.codes) {
        SlotCell& cell = map.cells[slot - 1];
        cell.held = !code.empty();
        cell.code = code;
        cell.state = StateOfRead(cell);
    }
    return map;
}

SlotMapRead ReadSlotMap(const JobPort& port, IJobObserver& observer) {
    const ExportResult read = ReadSlots(port, AllSlots(), observer);
    SlotMapRead result{read.outcome, read.failedSlot, {}};
    for (const SlotResult& slot : read.slotsRead) {
        if (slot.state != SlotResult::State::Code && slot.state != SlotResult::State::Empty) {
            continue; // not read: the run ended there
        }
        SlotCell& cell = result.map.cells[slot.slot - 1];
        cell.held = slot.state == SlotResult::State::Code;
        cell.code = slot.code;
        cell.state = StateOfRead(cell);
    }
    return result;
}

void CompareSlotMap(SlotMap& map, const SlotContent& file) {
    map.compared = true;
    for (SlotCell& cell : map.cells) {
        if (cell.state == SlotState::Unread) {
            continue;
        }
        const auto inFile = file.codes.find(cell.slot);
        const bool fileHolds = inFile != file.codes.end() && !inFile->second.empty();
        cell.fileBytes = fileHolds ? inFile->second.size() : 0;
        if (cell.held && fileHolds) {
            cell.state = cell.code == inFile->second ? SlotState::Same : SlotState::Differs;
        } else if (cell.held) {
            cell.state = SlotState::OnlyOnModule;
        } else {
            cell.state = fileHolds ? SlotState::OnlyInFile : SlotState::Empty;
        }
    }
}

void NameSlots(SlotMap& map, const RemoteMap& remote) {
    for (SlotCell& cell : map.cells) {
        cell.name.clear();
    }
    for (const RemoteKey& key : remote.keys) {
        if (IsSlot(key.slot)) {
            map.cells[key.slot - 1].name = key.name;
        }
    }
}
