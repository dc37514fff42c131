// learn-remote and check-remote: the jobs on a whole remote map.

#include "RemoteCommands.h"

#include "AirCheckJob.h"
#include "CommandLine.h"
#include "Console.h"
#include "CountedText.h"
#include "ExitStatus.h"
#include "JobReport.h"
#include "KeyCapture.h"
#include "LearnPrompt.h"
#include "LearnRemoteJob.h"
#include "OperatorAnswer.h"
#include "Options.h"
#include "PortHandover.h"

#include <cctype>
#include <memory>
#include <set>

namespace {

// "POWER (1/1)"
std::string Label(const RemoteKey& key) {
    return key.name + " (" + KeyPlace(key) + ")";
}

Json KeyFields(const RemoteKey& key) {
    Json fields{{"name", key.name}, {"slot", key.slot}};
    if (key.channel > 0) {
        fields["channel"] = key.channel;
        fields["key"] = key.key;
    }
    return fields;
}

// Positions as the reports give them: counted from 1.
Json PositionsFromOne(const std::vector<size_t>& positions) {
    Json list = Json::array();
    for (const size_t p : positions) {
        list.push_back(p + 1);
    }
    return list;
}

// The map, or false with every fault in the report (a usage error).
bool ReadMap(const std::string& path, RemoteMap& map, CPortReport& report) {
    map = ReadRemoteMap(path);
    if (map.Ok()) {
        return true;
    }
    for (const RemoteMapFault& fault : map.faults) {
        report.Trouble(path + ": " + RemoteMapFaultText(fault));
    }
    report.Fail(EXIT_USAGE, path + ": " + RemoteMapFaultText(map.faults.front()));
    return false;
}

// What a key came to, as the walk says it live and the report repeats it:
// "POWER (1/1): learned, 26 bytes", "VOL+ (1/2): same code as VOL-, 26 bytes".
std::string KeyLine(const RemoteKey& key, const KeyLearnResult& r) {
    std::string what = KeyOutcomeText(r.outcome);
    if (!r.sameAs.empty() && r.LearnedNow()) {
        const std::string same = "same code as " + r.sameAs;
        what = r.outcome == KeyLearnResult::Outcome::Learned ? same : what + ", " + same;
    }
    std::string line = Label(key) + ": " + what;
    if (r.Learned()) {
        line += ", " + Bytes(r.code.size());
    }
    if (!r.differing.empty()) {
        line += " (the first two captures differ at byte " + PositionsText(r.differing) + ")";
    } else if (!r.Learned() && !r.failure.empty()) {
        line += " (" + r.failure + ")";
    }
    return line;
}

// Says each step of the walk on standard error, and asks the operator on a
// terminal what to do after a try that brought no code, and with a capture
// that another key has already.
class CWalkPrompts : public ILearnRemoteObserver {
public:
    explicit CWalkPrompts(CPortSession& session) : m_session(session) {}

    void OnResume(size_t inSession, size_t onModule, size_t total) override {
        Say("resuming: " + std::to_string(inSession) + " of " + Counted(total, "key") +
            " in the session, " + std::to_string(onModule) + " of them on the module");
    }
    void OnPrompt(const RemoteKey& key, int capture, uint32_t waitMs) override {
        const std::string asking = Label(key) + ": press the key on the remote" +
                                   (capture == 2   ? " again"
                                    : capture == 3 ? " a third time"
                                                   : "");
        m_prompt = std::make_unique<CLearnPrompt>(m_session, waitMs, asking);
    }
    void OnWaitEnded(const RemoteKey&, bool captured) override {
        if (m_prompt) {
            m_prompt->Done(captured);
            m_prompt.reset();
        }
    }
    KeyChoice OnFailed(const RemoteKey& key, const std::string& why, int retriesLeft) override {
        if (m_session.Context().answerFd < 0) {
            if (retriesLeft > 0) {
                Say(Label(key) + ": " + why + "; trying again (" +
                    Counted(static_cast<size_t>(retriesLeft), "try", "tries") + " left)");
                return KeyChoice::Retry;
            }
            Say(Label(key) + ": " + why + "; skipped");
            return KeyChoice::Skip;
        }
        const std::string choices = "Enter: try again, s: skip, q: stop";
        Say(Label(key) + ": " + why + " " + choices);
        switch (Ask(choices, "sq")) {
        case '\n':
            return KeyChoice::Retry;
        case 's':
            return KeyChoice::Skip;
        default:
            return KeyChoice::Stop;
        }
    }
    SameCodeChoice OnSameCode(const RemoteKey& key, const RemoteKey& other) override {
        const std::string warning = key.name + " has the same code as " + other.name;
        if (m_session.Context().answerFd < 0) {
            Say(warning);
            return SameCodeChoice::Keep;
        }
        const std::string choices = "Enter: learn it again, k: keep it";
        Say(warning + ". " + choices);
        return Ask(choices, "k") == '\n' ? SameCodeChoice::LearnAgain : SameCodeChoice::Keep;
    }
    void OnDiffer(const RemoteKey& key, const std::vector<size_t>& positions) override {
        Say(Label(key) + ": the two captures differ at byte " + PositionsText(positions) +
            "; press the key a third time");
    }
    void OnKey(const RemoteKey& key, const KeyLearnResult& result) override {
        Say(KeyLine(key, result));
        m_said.insert(key.name);
    }
    // On one terminal the report leaves out the key lines said as they came.
    bool SaidOnTerminal(const RemoteKey& key) const {
        return m_session.Context().oneTerminal && m_said.count(key.name) > 0;
    }

private:
    void Say(const std::string& text) { m_session.Context().console.Line(text); }

