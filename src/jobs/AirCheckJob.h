#pragma once

#include "JobPort.h"
#include "RemoteMap.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// What one key sent by one module and learned by another showed.
struct AirKeyResult {
    enum class Outcome {
        Identical,   // the capture is the sender's code, byte for byte
        Differs,     // captured, but not the same
        NotCaptured, // the learning module got nothing, or failed
        NotHeld,     // the sender's slot is empty: nothing to send
    };
    size_t index = 0; // in the map
    Outcome outcome = Outcome::NotCaptured;
    size_t sentBytes = 0;
    size_t capturedBytes = 0;
    std::vector<size_t> differing{}; // positions from 0
    std::string failure{};           // why not captured
    std::string gone{};              // a module that stopped answering, in words
};
// "identical", "differs in 3 of 96 bytes", "differs: sent 3 bytes, captured
// 26", "not captured", "not held".
std::string AirOutcomeText(const AirKeyResult& result);

class IAirCheckObserver {
public:
    virtual ~IAirCheckObserver() = default;
    virtual void OnKey(const RemoteKey& key, const AirKeyResult& result) {
        (void)key;
        (void)result;
    }
};

struct AirCheckResult {
    JobOutcome outcome = JobOutcome::Complete;
    std::vector<AirKeyResult> keys; // the keys checked, in map order
    bool restored = false;          // the scratch slot holds what it held before
    bool refused = false;           // nothing was sent: the scratch slot cannot be written back
    std::string problem;            // what ended the check early, in words
    std::string putRight;           // a check that did not finish, put right first
    size_t Count(AirKeyResult::Outcome outcome) const;
};

// Checks the codes of a map by air: for each key the sender holds, the
// receiver learns into its scratch slot while the sender sends the key, and
// what it captured is read back and compared with the sender's code. The
// receiver's scratch slot is written back as it was at the end, however
// the check ended. What the scratch slot held is journaled first (when the
// receiver keeps a journal), and each capture after it, so that a check
// that never ends (killed) can be undone; the next check puts such a one
// right first. A scratch slot whose code is longer than a write carries is
// refused before anything is sent. A module that stops answering ends the
// check at once.
AirCheckResult CheckByAir(const JobPort& sender, const JobPort& receiver, const RemoteMap& map,
                          uint16_t scratch, IAirCheckObserver& observer);
