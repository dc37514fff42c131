// The key commands against the simulated module: what they print, their
// exit status and the frames they put on the line, which must be the
// window's own for the same command.

#include "CliFixture.h"
#include "SerialLink.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace {

// Channel 2, key 5 (index 0x0069, mask 0x02) throughout: the worked frames.
class CliKeyCommands : public CliModuleTest {
protected:
    void Faults(SimFaults faults) { module->SetFaults(faults); }
    // Runs a command on COM9 and keeps the frames the module received.
    CliResult Run(std::vector<std::string> args, const ExchangeTiming& timing = BulkTiming()) {
        module->ClearReceivedFrames();
        // The window's exchanges alone: no read of a slot before it is written.
        args.insert(args.begin(), {"-p", "COM9", "--no-journal"});
        CliResult result = RunInProcess(args, timing);
        frames = module->ReceivedFrames();
        return result;
    }

    std::vector<Bytes> frames;
};

TEST_F(CliKeyCommands, EachCommandPutsTheWindowsFrameOnTheLineAndPrintsItsOutcome) {
    const Bytes code{0x11, 0x22, 0x00, 0x44, 0xFF};
    std::string rawReply;
    for (uint8_t b : SimulatedModule::CodeReply(code)) {
        char group[4];
        std::snprintf(group, sizeof group, "%02X ", b);
        rawReply += group;
    }
    // Results on standard output, failed outcomes on standard error.
    struct Case {
        std::vector<std::string> args;
        bool slotFilled;
        Bytes frame;
        std::string out;
        std::string err;
        int exit;
    };
    const Case cases[] = {
        {{"version"}, true, WORKED_GET_FRAME, "102.003\n", "", 0},
        {{"read", "2", "5"}, true, WORKED_READ_FRAME, "11220044FF\n", "", 0},
        {{"read", "--raw", "2", "5"}, true, WORKED_READ_FRAME, rawReply + "\n", "", 0},
        {{"read", "--slot", "105"}, true, WORKED_READ_FRAME, "11220044FF\n", "", 0},
        {{"read", "2", "5"}, false, WORKED_READ_FRAME, "", "Key empty!\n", 1},
        {{"send", "2", "5"}, true, WORKED_SEND_FRAME, "Send Ok!\n", "", 0},
        {{"send", "2", "5"}, false, WORKED_SEND_FRAME, "", "Key empty!\n", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.args) + (c.slotFilled ? " filled" : " empty"));
        module->ClearSlots();
        if (c.slotFilled) {
            ASSERT_TRUE(module->SetSlot(0x0069, code));
        }
        const CliResult r = Run(c.args);
        EXPECT_EQ(r.out, c.out);
        EXPECT_EQ(r.exit, c.exit);
        EXPECT_EQ(frames, std::vector<Bytes>{c.frame});
        EXPECT_EQ(r.err, c.err);
    }
}

TEST_F(CliKeyCommands, LearnIsPolledAsTheWindowPollsAndShowsTheModulesStatus) {
    struct Case {
        int status;
        std::vector<uint32_t> pieces;
        std::string out;
        std::string err;
        int exit;
    };
    const Case cases[] = {
        {0, {3, 5}, "Learn Ok!\n", "", 0},
        {2, {}, "", "Carry wrong!\n", 1},
        {4, {}, "", "Save fail!\n", 1},
        {1, {}, "", "Learn fail!\n", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.status);
        SimFaults faults;
        faults.learnDelayMs = 100;
        faults.learnStatus = c.status;
        faults.replyPieces = c.pieces;
        faults.pieceGapMs = 20;
        Faults(faults);
        const CliResult r = Run({"learn", "2", "5"});
        EXPECT_EQ(r.out, c.out);
        EXPECT_EQ(r.err, c.err);
        EXPECT_EQ(r.exit, c.exit);
        EXPECT_EQ(frames, std::vector<Bytes>{WORKED_LEARN_FRAME});
    }
    EXPECT_EQ(module->Slot(0x0069).empty(), false); // the first one learned a code
}

TEST_F(CliKeyCommands, NoReplyIsStatusFourAndAnAnswerThatNeverCompletesIsOne) {
    SimFaults silent;
    silent.silent = true;
    Faults(silent);
    // Few empty polls, so that a learn without an answer ends soon.
    ExchangeTiming timing = BulkTiming();
    timing.learnPolls = 5;
    // The window's text, then what went missing: the bound of the exchange.
    const ExchangeTiming& t = timing;
    const uint32_t line = t.lineTimeouts.ReadTotalTimeoutConstant;
    const uint32_t perByte = t.lineTimeouts.ReadTotalTimeoutMultiplier;
    struct Case {
        std::vector<std::string> args;
        std::string text;
        uint32_t boundMs;
    };
    for (const Case& c :
         {Case{
              {"version"}, "Get Fail", t.getVersionPauseMs + line + perByte * t.getVersionReadSize},
          Case{{"read", "1", "1"},
               "Communication fail!",
               t.readKeyPauseMs + line + perByte * t.readKeyReadSize},
          Case{{"send", "1", "1"},
               "Communication fail!",
               t.sendKeyPauseMs + line + perByte * t.sendKeyReadSize},
          Case{{"learn", "1", "1"},
               "Learn timeout!",
               // every empty poll lasts its read's bound
               std::max(t.learnPollPeriodMs, line + perByte * t.learnPollReadSize) *
                   static_cast<uint32_t>(t.learnPolls)}}) {
        SCOPED_TRACE(c.args[0]);
        const CliResult r = Run(c.args, timing);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, c.text + "\nCOM9: no reply within " + std::to_string(c.boundMs) +
                             " ms (is a module attached and powered?)\n");
        EXPECT_EQ(r.exit, 4);
        EXPECT_EQ(frames.size(), 1u);
    }
    // A learn answered in pieces that never add up: the module answered, wrongly.
    SimFaults pieces;
    pieces.learnDelayMs = 50;
    pieces.replyPieces = {3, 3, 2};
    pieces.pieceGapMs = 30;
    Faults(pieces);
    const CliResult r = Run({"learn", "1", "1"}, timing);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "Learn timeout!\n");
    EXPECT_EQ(r.exit, 1);
}

