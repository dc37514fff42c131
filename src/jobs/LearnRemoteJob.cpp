#include "LearnRemoteJob.h"

#include "KeyCapture.h"
#include "ModuleOperations.h"
#include "SlotWrite.h"

#include <algorithm>
#include <cctype>
#include <iterator>

namespace {

// How one capture of a key ended.
enum class CaptureEnd { Code, Redo, Skip, Stop, Cancel, Lost };

class CRemoteWalk {
public:
    CRemoteWalk(const JobPort& port, const LearnRemoteOptions& options, LearnRemoteControl& control,
                ILearnRemoteObserver& observer)
        : m_port(port), m_options(options), m_control(control), m_observer(observer) {}

    // Learns one key, with its confirming captures; r holds what came of it.
    CaptureEnd LearnKey(const RemoteKey& key, KeyLearnResult& r, std::string& problem) {
        std::vector<std::vector<uint8_t>> captures;
        for (;;) {
            std::vector<uint8_t> code;
            const CaptureEnd end =
                CaptureOnce(key, static_cast<int>(captures.size()) + 1, r, code, problem);
            if (end == CaptureEnd::Redo) {
                captures.clear();
                r.differing.clear();
                continue;
            }
            if (end != CaptureEnd::Code) {
                return end;
            }
            captures.push_back(std::move(code));
            ++r.captures;
            r.code = captures.back();
            if (!m_options.confirm) {
                r.outcome = KeyLearnResult::Outcome::Learned;
                return end;
            }
            if (captures.size() == 2) {
                if (captures[0] == captures[1]) {
                    r.outcome = KeyLearnResult::Outcome::Stable;
                    return end;
                }
                r.differing = DifferingPositions(captures[0], captures[1]);
                m_observer.OnDiffer(key, r.differing);
                continue;
            }
            if (captures.size() == 3) {
                // The slot holds the third capture, which is kept either way.
                const bool twoAgree = captures[2] == captures[0] || captures[2] == captures[1];
                r.outcome = twoAgree ? KeyLearnResult::Outcome::StableTwoOfThree
                                     : KeyLearnResult::Outcome::Unstable;
                return end;
            }
        }
    }

private:
    // After a try without a code: a module that still answers was only not
    // shown a key; one that does not (unplugged, the port gone) ends the walk.
    bool ModuleAnswers() {
        return m_port.Stopped() ||
               GetVersion(m_port.link, m_port.timing, m_port.checks).replyBytes > 0;
    }

    KeyRequest TakeRequest() { return static_cast<KeyRequest>(m_control.request.exchange(0)); }

    static CaptureEnd EndFor(KeyRequest request) {
        switch (request) {
        case KeyRequest::Skip:
            return CaptureEnd::Skip;
        case KeyRequest::Redo:
            return CaptureEnd::Redo;
        case KeyRequest::Stop:
            return CaptureEnd::Stop;
        case KeyRequest::None:
            break;
        }
        return CaptureEnd::Code;
    }

    // One capture: a learn, then more while the observer asks for them.
    CaptureEnd CaptureOnce(const RemoteKey& key, int number, KeyLearnResult& r,
                           std::vector<uint8_t>& code, std::string& problem) {
        int retriesLeft = std::max(m_options.retries, 0);
        for (;;) {
            if (m_port.Stopped()) {
                return CaptureEnd::Cancel;
            }
            StartLearn(m_port.link, key.slot);
            ++r.tries;
            m_observer.OnPrompt(key, number, LearnWaitMs(m_port.timing));
            Capture capture = AwaitCapture(m_port, key.slot, &m_control.request);
            m_observer.OnWaitEnded(key, capture.result == Capture::Result::Code);
            if (capture.result == Capture::Result::Code) {
                code = std::move(capture.code);
                return CaptureEnd::Code;
            }
            if (capture.result == Capture::Result::Failed && !ModuleAnswers()) {
                capture.result = Capture::Result::Lost;
                capture.text += "; then no reply to Get version: the module is gone";
            }
            if (capture.result == Capture::Result::Lost) {
                r.failure = capture.text;
                problem = capture.text;
                return CaptureEnd::Lost;
            }
            if (m_port.Stopped()) {
                return CaptureEnd::Cancel;
            }
            // A request made while the wait ended wins over the wait's end.
            if (const KeyRequest request = TakeRequest(); request != KeyRequest::None) {
                return EndFor(request);
            }
            r.failure = capture.text;
            switch (m_observer.OnFailed(key, capture.text, retriesLeft)) {
            case KeyChoice::Retry:
                retriesLeft = std::max(retriesLeft - 1, 0);
                break;
            case KeyChoice::Skip:
                return CaptureEnd::Skip;
            case KeyChoice::Stop:
                return CaptureEnd::Stop;
            }
        }
    }

