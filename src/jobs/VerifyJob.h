#pragma once

#include "ExportJob.h"
#include "FileLines.h"
#include "JobObserver.h"
#include "JobPort.h"

#include <string>
#include <vector>

// A slot where the module and a file disagree.
struct SlotDifference {
    enum class Kind {
        Different,       // both hold a code, not the same
        EmptyOnModule,   // the file has a code, the module's slot is empty
        NotEmpty,        // the file has the slot empty, the module holds a code
        NotInFile,       // the module holds a code in a slot the file does not name
        IncompleteReply, // the module answered with fewer bytes than a status reply
    };
    uint16_t slot = 0;
    Kind kind = Kind::Different;
    size_t moduleBytes = 0;
    size_t fileBytes = 0;
};

struct VerifyResult {
    JobOutcome outcome = JobOutcome::Complete;
    int compared = 0; // slots of the file compared with the module
    std::vector<SlotDifference> differences;
    std::vector<std::pair<size_t, LineFault>> malformed; // the file's
    SlotCensus census;                                   // of the slots read
};

// Reads the slots that the file's lines name, or with exact every slot, and
// compares each with the file: the module against the file. With exact a
// slot that the file does not name must be empty.
VerifyResult VerifyModule(const JobPort& port, const std::vector<std::string>& lines, bool exact,
                          IJobObserver& observer);

// A file against a file: the slots with codes only in A, only in B, or in
// both but different. A slot written empty counts as an empty slot.
struct FileDifference {
    enum class Side { OnlyA, OnlyB, Different };
    uint16_t slot = 0;
    Side side = Side::Different;
    size_t aBytes = 0;
    size_t bBytes = 0;
};
struct DiffResult {
    std::vector<FileDifference> differences; // in slot order
    std::vector<std::pair<size_t, LineFault>> malformedA, malformedB;
    size_t slotsA = 0; // slots with codes in A
};
DiffResult DiffFiles(const std::vector<std::string>& linesA,
                     const std::vector<std::string>& linesB);