TEST_F(CliKeyCommands, TraceShowsEveryFrameAndReplyWithTimeAndPort) {
    const CliResult r = Run({"--trace", "version"});
    EXPECT_EQ(r.out, "102.003\n");
    // "hh:mm:ss.mmm COM9 > frame", then the reply.
    const std::string sent = " COM9 > 01 05 02 06 00 00 01 F1 31 9D\n";
    const size_t at = r.err.find(sent);
    ASSERT_NE(at, std::string::npos) << r.err;
    ASSERT_GE(at, 12u);
    const std::string stamp = r.err.substr(at - 12, 12);
    EXPECT_EQ(stamp[2], ':');
    EXPECT_EQ(stamp[5], ':');
    EXPECT_EQ(stamp[8], '.');
    const size_t reply = r.err.find(" COM9 < 01 05 02 06 00 00 F1 ", at);
    EXPECT_NE(reply, std::string::npos) << r.err;
    // Without --trace nothing goes to standard error.
    EXPECT_EQ(Run({"version"}).err, "");
}

TEST_F(CliKeyCommands, ADevicePathReachesThePortThroughTheDeviceMap) {
    ASSERT_TRUE(module->SetSlot(1, {0x42}));
    // The pseudo-terminal itself and the published link both name COM9.
    for (const std::string& path : {module->SlavePath(), module->PublishedLink()}) {
        SCOPED_TRACE(path);
        module->ClearReceivedFrames();
        const CliResult r = RunInProcess({"--json", "-p", path, "read", "--slot", "1"});
        EXPECT_EQ(r.exit, 0) << r.err;
        EXPECT_EQ(nlohmann::json::parse(r.out)["port"], "COM9");
        EXPECT_EQ(module->ReceivedFrames(), std::vector<Bytes>{ExpectedReadFrame(1)});
    }
    const CliResult other = RunInProcess({"-p", "/dev/null", "version"});
    EXPECT_EQ(other.exit, 3);
    EXPECT_NE(other.err.find("/dev/null is not a serial device"), std::string::npos) << other.err;
    const CliResult missing = RunInProcess({"-p", "/dev/ttyUSB97", "version"});
    EXPECT_EQ(missing.exit, 3);
    EXPECT_NE(missing.err.find("/dev/ttyUSB97"), std::string::npos) << missing.err;
    const CliResult nonsense = RunInProcess({"-p", "serial-nine", "version"});
    EXPECT_EQ(nonsense.exit, 2);
    EXPECT_NE(nonsense.err.find("neither a COM name"), std::string::npos) << nonsense.err;
}

TEST_F(CliKeyCommands, APortThatCannotBeOpenedSaysWhy) {
    {
        // Held by another program: the window, say.
        CSerialLink holder;
        ASSERT_TRUE(holder.Open(9, 9600, 'N', 8, 0));
        const CliResult busy = RunInProcess({"-p", "COM9", "version"});
        EXPECT_EQ(busy.exit, 3);
        EXPECT_NE(busy.err.find("busy"), std::string::npos) << busy.err;
        EXPECT_EQ(busy.out, "");
    }
    const CliResult missing = RunInProcess({"--json", "-p", "COM12", "version"});
    EXPECT_EQ(missing.exit, 3);
    EXPECT_NE(missing.err.find("COM12: cannot open the port: no such port"), std::string::npos)
        << missing.err;
    const auto json = nlohmann::json::parse(missing.out);
    EXPECT_EQ(json["exit"], 3);
    EXPECT_EQ(json["ok"], false);
    EXPECT_NE(json["error"].get<std::string>().find("no such port"), std::string::npos);
    // A port given twice is a usage error, before anything opens.
    EXPECT_EQ(RunInProcess({"-p", "COM9,COM9", "version"}).exit, 2);
    EXPECT_TRUE(module->ReceivedFrames().empty());
}

TEST_F(CliKeyCommands, SeveralPortsRunAtOnceWithPrefixesAndTheHighestStatus) {
    auto second = StartModule("COM10");
    ASSERT_TRUE(second);
    second->SetFirmwareVersion("201004");
    const CliResult r = RunInProcess({"-p", "COM9", "--port", "COM10,COM11", "version"});
    EXPECT_EQ(r.exit, 3);
    EXPECT_EQ(r.out, "COM9: 102.003\nCOM10: 201.004\n");
    EXPECT_NE(r.err.find("COM11: cannot open the port"), std::string::npos) << r.err;

    const auto json =
        nlohmann::json::parse(RunInProcess({"--json", "-p", "COM9,COM10", "version"}).out);
    ASSERT_TRUE(json.is_array());
    ASSERT_EQ(json.size(), 2u);
    EXPECT_EQ(json[0]["port"], "COM9");
    EXPECT_EQ(json[1]["version"], "201.004");
    EXPECT_EQ(json[1]["ok"], true);
}

} // namespace
