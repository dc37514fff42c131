#pragma once

#include "JobObserver.h"
#include "JobPort.h"

#include <string>
#include <vector>

struct LineCounts {
    int written = 0;
    int malformed = 0;
    int notAcknowledged = 0;
    int refused = 0;
    int damaged = 0;
    int notSent = 0;
    int duplicates = 0; // lines naming a slot that an earlier line named
};

// How the window says an import ended, and the command line begins to.
inline constexpr const char* IMPORT_OK_TEXT = "Import ok";
inline constexpr const char* IMPORT_FAIL_TEXT = "Import fail";

struct ImportResult {
    JobOutcome outcome = JobOutcome::Complete;
    std::vector<LineResult> lines; // one per line of the file, in file order
    LineCounts counts;
    std::string journalProblem; // why the journal stopped the import before a write
};

// Writes every line of a database file into the slot it names, in file
// order. A malformed line is reported and skipped, never written; a line
// that is refused is reported and the next one follows. The import ends at
// a line that is not acknowledged in its attempts (or whose acknowledgements
// stay damaged), and before the next line once the running flag drops; the
// lines after it are not sent.
ImportResult ImportFile(const JobPort& port, const std::vector<std::string>& lines,
                        IJobObserver& observer);
