// learn-remote and check-remote against simulated modules: what the command
// line says of a walk through a map and of a check by air, its JSON and exit
// statuses, the session file it names, and the operator's answers. Which keys
// a walk learns and how a check ends are the job tests' own.

#include "CliFixture.h"
#include "CommandFrame.h"
#include "DatabaseFormat.h"
#include "FileLines.h"
#include "ScriptedRemote.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <unistd.h>

namespace {

class LearnRemoteWalk : public CliModuleTest {
protected:
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(CliModuleTest::SetUp());
        SimFaults learning;
        learning.learnDelayMs = 20; // a generated code, as if a key were pressed at once
        module->SetFaults(learning);
        map = Path("tv.map");
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
    // Learns never answered: each try ends after four empty polls, each as
    // long as a read's bound (the Get version after it must not miss that
    // bound on a busy machine).
    void NoPresses() {
        SimFaults silentRemote;
        silentRemote.learnDelayMs = 60000;
        module->SetFaults(silentRemote);
        timing.learnPolls = 4;
    }
    SlotContent Session() const {
        return SlotsOfLines(SplitDatabaseText(ReadFileBytes(map + ".session")));
    }

    ExchangeTiming timing = BulkTiming();
    std::string map;
    std::vector<Bytes> frames;
};

TEST_F(LearnRemoteWalk, AnInterruptedWalkEndsWith130AndTheNextSaysWhereItResumes) {
    ASSERT_TRUE(module->JoinRoom("tv"));
    // Ctrl+C while the fourth key waits.
    CRunControl control;
    {
        CScriptedRemote remote(*module, "tv", 4, [&] { control.Interrupt(); });
        const CliResult first = Run({map}, &control);
        EXPECT_EQ(first.exit, 130) << first.err;
        EXPECT_EQ(remote.Presses(), 3);
        EXPECT_EQ(Session().codes.size(), 3U) << first.err;
        EXPECT_NE(first.out.find("KEY4 (1/4): not reached"), std::string::npos) << first.out;
    }

    CScriptedRemote remote(*module, "tv", 0, {});
    const CliResult second = Run({map, "--json"});
    EXPECT_EQ(second.exit, 0) << second.err;
    EXPECT_NE(second.err.find("resuming: 3 of 10 keys learned"), std::string::npos) << second.err;
    const auto json = nlohmann::json::parse(second.out);
    EXPECT_EQ(json["resumed"], 3);
    EXPECT_EQ(json["learned"], 10);
    EXPECT_EQ(json["keys"][0]["from_session"], true);
    EXPECT_EQ(json["keys"][9]["outcome"], "learned");
    EXPECT_EQ(json["keys"][9]["code_bytes"], PressedCode(10).size());

    // --restart learns every key again, into the file --session names.
    const std::string other = Path("other.session");
    WriteFileBytes(other, "0001,00\r");
    EXPECT_EQ(Run({map, "--restart", "--session", other}).exit, 0);
    const SlotContent relearned = SlotsOfLines(SplitDatabaseText(ReadFileBytes(other)));
    EXPECT_EQ(relearned.codes.size(), 10U);
    EXPECT_EQ(relearned.codes.at(1), PressedCode(1));
}

TEST_F(LearnRemoteWalk, ConfirmedCapturesAreStableOnClearAirAndUnstableInNoise) {
    ASSERT_TRUE(module->JoinRoom("tv"));
    WriteFileBytes(map, "1/1 POWER\n1/2 MUTE\n");
    CScriptedRemote remote(*module, "tv", 0, {});
    CliResult r = Run({map, "--confirm"});
    EXPECT_EQ(r.exit, 0) << r.err;
    ExpectContains(r.out, {"POWER (1/1): stable, ", "MUTE (1/2): stable, "});

    SimFaults noisy;
    noisy.captureNoise = 1.0; // every capture has one byte changed
    module->SetFaults(noisy);
    r = Run({map, "--confirm", "--restart", "--json"});
    EXPECT_EQ(r.exit, 0) << r.err;
    ExpectContains(r.err, {"POWER (1/1): the two captures differ at byte ",
                           "POWER (1/1): press the key on the remote a third time"});
    const auto json = nlohmann::json::parse(r.out);
    EXPECT_EQ(json["unstable"], 2);
    EXPECT_EQ(json["keys"][0]["outcome"], "unstable");
    // Two changed bytes, or one twice over.
    EXPECT_GE(json["keys"][0]["differing"].size(), 1U);
    EXPECT_LE(json["keys"][0]["differing"].size(), 2U);
}

TEST_F(LearnRemoteWalk, ATryWithoutACodeIsRetriedThenSkippedOrAsTheOperatorAnswers) {
    // Without a terminal: tried again while tries are left, then skipped.
    WriteFileBytes(map, "1/1 POWER\n1/2 MUTE\n");
    NoPresses();
    CliResult r = Run({map, "--retries", "1"});
    EXPECT_EQ(r.exit, 1);
    ExpectContains(r.err, {"POWER (1/1): press the key on the remote, ",
                           "POWER (1/1): Learn timeout!; trying again (1 try left)",
                           "MUTE (1/2): Learn timeout!; skipped", "missing: POWER, MUTE"});
    ExpectContains(r.out, {"POWER (1/1): skipped (Learn timeout!)"});

    // On a terminal: skip the first key; an unknown answer is asked again;
    // stop at the second.
    WriteFileBytes(map, "1/1 POWER\n1/2 MUTE\n1/3 INPUT\n");
    int answers[2];
    ASSERT_EQ(pipe(answers), 0);
    const std::string typed = "s\nx\nq\n";
    ASSERT_EQ(write(answers[1], typed.data(), typed.size()), ssize_t(typed.size()));
    r = Run({map}, nullptr, answers[0]);
    close(answers[0]);
    close(answers[1]);
    EXPECT_EQ(r.exit, 1) << r.err;
    ExpectContains(r.err, {"POWER (1/1): Learn timeout! Enter: try again, s: skip, q: stop"});
    ExpectContains(r.out,
                   {"POWER (1/1): skipped", "MUTE (1/2): not reached", "INPUT (1/3): not reached"});
}

TEST_F(LearnRemoteWalk, AModuleThatStopsAnsweringEndsTheWalkWithStatusFour) {
    WriteFileBytes(map, "1/1 POWER\n1/2 MUTE\n1/3 INPUT\n");
    WriteFileBytes(map + ".session", "0001,0A0B0C\r");
    NoPresses();
    SimFaults gone;
    gone.silent = true;
    module->SetFaults(gone);
    const CliResult r = Run({map});
    EXPECT_EQ(r.exit, 4) << r.err;
    ExpectContains(r.err, {"the module is gone", "COM9: no reply within"});
}

TEST_F(LearnRemoteWalk, ABadMapOrSessionIsRefusedBeforeAnyLearn) {
    WriteFileBytes(map, "1/1 POWER\n1/2 POWER\n9/1 NINE\n");
    CliResult r = Run({map});
    EXPECT_EQ(r.exit, 2);
    ExpectContains(r.err, {"tv.map: line 2: the name POWER is used on line 1 already",
                           "tv.map: line 3: channel 9 is outside 1-4"});
    EXPECT_TRUE(frames.empty());

    WriteFileBytes(map, "1/1 POWER\n");
    WriteFileBytes(map + ".session", "not a database\r");
    r = Run({map});
    EXPECT_EQ(r.exit, 2);
    EXPECT_NE(r.err.find("tv.map.session is not a database file: line 1"), std::string::npos)
        << r.err;
}

} // namespace

