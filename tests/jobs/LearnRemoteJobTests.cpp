// The walk through a remote's map against the simulated module: which keys
// are learned, in what order and how often, what the session file keeps, and
// how the walk ends.

#include "LearnRemoteJob.h"

#include "FileLines.h"
#include "JobFixture.h"
#include "ScriptedRemote.h"
#include "TestFiles.h"

#include <gtest/gtest.h>

#include <deque>
#include <filesystem>
#include <string>
#include <vector>

namespace {

using Outcome = KeyLearnResult::Outcome;

// Asks the walk to stop once a given number of keys are done, and answers
// the tries without a code with the choices given, in turn.
class CSteeringObserver : public ILearnRemoteObserver {
public:
    CSteeringObserver(LearnRemoteControl& control, size_t stopAfterKeys,
                      std::deque<KeyChoice> choices = {})
        : m_control(control), m_keys(stopAfterKeys), m_choices(std::move(choices)) {}
    void OnKey(const RemoteKey&, const KeyLearnResult&) override {
        if (++m_done == m_keys) {
            m_control.Ask(KeyRequest::Stop);
        }
    }
    KeyChoice OnFailed(const RemoteKey&, const std::string&, int) override {
        const KeyChoice choice = m_choices.front();
        m_choices.pop_front();
        return choice;
    }

private:
    LearnRemoteControl& m_control;
    size_t m_keys;
    size_t m_done = 0;
    std::deque<KeyChoice> m_choices;
};

class LearnWalk : public Jobs {
protected:
    void SetUp() override {
        Jobs::SetUp();
        LearnsAfter(10); // a generated code, as if a key were pressed at once
        m_session = m_runtime.Path().string() + "/tv.map.session";
    }
    void LearnsAfter(uint32_t ms) {
        SimFaults learning;
        learning.learnDelayMs = ms;
        m_module.SetFaults(learning);
    }
    // Learns never answered: each try ends after four empty polls, each as
    // long as a read's bound (the module's Get version after it must not
    // miss that bound on a busy machine).
    void NoPresses() {
        LearnsAfter(60000);
        m_timing.learnPolls = 4;
    }
    LearnRemoteResult Walk(const std::vector<std::string>& keys, LearnRemoteOptions options = {},
                           ILearnRemoteObserver* observer = nullptr) {
        const RemoteMap map = ParseRemoteMap(keys);
        EXPECT_TRUE(map.Ok());
        CLearnSession session(m_session);
        ILearnRemoteObserver quiet;
        m_module.ClearReceivedFrames();
        LearnRemoteResult result =
            LearnRemote(JobPort{m_line.link, m_timing, m_running}, map, session, options, m_control,
                        observer != nullptr ? *observer : quiet);
        m_learned = LearnedSlots(m_module.ReceivedFrames());
        return result;
    }

