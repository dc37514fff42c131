// The simulated module on a pseudo-terminal, driven through CSerialLink and
// the protocol operations as the program drives a real module.

#include "CommandFrame.h"
#include "Crc16.h"
#include "ExpectedBytes.h"
#include "ModuleOperations.h"
#include "Reply.h"
#include "RuntimeDir.h"
#include "SerialLink.h"
#include "SimulatedModule.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <thread>

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
Bytes ReplyBytes(const ExchangeReply& reply) {
    return Bytes(reply.bytes.begin(), reply.bytes.begin() + reply.count);
}

Bytes CodeOf(const ExchangeReply& reply) {
    const CodeSpan code = CodeBytes(reply.bytes.data(), reply.count);
    return Bytes(code.data, code.data + code.size);
}

CommandFrame RawFrame(const Bytes& bytes) {
    CommandFrame frame;
    std::copy(bytes.begin(), bytes.end(), frame.bytes.begin());
    frame.size = static_cast<uint32_t>(bytes.size());
    return frame;
}

class SimulatedModuleLine : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_module.Start());
        ASSERT_TRUE(m_module.Publish("COM9"));
        ASSERT_TRUE(m_link.Open(9, 9600, 'N', 8, 0));
    }
    void TearDown() override {
        m_link.Close();
        m_module.Stop();
    }

    // Faults with a short learn, so learn cases do not wait 1.5 s.
    static SimFaults QuickLearn() {
        SimFaults faults;
        faults.learnDelayMs = 50;
        return faults;
    }

    PrivateRuntimeDir m_runtime; // before the module: it must outlive its publication
    SimulatedModule m_module;
    CSerialLink m_link;
    const ExchangeTiming& m_timing = FixedTiming();
};

TEST_F(SimulatedModuleLine, VersionReplyCarriesTheSetVersion) {
    struct Case {
        const char* version;
        const char* shown;
    };
    const Case cases[] = {
        {"102003", "102.003"}, {"1", "1"}, {"1234", "123.4"}, {"ABCDEF", "ABC.DEF"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.version);
        m_module.SetFirmwareVersion(c.version);
        const VersionOutcome outcome = GetVersion(m_link, m_timing);
        EXPECT_TRUE(outcome.ok);
        EXPECT_EQ(outcome.text, c.shown);
    }
}

TEST_F(SimulatedModuleLine, ReadsAnswerWithTheStoredCodeOrAnEmptyStatus) {
    ASSERT_TRUE(m_module.SetSlot(2, {0x3F}));
    ASSERT_TRUE(m_module.SetSlot(300, CodePattern(120, 9)));
    ASSERT_TRUE(m_module.SetSlot(448, CodePattern(504, 1))); // the largest reply: 512 bytes
    ASSERT_TRUE(m_module.SetSlot(3, {}));
    for (uint16_t slot : {uint16_t{2}, uint16_t{105}, uint16_t{300}, uint16_t{448}}) {
        SCOPED_TRACE(slot);
        const Bytes stored = m_module.Slot(slot);
        ASSERT_FALSE(stored.empty());
        const ExchangeReply reply = ReadKey(m_link, slot, m_timing);
        EXPECT_EQ(reply.count, stored.size() + 8);
        EXPECT_EQ(ClassifyReply(reply.count), ReplyKind::Code);
        EXPECT_EQ(CodeOf(reply), stored);
        EXPECT_EQ(ReplyBytes(reply), SimulatedModule::CodeReply(stored));
    }
    for (uint16_t slot : {uint16_t{3}, uint16_t{4}, uint16_t{0}, uint16_t{449}}) {
        SCOPED_TRACE(slot);
        const ExchangeReply reply = ExportReadSlot(m_link, slot, m_timing);
        ASSERT_EQ(reply.count, STATUS_REPLY_SIZE);
        EXPECT_EQ(StatusByte(reply.bytes.data(), reply.count), SimulatedModule::STATUS_EMPTY);
    }
}

TEST_F(SimulatedModuleLine, SendsAnswerOkForAStoredCodeAndKeyEmptyOtherwise) {
    m_module.ClearSlots();
    ASSERT_TRUE(m_module.SetSlot(KeyIndex(3, 7), {0x01, 0x02}));
    EXPECT_EQ(SendKey(m_link, KeyIndex(3, 7), ChannelMask(3), m_timing), SendOutcome::Ok);
    EXPECT_EQ(SendKey(m_link, KeyIndex(3, 8), ChannelMask(3), m_timing), SendOutcome::KeyEmpty);
}