    // The operator's answer: '\n' for Enter, else one of letters (either
    // case); asked again after anything else. The input's end, or an
    // interrupt, is the first letter.
    char Ask(const std::string& choices, const std::string& letters) {
        std::string answer;
        while (ReadAnswer(m_session.Context().answerFd, m_session.Running(), answer)) {
            if (answer.empty()) {
                return '\n';
            }
            const char letter =
                static_cast<char>(std::tolower(static_cast<unsigned char>(answer[0])));
            if (answer.size() == 1 && letters.find(letter) != std::string::npos) {
                return letter;
            }
            Say(choices);
        }
        return letters.back();
    }

    CPortSession& m_session;
    std::unique_ptr<CLearnPrompt> m_prompt;
    std::set<std::string> m_said; // the keys whose line was said
};

Json KeyWalkFields(const RemoteKey& key, const KeyLearnResult& r) {
    Json fields = KeyFields(key);
    fields["outcome"] = KeyOutcomeText(r.outcome);
    fields["code_bytes"] = r.code.size();
    fields["from_session"] = r.FromSession();
    fields["tries"] = r.tries;
    if (!r.sameAs.empty() && r.LearnedNow()) {
        fields["same_as"] = r.sameAs;
    }
    if (!r.differing.empty()) {
        fields["differing"] = PositionsFromOne(r.differing);
    }
    if (!r.Learned() && !r.failure.empty()) {
        fields["failure"] = r.failure;
    }
    return fields;
}

// How the walk ended, when not at its last key: the status and its words.
void ReportWalkEnd(CPortSession& session, const std::string& sessionPath,
                   const LearnRemoteResult& result, CPortReport& report) {
    if (result.outcome == JobOutcome::FileError) {
        report.Fail(EXIT_USAGE, result.problem);
    } else if (result.outcome == JobOutcome::NoReply) {
        report.Trouble(result.problem);
        session.FailExchange(report, SlotReadBoundMs(session), EXIT_NO_REPLY);
    } else if (result.outcome == JobOutcome::Cancelled && session.Interrupted()) {
        report.Fail(EXIT_INTERRUPTED, "interrupted; the keys learned so far are in " + sessionPath);
    }
}

void ReportWalk(CPortSession& session, const RemoteMap& map, const std::string& sessionPath,
                const LearnRemoteResult& result, const CWalkPrompts& prompts, CPortReport& report) {
    using Outcome = KeyLearnResult::Outcome;
    Json keys = Json::array();
    std::string missing;
    for (size_t i = 0; i < map.keys.size(); ++i) {
        const RemoteKey& key = map.keys[i];
        const KeyLearnResult& r = result.keys[i];
        if (!prompts.SaidOnTerminal(key)) {
            report.Say(KeyLine(key, r));
        }
        keys.push_back(KeyWalkFields(key, r));
        if (!r.Learned()) {
            missing += (missing.empty() ? "" : ", ") + key.name;
        }
        if (!r.sameAs.empty() && r.LearnedNow()) {
            report.Trouble(key.name + " has the same code as " + r.sameAs);
        }
    }
    const size_t onModule = result.Count(Outcome::OnModule);
    const size_t written = result.Count(Outcome::Written);
    const size_t unstable = result.Count(Outcome::Unstable);
    report.Say(Counted(map.keys.size(), "key") + ": " + std::to_string(onModule) +
               " on the module, " + std::to_string(result.LearnedNow()) + " learned, " +
               std::to_string(written) + " written from the session, " +
               std::to_string(result.Missing()) + " missing, in " + sessionPath);
    report.fields["map"] = session.Context().options.map;
    report.fields["session"] = sessionPath;
    report.fields["resumed"] = result.resumed;
    report.fields["on_module"] = onModule;
    report.fields["learned"] = result.LearnedNow();
    report.fields["written_from_session"] = written;
    report.fields["missing"] = result.Missing();
    report.fields["unstable"] = unstable;
    report.fields["same_code"] = result.SameCodes();
    report.fields["keys"] = std::move(keys);
    if (unstable > 0) {
        report.Trouble(Counted(unstable, "key") +
                       " captured unstable: check the remote's batteries and aim");
        report.Status(EXIT_OUTCOME);
    }
    if (result.SameCodes() > 0 && !session.Context().options.allowSame) {
        report.Status(EXIT_OUTCOME);
    }
    ReportWalkEnd(session, sessionPath, result, report);
    if (result.Missing() > 0) {
        report.Trouble("missing: " + missing);
        report.Status(EXIT_OUTCOME);
    }
}

// The keys --only names, or false with a usage error.
bool OnlyKeys(const RemoteMap& map, const CliOptions& o, std::vector<size_t>& only,
              CPortReport& report) {
    std::string unmatched;
    if (KeysNamed(map, o.only, only, unmatched)) {
        return true;
    }
    std::vector<std::string> names;
    for (const RemoteKey& key : map.keys) {
        names.push_back(key.name);
    }
    report.Fail(EXIT_USAGE,
                "no key named " + unmatched + " in " + o.map + Suggestion(unmatched, names));
    return false;
}

} // namespace

