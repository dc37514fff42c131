#pragma once

#include "JobPort.h"
#include "LearnSession.h"
#include "RemoteMap.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// What a front end may ask of a walk through a remote while a key waits for
// its press; the walk takes the request and puts it back to None.
enum class KeyRequest : int32_t { None = 0, Skip, Redo, Stop };

struct LearnRemoteControl {
    std::atomic<int32_t> request{0};
    void Ask(KeyRequest r) { request.store(static_cast<int32_t>(r)); }
};

// What became of one key of the map.
struct KeyLearnResult {
    enum class Outcome {
        Learned,          // one capture (or kept from the session)
        Stable,           // two captures, equal
        StableTwoOfThree, // three captures, two of them equal
        Unstable,         // three captures, all different: the last one is kept
        Skipped,          // no code: its tries ran out, or the operator skipped it
        NotReached,       // the walk ended before it
    };
    size_t index = 0; // in the map
    Outcome outcome = Outcome::NotReached;
    bool fromSession = false;      // learned in an earlier run
    std::vector<uint8_t> code;     // the code kept
    int captures = 0;              // learns that brought a code
    int tries = 0;                 // learns started
    std::string failure;           // the last try's failure, if any
    std::vector<size_t> differing; // where the first two captures differ

    bool Learned() const { return outcome != Outcome::Skipped && outcome != Outcome::NotReached; }
};
// "learned", "stable", "stable (2 of 3)", "unstable", "skipped", "not reached".
const char* KeyOutcomeText(KeyLearnResult::Outcome outcome);

// What to do after a try that brought no code.
enum class KeyChoice { Retry, Skip, Stop };

class ILearnRemoteObserver {
public:
    virtual ~ILearnRemoteObserver() = default;
    // Before the first key: how many the session already holds.
    virtual void OnResume(size_t learned, size_t total) {
        (void)learned;
        (void)total;
    }
    // The module is learning for key: the remote's key may be pressed now.
    // capture counts from 1 (2 and 3 when captures are confirmed); waitMs
    // is the longest the learn waits.
    virtual void OnPrompt(const RemoteKey& key, int capture, uint32_t waitMs) {
        (void)key;
        (void)capture;
        (void)waitMs;
    }
    // The learn's wait is over, a code came or not.
    virtual void OnWaitEnded(const RemoteKey& key, bool captured) {
        (void)key;
        (void)captured;
    }
    // A try brought no code. By default: again while retries are left, then skip.
    virtual KeyChoice OnFailed(const RemoteKey& key, const std::string& why, int retriesLeft) {
        (void)key;
        (void)why;
        return retriesLeft > 0 ? KeyChoice::Retry : KeyChoice::Skip;
    }
    // The first two captures differ at these positions: a third press follows.
    virtual void OnDiffer(const RemoteKey& key, const std::vector<size_t>& positions) {
        (void)key;
        (void)positions;
    }
    // A key is done (learned, skipped or kept from the session).
    virtual void OnKey(const RemoteKey& key, const KeyLearnResult& result) {
        (void)key;
        (void)result;
    }
};

struct LearnRemoteOptions {
    int retries = 3;      // more tries after one that brought no code
    bool confirm = false; // learn each key twice (a third time when they differ)
    bool restart = false; // start afresh, not from what the session holds
};

struct LearnRemoteResult {
    JobOutcome outcome = JobOutcome::Complete; // Cancelled, NoReply or FileError end it early
    std::vector<KeyLearnResult> keys;          // one per key of the map, in map order
    size_t resumed = 0;                        // keys the session held at the start
    std::string problem;                       // what ended it early, in words
    size_t Missing() const;                    // keys without a code at the end
};

// Walks the map's keys in file order, learning each into its slot with the
// window's learn exchange and polling, and reads each capture back. After
// every key learned the session file is replaced with all codes so far.
// Keys the session already holds are not learned again unless restart.
// Ends at Stop or when the running flag drops (Cancelled), when the module
// stops answering (NoReply) or when the session cannot be read or saved
// (FileError).
LearnRemoteResult LearnRemote(const JobPort& port, const RemoteMap& map, CLearnSession& session,
                              const LearnRemoteOptions& options, LearnRemoteControl& control,
                              ILearnRemoteObserver& observer);
