#pragma once

#include "FileLines.h"
#include "JobObserver.h"
#include "JobPort.h"
#include "RemoteMap.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// A module at a glance: every slot's state and code length, read from the
// module or from a database file, optionally compared with a second file and
// named by a remote map. Both front ends draw it; neither decides a state.

enum class SlotState {
    Empty,        // no code (compared: on neither side)
    Code,         // a code, nothing to compare it with
    Same,         // the same code on both sides
    Differs,      // a code on both sides, not the same
    OnlyOnModule, // a code the compared file lacks
    OnlyInFile,   // a code in the compared file where the module has none
    Unread,       // the read of the module ended before this slot
};
inline constexpr size_t SLOT_STATE_COUNT = 7;

// The state's name in JSON ("only_on_module"), and in words ("only on the module").
std::string SlotStateName(SlotState state);
std::string SlotStateText(SlotState state);

struct SlotCell {
    uint16_t slot = 0;
    SlotState state = SlotState::Unread;
    // What was read (the module, or the first file): whether the slot holds a
    // code, and the code, kept so that the map can be compared again.
    bool held = false;
    std::vector<uint8_t> code;
    size_t fileBytes = 0; // the compared file's code length, 0 when it has none
    std::string name;     // what the remote map calls the slot, or empty

    // The length shown: the code read, or the file's where only it has one.
    size_t Bytes() const { return state == SlotState::OnlyInFile ? fileBytes : code.size(); }
};

// Slots 1-400 are channels 1-4, keys 1-100; the slots above have neither (0).
int SlotChannel(uint16_t slot);
int SlotKey(uint16_t slot);

// How tall a code's mark is, 1 to CODE_LEVELS: the lowest holds up to
// CODE_LEVEL_BYTES, each step up codes twice as long, the top the longer ones.
inline constexpr int CODE_LEVELS = 8;
inline constexpr size_t CODE_LEVEL_BYTES = 4;
int CodeLevel(size_t bytes);

struct SlotMap {
    SlotMap();                   // every slot unread
    std::vector<SlotCell> cells; // SLOT_COUNT of them, slot 1 first
    bool compared = false;

    const SlotCell& Cell(uint16_t slot) const { return cells[slot - 1]; }
    std::array<int, SLOT_STATE_COUNT> Counts() const;
    // The states a legend lists: empty, then code or the four a comparison
    // gives, and unread slots where there are any.
    std::vector<SlotState> LegendStates() const;
    // Compared, and some slot read is not the same on both sides.
    bool HasDifference() const;
};

// The slots of a database file's lines (the last line of a slot wins; a
// slot written empty is empty).
SlotMap SlotMapOfFile(const SlotContent& file);

struct SlotMapRead {
    JobOutcome outcome = JobOutcome::Complete;
    uint16_t failedSlot = 0; // the slot that ended it (no reply, damaged)
    SlotMap map;             // slots not reached stay unread
};
// Reads every slot as an export reads them, with its progress and its stop.
SlotMapRead ReadSlotMap(const JobPort& port, IJobObserver& observer);

// Compares the slots read with a file's, again from the codes read when the
// map was compared before; unread slots stay unread.
void CompareSlotMap(SlotMap& map, const SlotContent& file);

// Gives each slot the name the remote map gives it, and no other.
void NameSlots(SlotMap& map, const RemoteMap& remote);