void RunLearnRemote(CPortSession& session, CPortReport& report) {
    const CliOptions& o = session.Context().options;
    RemoteMap map;
    LearnRemoteOptions options;
    if (!ReadMap(o.map, map, report) || !OnlyKeys(map, o, options.only, report)) {
        return;
    }
    const std::string sessionPath = o.session.empty() ? SessionPathFor(o.map) : o.session;
    if (const ReplaceTarget target = CheckReplaceTarget(sessionPath); !target.ok) {
        report.Fail(EXIT_USAGE, sessionPath + ": " + target.problem);
        return;
    }
    if (!session.Open(report)) {
        return;
    }
    CLearnSession learnSession(sessionPath);
    options.retries = o.retries;
    options.confirm = o.confirm;
    options.restart = o.restart;
    options.writeSession = o.writeSession;
    LearnRemoteControl control;
    CWalkPrompts prompts(session);
    CRunControl& runControl = session.Context().control;
    runControl.Keep(session.Name(), "the keys learned so far are in " + sessionPath);
    const LearnRemoteResult result =
        LearnRemote(session.Job(), map, learnSession, options, control, prompts);
    runControl.Forget(session.Name());
    ReportWalk(session, map, sessionPath, result, prompts, report);
    ReportReplyChecks(session, report);
}

