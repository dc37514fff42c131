#include "Crc16.h"
#include "ModuleOperations.h"
#include "SerialDriver.h"
#include "SerialLink.h"

#include <gtest/gtest.h>

#include <chrono>
#include <deque>
#include <memory>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

// What the module side saw, and the replies it hands out one read at a time.
struct LineScript {
    std::vector<std::string> calls; // "purge", "write", "read <n>"
    std::vector<Bytes> written;
    std::deque<Bytes> replies;
};

class CScriptedDriver : public ISerialDriver {
public:
    explicit CScriptedDriver(LineScript& script) : m_script(script) {}

    bool OpenDevice(uint8_t) override { return true; }
    void CloseDevice() override {}
    bool SetState(const Dcb&) override { return true; }
    bool SetTimeouts(const CommTimeouts&) override { return true; }
    bool SetupQueues(uint32_t, uint32_t) override { return true; }
    bool EscapeFunction(uint32_t) override { return true; }
    bool Purge(uint32_t) override {
        m_script.calls.push_back("purge");
        return true;
    }
    bool RaiseSignal(LinkSignal) override { return true; }
    bool LowerSignal(LinkSignal) override { return true; }
    void Pause(uint32_t) override {}
    TransferResult Read(uint8_t* buffer, uint32_t n) override {
        m_script.calls.push_back("read " + std::to_string(n));
        TransferResult result{0, TransferEnd::Complete};
        if (!m_script.replies.empty()) {
            const Bytes reply = m_script.replies.front();
            m_script.replies.pop_front();
            result.count = std::min<uint32_t>(n, static_cast<uint32_t>(reply.size()));
            std::copy(reply.begin(), reply.begin() + result.count, buffer);
        }
        return result;
    }
    TransferResult Write(const uint8_t* buffer, uint32_t n) override {
        m_script.calls.push_back("write");
        m_script.written.emplace_back(buffer, buffer + n);
        return TransferResult{n, TransferEnd::Complete};
    }

private:
    LineScript& m_script;
};

class ModuleOperationsTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_link = std::make_unique<CSerialLink>(std::make_unique<CScriptedDriver>(m_script));
        ASSERT_TRUE(m_link->Open(1, 9600, 'N', 8, 0));
        m_script.calls.clear();
    }

    static Bytes Status(uint8_t status) {
        return {0x01, 0x05, 0x02, 0x06, 0x00, status, 0xEE, 0xEE};
    }

    LineScript m_script;
    std::unique_ptr<CSerialLink> m_link;
    const ExchangeTiming m_timing = ScaledTiming(0.0);
};

TEST_F(ModuleOperationsTest, ExchangeOrderAndReadSize) {
    m_script.replies.push_back(Bytes(600, 0x11));
    const ExchangeReply reply = RunExchange(*m_link, BuildGetVersionFrame(), 0, 4000);
    EXPECT_EQ(reply.count, 512U);
    EXPECT_EQ(m_script.calls, (std::vector<std::string>{"purge", "write", "read 512"}));
    ASSERT_EQ(m_script.written.size(), 1U);
    EXPECT_EQ(m_script.written[0].size(), 10U);
}

TEST_F(ModuleOperationsTest, ExchangeWaitsItsPause) {
    m_script.replies.push_back(Status(0));
    const auto start = std::chrono::steady_clock::now();
    RunExchange(*m_link, BuildGetVersionFrame(), 50, 32);
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_GE(elapsed, std::chrono::milliseconds(50));
    EXPECT_LT(elapsed, std::chrono::milliseconds(2000));
}

TEST_F(ModuleOperationsTest, GetVersionOnlyFromNineteenBytes) {
    Bytes version(19, 0x00);
    const std::string chars = "V01002";
    std::copy(chars.begin(), chars.end(), version.begin() + 7);
    for (uint32_t size : {0U, 8U, 18U, 19U, 20U}) {
        Bytes reply = version;
        reply.resize(size, 0x30);
        m_script.replies.push_back(reply);
        const VersionOutcome outcome = GetVersion(*m_link, m_timing);
        EXPECT_EQ(outcome.ok, size == 19) << size;
        EXPECT_EQ(outcome.text, size == 19 ? "V01.002" : "") << size;
    }
    EXPECT_EQ(m_script.calls.back(), "read 32");
}

