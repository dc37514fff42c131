#include "LearnRemoteJob.h"

#include "KeyCapture.h"
#include "ModuleOperations.h"

#include <algorithm>

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
    result.resumed = static_cast<size_t>(std::count_if(
        map.keys.begin(), map.keys.end(), [&](const auto& k) { return session.Holds(k.slot); }));
    observer.OnResume(result.resumed, map.keys.size());

    CRemoteWalk walk(port, options, control, observer);
    for (size_t i = 0; i < map.keys.size(); ++i) {
        const RemoteKey& key = map.keys[i];
        KeyLearnResult& r = result.keys[i];
        if (session.Holds(key.slot)) {
            r.outcome = KeyLearnResult::Outcome::Learned;
            r.fromSession = true;
            r.code = session.Code(key.slot);
            observer.OnKey(key, r);
            continue;
        }
        // A Stop asked between keys ends the walk here; a Skip or Redo asked
        // for the key before does not carry over to this one.
        if (static_cast<KeyRequest>(control.request.exchange(0)) == KeyRequest::Stop ||
            port.Stopped()) {
            result.outcome = JobOutcome::Cancelled;
            break;
        }
        switch (walk.LearnKey(key, r, result.problem)) {
        case CaptureEnd::Code:
            session.Put(key.slot, r.code);
            if (const SaveOutcome saved = session.Save(); !saved) {
                result.problem = saved.message;
                result.outcome = JobOutcome::FileError;
            }
            break;
        case CaptureEnd::Skip:
            r.outcome = KeyLearnResult::Outcome::Skipped;
            break;
        case CaptureEnd::Redo: // taken inside LearnKey
        case CaptureEnd::Stop:
        case CaptureEnd::Cancel:
            result.outcome = JobOutcome::Cancelled;
            break;
        case CaptureEnd::Lost:
            result.outcome = JobOutcome::NoReply;
            break;
        }
        observer.OnKey(key, r);
        if (result.outcome != JobOutcome::Complete) {
            break;
        }
    }
    return result;
}
