// The check of a map's codes by air: two simulated modules in one room, the
// sender holding the codes, the receiver learning each into its scratch slot.

#include "AirCheckJob.h"

#include "ModuleFixture.h"
#include "RuntimeDir.h"
#include "ScriptedRemote.h"

#include <gtest/gtest.h>

#include <atomic>

namespace {

using AirOutcome = AirKeyResult::Outcome;

const Bytes SCRATCH_CODE{0x5C, 0x5C, 0x01};

class AirCheck : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_sender.Start(9) && m_receiver.Start(10));
        ASSERT_TRUE(m_sender.module.JoinRoom("lab") && m_receiver.module.JoinRoom("lab"));
        for (uint16_t slot : {1, 2, 412}) {
            ASSERT_TRUE(m_sender.module.SetSlot(slot, PressedCode(slot)));
        }
        ASSERT_TRUE(m_receiver.module.SetSlot(448, SCRATCH_CODE));
    }
    AirCheckResult Check(const ExchangeTiming& timing = BulkTiming()) {
        const RemoteMap map = ParseRemoteMap({"1/1 POWER", "1/2 MUTE", "1/3 NONE", "412 EXTRA"});
        IAirCheckObserver quiet;
        return CheckByAir(JobPort{m_sender.link, timing, m_running},
                          JobPort{m_receiver.link, timing, m_running}, map, 448, quiet);
    }

    PrivateRuntimeDir m_runtime; // the port directory and the room, before the modules
    CModuleOnLink m_sender, m_receiver;
    std::atomic<int32_t> m_running{1};
};

TEST_F(AirCheck, ClearAirGivesIdenticalCapturesAndTheScratchSlotComesBack) {
    const AirCheckResult r = Check();
    EXPECT_EQ(r.outcome, JobOutcome::Complete);
    ASSERT_EQ(r.keys.size(), 4U);
    EXPECT_EQ(r.Count(AirOutcome::Identical), 3U);
    EXPECT_EQ(r.keys[2].outcome, AirOutcome::NotHeld);
    EXPECT_EQ(r.keys[3].outcome, AirOutcome::Identical);
    EXPECT_EQ(r.keys[3].capturedBytes, PressedCode(412).size());
    EXPECT_TRUE(r.restored);
    EXPECT_EQ(m_receiver.module.Slot(448), SCRATCH_CODE);
}

TEST_F(AirCheck, NoisyCapturesDifferAndLostOnesAreNotCaptured) {
    SimFaults noisy;
    noisy.captureNoise = 1.0; // one byte of every capture changed
    m_receiver.module.SetFaults(noisy);
    AirCheckResult r = Check();
    EXPECT_EQ(r.Count(AirOutcome::Differs), 3U);
    EXPECT_EQ(r.keys[0].differing.size(), 1U);
    EXPECT_EQ(r.keys[0].sentBytes, PressedCode(1).size());
    EXPECT_EQ(AirOutcomeText(r.keys[0]),
              "differs in 1 of " + std::to_string(PressedCode(1).size()) + " bytes");
    EXPECT_EQ(m_receiver.module.Slot(448), SCRATCH_CODE);
    // Codes of other lengths are told by their lengths.
    EXPECT_EQ(AirOutcomeText({.outcome = AirOutcome::Differs, .sentBytes = 1, .capturedBytes = 26}),
              "differs: sent 1 byte, captured 26");

    // Out of the sender's sight nothing is captured, and an empty scratch
    // slot stays empty.
    m_receiver.module.SetFaults({});
    ASSERT_TRUE(m_receiver.module.SetSlot(448, {}));
    ASSERT_TRUE(m_receiver.module.JoinRoom("elsewhere"));
    ExchangeTiming quick = BulkTiming();
    quick.learnPolls = 4;
    r = Check(quick);
    EXPECT_EQ(r.Count(AirOutcome::NotCaptured), 3U);
    EXPECT_EQ(r.keys[0].failure, "Learn timeout!");
    EXPECT_TRUE(r.restored);
    EXPECT_TRUE(m_receiver.module.Slot(448).empty());
}

} // namespace