namespace {

class CAirProgress : public IAirCheckObserver {
public:
    CAirProgress(CProgressRow& row, int32_t total) : m_row(row) {
        m_row.Begin("check-remote", "keys", total);
    }
    void OnKey(const RemoteKey&, const AirKeyResult&) override { m_row.Update(++m_done); }

private:
    CProgressRow& m_row;
    int32_t m_done = 0;
};

void ReportAirCheck(CPortSession& sender, const RemoteMap& map, const std::string& learner,
                    const AirCheckResult& result, CPortReport& report) {
    const CliOptions& o = sender.Context().options;
    Json keys = Json::array();
    for (const AirKeyResult& r : result.keys) {
        const RemoteKey& key = map.keys[r.index];
        std::string line = Label(key) + ": " + AirOutcomeText(r);
        if (r.outcome == AirKeyResult::Outcome::Differs && r.sentBytes == r.capturedBytes) {
            line += " (at byte " + PositionsText(r.differing) + ")";
        } else if (r.outcome == AirKeyResult::Outcome::NotCaptured && !r.failure.empty()) {
            line += " (" + r.failure + ")";
        }
        report.Say(line);
        Json fields = KeyFields(key);
        fields["outcome"] = AirOutcomeText(r);
        fields["sent_bytes"] = r.sentBytes;
        fields["captured_bytes"] = r.capturedBytes;
        if (!r.differing.empty()) {
            fields["differing"] = PositionsFromOne(r.differing);
        }
        if (!r.failure.empty()) {
            fields["failure"] = r.failure;
        }
        keys.push_back(std::move(fields));
    }
    using Outcome = AirKeyResult::Outcome;
    const size_t identical = result.Count(Outcome::Identical);
    const size_t differs = result.Count(Outcome::Differs);
    const size_t notCaptured = result.Count(Outcome::NotCaptured);
    report.Say(Counted(result.keys.size() - result.Count(Outcome::NotHeld), "key") +
               " sent: " + std::to_string(identical) + " identical, " + std::to_string(differs) +
               " different, " + std::to_string(notCaptured) + " not captured");
    report.fields["map"] = o.map;
    report.fields["learning_port"] = learner;
    report.fields["scratch"] = o.scratch;
    report.fields["restored"] = result.restored;
    report.fields["identical"] = identical;
    report.fields["different"] = differs;
    report.fields["not_captured"] = notCaptured;
    report.fields["keys"] = std::move(keys);
    if (!result.putRight.empty()) {
        report.Trouble(result.putRight);
    }
    if (result.refused) {
        report.Fail(result.outcome == JobOutcome::FileError ? EXIT_USAGE : EXIT_OUTCOME,
                    result.problem);
        report.fields["error"] = result.problem;
    }
    if (!result.restored) {
        report.Fail(EXIT_OUTCOME, result.problem.empty()
                                      ? "slot " + std::to_string(o.scratch) + " of " + learner +
                                            " was not written back"
                                      : result.problem);
    }
    if (result.outcome == JobOutcome::NoReply) {
        report.Trouble(result.problem);
        sender.FailExchange(report, SlotReadBoundMs(sender), EXIT_NO_REPLY);
    } else if (result.outcome == JobOutcome::Cancelled && sender.Interrupted()) {
        report.Status(EXIT_INTERRUPTED);
    }
    if (notCaptured > 0 || (o.strict && differs > 0)) {
        report.Status(EXIT_OUTCOME);
    }
}

void SendAndCompare(CPortSession& s, CPortReport& r, const RemoteMap& map, CPortLoan& learnerLoan,
                    const std::string& learnerName) {
    r.fields["role"] = "sender";
    const bool opened = s.Open(r);
    const JobPort* learner = learnerLoan.Borrow();
    if (!opened || learner == nullptr) {
        if (opened) {
            r.Fail(EXIT_PORT, "not checked: " + learnerName + " cannot be opened");
        }
        learnerLoan.GiveBack();
        return;
    }
    CAirProgress progress(s.Progress(), static_cast<int32_t>(map.keys.size()));
    const AirCheckResult result = CheckByAir(
        s.Job(), *learner, map, static_cast<uint16_t>(s.Context().options.scratch), progress);
    learnerLoan.GiveBack();
    ReportAirCheck(s, map, learnerName, result, r);
    ReportReplyChecks(s, r);
}

// The learning port's thread opens its port and lends it to the sender
// until the check is done.
void LendLearner(CPortSession& s, CPortReport& r, CPortLoan& learnerLoan) {
    r.fields["role"] = "learner";
    const bool opened = s.Open(r);
    const JobPort port = s.Job();
    learnerLoan.Lend(opened ? &port : nullptr);
    learnerLoan.AwaitReturn();
    ReportReplyChecks(s, r);
}

} // namespace

std::vector<CPortReport> RunCheckRemote(const std::vector<PortTarget>& ports, CliContext& context) {
    RemoteMap map;
    CPortReport mapReport;
    if (!ReadMap(context.options.map, map, mapReport)) {
        return {mapReport};
    }
    CPortLoan learnerLoan;
    // A port that could not even be looked up runs no work: its side of the
    // loan is done already.
    if (ports.back().exit != 0) {
        learnerLoan.Lend(nullptr);
    }
    if (ports.front().exit != 0) {
        learnerLoan.GiveBack();
    }
    const std::string sender = ports.front().label;
    const std::string learner = ports.back().label;
    return RunOnPorts(ports, context, [&](CPortSession& s, CPortReport& r) {
        if (s.Name() == sender) {
            SendAndCompare(s, r, map, learnerLoan, learner);
        } else {
            LendLearner(s, r, learnerLoan);
        }
    });
}
