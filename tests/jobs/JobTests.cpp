// Export, import, verify, clone and diff against the simulated module on a
// pseudo-terminal: what each tells its observer, what it returns, and what
// reached the module, frame by frame.

#include "CloneJob.h"
#include "ExportJob.h"
#include "ImportJob.h"
#include "VerifyJob.h"

#include "JobFixture.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using namespace std::chrono_literals;

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
    const auto frames = m_module.ReceivedFrames();
    ASSERT_EQ(frames.size(), 448U);
    for (uint16_t slot = 1; slot <= 448; ++slot) {
        const SlotResult& s = observer.slots[slot - 1];
        ASSERT_EQ(s.slot, slot);
        const bool code = slot == 3 || slot == 448;
        EXPECT_EQ(s.state, code ? SlotResult::State::Code : SlotResult::State::Empty) << slot;
        ASSERT_EQ(frames[slot - 1], ExpectedReadFrame(slot)) << slot;
    }
    // Slot 300, as the wire shows it: the index low byte first.
    EXPECT_EQ(frames[299], AppendCrc({0x01, 0x05, 0x02, 0x06, 0x00, 0x00, 0x03, 0x04, 0x2C, 0x01}));
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

// Slot 2's code starts with bytes that end in the CRC of its reply so far,
// and the module pauses there: taken as soon as it looks whole, the reply
// ends early. Its rest comes while the front end shows slot 1, so the purge
// before slot 3 drops it: slot 2 is read again on the fixed timing before
// slot 3, its line is whole, and the quiet gap widens.
TEST_F(Jobs, AReplyTakenBeforeItsEndIsReadAgainFromTheBytesThatFollowIt) {
    const Bytes head{0x11, 0x22, 0x33, 0x44};
    const Bytes headReply = SimulatedModule::CodeReply(head);
    Bytes code(headReply.begin() + 6, headReply.end());
    code.insert(code.end(), {0x55, 0x66, 0x77});
    ASSERT_TRUE(m_module.SetSlot(1, {0x01}));
    ASSERT_TRUE(m_module.SetSlot(2, code));
    SimFaults pause;
    pause.replyPieces = {uint32_t(headReply.size())};
    pause.pieceGapMs = 40;
    m_module.SetFaults(pause);
    ExchangeTiming fast = FixedTiming();
    fast.wholeReplies = true;
    m_line.link.SetTimeouts(fast.lineTimeouts);
    CReplyChecks checks;
    CRecordingObserver observer;
    observer.slotPause = 100ms;
    const ExportResult result =
        ReadSlots(JobPort{m_line.link, fast, m_running, &checks}, {1, 2, 3}, observer);

    EXPECT_EQ(result.outcome, JobOutcome::Complete);
    ASSERT_EQ(observer.slots.size(), 3U);
    EXPECT_EQ(observer.slots[1].code, code);
    EXPECT_EQ(checks.Redone(), 1U);
    const auto frames = m_module.ReceivedFrames();
    ASSERT_EQ(frames.size(), 4U);
    EXPECT_EQ(frames[2], ExpectedReadFrame(2));
    EXPECT_GE(checks.Gap().Quiet(CReplyGap::ByteTime(9600, 10)), 6ms);
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
    // The three good lines in file order, then line 6 twice; the malformed never.
    EXPECT_EQ(m_module.ReceivedFrames(),
              (std::vector<Bytes>{ExpectedWriteFrame(1, {0xAA}), ExpectedWriteFrame(3, {0xCC}),
                                  ExpectedWriteFrame(1, {0xDD}), ExpectedWriteFrame(6, {0xEE}),
                                  ExpectedWriteFrame(6, {0xEE})}));

    // Where acknowledgements are checked, one with a status refuses its line,
    // and the next line follows.
    SimFaults refusing;
    refusing.ackStatus = 1;
    m_module.SetFaults(refusing);
    ASSERT_TRUE(m_module.SetSlot(2, {0x22}));
    CReplyChecks checks;
    const ImportResult refused = ImportFile(Port(&checks), {"0002,AABB", "0005,CC"}, observer);
    EXPECT_EQ(refused.outcome, JobOutcome::Complete);
    EXPECT_EQ(refused.counts.refused, 2);
    EXPECT_EQ(refused.counts.written, 0);
    ASSERT_EQ(refused.lines.size(), 2U);
    EXPECT_EQ(refused.lines[0].state, State::Refused);
    EXPECT_EQ(refused.lines[0].status, 1);
    EXPECT_EQ(m_module.Slot(2), (Bytes{0x22}));
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
    // Only the slots the file names, in slot order.
    EXPECT_EQ(m_module.ReceivedFrames(),
              (std::vector<Bytes>{ExpectedReadFrame(1), ExpectedReadFrame(2), ExpectedReadFrame(3),
                                  ExpectedReadFrame(4)}));

    // Exact: every slot read, and a code the file does not name differs.
    m_module.ClearReceivedFrames();
    VerifyResult exact = VerifyModule(Port(), lines, true, observer);
    EXPECT_EQ(exact.census.read, 448);
    EXPECT_EQ(m_module.ReceivedFrames().size(), 448U);
    ASSERT_EQ(exact.differences.size(), 4U);
    EXPECT_EQ(exact.differences.back().slot, 9);
    EXPECT_EQ(exact.differences.back().kind, Kind::NotInFile);
}

TEST_F(Jobs, CloneWritesEveryLineThenReadsTheSlotsBack) {
    ASSERT_TRUE(m_module.SetSlot(1, {0xEE})); // overwritten by the clone
    const std::vector<std::string> lines = {"0001,0102", "0448,FF"};
    CRecordingObserver importing, verifying;
    CloneResult result = CloneOnto(Port(), lines, importing, verifying);
    EXPECT_EQ(result.import.outcome, JobOutcome::Complete);
    ASSERT_TRUE(result.verified);
    EXPECT_EQ(result.verify.compared, 2);
    EXPECT_TRUE(result.verify.differences.empty());
    EXPECT_EQ(importing.lines.size(), 2U);
    EXPECT_EQ(verifying.slots.size(), 2U);
    EXPECT_EQ(m_module.Slot(1), (Bytes{0x01, 0x02}));
    EXPECT_EQ(m_module.Slot(448), (Bytes{0xFF}));
    EXPECT_EQ(
        m_module.ReceivedFrames(),
        (std::vector<Bytes>{ExpectedWriteFrame(1, {0x01, 0x02}), ExpectedWriteFrame(448, {0xFF}),
                            ExpectedReadFrame(1), ExpectedReadFrame(448)}));

    // Exact: every slot of the target is read, and one the lines leave out
    // must be empty.
    ASSERT_TRUE(m_module.SetSlot(9, {0x09}));
    m_module.ClearReceivedFrames();
    result = CloneOnto(Port(), lines, importing, verifying, true);
    ASSERT_TRUE(result.verified);
    ASSERT_EQ(result.verify.differences.size(), 1U);
    EXPECT_EQ(result.verify.differences[0].slot, 9);
    EXPECT_EQ(result.verify.differences[0].kind, SlotDifference::Kind::NotInFile);
    EXPECT_EQ(m_module.ReceivedFrames().size(), 2U + 448U);
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
