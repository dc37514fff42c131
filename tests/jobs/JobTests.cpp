// The jobs against the simulated module on a pseudo-terminal: what each
// tells its observer, what it returns, and what reached the module.

#include "CloneJob.h"
#include "ExportJob.h"
#include "ImportJob.h"
#include "LearnRemoteJob.h"
#include "VerifyJob.h"

#include "BulkTiming.h"
#include "ExpectedBytes.h"
#include "RuntimeDir.h"
#include "SerialLink.h"
#include "SimulatedModule.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Every event a job gave, in order, as short texts.
class CRecordingObserver : public IJobObserver {
public:
    void OnStart(int32_t total) override { events.push_back("start " + std::to_string(total)); }
    void OnProgress(int32_t done, int32_t total) override {
        last = done;
        EXPECT_LE(done, total);
        ++progressCalls;
    }
    void OnSlot(const SlotResult& slot) override {
        slots.push_back(slot);
        if (stopAfterSlots > 0 && slots.size() == stopAfterSlots) {
            running->store(0);
        }
    }
    void OnLine(const LineResult& line) override { lines.push_back(line); }

    std::vector<std::string> events;
    std::vector<SlotResult> slots;
    std::vector<LineResult> lines;
    int32_t last = 0;
    int progressCalls = 0;
    size_t stopAfterSlots = 0;
    std::atomic<int32_t>* running = nullptr;
};

class Jobs : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_module.Start());
        ASSERT_TRUE(m_module.Publish("COM9"));
        m_module.ClearSlots();
        ASSERT_TRUE(m_link.Open(9, 9600, 'N', 8, 0));
        m_link.SetTimeouts(m_timing.lineTimeouts);
    }
    void TearDown() override {
        m_link.Close();
        m_module.Stop();
    }
    JobPort Port(CReplyChecks* checks = nullptr) {
        return JobPort{m_link, m_timing, m_running, checks};
    }

    PrivateRuntimeDir m_runtime;
    SimulatedModule m_module;
    CSerialLink m_link;
    const ExchangeTiming m_timing = BulkTiming();
    std::atomic<int32_t> m_running{1};
};

TEST_F(Jobs, ExportTellsEverySlotAndWritesTheCodes) {
    ASSERT_TRUE(m_module.SetSlot(3, {0xA1, 0xB2}));
    ASSERT_TRUE(m_module.SetSlot(448, CodePattern(504, 9)));
    CMemoryLineSink lines;
    CRecordingObserver observer;
    CReplyChecks checks;
    const ExportResult result = ExportModule(Port(&checks), lines, observer);

    EXPECT_EQ(result.outcome, JobOutcome::Complete);
    EXPECT_EQ(result.census.Text(), "448 slots read, 2 with codes, 446 empty");
    EXPECT_EQ(lines.Text(), ExpectedLine(3, {0xA1, 0xB2}) + ExpectedLine(448, CodePattern(504, 9)));
    EXPECT_EQ(observer.events, std::vector<std::string>{"start 448"});
    ASSERT_EQ(observer.slots.size(), 448U);
    for (uint16_t slot = 1; slot <= 448; ++slot) {
        const SlotResult& s = observer.slots[slot - 1];
        ASSERT_EQ(s.slot, slot);
        const bool code = slot == 3 || slot == 448;
        EXPECT_EQ(s.state, code ? SlotResult::State::Code : SlotResult::State::Empty) << slot;
    }
    EXPECT_EQ(observer.slots[2].code, (Bytes{0xA1, 0xB2}));
    EXPECT_EQ(observer.last, 448);
    // The simulated module sends a CRC with every reply: both kinds checked.
    EXPECT_TRUE(checks.UncheckedKinds().empty());
    EXPECT_TRUE(checks.IsChecked(ReplyKind::Code));
    EXPECT_EQ(checks.Repeats(), 0U);
}

