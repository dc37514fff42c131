// --fast: replies taken as soon as they are whole, the files unchanged, and
// the fixed timing kept wherever a reply's CRC cannot say it is whole.

#include "CliFixture.h"
#include "CommandFrame.h"
#include "ExpectedBytes.h"
#include "RawLine.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

class CliFast : public CliSeededModuleTest {
protected:
    // verify --fast of the first 13 slots with codes on the window's own
    // timing, and how long it took.
    CliResult VerifyFirstLines(Clock::duration& took) {
        const std::string path = Path("first.txt");
        std::string firstLines;
        for (size_t i = 0; i < 13; ++i) {
            firstLines += lines.at(i);
        }
        WriteFileBytes(path, firstLines);
        const auto start = Clock::now();
        CliResult r = RunInProcess({"--fast", "-p", "COM9", "verify", path}, FixedTiming());
        took = Clock::now() - start;
        return r;
    }
};

TEST_F(CliFast, ExportAndImportMoveTheSameBytesAndRepeatDamagedReplies) {
    SimFaults damaging;
    damaging.damageEvery = 20;
    module->SetFaults(damaging);
    const std::string path = Path("backup.txt");
    CliResult r = RunInProcess({"--fast", "--json", "-p", "COM9", "export", path});
    ASSERT_EQ(r.exit, 0) << r.out << r.err;
    EXPECT_EQ(ReadFileBytes(path), expected);
    const auto json = nlohmann::json::parse(r.out);
    // A damaged reply fails its CRC: it is repeated, never taken early.
    EXPECT_GE(json["repeats"], 20);
    EXPECT_LE(json["repeats"], 30);
    EXPECT_EQ(json["unchecked_replies"], nlohmann::json::array());

    const auto other = StartModule("COM10");
    ASSERT_TRUE(other);
    r = RunInProcess({"--fast", "-p", "COM10", "import", path});
    ASSERT_EQ(r.exit, 0) << r.out << r.err;
    for (uint16_t slot = 1; slot <= 448; ++slot) {
        ASSERT_EQ(other->Slot(slot), module->Slot(slot)) << slot;
    }
}

TEST_F(CliFast, RepliesInPiecesWithGapsAreReadWhole) {
    // A gap as long as the quiet gap between pieces: no CRC holds before the
    // end of a reply, so none is taken early.
    SimFaults pieces;
    pieces.replyPieces = {3, 5, 7};
    pieces.pieceGapMs = 20;
    module->SetFaults(pieces);
    Clock::duration took{};
    const CliResult r = VerifyFirstLines(took);
    EXPECT_EQ(r.exit, 0) << r.out << r.err;
    EXPECT_EQ(module->ReceivedFrames().size(), 13u) << "no read was repeated";

    // A pause inside a reply that outlasts the read's pause (400 ms) and its
    // interval (100 ms), as a network or a loaded machine makes: the rest is
    // read on as the rest, never taken for the start of a repeat's reply.
    pieces.replyPieces = {20};
    pieces.pieceGapMs = 650;
    module->SetFaults(pieces);
    module->ClearReceivedFrames();
    const std::string slot = std::to_string(std::stoi(lines.at(0).substr(0, 4)));
    const CliResult cut = RunInProcess({"-p", "COM9", "read", "--slot", slot}, FixedTiming());
    EXPECT_EQ(cut.exit, 0) << cut.out << cut.err;
    EXPECT_EQ(cut.out, lines.at(0).substr(5, lines.at(0).size() - 6) + "\n");
    EXPECT_EQ(module->ReceivedFrames().size(), 1u) << "the read was not repeated";
}

TEST_F(CliFast, WithoutReplyCrcsTheFixedTimingStaysAndIsSaidSo) {
    Clock::duration fast{};
    CliResult r = VerifyFirstLines(fast);
    EXPECT_EQ(r.exit, 0) << r.out << r.err;
    EXPECT_EQ((r.out + r.err).find("--fast kept"), std::string::npos);

    SimFaults noCrc;
    noCrc.noCrcKinds = {ReplyKind::Status, ReplyKind::Version, ReplyKind::Code};
    module->SetFaults(noCrc);
    Clock::duration fixed{};
    r = VerifyFirstLines(fixed);
    EXPECT_EQ(r.exit, 0) << r.out << r.err;
    EXPECT_NE((r.out + r.err).find("--fast kept the fixed timing for replies without a valid CRC"),
              std::string::npos)
        << r.out << r.err;
    // Without CRCs each of the 13 reads waits out the 100 ms pause and the
    // read's 100 ms end; with them only the first does, the rest end about
    // 20 ms after their reply. Opening and closing the port cost the same.
    EXPECT_GE(fixed, 13 * 200ms);
    EXPECT_GT(fixed - fast, 12 * 120ms);
}

// A command killed between its request and the reply leaves that reply on its
// way; the next command's first read never takes it for its own (an empty
// slot's reply is as short as a status reply).
TEST_F(CliFast, AReplyLeftByAKilledCommandIsNotTakenForTheNextOnesRead) {
    SimFaults slow;
    slow.turnaroundMs = 60;
    module->SetFaults(slow);
    {
        RawLine killed(module->SlavePath());
        ASSERT_TRUE(killed.IsOpen());
        const CommandFrame frame = BuildReadFrame(2); // empty: codes are in 1, 4, 7, ...
        ASSERT_TRUE(killed.Write(FrameBytes(frame), 1s));
    }
    const std::string slot = std::to_string(std::stoi(lines.at(0).substr(0, 4)));
    const CliResult r = RunInProcess({"-p", "COM9", "read", "--slot", slot}, FixedTiming());
    EXPECT_EQ(r.exit, 0) << r.out << r.err;
    EXPECT_EQ(r.out, lines.at(0).substr(5, lines.at(0).size() - 6) + "\n");
}

} // namespace
