// The lumaret-sim program as an operator runs it: published port, held
// lock, saved slots and a clean exit on SIGINT, SIGTERM, SIGHUP and a closed
// output.

#include "CommandFrame.h"
#include "ExpectedBytes.h"
#include "LumaretVersion.h"
#include "ModuleOperations.h"
#include "PortDirectory.h"
#include "RawLine.h"
#include "Reply.h"
#include "RuntimeDir.h"
#include "SerialLink.h"
#include "SimProcess.h"
#include "SimulatedModule.h"
#include "TestFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

std::string Last(const std::string& output) {
    return output.empty() ? std::string()
                          : output.substr(output.rfind('\n', output.size() - 2) + 1);
}

bool LinkExists(const std::string& path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

class SimProgram : public ::testing::TestWithParam<int> {
protected:
    PrivateRuntimeDir m_runtime;
};

TEST_P(SimProgram, ServesLoadsSavesAndCleansUpOnSignal) {
    const int stopSignal = GetParam();
    const std::string loadPath = (m_runtime.Path() / "start.txt").string();
    const std::string savePath = (m_runtime.Path() / "end.txt").string();
    std::ofstream(loadPath, std::ios::binary) << "0003,AABB\r";

    SimProcess sim(
        {"--port", "COM7", "--load", loadPath, "--save", savePath, "--version", "ABCDEF"});
    ASSERT_TRUE(sim.Running());
    const std::string banner = sim.OutputUntil("\n", 5s);
    ASSERT_NE(banner.find("serving COM7 on /dev/pts/"), std::string::npos) << banner;
    const std::string link = PortDirectoryPath() + "/COM7";
    EXPECT_TRUE(LinkExists(link));

    // The lock is held: nobody else can take the name while it serves.
    PortPublication rival;
    EXPECT_FALSE(rival.Publish("COM7", "/dev/null"));

    {
        CSerialLink serial;
        ASSERT_TRUE(serial.Open(7, 9600, 'N', 8, 0));
        const VersionOutcome version = GetVersion(serial, FixedTiming());
        EXPECT_TRUE(version.ok);
        EXPECT_EQ(version.text, "ABC.DEF");
        const uint8_t code[] = {0x01, 0x02, 0x03};
        EXPECT_TRUE(ImportWriteLine(serial, 5, code, 3, FixedTiming()).Written());
    }

    ASSERT_TRUE(sim.Signal(stopSignal));
    EXPECT_EQ(sim.WaitForExit(5s), 0) << sim.Output();
    EXPECT_FALSE(LinkExists(link));
    EXPECT_EQ(ReadFileBytes(savePath), "0003,AABB\r0005,010203\r");
    // With the publication gone the name is free again.
    EXPECT_TRUE(rival.Publish("COM7", "/dev/null"));
}

INSTANTIATE_TEST_SUITE_P(StopSignals, SimProgram, ::testing::Values(SIGTERM, SIGINT, SIGHUP),
                         [](const auto& info) {
                             return "SIG" + std::string(sigabbrev_np(info.param));
                         });

// `lumaret-sim --verbose --save FILE | head -1`: once the reader is gone, the
// next line it would print ends the run as a stop signal does.
TEST(SimProgramOutput, ClosedOutputEndsTheRunWithSlotsSavedAndPortWithdrawn) {
    PrivateRuntimeDir runtime;
    const std::string savePath = (runtime.Path() / "end.txt").string();
    SimProcess sim({"--port", "COM7", "--verbose", "--empty", "--save", savePath});
    ASSERT_TRUE(sim.Running());
    ASSERT_NE(sim.OutputUntil("\n", 5s).find("serving COM7"), std::string::npos) << sim.Output();
    const std::string link = PortDirectoryPath() + "/COM7";
    ASSERT_TRUE(LinkExists(link));
    sim.CloseOutput();

    {
        CSerialLink serial;
        ASSERT_TRUE(serial.Open(7, 9600, 'N', 8, 0));
        const uint8_t frame[] = {0x01, 0x02};
        ASSERT_TRUE(serial.Write(frame, sizeof frame)); // a frame it prints
    }
    EXPECT_EQ(sim.WaitForExit(5s), 0) << "a closed output must not kill it";
    EXPECT_FALSE(LinkExists(link));
    EXPECT_FALSE(LinkExists(link + ".lock"));
    struct stat st {};
    EXPECT_EQ(stat(savePath.c_str(), &st), 0) << "the slots are saved";
}

TEST(SimProgramOutput, RefusedSaveIsReportedWithItsReasonAndTheLinkKept) {
    PrivateRuntimeDir runtime;
    const std::string target = (runtime.Path() / "real.txt").string();
    const std::string savePath = (runtime.Path() / "end.txt").string();
    std::ofstream(target, std::ios::binary) << "0003,AABB\r";
    ASSERT_EQ(symlink(target.c_str(), savePath.c_str()), 0);

    // A link there at the start: refused before serving.
    SimProcess refused({"--port", "COM7", "--save", savePath});
    ASSERT_TRUE(refused.Running());
    EXPECT_EQ(refused.WaitForExit(5s), 2);
    EXPECT_NE(refused.Output().find("cannot save to '" + savePath + "': it is a symbolic link"),
              std::string::npos)
        << refused.Output();
    EXPECT_EQ(refused.Output().find("serving"), std::string::npos) << refused.Output();

    // A link planted while it serves: refused at the save, the link kept.
    ASSERT_EQ(unlink(savePath.c_str()), 0);
    SimProcess sim({"--port", "COM7", "--save", savePath});
    ASSERT_TRUE(sim.Running());
    ASSERT_NE(sim.OutputUntil("\n", 5s).find("serving COM7"), std::string::npos) << sim.Output();
    ASSERT_EQ(symlink(target.c_str(), savePath.c_str()), 0);
    ASSERT_TRUE(sim.Signal(SIGTERM));
    EXPECT_EQ(sim.WaitForExit(5s), 1);
    EXPECT_NE(Last(sim.Output()).find("cannot save to '" + savePath + "': it is a symbolic link"),
              std::string::npos)
        << sim.Output();
    EXPECT_EQ(ReadFileBytes(target), "0003,AABB\r");
    EXPECT_TRUE(std::filesystem::is_symlink(savePath));
}

TEST(SimProgramOptions, HelpExplainsEverySwitch) {
    SimProcess sim({"--help"});
    ASSERT_TRUE(sim.Running());
    EXPECT_EQ(sim.WaitForExit(5s), 0);
    const std::string help = sim.Output();
    for (const char* option :
         {"--port",        "--load",         "--save",         "--empty",           "--firmware",
          "--version",     "--verbose",      "--silent",       "--stop-after-slot", "--split",
          "--piece-gap",   "--learn-status", "--learn-delay",  "--refuse-writes",   "--paced",
          "--turnaround",  "--burst",        "--damage-every", "--no-crc",          "--ack-status",
          "--flood-learn", "--room",         "--learn-window", "--capture-noise",   "--help"}) {
        EXPECT_NE(help.find(std::string("  ") + option), std::string::npos) << option;
    }
    std::istringstream lines(help);
    for (std::string line; std::getline(lines, line);) {
        EXPECT_LE(line.size(), 80u) << line;
    }
}

// The firmware a host reads from the module serving COM7.
std::string FirmwareOnCom7() {
    CSerialLink serial;
    if (!serial.Open(7, 9600, 'N', 8, 0)) {
        return "(not opened)";
    }
    const VersionOutcome version = GetVersion(serial, FixedTiming());
    return version.ok ? version.text : "(no answer)";
}

TEST(SimProgramOptions, VersionAloneShowsTheProgramsWithAValueTheFirmware) {
    PrivateRuntimeDir runtime;
    const std::string program = std::string("lumaret-sim ") + LUMARET_VERSION + "\n";
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"--version"}, {"--port", "COM7", "--version"}, {"--version", "--port", "COM7"}}) {
        SCOPED_TRACE(::testing::PrintToString(args));
        SimProcess sim(args);
        ASSERT_TRUE(sim.Running());
        EXPECT_EQ(sim.WaitForExit(5s), 0);
        EXPECT_EQ(sim.Output(), program);
    }

    SimProcess help({"--help"});
    ASSERT_TRUE(help.Running());
    EXPECT_EQ(help.WaitForExit(5s), 0);
    EXPECT_NE(help.Output().find("--version TEXT         deprecated"), std::string::npos)
        << help.Output();

    // The firmware's option, and the old spellings scripts still use; the
    // port's name in any case.
    struct Case {
        std::vector<std::string> args;
        const char* firmware;
    };
    for (const Case& c : {Case{{"--firmware", "ABC123", "--port", "com7"}, "ABC.123"},
                          Case{{"--port", "Com7", "--version", "654321"}, "654.321"},
                          Case{{"--version=1a2b3c", "--port", "COM7"}, "1a2.b3c"}}) {
        SCOPED_TRACE(::testing::PrintToString(c.args));
        SimProcess sim(c.args);
        ASSERT_TRUE(sim.Running());
        const std::string banner = sim.OutputUntil("\n", 5s);
        ASSERT_NE(banner.find("serving COM7 on "), std::string::npos) << banner;
        EXPECT_EQ(FirmwareOnCom7(), c.firmware);
        ASSERT_TRUE(sim.Signal(SIGTERM));
        EXPECT_EQ(sim.WaitForExit(5s), 0) << sim.Output();
    }
}