TEST_F(ModuleOperationsTest, SendKeyOutcomes) {
    struct Case {
        Bytes reply;
        SendOutcome outcome;
    };
    const std::vector<Case> cases = {
        {Status(0), SendOutcome::Ok},
        {Status(1), SendOutcome::KeyEmpty},
        {Status(0xFF), SendOutcome::KeyEmpty},
        {{}, SendOutcome::CommunicationFail},
        {Bytes(7, 0), SendOutcome::CommunicationFail},
        {Bytes(9, 0), SendOutcome::CommunicationFail},
    };
    for (const auto& c : cases) {
        m_script.replies.push_back(c.reply);
        EXPECT_EQ(SendKey(*m_link, 105, 0x02, m_timing), c.outcome) << c.reply.size();
    }
    EXPECT_EQ(m_script.written.back(), (Bytes{0x01, 0x05, 0x02, 0x06, 0x00, 0x00, 0x07, 0x02, 0x69,
                                              0x00, 0x02, 0x01, 0x69, 0x00, 0xBD, 0x55}));
}

TEST_F(ModuleOperationsTest, ReadOutcomes) {
    struct Case {
        Bytes reply;
        ReadOutcome outcome;
        std::string text;
    };
    Bytes shortWithStatusOne = Status(1);
    shortWithStatusOne.resize(7);
    const std::vector<Case> cases = {
        {Status(1), ReadOutcome::KeyEmpty, "Key empty!"},
        {Status(0), ReadOutcome::OtherStatus, "Status reply"},
        {Status(2), ReadOutcome::OtherStatus, "Status reply"},
        {{}, ReadOutcome::CommunicationFail, "Communication fail!"},
        {Bytes(1, 0), ReadOutcome::Incomplete, "Incomplete reply"},
        {shortWithStatusOne, ReadOutcome::Incomplete, "Incomplete reply"},
        {Bytes(9, 0), ReadOutcome::Code, ""},
        {Bytes(19, 0), ReadOutcome::Code, ""},
        {Bytes(512, 0), ReadOutcome::Code, ""},
    };
    for (const auto& c : cases) {
        m_script.replies.push_back(c.reply);
        const ReadOutcome outcome = ReadOutcomeOf(ReadKey(*m_link, 105, m_timing));
        EXPECT_EQ(outcome, c.outcome) << c.reply.size();
        EXPECT_EQ(ReadOutcomeText(outcome), c.text) << c.reply.size();
    }
    // Damaged wins over what the count would say.
    ExchangeReply damaged;
    damaged.count = STATUS_REPLY_SIZE;
    damaged.bytes[5] = 1;
    damaged.damaged = true;
    EXPECT_EQ(ReadOutcomeOf(damaged), ReadOutcome::Damaged);
    EXPECT_STREQ(ReadOutcomeText(ReadOutcome::Damaged), "reply damaged");
}

TEST_F(ModuleOperationsTest, LearnStartsWithoutReadingAndPollsOnce) {
    StartLearn(*m_link, 105);
    EXPECT_EQ(m_script.calls, (std::vector<std::string>{"purge", "write"}));
    m_script.replies.push_back(Status(0));
    uint8_t buffer[32];
    EXPECT_EQ(PollLearn(*m_link, buffer, m_timing), 8U);
    EXPECT_EQ(m_script.calls.back(), "read 32");
}

TEST_F(ModuleOperationsTest, ReadsUseTheirSizes) {
    m_script.replies.push_back(Bytes(512, 0x22));
    EXPECT_EQ(ReadKey(*m_link, 105, m_timing).count, 512U);
    EXPECT_EQ(m_script.calls.back(), "read 512");
    m_script.replies.push_back(Status(1));
    EXPECT_EQ(ExportReadSlot(*m_link, 448, m_timing).count, 8U);
    EXPECT_EQ(m_script.written.back()[8], 0xC0);
    EXPECT_EQ(m_script.written.back()[9], 0x01);
}

