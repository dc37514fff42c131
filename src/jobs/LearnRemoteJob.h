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
        Learned,          // one capture
        Stable,           // two captures, equal
        StableTwoOfThree, // three captures, two of them equal
        Unstable,         // three captures, all different: the last one is kept
        OnModule,         // the session's code is in the slot already
        Written,          // the session's code was written into the slot and read back
        NotOnModule,      // the session's code is not in the slot, and was not asked for
        Failed,           // the session's code could not be written
        Skipped,          // no code: its tries ran out, or the operator skipped it
        NotReached,       // the walk ended before it, or it was not asked for
    };
    size_t index = 0; // in the map
    Outcome outcome = Outcome::NotReached;
    std::vector<uint8_t> code;     // the code kept
    int captures = 0;              // learns that brought a code
    int tries = 0;                 // learns started
    std::string failure;           // the last try's failure, if any
    std::vector<size_t> differing; // where the first two captures differ
    std::string sameAs;            // another key of the session whose code this one is

    // The slot holds the key's code at the end.
    bool Learned() const {
        return outcome != Outcome::NotOnModule && outcome != Outcome::Failed &&
               outcome != Outcome::Skipped && outcome != Outcome::NotReached;
    }
    // Captured in this run.
    bool LearnedNow() const { return Learned() && !FromSession(); }
    bool FromSession() const { return outcome == Outcome::OnModule || outcome == Outcome::Written; }
};
// "learned", "stable", "stable (2 of 3)", "unstable", "on the module", "written
// from the session", "not on this module", "failed", "skipped", "not reached".
const char* KeyOutcomeText(KeyLearnResult::Outcome outcome);

// What to do after a try that brought no code.
enum class KeyChoice { Retry, Skip, Stop };
// What to do with a capture that is the code of another key of the session.
enum class SameCodeChoice { Keep, LearnAgain };

class ILearnRemoteObserver {
public:
    virtual ~ILearnRemoteObserver() = default;
    // Before the first key, when the session holds keys of the map: how many,
    // and how many of them the module holds as the session does.
    virtual void OnResume(size_t inSession, size_t onModule, size_t total) {
        (void)inSession;
        (void)onModule;
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
    // The capture of key is the code of other, another key of the session.
    // By default it is kept.
    virtual SameCodeChoice OnSameCode(const RemoteKey& key, const RemoteKey& other) {
        (void)key;
        (void)other;
        return SameCodeChoice::Keep;
    }
    // A key is done (learned, skipped, found on the module or written).
    virtual void OnKey(const RemoteKey& key, const KeyLearnResult& result) {
        (void)key;
        (void)result;
    }
};

struct LearnRemoteOptions {
    int retries = 3;      // more tries after one that brought no code
    bool confirm = false; // learn each key twice (a third time when they differ)
    bool restart = false; // start afresh, not from what the session holds
    // A key whose session code is not on the module gets that code written,
    // instead of being learned again.
    bool writeSession = false;
    std::vector<size_t> only; // the keys (map indices) to learn again; empty: the walk
};

struct LearnRemoteResult {
    JobOutcome outcome = JobOutcome::Complete; // Cancelled, NoReply or FileError end it early
    std::vector<KeyLearnResult> keys;          // one per key of the map, in map order
    size_t resumed = 0;                        // keys the session held at the start
    std::string problem;                       // what ended it early, in words
    size_t Missing() const;                    // keys without a code at the end
    size_t Count(KeyLearnResult::Outcome outcome) const;
    size_t LearnedNow() const;
    size_t SameCodes() const; // keys kept with the code of another
};

// Walks the map's keys in file order, learning each into its slot with the
// window's learn exchange and polling, and reads each capture back. After
// every key learned the session file is replaced with all codes so far.
// The session belongs to a map, not to a module: before the walk every key
// it holds is read back from the module, and only a key whose slot holds
// the session's code counts as done; any other is learned again (or, with
// writeSession, given the session's code). A capture that is the code of
// another key of the session is put to the observer. restart forgets the
// session; only learns just those keys again, and the others are checked.
// Ends at Stop or when the running flag drops (Cancelled), when the module
// stops answering (NoReply) or when the session cannot be read or saved
// (FileError).
LearnRemoteResult LearnRemote(const JobPort& port, const RemoteMap& map, CLearnSession& session,
                              const LearnRemoteOptions& options, LearnRemoteControl& control,
                              ILearnRemoteObserver& observer);

// The keys of the map by name: exactly, else without regard to case when
// that leaves one key. False with the name that matched none, or more.
bool KeysNamed(const RemoteMap& map, const std::vector<std::string>& names,
               std::vector<size_t>& indices, std::string& unmatched);