TEST(SimProgramOptions, BadSwitchesAreRefusedBeforeServing) {
    PrivateRuntimeDir runtime;
    const std::vector<std::vector<std::string>> cases = {
        {"--port", "COM0"},
        {"--port", "ttyS0"},
        {"--split", "3,,5"},
        {"--learn-status", "256"},
        {"--version", "1234567"},
        {"--load", "/no/such/file"},
        {"--stop-after-slot", "x"},
        {"--no-such-switch"},
        {"stray"},
        {"--damage-every", "0"},
        {"--no-crc", "crc"},
        {"--no-crc", "status,,code"},
        {"--ack-status", "256"},
        {"--flood-learn", "x"},
        {"--firmware", "1234567"},
        {"--firmware"},
        {"--version=1234567"},
        {"--port", "cOm0"},
        {"--turnaround", "-1"},
        {"--room", ".hidden"},
        {"--room", ""},
        {"--learn-window", "soon"},
        {"--capture-noise", "1.5"},
        {"--capture-noise", "-0.1"},
        {"--capture-noise", "nan"},
    };
    for (const auto& args : cases) {
        SCOPED_TRACE(::testing::PrintToString(args));
        SimProcess sim(args);
        ASSERT_TRUE(sim.Running());
        EXPECT_EQ(sim.WaitForExit(5s), 2);
        EXPECT_EQ(sim.Output().find("serving"), std::string::npos);
    }
}

