#pragma once

#include "DatabaseFile.h"
#include "JobObserver.h"
#include "JobPort.h"

#include <cstdint>
#include <string>
#include <vector>

// How many slots a read of the module found, and what they held.
struct SlotCensus {
    int read = 0; // answered, with a code or empty
    int codes = 0;
    int empty = 0;
    // "448 slots read, 149 with codes, 299 empty"
    std::string Text() const;
};

// How the window says an export ended, and the command line begins to.
inline constexpr const char* EXPORT_OK_TEXT = "Export ok";
inline constexpr const char* EXPORT_FAIL_TEXT = "Export fail";

struct ExportResult {
    JobOutcome outcome = JobOutcome::Complete;
    std::vector<SlotResult> slotsRead; // in the order read, the one that ended it included
    SlotCensus census;
    uint16_t failedSlot = 0; // the slot that ended it (no reply, damaged, not stored)
};

// Reads every slot, FIRST_SLOT to LAST_SLOT, in turn, and writes one
// database line for each that holds a code. It ends at the first slot that
// gets no reply, whose reply stays damaged, or whose line cannot be stored,
// and before the next slot once the running flag drops. Nothing damaged is
// ever written.
ExportResult ExportModule(const JobPort& port, ILineSink& lines, IJobObserver& observer);

// Slots FIRST_SLOT to LAST_SLOT, in the order an export reads them.
std::vector<uint16_t> AllSlots();

// Reads the given slots in turn as an export reads them, storing nothing.
ExportResult ReadSlots(const JobPort& port, const std::vector<uint16_t>& slots,
                       IJobObserver& observer);
