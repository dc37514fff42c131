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

#include <algorithm>
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
        SimulatedModule& on = port == "COM9" ? *module : *other;
        on.ClearReceivedFrames();
        args.insert(args.begin(), {"-p", port, "learn-remote"});
        // An operator who answers sits at a terminal.
        CliResult result = RunInProcess(args, timing, control, answerFd >= 0, answerFd);
        frames = on.ReceivedFrames();
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
    std::string port = "COM9";              // where Run learns
    std::unique_ptr<SimulatedModule> other; // a second module, COM10, when a test starts one
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
    EXPECT_NE(second.err.find("resuming: 3 of 10 keys in the session, 3 of them on the module"),
              std::string::npos)
        << second.err;
    const auto json = nlohmann::json::parse(second.out);
    EXPECT_EQ(json["resumed"], 3);
    EXPECT_EQ(json["on_module"], 3);
    EXPECT_EQ(json["learned"], 7);
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
    EXPECT_EQ(r.exit, 1) << r.err;
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
    // Each key's line once on the terminal: as it came, or in the report for
    // a key the walk never came to.
    const std::string both = r.out + r.err;
    for (const std::string line :
         {"POWER (1/1): skipped", "MUTE (1/2): not reached", "INPUT (1/3): not reached"}) {
        const size_t at = both.find(line);
        EXPECT_NE(at, std::string::npos) << line << "\n" << both;
        EXPECT_EQ(both.find(line, at + 1), std::string::npos) << line << "\n" << both;
    }
    ExpectContains(r.out, {"INPUT (1/3): not reached", "3 keys: 0 on the module"});
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
    ExpectContains(r.err, {"no reply to the read of slot 1", "COM9: no reply within"});
}

TEST_F(LearnRemoteWalk, ABadMapOrSessionIsRefusedBeforeAnyLearn) {
    WriteFileBytes(map, "1/1 POWER\n1/2 POWER\n9/1 NINE\n");
    CliResult r = Run({map});
    EXPECT_EQ(r.exit, 2);
    ExpectContains(r.err, {"tv.map: line 2: the name POWER is used on line 1 already",
                           "tv.map: line 3: channel 9 is outside 1-4"});
    EXPECT_TRUE(frames.empty());
    // A terminal's escape sequence in a line is told, never sent raw.
    WriteFileBytes(map, "1/1 POW\x1b[31mER\n");
    r = Run({map});
    EXPECT_EQ(r.exit, 2);
    ExpectContains(r.err, {"POW\\x1b[31mER"});
    EXPECT_EQ(r.err.find('\x1b'), std::string::npos) << r.err;

    WriteFileBytes(map, "1/1 POWER\n");
    WriteFileBytes(map + ".session", "not a database\r");
    r = Run({map});
    EXPECT_EQ(r.exit, 2);
    EXPECT_NE(r.err.find("tv.map.session is not a database file: line 1"), std::string::npos)
        << r.err;
}

TEST_F(LearnRemoteWalk, ASessionIsCheckedAgainstEachModuleItResumesOn) {
    other = StartModule("COM10");
    ASSERT_TRUE(other && module->JoinRoom("tv") && other->JoinRoom("tv"));
    {
        CScriptedRemote remote(*module, "tv");
        ASSERT_EQ(Run({map}).exit, 0);
    }
    const SlotContent learned = Session();
    port = "COM10";

    // A blank module: every key is learned again there.
    {
        CScriptedRemote remote(*other, "tv");
        const CliResult r = Run({map, "--json"});
        EXPECT_EQ(r.exit, 0) << r.err;
        ExpectContains(
            r.err, {"resuming: 10 of 10 keys in the session, 0 of them on the module",
                    "KEY1 (1/1): learned, " + std::to_string(PressedCode(1).size()) + " bytes\n"});
        const auto json = nlohmann::json::parse(r.out);
        EXPECT_EQ(json["on_module"], 0);
        EXPECT_EQ(json["learned"], 10);
        EXPECT_EQ(LearnedSlots(frames).size(), 10U);
    }

    // --write-session: the session's codes go out in the write frames, and nothing is learned.
    other->ClearSlots();
    CliResult r = Run({map, "--write-session"});
    EXPECT_EQ(r.exit, 0) << r.err;
    EXPECT_TRUE(LearnedSlots(frames).empty());
    for (const auto& [slot, code] : learned.codes) {
        EXPECT_NE(std::find(frames.begin(), frames.end(), ExpectedWriteFrame(slot, code)),
                  frames.end())
            << slot;
        EXPECT_EQ(other->Slot(slot), code);
    }
    ExpectContains(r.out, {"KEY1 (1/1): written from the session, ",
                           "10 keys: 0 on the module, 0 learned, 10 written from the session, 0 "
                           "missing"});

    // A slot changed on the module since: only its key is learned again.
    other->SetSlot(5, {0x01, 0x02, 0x03});
    CScriptedRemote remote(*other, "tv");
    r = Run({map});
    EXPECT_EQ(r.exit, 0) << r.err;
    EXPECT_EQ(LearnedSlots(frames), std::vector<uint16_t>{5});
    ExpectContains(r.out, {"KEY4 (1/4): on the module, ", "9 on the module, 1 learned"});

    // --only learns the keys it names again, their names in any case.
    r = Run({map, "--only", "key3,Key7"});
    EXPECT_EQ(r.exit, 0) << r.err;
    EXPECT_EQ(LearnedSlots(frames), (std::vector<uint16_t>{3, 7}));
    r = Run({map, "--only", "KEY11"});
    EXPECT_EQ(r.exit, 2);
    ExpectContains(r.err, {"no key named KEY11 in " + map});
    EXPECT_TRUE(frames.empty());
}

