// learn-remote against the simulated module: the walk through a map, the
// session it leaves and resumes, retries, skips and the operator's answers.

#include "CliTestSupport.h"
#include "CommandFrame.h"
#include "DatabaseFormat.h"
#include "FileLines.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "Room.h"

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <unistd.h>

namespace {

// The code the remote sends for the key in slot.
Bytes PressedCode(uint16_t slot) {
    Bytes code(24 + slot);
    for (size_t i = 0; i < code.size(); ++i) {
        code[i] = static_cast<uint8_t>(slot * 31 + i * 7);
    }
    return code;
}

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

// A remote in the module's room whose holder presses the key a learn frame
// asks for, a moment after the module takes the frame; from the learn frame
// numbered stopAt on, it calls onStop instead.
class CScriptedRemote {
public:
    CScriptedRemote(SimulatedModule& module, std::string room, int stopAt,
                    std::function<void()> onStop)
        : m_module(module), m_room(std::move(room)), m_stopAt(stopAt), m_onStop(std::move(onStop)),
          m_thread([this] { Press(); }) {
        m_module.SetFrameObserver([this](const std::vector<uint8_t>& frame, bool) {
            const std::vector<uint16_t> slots = LearnedSlots({frame});
            if (slots.empty()) {
                return;
            }
            std::lock_guard lock(m_mutex);
            m_asked.push_back(slots.front());
            m_changed.notify_all();
        });
    }
    ~CScriptedRemote() {
        m_module.SetFrameObserver({});
        {
            std::lock_guard lock(m_mutex);
            m_done = true;
        }
        m_changed.notify_all();
        m_thread.join();
    }
    int Presses() const { return m_presses.load(); }

private:
    void Press() {
        std::unique_lock lock(m_mutex);
        for (int learns = 1;; ++learns) {
            m_changed.wait(lock, [this] { return m_done || !m_asked.empty(); });
            if (m_done) {
                return;
            }
            const uint16_t slot = m_asked.front();
            m_asked.erase(m_asked.begin());
            lock.unlock();
            if (m_stopAt > 0 && learns >= m_stopAt) {
                m_onStop();
            } else {
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
                if (EmitIntoRoom(m_room, PressedCode(slot)) > 0) {
                    ++m_presses;
                }
            }
            lock.lock();
        }
    }

    SimulatedModule& m_module;
    std::string m_room;
    int m_stopAt;
    std::function<void()> m_onStop;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<uint16_t> m_asked;
    bool m_done = false;
    std::atomic<int> m_presses{0};
    std::thread m_thread;
};

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
    ASSERT_TRUE(module->JoinRoom("tv"));
    // Ctrl+C while the fourth key waits.
    CRunControl control;
    SlotContent session;
    {
        CScriptedRemote remote(*module, "tv", 4, [&] { control.Interrupt(); });
        const CliResult first = Run({map}, &control);
        EXPECT_EQ(first.exit, 130) << first.err;
        EXPECT_EQ(remote.Presses(), 3);
        EXPECT_EQ(LearnedSlots(frames), (std::vector<uint16_t>{1, 2, 3, 4}));
        session = Session();
        ASSERT_EQ(session.codes.size(), 3U) << first.err;
        for (uint16_t slot = 1; slot <= 3; ++slot) {
            EXPECT_EQ(session.codes[slot], PressedCode(slot)) << slot;
        }
        EXPECT_NE(first.out.find("KEY4 (1/4): not reached"), std::string::npos) << first.out;
    }

    CScriptedRemote remote(*module, "tv", 0, {});
    const CliResult second = Run({map, "--json"});
    EXPECT_EQ(second.exit, 0) << second.err;
    EXPECT_NE(second.err.find("resuming: 3 of 10 keys learned"), std::string::npos) << second.err;
    EXPECT_EQ(LearnedSlots(frames), (std::vector<uint16_t>{4, 5, 6, 7, 8, 9, 10}));
    session = Session();
    ASSERT_EQ(session.codes.size(), 10U);
    for (uint16_t slot = 1; slot <= 10; ++slot) {
        EXPECT_EQ(session.codes[slot], PressedCode(slot)) << slot;
    }
    const auto json = nlohmann::json::parse(second.out);
    EXPECT_EQ(json["resumed"], 3);
    EXPECT_EQ(json["learned"], 10);
    EXPECT_EQ(json["keys"][0]["from_session"], true);
    EXPECT_EQ(json["keys"][9]["outcome"], "learned");
    EXPECT_EQ(json["keys"][9]["code_bytes"], PressedCode(10).size());

    // --restart learns every key again, into the file --session names.
    const std::string other = runtime.Path().string() + "/other.session";
    EXPECT_EQ(Run({map, "--restart", "--session", other}).exit, 0);
    EXPECT_EQ(LearnedSlots(frames).size(), 10U);
    EXPECT_EQ(SlotsOfLines(SplitDatabaseText(ReadFileBytes(other))).codes.size(), 10U);
}