// Each fault switch shows on the line of the module it starts.
TEST(SimProgramOptions, FaultSwitchesReachTheModule) {
    PrivateRuntimeDir runtime;
    const Bytes code = {0x01, 0x02};
    const Bytes emptySlotReply = ExpectedStatusReply(1); // slot 3 starts empty
    const auto& piece = SimulatedModule::FLOOD_PIECE;
    struct Case {
        std::vector<std::string> args;
        Bytes frame;
        size_t replySize;
        std::function<bool(const Bytes&)> expected;
    };
    const Case cases[] = {
        {{"--no-crc", "version,code"},
         FrameBytes(BuildGetVersionFrame()),
         VERSION_REPLY_SIZE,
         [](const Bytes& r) { return !EndsWithItsCrc(r); }},
        {{"--no-crc", "status"},
         FrameBytes(BuildGetVersionFrame()),
         VERSION_REPLY_SIZE,
         [](const Bytes& r) { return EndsWithItsCrc(r); }},
        {{"--damage-every", "1"},
         FrameBytes(BuildReadFrame(3)),
         STATUS_REPLY_SIZE,
         [&](const Bytes& r) {
             return !EndsWithItsCrc(r) &&
                    std::equal(r.begin(), r.end() - 2, emptySlotReply.begin());
         }},
        {{"--ack-status", "5"},
         FrameBytes(BuildWriteFrame(3, code.data(), 2)),
         STATUS_REPLY_SIZE,
         [](const Bytes& r) { return r == ExpectedStatusReply(5); }},
        {{"--flood-learn"},
         FrameBytes(BuildLearnFrame(3)),
         piece.size(),
         [&](const Bytes& r) { return std::equal(piece.begin(), piece.end(), r.begin()); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.args));
        std::vector<std::string> args = {"--port", "COM7"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        SimProcess sim(args);
        ASSERT_TRUE(sim.Running());
        ASSERT_NE(sim.OutputUntil("\n", 5s).find("serving COM7"), std::string::npos)
            << sim.Output();
        {
            RawLine line(PortDirectoryPath() + "/COM7");
            ASSERT_TRUE(line.IsOpen());
            const Bytes reply = line.Exchange(c.frame, c.replySize, 2s);
            ASSERT_EQ(reply.size(), c.replySize);
            EXPECT_TRUE(c.expected(reply)) << ::testing::PrintToString(reply);
        }
        ASSERT_TRUE(sim.Signal(SIGTERM));
        EXPECT_EQ(sim.WaitForExit(5s), 0);
    }
}

// Waits on the database line parser in src/database: it passes once
// ParseDatabaseLine refuses code text holding anything but hexadecimal digits
// and spaces, or an odd count of digits.
TEST(SimProgramOptions, LoadRefusesCodeTextOtherThanHexDigits) {
    PrivateRuntimeDir runtime;
    const std::string path = (runtime.Path() / "start.txt").string();
    for (const char* text :
         {"0003,AABB\r0020,zz\r", "0003,AABB\r0012,ABXY\r", "0003,AABB\r0004,ABC\r"}) {
        SCOPED_TRACE(::testing::PrintToString(text));
        WriteFileBytes(path, text);
        SimProcess sim({"--port", "COM7", "--load", path});
        ASSERT_TRUE(sim.Running());
        EXPECT_EQ(sim.WaitForExit(5s), 2);
        EXPECT_NE(sim.Output().find("cannot load '" + path + "': line 2: "), std::string::npos)
            << sim.Output();
        EXPECT_EQ(sim.Output().find("serving"), std::string::npos);
    }
}

TEST(SimProgramOptions, UnsafePortDirectoryIsRefusedByName) {
    PrivateRuntimeDir runtime;
    const std::string parent = (runtime.Path() / "lumaret").string();
    ASSERT_EQ(mkdir(parent.c_str(), 0700), 0);
    ASSERT_EQ(chmod(parent.c_str(), 0777), 0);

    SimProcess sim({"--port", "COM7"});
    ASSERT_TRUE(sim.Running());
    EXPECT_EQ(sim.WaitForExit(5s), 1);
    EXPECT_NE(sim.Output().find("cannot publish COM7: " + parent + ": group or others may write"),
              std::string::npos)
        << sim.Output();
    EXPECT_FALSE(LinkExists(parent + "/ports/COM7"));
}

} // namespace
