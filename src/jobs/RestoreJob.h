#pragma once

#include "JobObserver.h"
#include "JobPort.h"
#include "SlotWrite.h"

#include <cstdint>
#include <string>
#include <vector>

struct RestoreResult {
    JobOutcome outcome = JobOutcome::Complete;
    int read = 0;
    int written = 0;   // slots given the file's code
    int emptied = 0;   // slots emptied: they held a code the file does not have
    int unchanged = 0; // slots that already held what the file says
    std::vector<std::pair<uint16_t, SlotWrite>> failed;
    uint16_t stoppedAt = 0; // the slot that ended it early
    std::string fault;      // a malformed line of the file: nothing was read or written
};

// Makes the module hold exactly what a database file holds: every slot is
// read, then each whose content differs is written with the file's code, or
// emptied when the file does not name it, and read back (journaled when the
// port keeps a journal). A file with a malformed line is refused before the
// module is touched. Ends at a slot that gets no reply, and before the next
// slot once the running flag drops. The observer hears of the reads, then
// of the writes, each as a run of its own.
RestoreResult RestoreModule(const JobPort& port, const std::vector<std::string>& lines,
                            IJobObserver& observer);
