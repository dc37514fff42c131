// The built lumaret-cli as a script runs it, on the program's fixed timing:
// a few commands end to end, usage errors, ports that cannot be opened, and
// Ctrl+C during an export.

#include "CliFixture.h"
#include "DeviceMap.h"
#include "PortDirectory.h"
#include "SerialLink.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <csignal>
#include <filesystem>
#include <pty.h>
#include <regex>
#include <sstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;

class CliProgram : public CliTest {
protected:
    // An export of COM9 into backup.txt, which holds an old backup, given one
    // Ctrl+C once five slots are asked for. COM9 holds a code in every third
    // slot and answers at the line's own pace. False where that failed.
    bool InterruptExport(std::unique_ptr<CliProcess>& cli) {
        paced = StartModule("COM9");
        if (!paced) {
            return false;
        }
        for (uint16_t slot = 1; slot <= 448; slot += 3) {
            paced->SetSlot(slot, CodePattern(200, static_cast<uint8_t>(slot)));
        }
        SimFaults faults;
        faults.paced9600 = true;
        paced->SetFaults(faults);
        WriteFileBytes(Path("backup.txt"), "old backup");
        cli = std::make_unique<CliProcess>(
            std::vector<std::string>{"-p", "COM9", "--fixed-timing", "export", Path("backup.txt")});
        return cli->Started() && paced->WaitForFrames(5, 30s) && cli->Signal(SIGINT);
    }

    std::unique_ptr<SimulatedModule> paced;
};

TEST_F(CliProgram, VersionReadSendAndATwoLineImportOnTheFixedTiming) {
    auto module = StartModule("COM9");
    ASSERT_TRUE(module);
    ASSERT_TRUE(module->SetSlot(105, {0x11, 0x22}));

    CliResult r = RunProgram({"-p", "COM9", "version"});
    EXPECT_EQ(r.exit, 0) << r.err;
    EXPECT_EQ(r.out, "102.003\n");
    r = RunProgram({"--port", "COM9", "read", "2", "5"});
    EXPECT_EQ(r.out, "1122\n");
    r = RunProgram({"-p", "COM9", "send", "1", "1"});
    EXPECT_EQ(r.exit, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "Key empty!\n");

    const std::string two = Path("two.txt");
    WriteFileBytes(two, "0009,0102\r0010,\r");
    module->ClearReceivedFrames();
    const auto start = std::chrono::steady_clock::now();
    r = RunProgram({"-p", "COM9", "--fixed-timing", "--no-journal", "import", two});
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(r.exit, 0) << r.err;
    EXPECT_EQ(r.out, "line 1: slot 9, 2 bytes: ok\nline 2: slot 10, 0 bytes: ok\n"
                     "Import ok: 2 lines, 2 written\n");
    EXPECT_EQ(module->ReceivedFrames(), (std::vector<Bytes>{ExpectedWriteFrame(9, {0x01, 0x02}),
                                                            ExpectedWriteFrame(10, {})}));
    EXPECT_EQ(module->Slot(9), (Bytes{0x01, 0x02}));
    // The window's pauses: two lines of 500 ms each at least.
    EXPECT_GE(took, 1000ms);
}

TEST_F(CliProgram, CommandsWithoutAPortAndUsageErrors) {
    const std::string edited = Path("edited.txt");
    WriteFileBytes(edited, "0001,AB\r0002,A1X2\r");
    CliResult r = RunProgram({"import", "--dry-run", edited});
    EXPECT_EQ(r.exit, 1);
    EXPECT_NE(r.out.find("line 2: File format wrong ('X' is not a hexadecimal digit at column 8)"),
              std::string::npos)
        << r.out;

    WriteFileBytes(Path("a.txt"), "0001,AB\n");
    WriteFileBytes(Path("b.txt"), "0001,AB\r\n");
    r = RunProgram({"diff", Path("a.txt"), Path("b.txt")});
    EXPECT_EQ(r.exit, 0);

    r = RunProgram({"--version"});
    EXPECT_EQ(r.exit, 0);
    EXPECT_EQ(r.out, "lumaret-cli 1.1.0\n");

    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"--no-such-option", "ports"},
             {"-p", "COM9,,COM10", "version"},
             {"-p", "COM9", "-p", "COM10", "export", "same.txt"}}) {
        SCOPED_TRACE(::testing::PrintToString(args));
        r = RunProgram(args);
        EXPECT_EQ(r.exit, 2);
        EXPECT_EQ(r.out, "");
        EXPECT_FALSE(r.err.empty());
    }
}

