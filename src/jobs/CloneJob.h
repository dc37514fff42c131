#pragma once

#include "ImportJob.h"
#include "VerifyJob.h"

#include <string>
#include <vector>

struct CloneResult {
    ImportResult import;
    bool verified = false; // the check ran: the import ran through
    VerifyResult verify;
};

// Puts a source module's exported lines into a target: an import of every
// line, then a check of the slots they name; with exact a check of every
// slot, where one the lines do not name must be empty.
CloneResult CloneOnto(const JobPort& target, const std::vector<std::string>& lines,
                      IJobObserver& importObserver, IJobObserver& verifyObserver,
                      bool exact = false);