    ExchangeTiming m_timing = BulkTiming();
    LearnRemoteControl m_control;
    std::string m_session;
    std::vector<uint16_t> m_learned; // the slot of each learn frame, in order
};

TEST_F(LearnWalk, ResumesAfterTheKeysItsSessionHoldsAndStartsAfreshWhenAsked) {
    const std::vector<std::string> keys = {"1/1 POWER", "1/2 MUTE", "1/3 INPUT", "7 EXTRA"};
    const std::string held = ExpectedLine(1, {0x0A}) + ExpectedLine(2, {0x0B});
    WriteFileBytes(m_session, held + ExpectedLine(300, {0x0C}));
    m_module.SetSlot(1, {0x0A});
    m_module.SetSlot(2, {0x0B});
    LearnRemoteResult r = Walk(keys);
    EXPECT_EQ(r.outcome, JobOutcome::Complete);
    EXPECT_EQ(r.resumed, 2U);
    EXPECT_EQ(r.keys[1].outcome, Outcome::OnModule);
    EXPECT_EQ(r.keys[1].code, (Bytes{0x0B}));
    EXPECT_EQ(m_learned, (std::vector<uint16_t>{3, 7}));
    // Each capture is read back; the session keeps the slots the map leaves out.
    EXPECT_EQ(r.keys[3].code, m_module.Slot(7));
    EXPECT_EQ(ReadFileBytes(m_session), held + ExpectedLine(3, m_module.Slot(3)) +
                                            ExpectedLine(7, m_module.Slot(7)) +
                                            ExpectedLine(300, {0x0C}));

    LearnRemoteOptions restart;
    restart.restart = true;
    r = Walk(keys, restart);
    EXPECT_EQ(r.resumed, 0U);
    EXPECT_EQ(r.keys[0].outcome, Outcome::Learned);
    EXPECT_EQ(m_learned, (std::vector<uint16_t>{1, 2, 3, 7}));
}

TEST_F(LearnWalk, ConfirmedCapturesAreStableWhenTwoAgreeAndTheLastIsKeptWhenNone) {
    // Without a room the module makes up a new code at every learn.
    LearnRemoteOptions confirm;
    confirm.confirm = true;
    LearnRemoteResult r = Walk({"1/1 POWER"}, confirm);
    EXPECT_EQ(m_learned, (std::vector<uint16_t>{1, 1, 1}));
    EXPECT_EQ(r.keys[0].outcome, Outcome::Unstable);
    EXPECT_EQ(r.keys[0].captures, 3);
    EXPECT_FALSE(r.keys[0].differing.empty());
    EXPECT_EQ(r.keys[0].code, m_module.Slot(1));
    EXPECT_EQ(SlotsOfLines(SplitDatabaseText(ReadFileBytes(m_session))).codes[1], m_module.Slot(1));

    // A remote sends the same code at every press.
    ASSERT_TRUE(m_module.JoinRoom("tv"));
    CScriptedRemote remote(m_module, "tv");
    confirm.restart = true;
    r = Walk({"1/1 POWER", "1/2 MUTE"}, confirm);
    EXPECT_EQ(m_learned, (std::vector<uint16_t>{1, 1, 2, 2}));
    EXPECT_EQ(r.keys[1].outcome, Outcome::Stable);
    EXPECT_EQ(r.keys[1].code, PressedCode(2));
    EXPECT_TRUE(r.keys[1].differing.empty());
}

TEST_F(LearnWalk, StopsBetweenKeysAndATryWithoutACodeIsRetriedSkippedOrEndsTheWalk) {
    CSteeringObserver stopAfterOne(m_control, 1);
    LearnRemoteResult r = Walk({"1/1 POWER", "1/2 MUTE", "7 INPUT"}, {}, &stopAfterOne);
    EXPECT_EQ(r.outcome, JobOutcome::Cancelled);
    ASSERT_EQ(r.keys.size(), 3U);
    EXPECT_EQ(r.keys[0].outcome, Outcome::Learned);
    EXPECT_EQ(r.keys[1].outcome, Outcome::NotReached);
    EXPECT_EQ(r.Missing(), 2U);
    EXPECT_EQ(m_module.ReceivedFrames().front(), ExpectedLearnFrame(1));
    EXPECT_EQ(m_module.ReceivedFrames().size(), 2U); // the learn and the read back

    // By default a key is tried again while retries are left, then skipped.
    std::filesystem::remove(m_session);
    NoPresses();
    LearnRemoteOptions once;
    once.retries = 1;
    r = Walk({"1/1 POWER", "1/2 MUTE"}, once);
    EXPECT_EQ(r.outcome, JobOutcome::Complete);
    EXPECT_EQ(m_learned, (std::vector<uint16_t>{1, 1, 2, 2}));
    EXPECT_EQ(r.keys[0].outcome, Outcome::Skipped);
    EXPECT_EQ(r.keys[0].tries, 2);
    EXPECT_EQ(r.keys[0].failure, "Learn timeout!");
    EXPECT_EQ(r.Missing(), 2U);
    EXPECT_FALSE(std::filesystem::exists(m_session)); // nothing learned, nothing written

    // The front end skips the first key at once and stops at the second.
    CSteeringObserver choosing(m_control, 0, {KeyChoice::Skip, KeyChoice::Stop});
    r = Walk({"1/1 POWER", "1/2 MUTE", "1/3 INPUT"}, {}, &choosing);
    EXPECT_EQ(r.outcome, JobOutcome::Cancelled);
    EXPECT_EQ(m_learned, (std::vector<uint16_t>{1, 2}));
    EXPECT_EQ(r.keys[0].outcome, Outcome::Skipped);
    EXPECT_EQ(r.keys[1].outcome, Outcome::NotReached);
    EXPECT_EQ(r.keys[2].outcome, Outcome::NotReached);
}

TEST_F(LearnWalk, ASessionIsNeverLostWhenTheWalkCannotGoOn) {
    // A session that is not a database file: left alone, and nothing learned.
    WriteFileBytes(m_session, "not a database\r");
    LearnRemoteResult r = Walk({"1/1 POWER"});
    EXPECT_EQ(r.outcome, JobOutcome::FileError);
    EXPECT_FALSE(r.problem.empty());
    EXPECT_TRUE(m_module.ReceivedFrames().empty());
    EXPECT_EQ(ReadFileBytes(m_session), "not a database\r");

    // A session in a folder that is not there: the key is learned, then the walk ends.
    m_session = m_runtime.Path().string() + "/missing/tv.map.session";
    LearnRemoteOptions restart;
    restart.restart = true;
    r = Walk({"1/1 POWER", "1/2 MUTE"}, restart);
    EXPECT_EQ(r.outcome, JobOutcome::FileError);
    EXPECT_NE(r.problem.find("missing"), std::string::npos) << r.problem;
    EXPECT_EQ(m_learned, std::vector<uint16_t>{1});
    EXPECT_EQ(r.keys[1].outcome, Outcome::NotReached);

    // The module stops answering: the walk ends at the key it was on.
    m_session = m_runtime.Path().string() + "/tv.map.session";
    WriteFileBytes(m_session, "0300,0A0B0C\r");
    NoPresses();
    SimFaults gone;
    gone.silent = true;
    m_module.SetFaults(gone);
    r = Walk({"1/1 POWER", "1/2 MUTE", "1/3 INPUT"});
    EXPECT_EQ(r.outcome, JobOutcome::NoReply);
    EXPECT_NE(r.problem.find("the module is gone"), std::string::npos) << r.problem;
    EXPECT_EQ(m_learned, std::vector<uint16_t>{1}); // no try after it
    EXPECT_EQ(ReadFileBytes(m_session), "0300,0A0B0C\r");
}

} // namespace