    const JobPort& m_port;
    const LearnRemoteOptions& m_options;
    LearnRemoteControl& m_control;
    ILearnRemoteObserver& m_observer;
};

// The walk through the whole map: the session checked against the module
// first, then each key found there, written from the session or learned.
class CMapWalk {
public:
    CMapWalk(const JobPort& port, const RemoteMap& map, CLearnSession& session,
             const LearnRemoteOptions& options, LearnRemoteControl& control,
             ILearnRemoteObserver& observer, LearnRemoteResult& result)
        : m_port(port), m_map(map), m_session(session), m_options(options), m_control(control),
          m_observer(observer), m_result(result), m_keys(port, options, control, observer),
          m_onModule(map.keys.size(), false) {}

    // Reads back every key the session holds; false when the walk cannot go on.
    bool CheckSession() {
        size_t inSession = 0;
        size_t onModule = 0;
        for (size_t i = 0; i < m_map.keys.size(); ++i) {
            const uint16_t slot = m_map.keys[i].slot;
            if (!m_session.Holds(slot)) {
                continue;
            }
            if (m_port.Stopped()) {
                m_result.outcome = JobOutcome::Cancelled;
                return false;
            }
            const SlotCode read = ReadSlotCode(m_port, slot);
            if (read.state == SlotCode::State::NoReply) {
                m_result.outcome = JobOutcome::NoReply;
                m_result.problem = "no reply to the read of slot " + std::to_string(slot);
                return false;
            }
            ++inSession;
            m_onModule[i] =
                read.state == SlotCode::State::Code && read.code == m_session.Code(slot);
            onModule += m_onModule[i] ? 1 : 0;
        }
        m_result.resumed = inSession;
        if (inSession > 0) {
            m_observer.OnResume(inSession, onModule, m_map.keys.size());
        }
        return true;
    }

    // One key; false when the walk ends with it.
    bool Key(size_t i) {
        const RemoteKey& key = m_map.keys[i];
        KeyLearnResult& r = m_result.keys[i];
        const bool asked =
            m_options.only.empty() ||
            std::find(m_options.only.begin(), m_options.only.end(), i) != m_options.only.end();
        const bool held = m_session.Holds(key.slot);
        // Keys named to be learned again are learned whatever the module holds.
        const bool kept =
            held && m_options.only.empty() && (m_onModule[i] || m_options.writeSession);
        if (!asked || kept) {
            if (held) {
                r.code = m_session.Code(key.slot);
                r.outcome = m_onModule[i]            ? KeyLearnResult::Outcome::OnModule
                            : m_options.writeSession ? Write(key, r)
                                                     : KeyLearnResult::Outcome::NotOnModule;
            }
            m_observer.OnKey(key, r);
            return m_result.outcome == JobOutcome::Complete;
        }
        // A Stop asked between keys ends the walk here; a Skip or Redo asked
        // for the key before does not carry over to this one.
        if (static_cast<KeyRequest>(m_control.request.exchange(0)) == KeyRequest::Stop ||
            m_port.Stopped()) {
            m_result.outcome = JobOutcome::Cancelled;
            return false;
        }
        Learn(i, r);
        m_observer.OnKey(key, r);
        return m_result.outcome == JobOutcome::Complete;
    }

private:
    // Learns key i until its capture is kept, then saves it in the session.
    void Learn(size_t i, KeyLearnResult& r) {
        const RemoteKey& key = m_map.keys[i];
        if (const JournalStep step = JournalBefore(m_port, key.slot); step != JournalStep::Ready) {
            m_result.outcome = OutcomeOf(step);
            m_result.problem = r.failure = JournalStepText(m_port, step, key.slot);
            return;
        }
        for (;;) {
            switch (m_keys.LearnKey(key, r, m_result.problem)) {
            case CaptureEnd::Code:
                break;
            case CaptureEnd::Skip:
                r.outcome = KeyLearnResult::Outcome::Skipped;
                return;
            case CaptureEnd::Redo: // taken inside LearnKey
            case CaptureEnd::Stop:
            case CaptureEnd::Cancel:
                m_result.outcome = JobOutcome::Cancelled;
                return;
            case CaptureEnd::Lost:
                m_result.outcome = JobOutcome::NoReply;
                return;
            }
            const RemoteKey* other = SameCodeKey(i, r.code);
            r.sameAs = other != nullptr ? other->name : std::string();
            if (other == nullptr || m_observer.OnSameCode(key, *other) == SameCodeChoice::Keep) {
                break;
            }
            r.differing.clear();
        }
        m_session.Put(key.slot, r.code);
        JournalAfter(m_port, key.slot, r.code); // as the capture read it back
        if (const SaveOutcome saved = m_session.Save(); !saved) {
            m_result.problem = saved.message;
            m_result.outcome = JobOutcome::FileError;
        }
    }

    // Another key of the map whose session code is code.
    const RemoteKey* SameCodeKey(size_t i, const std::vector<uint8_t>& code) const {
        for (size_t j = 0; j < m_map.keys.size(); ++j) {
            const uint16_t slot = m_map.keys[j].slot;
            if (j != i && m_session.Holds(slot) && m_session.Code(slot) == code) {
                return &m_map.keys[j];
            }
        }
        return nullptr;
    }