TEST_F(LearnRemoteWalk, ConfirmedCapturesAreStableOnClearAirAndUnstableInNoise) {
    ASSERT_TRUE(module->JoinRoom("tv"));
    WriteFileBytes(map, "1/1 POWER\n1/2 MUTE\n");
    CScriptedRemote remote(*module, "tv", 0, {});
    CliResult r = Run({map, "--confirm"});
    EXPECT_EQ(r.exit, 0) << r.err;
    EXPECT_EQ(LearnedSlots(frames), (std::vector<uint16_t>{1, 1, 2, 2}));
    EXPECT_NE(r.out.find("POWER (1/1): stable, "), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("MUTE (1/2): stable, "), std::string::npos) << r.out;

    SimFaults noisy;
    noisy.captureNoise = 1.0; // every capture has one byte changed
    module->SetFaults(noisy);
    r = Run({map, "--confirm", "--restart", "--json"});
    EXPECT_EQ(r.exit, 0) << r.err;
    EXPECT_EQ(LearnedSlots(frames), (std::vector<uint16_t>{1, 1, 1, 2, 2, 2}));
    EXPECT_NE(r.err.find("POWER (1/1): the two captures differ at byte "), std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("POWER (1/1): press the key on the remote a third time"),
              std::string::npos);
    const auto json = nlohmann::json::parse(r.out);
    EXPECT_EQ(json["unstable"], 2);
    EXPECT_EQ(json["keys"][0]["outcome"], "unstable");
    // Two changed bytes, or one twice over.
    EXPECT_GE(json["keys"][0]["differing"].size(), 1U);
    EXPECT_LE(json["keys"][0]["differing"].size(), 2U);
    // The last capture is what the slot and the session hold.
    EXPECT_EQ(Session().codes[1], module->Slot(1));
}

TEST_F(LearnRemoteWalk, WithoutATerminalAKeyIsTriedAgainThenSkipped) {
    WriteFileBytes(map, "1/1 POWER\n1/2 MUTE\n");
    NoPresses();
    const CliResult r = Run({map, "--retries", "1"});
    EXPECT_EQ(r.exit, 1);
    EXPECT_EQ(LearnedSlots(frames), (std::vector<uint16_t>{1, 1, 2, 2}));
    EXPECT_NE(r.err.find("POWER (1/1): press the key on the remote, "), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("POWER (1/1): Learn timeout!; trying again (1 try left)"),
              std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("MUTE (1/2): Learn timeout!; skipped"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("missing: POWER, MUTE"), std::string::npos) << r.err;
    EXPECT_NE(r.out.find("POWER (1/1): skipped (Learn timeout!)"), std::string::npos) << r.out;
    EXPECT_FALSE(FileExists(map + ".session")); // nothing learned, nothing written
}

TEST_F(LearnRemoteWalk, AModuleThatStopsAnsweringEndsTheWalkWithTheSessionKept) {
    WriteFileBytes(map, "1/1 POWER\n1/2 MUTE\n1/3 INPUT\n");
    const std::string session = "0001,0A0B0C\r";
    WriteFileBytes(map + ".session", session);
    NoPresses();
    SimFaults gone;
    gone.silent = true;
    module->SetFaults(gone);
    const CliResult r = Run({map});
    EXPECT_EQ(r.exit, 4) << r.err;
    EXPECT_NE(r.err.find("the module is gone"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("COM9: no reply within"), std::string::npos) << r.err;
    EXPECT_EQ(LearnedSlots(frames), std::vector<uint16_t>{2}); // no try after it
    EXPECT_EQ(ReadFileBytes(map + ".session"), session);
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

namespace {

// Two modules in one room: COM9 sends what the map names, COM10 learns it.
class CheckRemoteByAir : public ::testing::Test {
protected:
    void SetUp() override {
        sender = StartModule("COM9");
        learner = StartModule("COM10");
        ASSERT_TRUE(sender && learner);
        ASSERT_TRUE(sender->JoinRoom("lab") && learner->JoinRoom("lab"));
        for (uint16_t slot : {1, 2, 412}) {
            sender->SetSlot(slot, PressedCode(slot));
        }
        learner->SetSlot(448, scratchCode);
        map = runtime.Path().string() + "/tv.map";
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

    PrivateRuntimeDir runtime;
    std::unique_ptr<SimulatedModule> sender, learner;
    const Bytes scratchCode{0x5C, 0x5C, 0x01};
    std::string map;
};

TEST_F(CheckRemoteByAir, ClearAirGivesIdenticalCapturesAndTheScratchSlotComesBack) {
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
    EXPECT_EQ(learner->Slot(448), scratchCode);
}

TEST_F(CheckRemoteByAir, NoisyCapturesDifferAndLostOnesAreNotCaptured) {
    Noise(1.0); // one byte of every capture changed
    CliResult r = Check();
    EXPECT_EQ(r.exit, 0) << r.err;
    const std::string differs = "POWER (1/1): differs in 1 of " +
                                std::to_string(PressedCode(1).size()) + " bytes (at byte ";
    EXPECT_NE(r.out.find(differs), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("3 keys sent: 0 identical, 3 different, 0 not captured"),
              std::string::npos)
        << r.out;
    EXPECT_EQ(Check({"--strict"}).exit, 1);
    EXPECT_EQ(learner->Slot(448), scratchCode);

    // Out of the sender's sight: nothing is captured, an empty scratch slot stays empty.
    Noise(0.0);
    learner->SetSlot(448, {});
    ASSERT_TRUE(learner->JoinRoom("elsewhere"));
    ExchangeTiming quick = BulkTiming();
    quick.learnPolls = 4;
    quick.lineTimeouts.ReadTotalTimeoutConstant = 30;
    r = RunInProcess({"-p", "COM9", "check-remote", map, "--with", "COM10", "--scratch", "448"},
                     quick);
    EXPECT_EQ(r.exit, 1) << r.err;
    EXPECT_NE(r.out.find("POWER (1/1): not captured (Learn timeout!)"), std::string::npos) << r.out;
    EXPECT_TRUE(learner->Slot(448).empty());
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