TEST_F(Jobs, ExportEndsAtTheFirstSlotWithoutAReplyOrWhenStopped) {
    ASSERT_TRUE(m_module.SetSlot(2, {0x02}));
    ASSERT_TRUE(m_module.SetSlot(6, {0x06}));
    SimFaults faults;
    faults.stopAfterSlot = 5;
    m_module.SetFaults(faults);
    CMemoryLineSink lines;
    CRecordingObserver observer;
    ExportResult result = ExportModule(Port(), lines, observer);
    EXPECT_EQ(result.outcome, JobOutcome::NoReply);
    EXPECT_EQ(result.failedSlot, 6);
    EXPECT_EQ(result.census.read, 5);
    EXPECT_EQ(lines.Text(), ExpectedLine(2, {0x02}));
    ASSERT_EQ(observer.slots.size(), 6U);
    EXPECT_EQ(observer.slots.back().state, SlotResult::State::NoReply);
    EXPECT_EQ(m_module.ReceivedFrames().size(), 6U);

    // Stopped after the third slot: no fourth is asked for.
    m_module.SetFaults({});
    m_module.ClearReceivedFrames();
    CRecordingObserver stopping;
    stopping.stopAfterSlots = 3;
    stopping.running = &m_running;
    result = ExportModule(Port(), lines, stopping);
    EXPECT_EQ(result.outcome, JobOutcome::Cancelled);
    EXPECT_EQ(stopping.slots.size(), 3U);
    EXPECT_EQ(m_module.ReceivedFrames().size(), 3U);
}

TEST_F(Jobs, ImportSkipsMalformedLinesAndStopsAtOneNotAcknowledged) {
    const std::vector<std::string> lines = {"0001,AA", "0000,BB", "0003,CC", "0001,DD",
                                            "0005,zz", "0006,EE", "0007,FF"};
    SimFaults faults;
    // Lines 1, 3 and 4 are answered; line 6's two attempts are not.
    faults.writeReplySizes = {8, 8, 8, 0, 0};
    m_module.SetFaults(faults);
    CRecordingObserver observer;
    const ImportResult result = ImportFile(Port(), lines, observer);

    EXPECT_EQ(result.outcome, JobOutcome::NotAcknowledged);
    using State = LineResult::State;
    const std::vector<State> states = {State::Written, State::Malformed, State::Written,
                                       State::Written, State::Malformed, State::NotAcknowledged,
                                       State::NotSent};
    ASSERT_EQ(result.lines.size(), states.size());
    for (size_t i = 0; i < states.size(); ++i) {
        EXPECT_EQ(result.lines[i].state, states[i]) << "line " << i + 1;
    }
    EXPECT_EQ(result.lines[3].duplicateOf, 1U);
    EXPECT_EQ(result.lines[1].fault.column, 1U);
    EXPECT_EQ(result.counts.written, 3);
    EXPECT_EQ(result.counts.malformed, 2);
    EXPECT_EQ(result.counts.notAcknowledged, 1);
    EXPECT_EQ(result.counts.notSent, 1);
    EXPECT_EQ(result.counts.duplicates, 1);
    // One event per line that was reached, in order.
    ASSERT_EQ(observer.lines.size(), 6U);
    EXPECT_EQ(observer.events, std::vector<std::string>{"start 7"});
    EXPECT_EQ(observer.last, 4);
    // A slot named twice is written twice, the last line winning.
    EXPECT_EQ(m_module.Slot(1), (Bytes{0xDD}));
    EXPECT_EQ(m_module.ReceivedFrames().size(), 5U); // three lines, then two attempts
}

TEST_F(Jobs, VerifyComparesTheModuleWithTheFile) {
    ASSERT_TRUE(m_module.SetSlot(1, {0x11}));
    ASSERT_TRUE(m_module.SetSlot(2, {0x22}));
    ASSERT_TRUE(m_module.SetSlot(4, {0x44}));
    ASSERT_TRUE(m_module.SetSlot(9, {0x99}));
    const std::vector<std::string> lines = {"0001,11", "0002,2F", "0003,33", "0004,", "xx"};
    CRecordingObserver observer;
    VerifyResult named = VerifyModule(Port(), lines, false, observer);
    EXPECT_EQ(named.outcome, JobOutcome::Complete);
    EXPECT_EQ(named.compared, 4);
    using Kind = SlotDifference::Kind;
    ASSERT_EQ(named.differences.size(), 3U);
    EXPECT_EQ(named.differences[0].kind, Kind::Different);
    EXPECT_EQ(named.differences[1].kind, Kind::EmptyOnModule);
    EXPECT_EQ(named.differences[2].kind, Kind::NotEmpty);
    ASSERT_EQ(named.malformed.size(), 1U);
    EXPECT_EQ(named.malformed[0].first, 5U);
    EXPECT_EQ(m_module.ReceivedFrames().size(), 4U); // only the slots the file names

    // Exact: every slot read, and a code the file does not name differs.
    VerifyResult exact = VerifyModule(Port(), lines, true, observer);
    EXPECT_EQ(exact.census.read, 448);
    ASSERT_EQ(exact.differences.size(), 4U);
    EXPECT_EQ(exact.differences.back().slot, 9);
    EXPECT_EQ(exact.differences.back().kind, Kind::NotInFile);
}