    // The session's code into the key's slot, read back.
    KeyLearnResult::Outcome Write(const RemoteKey& key, KeyLearnResult& r) {
        const std::string slot = "slot " + std::to_string(key.slot);
        const SlotWrite write = WriteSlotChecked(m_port, key.slot, r.code);
        switch (write.result) {
        case SlotWrite::Result::Written:
            return KeyLearnResult::Outcome::Written;
        case SlotWrite::Result::JournalStopped:
            m_result.outcome = OutcomeOf(write.journal);
            m_result.problem = r.failure = JournalStepText(m_port, write.journal, key.slot);
            break;
        case SlotWrite::Result::NoReadBack:
            m_result.outcome = JobOutcome::NoReply;
            m_result.problem = r.failure = "no reply to the read of " + slot + " after its write";
            break;
        case SlotWrite::Result::ReadBackDiffers:
            r.failure = slot + " does not hold the code written into it";
            break;
        case SlotWrite::Result::Refused:
            r.failure = "the write of " + slot + " was refused (status " +
                        std::to_string(write.status) + ")";
            break;
        case SlotWrite::Result::TooLong:
            r.failure = "the code is too long for a write";
            break;
        case SlotWrite::Result::NotAcknowledged:
        case SlotWrite::Result::Damaged:
            r.failure = "the write of " + slot + " was not acknowledged";
            break;
        }
        return KeyLearnResult::Outcome::Failed;
    }

    const JobPort& m_port;
    const RemoteMap& m_map;
    CLearnSession& m_session;
    const LearnRemoteOptions& m_options;
    LearnRemoteControl& m_control;
    ILearnRemoteObserver& m_observer;
    LearnRemoteResult& m_result;
    CRemoteWalk m_keys;
    std::vector<bool> m_onModule; // per key: the slot holds the session's code
};

// Names compared without regard to ASCII case.
bool SameLetters(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

} // namespace

const char* KeyOutcomeText(KeyLearnResult::Outcome outcome) {
    switch (outcome) {
    case KeyLearnResult::Outcome::Learned:
        return "learned";
    case KeyLearnResult::Outcome::Stable:
        return "stable";
    case KeyLearnResult::Outcome::StableTwoOfThree:
        return "stable (2 of 3)";
    case KeyLearnResult::Outcome::Unstable:
        return "unstable";
    case KeyLearnResult::Outcome::OnModule:
        return "on the module";
    case KeyLearnResult::Outcome::Written:
        return "written from the session";
    case KeyLearnResult::Outcome::NotOnModule:
        return "not on this module";
    case KeyLearnResult::Outcome::Failed:
        return "failed";
    case KeyLearnResult::Outcome::Skipped:
        return "skipped";
    case KeyLearnResult::Outcome::NotReached:
        break;
    }
    return "not reached";
}

size_t LearnRemoteResult::Missing() const {
    return static_cast<size_t>(
        std::count_if(keys.begin(), keys.end(), [](const auto& k) { return !k.Learned(); }));
}

size_t LearnRemoteResult::Count(KeyLearnResult::Outcome outcome) const {
    return static_cast<size_t>(std::count_if(keys.begin(), keys.end(),
                                             [&](const auto& k) { return k.outcome == outcome; }));
}

size_t LearnRemoteResult::LearnedNow() const {
    return static_cast<size_t>(
        std::count_if(keys.begin(), keys.end(), [](const auto& k) { return k.LearnedNow(); }));
}

size_t LearnRemoteResult::SameCodes() const {
    return static_cast<size_t>(std::count_if(keys.begin(), keys.end(), [](const auto& k) {
        return k.LearnedNow() && !k.sameAs.empty();
    }));
}

LearnRemoteResult LearnRemote(const JobPort& port, const RemoteMap& map, CLearnSession& session,
                              const LearnRemoteOptions& options, LearnRemoteControl& control,
                              ILearnRemoteObserver& observer) {
    LearnRemoteResult result;
    result.keys.resize(map.keys.size());
    for (size_t i = 0; i < map.keys.size(); ++i) {
        result.keys[i].index = i;
    }
    if (options.restart) {
        session.Forget();
    } else if (!session.Load(&result.problem)) {
        result.outcome = JobOutcome::FileError;
        return result;
    }
    CMapWalk walk(port, map, session, options, control, observer, result);
    if (!walk.CheckSession()) {
        return result;
    }
    for (size_t i = 0; i < map.keys.size(); ++i) {
        if (!walk.Key(i)) {
            break;
        }
    }
    return result;
}

bool KeysNamed(const RemoteMap& map, const std::vector<std::string>& names,
               std::vector<size_t>& indices, std::string& unmatched) {
    for (const std::string& name : names) {
        const RemoteKey* key = map.Find(name);
        if (key == nullptr) {
            const auto alike = [&](const RemoteKey& k) { return SameLetters(k.name, name); };
            const auto first = std::find_if(map.keys.begin(), map.keys.end(), alike);
            if (first == map.keys.end() ||
                std::find_if(std::next(first), map.keys.end(), alike) != map.keys.end()) {
                unmatched = name;
                return false;
            }
            key = &*first;
        }
        const auto index = static_cast<size_t>(key - map.keys.data());
        if (std::find(indices.begin(), indices.end(), index) == indices.end()) {
            indices.push_back(index);
        }
    }
    return true;
}