TEST_F(SimulatedModuleLine, LearnAnswersWithTheChosenStatusAndStoresOnlyOnSuccess) {
    struct Case {
        int status;
        bool stored;
    };
    for (const Case& c : {Case{0, true}, Case{2, false}, Case{4, false}}) {
        SCOPED_TRACE(c.status);
        m_module.ClearSlots();
        SimFaults faults = QuickLearn();
        faults.learnStatus = c.status;
        m_module.SetFaults(faults);
        StartLearn(m_link, KeyIndex(1, 42));
        const LearnOutcome polls = AwaitLearnAnswer(m_link, m_timing);
        ASSERT_TRUE(polls.state == CLearnAnswer::State::Answered);
        EXPECT_EQ(polls.pieces, std::vector<uint32_t>{8});
        EXPECT_EQ(polls.status, c.status);
        EXPECT_EQ(!m_module.Slot(42).empty(), c.stored);
    }
}

TEST_F(SimulatedModuleLine, LearnAnswerArrivesAfterItsDelay) {
    SimFaults faults;
    faults.learnDelayMs = 700;
    m_module.SetFaults(faults);
    uint8_t buffer[32];
    const auto start = Clock::now();
    StartLearn(m_link, 10);
    uint32_t n = 0;
    while (n == 0 && Clock::now() - start < 5s) {
        n = PollLearn(m_link, buffer, m_timing);
    }
    const auto elapsed = Clock::now() - start;
    EXPECT_EQ(n, 8u);
    EXPECT_GE(elapsed, 700ms);
    EXPECT_LT(elapsed, 2500ms);
}

TEST_F(SimulatedModuleLine, WritesStoreTheLineCode) {
    struct Case {
        uint16_t slot;
        Bytes code;
    };
    const Case cases[] = {
        {1, {0x01, 0x02, 0x03}},
        {448, CodePattern(MAX_WRITE_CODE_BYTES, 3)}, // a full 512-byte frame
        {105, {}},                                   // an empty code empties the slot
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.slot);
        EXPECT_TRUE(ImportWriteLine(m_link, c.slot, c.code.data(),
                                    static_cast<uint32_t>(c.code.size()), m_timing)
                        .Written());
        EXPECT_EQ(m_module.Slot(c.slot), c.code);
    }
    // What was written reads back unchanged.
    EXPECT_EQ(CodeOf(ExportReadSlot(m_link, 448, m_timing)), cases[1].code);
}

TEST_F(SimulatedModuleLine, FramesAreRecordedByteExact) {
    m_module.SetFaults(QuickLearn());
    const uint16_t index = KeyIndex(2, 5);
    const uint8_t code[] = {0x01, 0x02, 0x03};
    ASSERT_TRUE(GetVersion(m_link, m_timing).ok);
    ASSERT_EQ(ClassifyReply(ReadKey(m_link, index, m_timing).count), ReplyKind::Code);
    ASSERT_EQ(SendKey(m_link, index, ChannelMask(2), m_timing), SendOutcome::Ok);
    ASSERT_TRUE(ImportWriteLine(m_link, 1, code, 3, m_timing).Written());
    StartLearn(m_link, index);
    ASSERT_TRUE(m_module.WaitForFrames(5, 2s));

    const std::vector<Bytes> expected = {
        {0x01, 0x05, 0x02, 0x06, 0x00, 0x00, 0x01, 0xF1, 0x31, 0x9D},
        {0x01, 0x05, 0x02, 0x06, 0x00, 0x00, 0x03, 0x04, 0x69, 0x00, 0x9E, 0x96},
        {0x01, 0x05, 0x02, 0x06, 0x00, 0x00, 0x07, 0x02, 0x69, 0x00, 0x02, 0x01, 0x69, 0x00, 0xBD,
         0x55},
        {0x01, 0x05, 0x02, 0x06, 0x00, 0x00, 0xFF, 0xF4, 0x01, 0x00, 0x01, 0x02, 0x03, 0xDB, 0xD1},
        {0x01, 0x05, 0x02, 0x06, 0x00, 0x00, 0x03, 0x01, 0x69, 0x00, 0x9F, 0x86},
    };
    EXPECT_EQ(m_module.ReceivedFrames(), expected);
    m_module.ClearReceivedFrames();
    EXPECT_TRUE(m_module.ReceivedFrames().empty());
}