// The COM names of the ports command's lines, in their order.
std::vector<std::string> FirstWords(const std::string& out) {
    std::vector<std::string> words;
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);) {
        words.push_back(line.substr(0, line.find(' ')));
    }
    return words;
}

// The line of the ports command that names the port.
std::string LineOf(const std::string& out, const std::string& comName) {
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind(comName + " ", 0) == 0) {
            return line;
        }
    }
    return {};
}

TEST_F(CliProgram, PortsListsPublishedPortsWithTheirDevice) {
    auto module = StartModule("COM9");
    ASSERT_TRUE(module);
    CliResult r = RunProgram({"ports"});
    EXPECT_EQ(r.exit, 0);
    const std::string line = LineOf(r.out, "COM9");
    EXPECT_NE(line.find(" " + module->SlavePath() + " "), std::string::npos) << r.out;
    EXPECT_NE(line.find("simulated module"), std::string::npos) << r.out;

    r = RunProgram({"--json", "ports"});
    const auto json = nlohmann::json::parse(r.out);
    bool found = false;
    for (const auto& port : json["ports"]) {
        if (port["port"] == "COM9") {
            found = true;
            EXPECT_EQ(port["device"], module->SlavePath());
            EXPECT_EQ(port["path"], module->PublishedLink());
            EXPECT_EQ(port["kind"], "simulated");
            EXPECT_EQ(port["vendor"], ""); // a pseudo-terminal has no maker
            EXPECT_EQ(port["by_id"], "");
            EXPECT_EQ(port["in_use"], false);
        }
    }
    EXPECT_TRUE(found) << r.out;

    module.reset(); // the port is withdrawn with the module
    r = RunProgram({"ports"});
    EXPECT_EQ(r.out.find("COM9 "), std::string::npos) << r.out;
}

TEST_F(CliProgram, PortsComeInNaturalOrderNamingPublishersAndPortsInUse) {
    auto com10 = StartModule("COM10");
    auto com3 = StartModule("COM3");
    ASSERT_TRUE(com10 && com3);
    SimProgram com2({"--port", "com2"});
    ASSERT_GT(com2.Pid(), 0);
    ASSERT_TRUE(WaitFor([] { return !ResolveComDevice(2).empty(); }, 5s));
    const std::string dir = PortDirectoryPath();
    std::filesystem::create_symlink("/dev/null", dir + "/COM5");
    WriteFileBytes(dir + "/COM6", "not a device");

    CliResult r = RunProgram({"ports"});
    EXPECT_EQ(r.exit, 0) << r.err;
    std::vector<std::string> ours;
    for (const std::string& name : FirstWords(r.out)) {
        if (name == "COM2" || name == "COM3" || name == "COM5" || name == "COM6" ||
            name == "COM10") {
            ours.push_back(name);
        }
    }
    EXPECT_EQ(ours, (std::vector<std::string>{"COM2", "COM3", "COM10"})) << r.out;
    const std::string here = std::to_string(getpid());
    EXPECT_NE(LineOf(r.out, "COM2").find("simulated module, process " + std::to_string(com2.Pid())),
              std::string::npos)
        << r.out;
    EXPECT_NE(LineOf(r.out, "COM3").find("simulated module, process " + here), std::string::npos)
        << r.out;
    EXPECT_EQ(LineOf(r.out, "COM3").find("in use"), std::string::npos) << r.out;

    for (const char* name : {"com3", "Com3"}) {
        r = RunProgram({"--json", "-p", name, "version"});
        EXPECT_EQ(r.exit, 0) << name << r.err;
        EXPECT_EQ(nlohmann::json::parse(r.out)["port"], "COM3") << r.out;
    }
    r = RunProgram({"-p", "COM5", "version"});
    EXPECT_EQ(r.exit, 3);
    EXPECT_NE(r.err.find("COM5 leads to /dev/null, which is not a serial device"),
              std::string::npos)
        << r.err;

    CSerialLink holder;
    ASSERT_TRUE(holder.Open(3, 9600, 'N', 8, 0));
    r = RunProgram({"ports"});
    EXPECT_NE(LineOf(r.out, "COM3").find(" in use "), std::string::npos) << r.out;
    EXPECT_EQ(LineOf(r.out, "COM10").find("in use"), std::string::npos) << r.out;
    r = RunProgram({"--json", "ports"});
    const auto listed = nlohmann::json::parse(r.out);
    for (const auto& port : listed["ports"]) {
        EXPECT_EQ(port["in_use"], port["port"] == "COM3") << port;
    }
}

