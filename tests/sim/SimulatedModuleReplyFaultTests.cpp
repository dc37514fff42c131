// Faults in the module's replies, seen byte for byte on its pseudo-terminal:
// damaged CRCs at a chosen rate, reply kinds without a CRC, the status of
// write acknowledgements and a learn answered by a stream of bytes.

#include "CommandFrame.h"
#include "ExpectedBytes.h"
#include "FrameLayout.h"
#include "ModuleOnRawLine.h"
#include "RawLine.h"
#include "Reply.h"
#include "SimulatedModule.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <set>

namespace {

using namespace std::chrono_literals;

Bytes WithoutCrc(const Bytes& reply) {
    return Bytes(reply.begin(), reply.end() - std::min<size_t>(reply.size(), CRC_SIZE));
}

bool EndsWith(const Bytes& bytes, const Bytes& end) {
    return bytes.size() >= end.size() &&
           std::equal(end.begin(), end.end(), bytes.end() - end.size());
}

// Nothing but the flood's pieces, whole.
bool IsFloodPieces(Bytes::const_iterator begin, Bytes::const_iterator end) {
    const auto& piece = SimulatedModule::FLOOD_PIECE;
    if ((end - begin) % piece.size() != 0) {
        return false;
    }
    for (auto at = begin; at != end; at += piece.size()) {
        if (!std::equal(piece.begin(), piece.end(), at)) {
            return false;
        }
    }
    return true;
}

struct Request {
    const char* name;
    Bytes frame;
    ReplyKind kind;
    size_t replySize;
};

class SimulatedModuleReplyFaults : public ModuleOnRawLine {
protected:
    void SetUp() override {
        ModuleOnRawLine::SetUp();
        if (HasFatalFailure()) {
            return;
        }
        ASSERT_FALSE(m_module.Slot(105).empty());
        ASSERT_TRUE(m_module.SetSlot(3, {}));
    }

    // A request of each kind of reply: version, code, and status from an
    // empty slot's read and from a send.
    std::vector<Request> OneOfEachKind() const {
        const size_t codeReplySize = REPLY_HEADER_SIZE + m_module.Slot(105).size() + CRC_SIZE;
        return {
            {"version", FrameBytes(BuildGetVersionFrame()), ReplyKind::Version, VERSION_REPLY_SIZE},
            {"read of a code", FrameBytes(BuildReadFrame(105)), ReplyKind::Code, codeReplySize},
            {"read of an empty slot", FrameBytes(BuildReadFrame(3)), ReplyKind::Status,
             STATUS_REPLY_SIZE},
            {"send", FrameBytes(BuildSendFrame(105, 2)), ReplyKind::Status, STATUS_REPLY_SIZE}};
    }

    // The replies to the requests as a module without faults gives them.
    std::vector<Bytes> FaultlessReplies(const std::vector<Request>& requests) {
        m_module.SetFaults({});
        std::vector<Bytes> replies;
        for (const Request& r : requests) {
            replies.push_back(ExchangeOf(r.frame, r.replySize));
        }
        return replies;
    }

    Bytes ExchangeOf(const Bytes& frame, size_t replySize) {
        return m_line->Exchange(frame, replySize, 2s);
    }

    // What arrives until the bytes end with end, or the deadline passes.
    Bytes ReadUntilEndsWith(const Bytes& end, std::chrono::milliseconds timeout) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        Bytes got;
        while (!EndsWith(got, end) && std::chrono::steady_clock::now() < deadline) {
            const Bytes more = m_line->Read(1, 50ms);
            got.insert(got.end(), more.begin(), more.end());
        }
        return got;
    }
};

TEST_F(SimulatedModuleReplyFaults, EveryNthReplyHasOneCrcByteFlippedAndItsLengthKept) {
    const std::vector<Request> requests = OneOfEachKind();
    const std::vector<Bytes> faultless = FaultlessReplies(requests);
    for (const Bytes& reply : faultless) {
        ASSERT_TRUE(EndsWithItsCrc(reply));
    }
    constexpr size_t REPLIES = 60;
    for (const uint32_t every : {1u, 3u, 20u}) {
        SCOPED_TRACE("every " + std::to_string(every));
        SimFaults faults;
        faults.damageEvery = every;
        m_module.SetFaults(faults);
        size_t damaged = 0;
        // Counting runs across the kinds of reply.
        for (size_t number = 1; number <= REPLIES; ++number) {
            const size_t which = number % requests.size();
            const Bytes& expected = faultless[which];
            const Bytes got = ExchangeOf(requests[which].frame, expected.size());
            ASSERT_EQ(got.size(), expected.size()) << "reply " << number;
            EXPECT_EQ(WithoutCrc(got), WithoutCrc(expected)) << "reply " << number;
            const bool isDamaged = !EndsWithItsCrc(got);
            EXPECT_EQ(isDamaged, number % every == 0) << "reply " << number;
            const size_t n = got.size();
            const int differing = (got[n - 2] != expected[n - 2]) + (got[n - 1] != expected[n - 1]);
            EXPECT_EQ(differing, isDamaged ? 1 : 0) << "one CRC byte differs, reply " << number;
            damaged += isDamaged;
        }
        EXPECT_EQ(damaged, REPLIES / every);
    }
}