TEST_F(LearnRemoteWalk, ACaptureWithTheCodeOfAnotherKeyIsNamedAndFailsUnlessAllowed) {
    // VOL- is on the module, and VOL+ sends the same code.
    ASSERT_TRUE(module->JoinRoom("tv"));
    WriteFileBytes(map, "1/2 VOL+\n1/3 VOL-\n");
    WriteFileBytes(map + ".session", ExpectedLine(3, PressedCode(2)));
    module->SetSlot(3, PressedCode(2));
    CScriptedRemote remote(*module, "tv");
    CliResult r = Run({map, "--json"});
    EXPECT_EQ(r.exit, 1) << r.err;
    ExpectContains(r.err, {"VOL+ has the same code as VOL-", "VOL+ (1/2): same code as VOL-"});
    EXPECT_EQ(nlohmann::json::parse(r.out)["keys"][0]["same_as"], "VOL-");
    EXPECT_EQ(Run({map, "--only", "VOL+", "--allow-same"}).exit, 0);

    // On a terminal: Enter learns it again, k keeps it.
    int answers[2];
    ASSERT_EQ(pipe(answers), 0);
    const std::string typed = "\nk\n";
    ASSERT_EQ(write(answers[1], typed.data(), typed.size()), ssize_t(typed.size()));
    r = Run({map, "--only", "VOL+"}, nullptr, answers[0]);
    close(answers[0]);
    close(answers[1]);
    EXPECT_EQ(r.exit, 1) << r.err;
    ExpectContains(r.err, {"VOL+ has the same code as VOL-. Enter: learn it again, k: keep it"});
    EXPECT_EQ(LearnedSlots(frames), (std::vector<uint16_t>{2, 2}));
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

TEST_F(CheckRemoteByAir, TheLearnersOwnCodeInItsScratchSlotIsNeverLost) {
    // More than a write carries back: refused before anything is sent.
    ASSERT_TRUE(learner->SetSlot(448, CodePattern(504, 7)));
    learner->ClearReceivedFrames();
    CliResult r = Check();
    EXPECT_EQ(r.exit, 1);
    ExpectContains(r.err, {"slot 448 of the learning module holds a code of 504 bytes, more "
                           "than a write carries back (500): name another slot with --scratch"});
    EXPECT_EQ(learner->ReceivedFrames().size(), 1u) << "only the read of the scratch slot";
    EXPECT_EQ(learner->Slot(448), CodePattern(504, 7));

    // Killed after its first capture: undo on the learner puts its code back,
    // and so does the next check when the kill was not undone.
    const Bytes own = CodePattern(30, 8);
    ASSERT_TRUE(learner->SetSlot(448, own));
    for (const bool byUndo : {true, false}) {
        CliProcess cli({"-p", "COM9", "check-remote", map, "--with", "COM10"});
        ASSERT_TRUE(WaitFor([&] { return learner->Slot(448) != own; }, std::chrono::seconds(30)));
        cli.Signal(SIGKILL);
        cli.Wait();
        ASSERT_NE(learner->Slot(448), own);
        r = byUndo ? RunInProcess({"-p", "COM10", "undo"}) : Check();
        EXPECT_EQ(r.exit, 0) << r.err;
        EXPECT_EQ(learner->Slot(448), own);
    }
    ExpectContains(r.err, {"did not finish: 1 slot of the learning module put back"});
}

TEST_F(CheckRemoteByAir, ALearnerThatIsGoneEndsTheCheckAtOnceWithStatusFour) {
    learner->ClearReceivedFrames();
    CliProcess cli({"-p", "COM9", "check-remote", map, "--with", "COM10"});
    ASSERT_TRUE(learner->WaitForFrames(2, std::chrono::seconds(20))); // its read, its learn
    learner->Stop();
    const auto start = std::chrono::steady_clock::now();
    const CliResult r = cli.Wait(std::chrono::seconds(30));
    EXPECT_EQ(r.exit, 4) << r.err;
    ExpectContains(r.err, {"the learning module no longer answers"});
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(15));
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