TEST_F(Jobs, CloneImportsThenChecksTheTarget) {
    const std::vector<std::string> lines = {"0001,0102", "0448,FF"};
    CRecordingObserver importing, verifying;
    const CloneResult result = CloneOnto(Port(), lines, importing, verifying);
    EXPECT_EQ(result.import.outcome, JobOutcome::Complete);
    ASSERT_TRUE(result.verified);
    EXPECT_EQ(result.verify.compared, 2);
    EXPECT_TRUE(result.verify.differences.empty());
    EXPECT_EQ(importing.lines.size(), 2U);
    EXPECT_EQ(verifying.slots.size(), 2U);
    EXPECT_EQ(m_module.Slot(448), (Bytes{0xFF}));
}

TEST(DiffFilesTest, SlotBySlot) {
    const DiffResult diff = DiffFiles({"0001,AA", "0002,BBBB", "0004,CC", "0005,", "bad"},
                                      {"0002,BBBC", "0003,DD", "0004,CC", "0006,"});
    using Side = FileDifference::Side;
    ASSERT_EQ(diff.differences.size(), 3U);
    EXPECT_EQ(diff.differences[0].slot, 1);
    EXPECT_EQ(diff.differences[0].side, Side::OnlyA);
    EXPECT_EQ(diff.differences[1].slot, 2);
    EXPECT_EQ(diff.differences[1].side, Side::Different);
    EXPECT_EQ(diff.differences[1].aBytes, 2U);
    EXPECT_EQ(diff.differences[2].slot, 3);
    EXPECT_EQ(diff.differences[2].side, Side::OnlyB);
    EXPECT_EQ(diff.slotsA, 3U); // a slot written empty is an empty slot
    ASSERT_EQ(diff.malformedA.size(), 1U);
    EXPECT_EQ(diff.malformedA[0].first, 5U);
    EXPECT_TRUE(diff.malformedB.empty());
}

} // namespace

namespace {

// Asks the walk to stop once a given number of keys are done.
class CStopAfterKeys : public ILearnRemoteObserver {
public:
    CStopAfterKeys(LearnRemoteControl& control, size_t keys) : m_control(control), m_keys(keys) {}
    void OnKey(const RemoteKey&, const KeyLearnResult&) override {
        if (++m_done == m_keys) {
            m_control.Ask(KeyRequest::Stop);
        }
    }

private:
    LearnRemoteControl& m_control;
    size_t m_keys;
    size_t m_done = 0;
};

TEST_F(Jobs, AWalkThroughARemoteStopsBetweenKeysAndEndsWhenItsSessionCannotBeSaved) {
    SimFaults learning;
    learning.learnDelayMs = 10;
    m_module.SetFaults(learning);
    const RemoteMap map = ParseRemoteMap({"1/1 POWER", "1/2 MUTE", "7 INPUT"});
    ASSERT_TRUE(map.Ok());
    LearnRemoteControl control;
    CStopAfterKeys stopAfterOne(control, 1);
    CLearnSession session(m_runtime.Path().string() + "/tv.map.session");
    m_module.ClearReceivedFrames();
    LearnRemoteResult result =
        LearnRemote(Port(), map, session, LearnRemoteOptions{}, control, stopAfterOne);
    EXPECT_EQ(result.outcome, JobOutcome::Cancelled);
    ASSERT_EQ(result.keys.size(), 3U);
    EXPECT_EQ(result.keys[0].outcome, KeyLearnResult::Outcome::Learned);
    EXPECT_EQ(result.keys[1].outcome, KeyLearnResult::Outcome::NotReached);
    EXPECT_EQ(result.Missing(), 2U);
    EXPECT_EQ(m_module.ReceivedFrames().front(), ExpectedLearnFrame(1));
    EXPECT_EQ(m_module.ReceivedFrames().size(), 2U); // the learn and the read back

    // A session in a folder that is not there: the key is learned, then the walk ends.
    CLearnSession nowhere(m_runtime.Path().string() + "/missing/tv.map.session");
    LearnRemoteControl free;
    ILearnRemoteObserver quiet;
    LearnRemoteOptions restart;
    restart.restart = true;
    result = LearnRemote(Port(), map, nowhere, restart, free, quiet);
    EXPECT_EQ(result.outcome, JobOutcome::FileError);
    EXPECT_NE(result.problem.find("missing"), std::string::npos) << result.problem;
    EXPECT_EQ(result.keys[1].outcome, KeyLearnResult::Outcome::NotReached);
}

} // namespace
