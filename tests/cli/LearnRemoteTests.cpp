// learn-remote against the simulated module: the walk through a map, the
// session it leaves and resumes, retries, skips and the operator's answers.

#include "CliTestSupport.h"
#include "CommandFrame.h"
#include "DatabaseFormat.h"
#include "FileLines.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <atomic>
#include <unistd.h>

namespace {

// The learn frames the module received, slot by slot in order.
std::vector<uint16_t> LearnedSlots(const std::vector<Bytes>& frames) {
    std::vector<uint16_t> slots;
    for (const Bytes& frame : frames) {
        for (uint16_t slot = 1; slot <= 10; ++slot) {
            const CommandFrame learn = BuildLearnFrame(slot);
            if (frame == Bytes(learn.data(), learn.data() + learn.size)) {
                slots.push_back(slot);
            }
        }
    }
    return slots;
}

class LearnRemoteWalk : public ::testing::Test {
protected:
    void SetUp() override {
        module = StartModule("COM9");
        ASSERT_TRUE(module);
        SimFaults learning;
        learning.learnDelayMs = 20; // a generated code, as if a key were pressed at once
        module->SetFaults(learning);
        map = runtime.Path().string() + "/tv.map";
        std::string text = "# meeting-room TV\n";
        for (int key = 1; key <= 10; ++key) {
            text += "1/" + std::to_string(key) + " KEY" + std::to_string(key) + "\n";
        }
        WriteFileBytes(map, text);
    }
    CliResult Run(std::vector<std::string> args, CRunControl* control = nullptr,
                  int answerFd = -1) {
        module->ClearReceivedFrames();
        args.insert(args.begin(), {"-p", "COM9", "learn-remote"});
        CliResult result = RunInProcess(args, timing, control, false, answerFd);
        frames = module->ReceivedFrames();
        return result;
    }
    // Learns never answered: the learn waits a quarter of a second.
    void NoPresses() {
        SimFaults silentRemote;
        silentRemote.learnDelayMs = 60000;
        module->SetFaults(silentRemote);
        timing.learnPolls = 4;
        timing.lineTimeouts.ReadTotalTimeoutConstant = 30;
    }
    SlotContent Session() const {
        return SlotsOfLines(SplitDatabaseText(ReadFileBytes(map + ".session")));
    }