TEST_F(SimulatedModuleReplyFaults, RepliesOfTheChosenKindsCarryNoCrc) {
    const std::vector<Request> requests = OneOfEachKind();
    const std::vector<Bytes> faultless = FaultlessReplies(requests);
    using Kinds = std::set<ReplyKind>;
    const Kinds cases[] = {
        {},
        {ReplyKind::Status},
        {ReplyKind::Version},
        {ReplyKind::Code},
        {ReplyKind::Status, ReplyKind::Version}, // a module that checks only its codes
        {ReplyKind::Status, ReplyKind::Version, ReplyKind::Code},
    };
    for (const Kinds& kinds : cases) {
        SimFaults faults;
        faults.noCrcKinds = kinds;
        m_module.SetFaults(faults);
        for (size_t i = 0; i < requests.size(); ++i) {
            SCOPED_TRACE(std::string(requests[i].name) + ", " + std::to_string(kinds.size()) +
                         " kinds without CRC");
            const Bytes got = ExchangeOf(requests[i].frame, faultless[i].size());
            ASSERT_EQ(got.size(), faultless[i].size());
            EXPECT_EQ(WithoutCrc(got), WithoutCrc(faultless[i]));
            EXPECT_EQ(EndsWithItsCrc(got), !kinds.contains(requests[i].kind));
        }
    }
}

TEST_F(SimulatedModuleReplyFaults, WriteAcknowledgementsCarryTheChosenStatusAndStoreOnlyWithZero) {
    const Bytes code = {0x0A, 0x0B, 0x0C};
    const Bytes frame =
        FrameBytes(BuildWriteFrame(20, code.data(), static_cast<uint32_t>(code.size())));
    for (const int status : {0, 1, 3, 255}) {
        SCOPED_TRACE(status);
        ASSERT_TRUE(m_module.SetSlot(20, {0x99}));
        SimFaults faults;
        faults.ackStatus = status;
        m_module.SetFaults(faults);
        const Bytes ack = ExchangeOf(frame, STATUS_REPLY_SIZE);
        ASSERT_EQ(ack.size(), STATUS_REPLY_SIZE);
        EXPECT_TRUE(EndsWithItsCrc(ack));
        EXPECT_EQ(StatusByte(ack.data(), STATUS_REPLY_SIZE), status);
        EXPECT_EQ(m_module.Slot(20), status == 0 ? code : Bytes{0x99});
    }
}

TEST_F(SimulatedModuleReplyFaults, LearnIsAnsweredByWholePiecesUntilTheNextFrame) {
    const Request version = OneOfEachKind().front();
    const Bytes versionReply = FaultlessReplies({version}).front();
    ASSERT_TRUE(m_module.SetSlot(42, {}));
    SimFaults faults;
    faults.floodLearn = true;
    faults.learnDelayMs = 50; // an answer would come well within the window
    m_module.SetFaults(faults);
    const auto interval = std::chrono::milliseconds(SimulatedModule::FLOOD_INTERVAL_MS);
    const auto window = 12 * interval;
    ASSERT_TRUE(m_line->Write(FrameBytes(BuildLearnFrame(42)), 2s));
    const Bytes flood = m_line->Read(1024, window);

    // Whole pieces, at most one an interval, and never the learn's answer:
    // no count of three-byte pieces makes the eight bytes of a status reply.
    EXPECT_TRUE(IsFloodPieces(flood.begin(), flood.end())) << ::testing::PrintToString(flood);
    const size_t pieces = flood.size() / SimulatedModule::FLOOD_PIECE.size();
    EXPECT_LE(pieces, 12u);
    EXPECT_GE(pieces, 4u);
    EXPECT_TRUE(m_module.Slot(42).empty());

    // The next frame ends it: its reply comes behind the pieces already sent,
    // and nothing comes after it.
    ASSERT_TRUE(m_line->Write(version.frame, 2s));
    const Bytes tail = ReadUntilEndsWith(versionReply, 2s);
    ASSERT_TRUE(EndsWith(tail, versionReply));
    EXPECT_TRUE(IsFloodPieces(tail.begin(), tail.end() - versionReply.size()));
    EXPECT_TRUE(m_line->Read(1, 4 * interval).empty());
}

} // namespace