TEST_F(SimulatedModuleLine, BadFramesAreRecordedAndIgnored) {
    const Bytes good = FrameBytes(BuildGetVersionFrame());
    Bytes badCrc = good;
    badCrc.back() ^= 0x01;
    Bytes badPrefix = good;
    badPrefix[2] = 0x03;
    Bytes readWithWrongLength = FrameBytes(BuildReadFrame(105));
    readWithWrongLength[6] = 0x05; // says 14 bytes, carries 12; CRC made to match
    Crc16(readWithWrongLength.data(), 10, &readWithWrongLength[10]);
    Bytes unknownCommand = {0x01, 0x05, 0x02, 0x06, 0x00, 0x00, 0x01, 0x77};
    unknownCommand.resize(10);
    Crc16(unknownCommand.data(), 8, &unknownCommand[8]);
    const Bytes truncated(good.begin(), good.begin() + 7);

    const std::vector<Bytes> bad = {badCrc, badPrefix, readWithWrongLength, unknownCommand,
                                    truncated};
    for (const Bytes& frame : bad) {
        SCOPED_TRACE(::testing::PrintToString(frame));
        // A read of one byte: any answer at all would show, and silence costs only 110 ms.
        EXPECT_EQ(RunExchange(m_link, RawFrame(frame), 0, 1).count, 0u);
    }
    // The module still answers after them.
    EXPECT_TRUE(GetVersion(m_link, m_timing).ok);
    std::vector<Bytes> expected = bad;
    expected.push_back(good);
    EXPECT_EQ(m_module.ReceivedFrames(), expected);
}

TEST_F(SimulatedModuleLine, SilentModuleAnswersNothingButRecordsFrames) {
    SimFaults faults;
    faults.silent = true;
    m_module.SetFaults(faults);
    const auto start = Clock::now();
    EXPECT_FALSE(GetVersion(m_link, m_timing).ok);
    EXPECT_GE(Clock::now() - start, 515ms); // 100 ms pause + the empty read's 420 ms
    EXPECT_EQ(SendKey(m_link, 105, ChannelMask(2), m_timing), SendOutcome::CommunicationFail);
    EXPECT_EQ(m_module.ReceivedFrames().size(), 2u);
}

TEST_F(SimulatedModuleLine, ReadsAboveTheStopSlotGoUnanswered) {
    SimFaults faults;
    faults.stopAfterSlot = 36;
    m_module.SetFaults(faults);
    ASSERT_TRUE(m_module.SetSlot(36, {0x36}));
    ASSERT_TRUE(m_module.SetSlot(37, {0x37}));
    EXPECT_EQ(CodeOf(ExportReadSlot(m_link, 36, m_timing)), Bytes{0x36});
    EXPECT_EQ(RunExchange(m_link, BuildReadFrame(37), 0, 1).count, 0u);
    EXPECT_EQ(RunExchange(m_link, BuildReadFrame(448), 0, 1).count, 0u);
    // Other commands are still answered.
    EXPECT_TRUE(GetVersion(m_link, m_timing).ok);
}

TEST_F(SimulatedModuleLine, RefusedWritesAreNotAcknowledgedNorStored) {
    const ExchangeTiming quick = ScaledTiming(0.2);
    const Bytes code = {0xAA, 0xBB};
    struct Case {
        uint32_t refused;
        bool acknowledged;
        size_t frames;
    };
    // Two attempts per line: one refusal is recovered, two are not.
    for (const Case& c : {Case{1, true, 2}, Case{2, false, 2}, Case{0, true, 1}}) {
        SCOPED_TRACE(c.refused);
        m_module.ClearSlots();
        m_module.ClearReceivedFrames();
        SimFaults faults;
        faults.refuseWrites = c.refused;
        m_module.SetFaults(faults);
        EXPECT_EQ(ImportWriteLine(m_link, 20, code.data(), 2, quick).Written(), c.acknowledged);
        EXPECT_EQ(m_module.ReceivedFrames().size(), c.frames);
        EXPECT_EQ(m_module.Slot(20), c.acknowledged ? code : Bytes{});
    }
}