    PrivateRuntimeDir runtime;
    std::unique_ptr<SimulatedModule> module;
    ExchangeTiming timing = BulkTiming();
    std::string map;
    std::vector<Bytes> frames;
};

TEST_F(LearnRemoteWalk, AnInterruptedWalkResumesWithoutLearningAKeyTwice) {
    // Ctrl+C while the fourth key waits.
    CRunControl control;
    std::atomic<int> learns{0};
    module->SetFrameObserver([&](const std::vector<uint8_t>& frame, bool) {
        if (!LearnedSlots({frame}).empty() && ++learns == 4) {
            control.Interrupt();
        }
    });
    const CliResult first = Run({map}, &control);
    EXPECT_EQ(first.exit, 130) << first.err;
    EXPECT_EQ(LearnedSlots(frames), (std::vector<uint16_t>{1, 2, 3, 4}));
    SlotContent session = Session();
    ASSERT_EQ(session.codes.size(), 3U) << first.err;
    for (uint16_t slot = 1; slot <= 3; ++slot) {
        EXPECT_EQ(session.codes[slot], module->Slot(slot)) << slot;
    }
    EXPECT_NE(first.out.find("KEY4 (1/4): not reached"), std::string::npos) << first.out;

    module->SetFrameObserver({});
    const CliResult second = Run({map, "--json"});
    EXPECT_EQ(second.exit, 0) << second.err;
    EXPECT_NE(second.err.find("resuming: 3 of 10 keys learned"), std::string::npos)
        << second.err;
    EXPECT_EQ(LearnedSlots(frames), (std::vector<uint16_t>{4, 5, 6, 7, 8, 9, 10}));
    session = Session();
    ASSERT_EQ(session.codes.size(), 10U);
    for (uint16_t slot = 1; slot <= 10; ++slot) {
        EXPECT_EQ(session.codes[slot], module->Slot(slot)) << slot;
    }
    const auto json = nlohmann::json::parse(second.out);
    EXPECT_EQ(json["resumed"], 3);
    EXPECT_EQ(json["learned"], 10);
    EXPECT_EQ(json["keys"][0]["from_session"], true);
    EXPECT_EQ(json["keys"][9]["outcome"], "learned");
    EXPECT_EQ(json["keys"][9]["code_bytes"], module->Slot(10).size());

    // --restart learns every key again, into the file --session names.
    const std::string other = runtime.Path().string() + "/other.session";
    EXPECT_EQ(Run({map, "--restart", "--session", other}).exit, 0);
    EXPECT_EQ(LearnedSlots(frames).size(), 10U);
    EXPECT_EQ(SlotsOfLines(SplitDatabaseText(ReadFileBytes(other))).codes.size(), 10U);
}

TEST_F(LearnRemoteWalk, WithoutATerminalAKeyIsTriedAgainThenSkipped) {
    WriteFileBytes(map, "1/1 POWER\n1/2 MUTE\n");
    NoPresses();
    const CliResult r = Run({map, "--retries", "1"});
    EXPECT_EQ(r.exit, 1);
    EXPECT_EQ(LearnedSlots(frames), (std::vector<uint16_t>{1, 1, 2, 2}));
    EXPECT_NE(r.err.find("POWER (1/1): press the key on the remote, "), std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("POWER (1/1): Learn timeout!; trying again (1 try left)"),
              std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("MUTE (1/2): Learn timeout!; skipped"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("missing: POWER, MUTE"), std::string::npos) << r.err;
    EXPECT_NE(r.out.find("POWER (1/1): skipped (Learn timeout!)"), std::string::npos) << r.out;
    EXPECT_FALSE(FileExists(map + ".session")); // nothing learned, nothing written
}

TEST_F(LearnRemoteWalk, OnATerminalTheOperatorSkipsOrStops) {
    WriteFileBytes(map, "1/1 POWER\n1/2 MUTE\n1/3 INPUT\n");
    NoPresses();
    int answers[2];
    ASSERT_EQ(pipe(answers), 0);
    // Skip the first key; an unknown answer is asked again; stop at the second.
    const std::string typed = "s\nx\nq\n";
    ASSERT_EQ(write(answers[1], typed.data(), typed.size()), ssize_t(typed.size()));
    const CliResult r = Run({map}, nullptr, answers[0]);
    close(answers[0]);
    close(answers[1]);
    EXPECT_EQ(r.exit, 1) << r.err;
    EXPECT_EQ(LearnedSlots(frames), (std::vector<uint16_t>{1, 2}));
    EXPECT_NE(r.err.find("POWER (1/1): Learn timeout! Enter: try again, s: skip, q: stop"),
              std::string::npos)
        << r.err;
    EXPECT_NE(r.out.find("POWER (1/1): skipped"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("MUTE (1/2): not reached"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("INPUT (1/3): not reached"), std::string::npos) << r.out;
}

TEST_F(LearnRemoteWalk, ABadMapOrSessionIsRefusedBeforeAnyLearn) {
    WriteFileBytes(map, "1/1 POWER\n1/2 POWER\n9/1 NINE\n");
    CliResult r = Run({map});
    EXPECT_EQ(r.exit, 2);
    EXPECT_NE(r.err.find("tv.map: line 2: the name POWER is used on line 1 already"),
              std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("tv.map: line 3: channel 9 is outside 1-4"), std::string::npos);
    EXPECT_TRUE(frames.empty());

    WriteFileBytes(map, "1/1 POWER\n");
    WriteFileBytes(map + ".session", "not a database\r");
    r = Run({map});
    EXPECT_EQ(r.exit, 2);
    EXPECT_NE(r.err.find("tv.map.session is not a database file: line 1"), std::string::npos)
        << r.err;
    EXPECT_EQ(ReadFileBytes(map + ".session"), "not a database\r");
    EXPECT_TRUE(LearnedSlots(frames).empty());
}

} // namespace