TEST_F(CliProgram, CtrlCEndsAnExportKeepsTheFileAndThePartialAndExits130) {
    std::unique_ptr<CliProcess> cli;
    ASSERT_TRUE(InterruptExport(cli));
    const CliResult r = cli->Wait(30s);
    EXPECT_EQ(r.exit, 130) << r.err;
    EXPECT_NE(r.err.find("Export interrupted"), std::string::npos) << r.err;

    const size_t asked = paced->ReceivedFrames().size();
    EXPECT_LT(asked, 20u);
    const std::string path = Path("backup.txt");
    EXPECT_EQ(ReadFileBytes(path), "old backup");
    std::string expected;
    for (uint16_t slot = 1; slot <= asked; slot += 3) {
        expected += ExpectedLine(slot, CodePattern(200, static_cast<uint8_t>(slot)));
    }
    EXPECT_EQ(ReadFileBytes(path + ".partial"), expected);
    // The port was closed: another program can open it at once.
    CSerialLink next;
    EXPECT_TRUE(next.Open(9, 9600, 'N', 8, 0));
}

TEST_F(CliProgram, ASecondCtrlCEndsAtOnceAndSaysWhatWasKept) {
    std::unique_ptr<CliProcess> cli;
    ASSERT_TRUE(InterruptExport(cli));
    // Again, and once more in case the two came too close to be told apart.
    std::this_thread::sleep_for(20ms);
    ASSERT_TRUE(cli->Signal(SIGINT));
    std::this_thread::sleep_for(20ms);
    cli->Signal(SIGINT);
    const CliResult r = cli->Wait(30s);
    EXPECT_EQ(r.exit, 130) << r.err;
    // The slots are in the file being written, or in backup.txt.partial if
    // the first Ctrl+C's orderly end got that far: the line names the one
    // that is there.
    const std::string said = "lumaret-cli: stopped at once; COM9: the slots read so far are in ";
    const size_t at = r.err.find(said);
    ASSERT_NE(at, std::string::npos) << r.err;
    const size_t from = at + said.size();
    const std::string kept = r.err.substr(from, r.err.find(", ", from) - from);
    EXPECT_EQ(kept.rfind(runtime.Path().string(), 0), 0u) << kept;
    EXPECT_TRUE(FileExists(kept)) << kept << "\n" << r.err;
    const std::string path = Path("backup.txt");
    EXPECT_NE(r.err.find(path + " is unchanged\n"), std::string::npos) << r.err;
    EXPECT_EQ(ReadFileBytes(path), "old backup");
}

// learn on a terminal: a prompt with the time left, then when the answer came.
TEST_F(CliProgram, LearnPromptsOnATerminalOnly) {
    auto module = StartModule("COM9");
    ASSERT_TRUE(module);
    SimFaults faults;
    faults.learnDelayMs = 700;
    module->SetFaults(faults);

    int master = -1;
    const pid_t pid = forkpty(&master, nullptr, nullptr, nullptr);
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        execl(LUMARET_CLI_PROGRAM, LUMARET_CLI_PROGRAM, "-p", "COM9", "learn", "1", "1",
              static_cast<char*>(nullptr));
        _exit(127);
    }
    std::string screen;
    char buffer[512];
    for (ssize_t n; (n = read(master, buffer, sizeof buffer)) > 0;) {
        screen.append(buffer, static_cast<size_t>(n));
    }
    close(master);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_EQ(WEXITSTATUS(status), 0) << screen;
    // Counted down from the learn's 12.6 s, whatever the machine's load.
    const std::regex prompt("COM9: press the key on the remote now, (1?[0-9]\\.[0-9]) s left");
    std::vector<double> left;
    for (auto it = std::sregex_iterator(screen.begin(), screen.end(), prompt);
         it != std::sregex_iterator(); ++it) {
        left.push_back(std::stod((*it)[1]));
    }
    ASSERT_GE(left.size(), 2u) << screen;
    EXPECT_GT(left.front(), left.back()) << screen;
    EXPECT_TRUE(
        std::regex_search(screen, std::regex("COM9: the module answered after [0-9]\\.[0-9] s")))
        << screen;
    EXPECT_NE(screen.find("Learn Ok!"), std::string::npos) << screen;

    // Not on a terminal: the outcome alone.
    const CliResult piped = RunProgram({"-p", "COM9", "learn", "1", "1"});
    EXPECT_EQ(piped.exit, 0);
    EXPECT_EQ(piped.out, "Learn Ok!\n");
    EXPECT_EQ(piped.err, "");
}

} // namespace