namespace {

// Two modules in one room: COM9 sends what the map names, COM10 learns it.
class CheckRemoteByAir : public CliTest {
protected:
    void SetUp() override {
        sender = StartModule("COM9");
        learner = StartModule("COM10");
        ASSERT_TRUE(sender && learner);
        ASSERT_TRUE(sender->JoinRoom("lab") && learner->JoinRoom("lab"));
        for (uint16_t slot : {1, 2, 412}) {
            sender->SetSlot(slot, PressedCode(slot));
        }
        map = Path("tv.map");
        WriteFileBytes(map, "1/1 POWER\n1/2 MUTE\n1/3 NONE\n412 EXTRA\n");
    }
    CliResult Check(std::vector<std::string> more = {}) {
        std::vector<std::string> args{"-p", "COM9", "check-remote", map, "--with", "COM10"};
        args.insert(args.end(), more.begin(), more.end());
        return RunInProcess(args);
    }
    void Noise(double p) {
        SimFaults noisy;
        noisy.captureNoise = p;
        learner->SetFaults(noisy);
    }

    std::unique_ptr<SimulatedModule> sender, learner;
    std::string map;
};

TEST_F(CheckRemoteByAir, ClearAirIsReportedKeyByKeyInTheJson) {
    const CliResult r = Check({"--json"});
    EXPECT_EQ(r.exit, 0) << r.err;
    const auto json = nlohmann::json::parse(r.out);
    ASSERT_TRUE(json.is_array()) << r.out;
    const auto& report = json[0];
    EXPECT_EQ(report["role"], "sender");
    EXPECT_EQ(report["identical"], 3);
    EXPECT_EQ(report["restored"], true);
    ASSERT_EQ(report["keys"].size(), 4U);
    EXPECT_EQ(report["keys"][2]["outcome"], "not held");
    EXPECT_EQ(report["keys"][3]["outcome"], "identical");
    EXPECT_EQ(report["keys"][3]["slot"], 412);
}

TEST_F(CheckRemoteByAir, CapturesThatDifferOrAreLostAreSaidAndFailAsTheOptionsAsk) {
    Noise(1.0); // one byte of every capture changed
    CliResult r = Check();
    EXPECT_EQ(r.exit, 0) << r.err;
    const std::string differs = "POWER (1/1): differs in 1 of " +
                                std::to_string(PressedCode(1).size()) + " bytes (at byte ";
    ExpectContains(r.out, {differs, "3 keys sent: 0 identical, 3 different, 0 not captured"});
    EXPECT_EQ(Check({"--strict"}).exit, 1);

    // Out of the sender's sight: nothing is captured.
    Noise(0.0);
    ASSERT_TRUE(learner->JoinRoom("elsewhere"));
    ExchangeTiming quick = BulkTiming();
    quick.learnPolls = 4;
    r = RunInProcess({"-p", "COM9", "check-remote", map, "--with", "COM10", "--scratch", "448"},
                     quick);
    EXPECT_EQ(r.exit, 1) << r.err;
    EXPECT_NE(r.out.find("POWER (1/1): not captured (Learn timeout!)"), std::string::npos) << r.out;
}

TEST_F(CheckRemoteByAir, SendAndReadTakeAKeyByItsName) {
    CliResult r = RunInProcess({"-p", "COM9", "read", "--map", map, "EXTRA"});
    EXPECT_EQ(r.exit, 0) << r.err;
    EXPECT_EQ(r.out, HexPairs(PressedCode(412)) + "\n");
    sender->ClearReceivedFrames();
    r = RunInProcess({"-p", "COM9", "send", "--map", map, "MUTE", "--json"});
    EXPECT_EQ(r.exit, 0) << r.err;
    EXPECT_EQ(nlohmann::json::parse(r.out)["name"], "MUTE");
    const CommandFrame send = BuildSendFrame(2, ChannelMask(1));
    EXPECT_EQ(sender->ReceivedFrames().back(), Bytes(send.data(), send.data() + send.size));
    r = RunInProcess({"-p", "COM9", "send", "--map", map, "MUTED"});
    EXPECT_EQ(r.exit, 2);
    EXPECT_NE(r.err.find("no key named MUTED in " + map + "; did you mean MUTE?"),
              std::string::npos)
        << r.err;
}

} // namespace
