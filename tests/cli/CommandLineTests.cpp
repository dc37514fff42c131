// The command line as a technician types it: the words of its errors, the
// suggestions for a mistyped name, the help, and how the ports are chosen
// (LUMARET_PORT, -p all, two names for one device) and files named.

#include "CliFixture.h"
#include "Options.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdlib>
#include <regex>
#include <sstream>
#include <unistd.h>

namespace {

using CliCommandLine = CliTest;

// The environment variable set for as long as it lives.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::string& value) : m_name(name) {
        if (const char* old = std::getenv(name)) {
            m_old = old;
            m_had = true;
        }
        setenv(name, value.c_str(), 1);
    }
    ~ScopedEnv() {
        if (m_had) {
            setenv(m_name, m_old.c_str(), 1);
        } else {
            unsetenv(m_name);
        }
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    const char* m_name;
    std::string m_old;
    bool m_had = false;
};

TEST_F(CliCommandLine, MistakesAreToldInTheTechniciansWordsBeforeAnythingIsSent) {
    auto module = StartModule("COM21");
    ASSERT_TRUE(module);
    struct Case {
        std::vector<std::string> args;
        std::string text;
    };
    const Case cases[] = {
        {{"-p", "COM21", "read", "1"},
         "read needs a channel and a key: lumaret-cli -p COM21 read 1 2"},
        {{"-p", "COM21", "read", "x", "y"}, "channel must be a number from 1 to 4, not \"x\""},
        {{"-p", "COM21", "send", "2", "k"}, "key must be a number from 1 to 100, not \"k\""},
        {{"-p", "COM21", "send", "5", "1"}, "channel must be a number from 1 to 4, not \"5\""},
        {{"-p", "COM21", "read", "0", "1"}, "channel must be a number from 1 to 4, not \"0\""},
        {{"-p", "COM21", "read", "1", "x"}, "key must be a number from 1 to 100, not \"x\""},
        {{"-p", "COM21", "learn", "4", "-3"}, "Key No must between 1 to 100!"},
        {{"-p", "COM21", "read", "1", "0"}, "Key No must between 1 to 100!"},
        {{"-p", "COM21", "send", "1", "101"}, "Key No must between 1 to 100!"},
        {{"-p", "COM21", "read", "--slot", "449"},
         "slot must be a number from 1 to 448, not \"449\""},
        {{"-p", "COM21", "read"}, "read needs a channel and a key"},
        {{"-p", "COM21", "send", "1"}, "send needs a channel and a key"},
        {{"-p", "COM21", "read", "1", "2", "3"}, "nothing after them (\"3\")"},
        {{"--prot", "COM21", "version"}, "unknown option --prot; did you mean --port?"},
        {{"-p", "COM21", "verison"}, "unknown command \"verison\"; did you mean version?"},
        {{"-p", "COM21", "import", "--dryrun", "a.txt"}, "did you mean --dry-run?"},
        {{"-p", "COM21", "clone", "--too", "COM3"}, "did you mean --to?"},
        {{"-p", "COM21", "frobnicate"}, "unknown command \"frobnicate\" (the commands:"},
        {{"version"}, "version needs a port: lumaret-cli -p COM9 version"},
        {{"-p", "COM21", "export"}, "export needs a file: lumaret-cli -p COM21 export backup.txt"},
        {{"-p"}, "-p needs a value"},
        {{}, "a command is required"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.args));
        const CliResult r = RunInProcess(c.args);
        EXPECT_EQ(r.exit, 2);
        EXPECT_EQ(r.out, "");
        EXPECT_NE(r.err.find(c.text), std::string::npos) << r.err;
        // No parser's words.
        for (const char* internal : {"channel_key", "Could not convert", "were not expected",
                                     "At least", "RequiredError"}) {
            EXPECT_EQ(r.err.find(internal), std::string::npos) << r.err;
        }
    }
    EXPECT_TRUE(module->ReceivedFrames().empty());
    // -p takes one word, attached or not; the rest is the command's.
    for (const std::vector<std::string>& args :
         std::vector<std::vector<std::string>>{{"-p", "COM21", "version"},
                                               {"-p=COM21", "version"},
                                               {"--port=COM21", "version"},
                                               {"version", "-p", "COM21"},
                                               {"-pCOM21", "version"}}) {
        SCOPED_TRACE(::testing::PrintToString(args));
        const CliResult r = RunInProcess(args);
        EXPECT_EQ(r.exit, 0) << r.err;
        EXPECT_EQ(r.out, "102.003\n");
    }
}