TEST_F(SimulatedModuleLine, SplitRepliesArriveInTheirPieces) {
    const ExchangeReply whole = RunExchange(m_link, BuildGetVersionFrame(), 100, 32);
    ASSERT_EQ(whole.count, VERSION_REPLY_SIZE);
    struct Case {
        std::vector<uint32_t> pieces;
        uint32_t gapMs;
        std::vector<uint32_t> reads; // what successive reads return
    };
    const Case cases[] = {
        {{5, 14}, 250, {5, 14}},
        {{1, 1, 17}, 250, {1, 1, 17}},
        {{7}, 250, {7, 12}},      // the rest goes as one last piece
        {{5, 14}, 40, {19}},      // a gap shorter than the read's interval joins them
        {{0, 4, 0}, 250, {4, 15}} // sizes of 0 are skipped
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.pieces) + " gap " + std::to_string(c.gapMs));
        SimFaults faults;
        faults.replyPieces = c.pieces;
        faults.pieceGapMs = c.gapMs;
        m_module.SetFaults(faults);
        std::vector<uint32_t> reads;
        ExchangeReply first = RunExchange(m_link, BuildGetVersionFrame(), 0, 32);
        Bytes joined = ReplyBytes(first);
        reads.push_back(first.count);
        while (reads.size() < c.reads.size()) {
            uint8_t buffer[32];
            const uint32_t n = m_link.Read(buffer, sizeof buffer);
            reads.push_back(n);
            joined.insert(joined.end(), buffer, buffer + n);
        }
        EXPECT_EQ(reads, c.reads);
        EXPECT_EQ(joined, ReplyBytes(whole));
    }
}

TEST_F(SimulatedModuleLine, LearnAnswerSplitThreePlusFiveCompletesInTwoPolls) {
    SimFaults faults = QuickLearn();
    faults.replyPieces = {3, 5};
    faults.pieceGapMs = 250;
    faults.learnStatus = 2;
    m_module.SetFaults(faults);
    StartLearn(m_link, 7);
    const LearnOutcome polls = AwaitLearnAnswer(m_link, m_timing);
    EXPECT_EQ(polls.pieces, (std::vector<uint32_t>{3, 5}));
    ASSERT_TRUE(polls.state == CLearnAnswer::State::Answered);
    EXPECT_EQ(polls.status, 2); // the third byte of the second piece
}

TEST_F(SimulatedModuleLine, PacedRepliesTakeTheByteTimeOf9600Baud) {
    const Bytes code = CodePattern(SimulatedModule::MAX_SLOT_CODE_BYTES, 5);
    ASSERT_TRUE(m_module.SetSlot(400, code));
    SimFaults faults;
    faults.paced9600 = true;
    m_module.SetFaults(faults);
    const auto start = Clock::now();
    const ExchangeReply reply = ReadKey(m_link, 400, m_timing);
    const auto elapsed = Clock::now() - start;
    EXPECT_EQ(reply.count, 512u);
    EXPECT_EQ(CodeOf(reply), code);
    // 511 byte times after the first byte (10 bits at 9600 baud each).
    EXPECT_GE(elapsed, 532ms);
    EXPECT_LT(elapsed, 2500ms);
}

// Paced, a write frame is whole only once the line could have carried all
// of it, and the acknowledgement follows after the turnaround.
TEST_F(SimulatedModuleLine, PacedWriteFramesTakeTheirLineTimeBeforeTheTurnaround) {
    const Bytes code = CodePattern(MAX_WRITE_CODE_BYTES, 9);
    const CommandFrame frame = BuildWriteFrame(12, code.data(), uint32_t(code.size()));
    ASSERT_GT(frame.size, code.size());
    SimFaults faults;
    faults.paced9600 = true;
    faults.turnaroundMs = 40;
    m_module.SetFaults(faults);
    const WholeReply acknowledgement{STATUS_REPLY_SIZE};
    const auto start = Clock::now();
    const ExchangeReply reply = RunExchange(m_link, frame, 2000, 16, &acknowledgement);
    const auto elapsed = Clock::now() - start;
    ASSERT_EQ(reply.count, STATUS_REPLY_SIZE);
    const auto lineTime = std::chrono::microseconds(frame.size * 1042 + 8 * 1042);
    EXPECT_GE(elapsed, lineTime + 40ms);
    EXPECT_LT(elapsed, lineTime + 40ms + 400ms);
    EXPECT_EQ(m_module.Slot(12), code);
}

TEST_F(SimulatedModuleLine, SecondPublicationOfTheSameNameIsRefused) {
    SimulatedModule other;
    ASSERT_TRUE(other.Start());
    EXPECT_FALSE(other.Publish("COM9"));
    EXPECT_TRUE(other.Publish("COM10"));
    EXPECT_FALSE(other.PublishedLink().empty());
    other.Stop();
    EXPECT_TRUE(other.PublishedLink().empty());
    // The first one still serves its clients.
    EXPECT_TRUE(GetVersion(m_link, m_timing).ok);
}

} // namespace
