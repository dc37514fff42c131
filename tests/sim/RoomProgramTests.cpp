// lumaret-sim in a room as an operator runs it: a serving module that learns
// what is pressed, and `lumaret-sim press` as the remote control.

#include "CommandFrame.h"
#include "ExpectedBytes.h"
#include "FrameLayout.h"
#include "PortDirectory.h"
#include "RawLine.h"
#include "Reply.h"
#include "Room.h"
#include "RuntimeDir.h"
#include "SimProcess.h"
#include "SimulatedModule.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// The exit status of `lumaret-sim press args`, with what it printed in output.
int Press(const std::vector<std::string>& args, std::string* output = nullptr) {
    std::vector<std::string> all = {"press"};
    all.insert(all.end(), args.begin(), args.end());
    SimProcess press(all);
    const int status = press.Running() ? press.WaitForExit(5s) : -1;
    if (output != nullptr) {
        *output = press.Output();
    }
    return status;
}

TEST(SimProgramPress, PutsTheCodeIntoTheRoomOrSaysWhyNot) {
    PrivateRuntimeDir runtime;
    SimulatedModule listener;
    SimFaults faults;
    faults.learnWindowMs = 5000;
    listener.SetFaults(faults);
    ASSERT_TRUE(listener.Start());
    ASSERT_TRUE(listener.JoinRoom("porch"));
    RawLine line(listener.SlavePath());
    ASSERT_TRUE(line.Write(FrameBytes(BuildLearnFrame(7)), 1s));
    ASSERT_TRUE(listener.WaitForFrames(1, 1s));

    std::string output;
    EXPECT_EQ(Press({"--room", "porch", "0a 1B2c"}, &output), 0) << output;
    EXPECT_EQ(line.Read(STATUS_REPLY_SIZE, 2s), ExpectedStatusReply(0));
    EXPECT_EQ(listener.Slot(7), Bytes({0x0A, 0x1B, 0x2C}));

    EXPECT_EQ(Press({"--room", "attic", "0A"}, &output), 1);
    EXPECT_EQ(output, "lumaret-sim: nobody is in room attic\n");

    const std::string tooLong(2 * (SimulatedModule::MAX_SLOT_CODE_BYTES + 1), 'A');
    const std::vector<std::vector<std::string>> refused = {
        {"--room", "porch", "0A1"}, {"--room", "porch", "0G"},
        {"--room", "porch", "0 A"}, {"--room", "porch", "   "},
        {"--room", "porch"},        {"--room", "porch", tooLong},
        {"--room", ".porch", "0A"}, {"0A"},
        {"--rooms", "porch", "0A"},
    };
    for (const auto& args : refused) {
        SCOPED_TRACE(::testing::PrintToString(args).substr(0, 60));
        EXPECT_EQ(Press(args, &output), 2);
        EXPECT_EQ(output.rfind("lumaret-sim", 0), 0u) << output;
    }
}

TEST(SimProgramRoom, ServingModuleLearnsWhatIsPressedWithItsNoiseAndLeavesOnExit) {
    PrivateRuntimeDir runtime;
    const Bytes code = CodePattern(12, 5);
    for (const char* noise : {"0", "1"}) {
        SCOPED_TRACE(noise);
        SimProcess sim({"--port", "COM7", "--empty", "--room", "den", "--learn-window", "5000",
                        "--capture-noise", noise});
        ASSERT_TRUE(sim.Running());
        ASSERT_NE(sim.OutputUntil("\n", 5s).find("serving COM7 on "), std::string::npos)
            << sim.Output();
        EXPECT_NE(sim.Output().find(" in room den\n"), std::string::npos) << sim.Output();
        {
            RawLine line(PortDirectoryPath() + "/COM7");
            ASSERT_TRUE(line.IsOpen());
            ASSERT_TRUE(line.Write(FrameBytes(BuildLearnFrame(9)), 1s));
            // Its reply comes after the learn frame has been taken.
            ASSERT_EQ(
                line.Exchange(FrameBytes(BuildGetVersionFrame()), VERSION_REPLY_SIZE, 2s).size(),
                VERSION_REPLY_SIZE);
            ASSERT_EQ(EmitIntoRoom("den", code), 1u);
            EXPECT_EQ(line.Read(STATUS_REPLY_SIZE, 2s), ExpectedStatusReply(0));

            const size_t replySize = REPLY_HEADER_SIZE + code.size() + 2;
            const Bytes reply = line.Exchange(FrameBytes(BuildReadFrame(9)), replySize, 2s);
            ASSERT_EQ(reply.size(), replySize);
            size_t differing = 0;
            for (size_t i = 0; i < code.size(); ++i) {
                differing += reply[REPLY_HEADER_SIZE + i] != code[i];
            }
            EXPECT_EQ(differing, std::string(noise) == "1" ? 1u : 0u);
        }
        ASSERT_TRUE(sim.Signal(SIGTERM));
        EXPECT_EQ(sim.WaitForExit(5s), 0) << sim.Output();
        EXPECT_TRUE(fs::is_empty(RoomFolderPath("den"))) << "its socket is removed";
    }
}

} // namespace