TEST_F(CliCommandLine, HelpIsTheSameWhicheverWayItIsAskedAndFitsTheWidth) {
    const CliResult general = RunProgram({"help"});
    EXPECT_EQ(general.exit, 0);
    EXPECT_EQ(general.out, RunProgram({"--help"}).out);
    for (const char* word :
         {"--port", "--json", "--fast", "--trace", "--quiet", "ports", "version", "read", "send",
          "learn", "export", "import", "verify", "diff", "show", "clone", "help", "LUMARET_PORT"}) {
        EXPECT_NE(general.out.find(word), std::string::npos) << word;
    }
    for (const char* command : {"read", "export", "clone", "show", "learn"}) {
        SCOPED_TRACE(command);
        const CliResult help = RunProgram({"help", command});
        EXPECT_EQ(help.exit, 0);
        EXPECT_EQ(help.out, RunProgram({command, "--help"}).out);
        EXPECT_NE(help.out.find("Example:\n  lumaret-cli "), std::string::npos) << help.out;
        EXPECT_NE(help.out.find("--json"), std::string::npos);
        EXPECT_EQ(help.out.find("channel_key"), std::string::npos);
        const bool port = std::string(command) != "show";
        EXPECT_EQ(help.out.find("-p, --port") != std::string::npos, port) << help.out;
        const bool fast = std::string(command) != "show" && std::string(command) != "learn";
        EXPECT_EQ(help.out.find("--fast") != std::string::npos, fast) << help.out;
    }
    // Not on a terminal: 80 columns; on a narrow one, its width.
    CliOptions options;
    std::ostringstream narrow, narrowErr;
    EXPECT_EQ(ParseOptions({"help", "export"}, options, narrow, narrowErr, 60).exit, 0);
    const std::string wide = RunProgram({"help", "export"}).out;
    const std::string narrowText = narrow.str();
    EXPECT_GT(std::count(narrowText.begin(), narrowText.end(), '\n'),
              std::count(wide.begin(), wide.end(), '\n'));
    for (const auto& [out, width] :
         {std::pair{general.out, size_t{80}}, std::pair{wide, size_t{80}},
          std::pair{narrowText, size_t{60}}}) {
        size_t start = 0;
        for (size_t end; (end = out.find('\n', start)) != std::string::npos; start = end + 1) {
            EXPECT_LE(end - start, width) << out.substr(start, end - start);
        }
    }
    EXPECT_EQ(RunProgram({"help", "exprot"}).exit, 2);
    EXPECT_NE(RunProgram({"help", "exprot"}).err.find("did you mean export?"), std::string::npos);
}

TEST_F(CliCommandLine, TheDefaultPortAndAllPortsReachEveryModule) {
    std::vector<std::unique_ptr<SimulatedModule>> modules;
    for (const char* name : {"COM9", "COM10", "COM11", "COM12"}) {
        modules.push_back(StartModule(name));
        ASSERT_TRUE(modules.back());
    }
    modules[1]->SetFirmwareVersion("201004");
    {
        ScopedEnv port("LUMARET_PORT", "COM10");
        CliResult r = RunInProcess({"version"});
        EXPECT_EQ(r.exit, 0) << r.err;
        EXPECT_EQ(r.out, "201.004\n");
        // -p wins over the default.
        r = RunInProcess({"-p", "COM9", "version"});
        EXPECT_EQ(r.out, "102.003\n");
    }
    {
        ScopedEnv port("LUMARET_PORT", "ALL"); // as COM names, in any letter case
        const CliResult r = RunProgram({"version"});
        EXPECT_EQ(r.exit, 0) << r.err;
        EXPECT_EQ(r.out, "COM9: 102.003\nCOM10: 201.004\nCOM11: 102.003\nCOM12: 102.003\n");
    }
    const CliResult all = RunInProcess({"--json", "-p", "all", "version"});
    EXPECT_EQ(all.exit, 0) << all.err;
    const auto json = nlohmann::json::parse(all.out);
    ASSERT_EQ(json.size(), 4u) << all.out;
    for (const auto& entry : json) {
        // A built-in UART is never among them.
        EXPECT_TRUE(
            std::regex_match(entry["port"].get<std::string>(), std::regex("COM9|COM1[012]")));
    }
    // Each port's file named after it.
    for (const char* name : {"COM9", "COM10", "COM11", "COM12"}) {
        WriteFileBytes(Path(std::string("all-") + name + ".txt"), "0001,\r");
    }
    const CliResult verified = RunInProcess({"-p", "all", "verify", Path("all-{port}.txt")});
    EXPECT_EQ(verified.exit, 0) << verified.err;
    EXPECT_EQ(verified.out, "COM9: Verify ok: 1 slots match\nCOM10: Verify ok: 1 slots match\n"
                            "COM11: Verify ok: 1 slots match\nCOM12: Verify ok: 1 slots match\n");
    // One file for all would be overwritten by each: refused.
    EXPECT_EQ(RunInProcess({"-p", "all", "export", Path("one.txt")}).exit, 2);
}

TEST_F(CliCommandLine, FileNamesTakeThePortTheSerialTheDateAndTheTime) {
    auto module = StartModule("COM9");
    ASSERT_TRUE(module);
    // The name a run gives its file shows in its report, whether or not the
    // file can be read.
    const std::time_t before = std::time(nullptr);
    const CliResult r = RunInProcess(
        {"--json", "-p", "COM9", "verify", Path("b-{port}-{serial}-{date}-{time}-{port}.txt")});
    const std::time_t after = std::time(nullptr);
    EXPECT_EQ(r.exit, 2);
    const std::string file = nlohmann::json::parse(r.out)["file"];
    // A pseudo-terminal has no adapter serial number: the COM name stands in.
    auto name = [&](std::time_t when) {
        std::tm local{};
        localtime_r(&when, &local);
        char stamp[32];
        std::strftime(stamp, sizeof stamp, "%Y-%m-%d-%H%M%S", &local);
        return Path(std::string("b-COM9-COM9-") + stamp + "-COM9.txt");
    };
    EXPECT_TRUE(file == name(before) || file == name(after)) << file;
    EXPECT_TRUE(module->ReceivedFrames().empty());
}

TEST_F(CliCommandLine, TwoNamesForOneDeviceAreRefused) {
    auto module = StartModule("COM9");
    ASSERT_TRUE(module);
    // COM7 published by hand for the same device.
    const std::string link =
        (std::filesystem::path(module->PublishedLink()).parent_path() / "COM7");
    ASSERT_EQ(symlink(module->SlavePath().c_str(), link.c_str()), 0);
    const CliResult r = RunInProcess({"-p", "COM9,COM7", "version"});
    EXPECT_EQ(r.exit, 2);
    EXPECT_NE(r.err.find("COM9 and COM7 are two names for one device"), std::string::npos) << r.err;
    EXPECT_TRUE(module->ReceivedFrames().empty());
    unlink(link.c_str());
}

} // namespace