TEST_F(ModuleOperationsTest, ImportWriteTriesTwiceThenGivesUp) {
    const Bytes code = {0x01, 0x02, 0x03};
    struct Case {
        std::vector<Bytes> replies;
        bool accepted;
        size_t writes;
    };
    const std::vector<Case> cases = {
        {{Status(9)}, true, 1},
        {{{}, Status(0)}, true, 2},
        {{Bytes(16, 0), Bytes(7, 0)}, false, 2},
        {{{}, {}}, false, 2},
    };
    for (const auto& c : cases) {
        m_script.written.clear();
        m_script.replies.assign(c.replies.begin(), c.replies.end());
        EXPECT_EQ(ImportWriteLine(*m_link, 1, code.data(), 3, m_timing).Written(), c.accepted);
        EXPECT_EQ(m_script.written.size(), c.writes);
        m_script.replies.clear();
    }
    EXPECT_EQ(m_script.calls.back(), "read 16");

    const Bytes tooLong(501, 0xAB);
    m_script.written.clear();
    EXPECT_EQ(ImportWriteLine(*m_link, 1, tooLong.data(), 501, m_timing).result,
              WriteOutcome::Result::TooLong);
    EXPECT_TRUE(m_script.written.empty());
}

// Replies as a module with CRCs sends them, and the same with a flipped byte.
Bytes WithCrc(Bytes bytes) {
    uint8_t crc[2];
    Crc16(bytes.data(), static_cast<uint32_t>(bytes.size()), crc);
    bytes.insert(bytes.end(), crc, crc + 2);
    return bytes;
}
Bytes CodeReplyOf(const Bytes& code) {
    Bytes reply{0x01, 0x05, 0x02, 0x06, 0x00, 0x00};
    reply.insert(reply.end(), code.begin(), code.end());
    return WithCrc(reply);
}
Bytes Damaged(Bytes reply) {
    reply.back() ^= 0x5A;
    return reply;
}
Bytes CheckedStatus(uint8_t status) {
    return WithCrc({0x01, 0x05, 0x02, 0x06, 0x00, status});
}

TEST_F(ModuleOperationsTest, ACheckedKindRepeatsADamagedReplyOnce) {
    CReplyChecks checks;
    const Bytes good = CodeReplyOf({0xA1, 0xB2, 0xC3});
    // Unchecked at first: a damaged first reply is taken as the window takes it.
    m_script.replies.push_back(Damaged(good));
    EXPECT_FALSE(ReadKey(*m_link, 1, m_timing, &checks).damaged);
    EXPECT_FALSE(checks.IsChecked(ReplyKind::Code));
    // The first valid one makes code replies checked for the session.
    m_script.replies.push_back(good);
    EXPECT_FALSE(ExportReadSlot(*m_link, 2, m_timing, &checks).damaged);
    EXPECT_TRUE(checks.IsChecked(ReplyKind::Code));
    EXPECT_FALSE(checks.IsChecked(ReplyKind::Status));

    // Damaged, then whole: the repeat is taken.
    m_script.written.clear();
    m_script.replies = {Damaged(good), good};
    const ExchangeReply repeated = ExportReadSlot(*m_link, 3, m_timing, &checks);
    EXPECT_FALSE(repeated.damaged);
    EXPECT_EQ(repeated.count, good.size());
    EXPECT_EQ(m_script.written.size(), 2U);
    EXPECT_EQ(checks.Repeats(), 1U);

    // Damaged twice: the exchange fails as damaged, with one repeat only.
    m_script.written.clear();
    m_script.replies = {Damaged(good), Damaged(good), good};
    EXPECT_TRUE(ExportReadSlot(*m_link, 4, m_timing, &checks).damaged);
    EXPECT_EQ(m_script.written.size(), 2U);

    // A reply cut short is damaged too once the kind is checked.
    m_script.replies = {Bytes(good.begin(), good.end() - 2), Bytes(good.begin(), good.end() - 1)};
    EXPECT_TRUE(ReadKey(*m_link, 5, m_timing, &checks).damaged);

    // A status reply to a read is its own kind, still unchecked.
    m_script.replies = {Status(1)};
    EXPECT_FALSE(ReadKey(*m_link, 6, m_timing, &checks).damaged);
    EXPECT_EQ(checks.UncheckedKinds(), std::vector<ReplyKind>{ReplyKind::Status});
    EXPECT_EQ(UncheckedReplyTexts(checks),
              std::vector<std::string>{"status replies unchecked: no valid CRC seen"});
}

