#include "CloneJob.h"

CloneResult CloneOnto(const JobPort& target, const std::vector<std::string>& lines,
                      IJobObserver& importObserver, IJobObserver& verifyObserver, bool exact) {
    CloneResult result;
    result.import = ImportFile(target, lines, importObserver);
    if (result.import.outcome == JobOutcome::Complete && !target.Stopped()) {
        result.verified = true;
        result.verify = VerifyModule(target, lines, exact, verifyObserver);
    }
    return result;
}
