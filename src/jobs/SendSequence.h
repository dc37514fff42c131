#pragma once

#include "JobPort.h"
#include "ModuleOperations.h"
#include "RemoteMap.h"

#include <cstdint>
#include <functional>
#include <vector>

// One key of a sequence as it was sent.
struct SequenceStep {
    const RemoteKey* key = nullptr;
    SendOutcome outcome = SendOutcome::CommunicationFail;
    uint32_t waitedMs = 0; // the pause before it was sent
};

struct SequenceResult {
    std::vector<SequenceStep> steps; // the keys sent, the one that failed last
    bool complete = false;           // every key sent ok
    bool cancelled = false;          // the running flag dropped
};

// Sends the keys in order, pausing waitMs between two of them, and stops at
// the first that is not "Send Ok!" or once the running flag drops (the pause
// ends at once then). onStep hears of each key as it is sent.
SequenceResult SendSequence(const JobPort& port, const std::vector<RemoteKey>& keys,
                            uint32_t waitMs,
                            const std::function<void(const SequenceStep&)>& onStep = {});