TEST_F(ModuleOperationsTest, WithoutChecksEveryReplyIsJudgedByItsCount) {
    const Bytes good = CodeReplyOf({0x11, 0x22});
    m_script.replies = {good, Damaged(good)};
    ExportReadSlot(*m_link, 1, m_timing);
    const ExchangeReply reply = ExportReadSlot(*m_link, 2, m_timing);
    EXPECT_FALSE(reply.damaged);
    EXPECT_EQ(reply.count, good.size());
    // An acknowledgement is 8 bytes, whatever its status.
    m_script.replies = {CheckedStatus(1)};
    EXPECT_TRUE(ImportWriteLine(*m_link, 1, good.data(), 2, m_timing).Written());
}

TEST_F(ModuleOperationsTest, CheckedAcknowledgements) {
    const Bytes code = {0x01, 0x02};
    CReplyChecks checks;
    struct Case {
        const char* name;
        std::vector<Bytes> replies;
        WriteOutcome::Result result;
        uint8_t status;
        size_t writes;
    };
    const Case cases[] = {
        {"status 0", {CheckedStatus(0)}, WriteOutcome::Result::Written, 0, 1},
        {"status 1 is a refusal, not repeated",
         {CheckedStatus(1)},
         WriteOutcome::Result::Refused,
         1,
         1},
        {"damaged, then whole",
         {Damaged(CheckedStatus(0)), CheckedStatus(0)},
         WriteOutcome::Result::Written,
         0,
         2},
        {"damaged twice",
         {Damaged(CheckedStatus(0)), Damaged(CheckedStatus(0))},
         WriteOutcome::Result::Damaged,
         0,
         2},
        {"nothing, then refused", {{}, CheckedStatus(3)}, WriteOutcome::Result::Refused, 3, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        m_script.written.clear();
        m_script.replies.assign(c.replies.begin(), c.replies.end());
        const WriteOutcome outcome = ImportWriteLine(*m_link, 9, code.data(), 2, m_timing, &checks);
        EXPECT_EQ(outcome.result, c.result);
        if (c.result == WriteOutcome::Result::Refused) {
            EXPECT_EQ(outcome.status, c.status);
        }
        EXPECT_EQ(m_script.written.size(), c.writes);
    }
}

TEST_F(ModuleOperationsTest, ACheckedSendOrVersionThatStaysDamagedFails) {
    CReplyChecks checks;
    m_script.replies = {CheckedStatus(0)};
    EXPECT_EQ(SendKey(*m_link, 105, 0x02, m_timing, &checks), SendOutcome::Ok);
    m_script.replies = {Damaged(CheckedStatus(0)), Damaged(CheckedStatus(0))};
    EXPECT_EQ(SendKey(*m_link, 105, 0x02, m_timing, &checks), SendOutcome::Damaged);
    EXPECT_STREQ(SendOutcomeText(SendOutcome::Damaged), "reply damaged");

    Bytes version(17, 0x00);
    version[7] = '1';
    m_script.replies = {WithCrc(version)};
    EXPECT_TRUE(GetVersion(*m_link, m_timing, &checks).ok);
    m_script.replies = {Damaged(WithCrc(version)), Damaged(WithCrc(version))};
    const VersionOutcome damaged = GetVersion(*m_link, m_timing, &checks);
    EXPECT_FALSE(damaged.ok);
    EXPECT_TRUE(damaged.damaged);
}

} // namespace
