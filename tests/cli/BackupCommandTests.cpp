// backup DIR against two simulated modules: the commits, the files at each,
// the messages, the history, and a module that fails half-way. The
// repository is read through libgit2, as git would read it.

#include "CliFixture.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace {

class CliBackups : public CliModuleTest {
protected:
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(CliModuleTest::SetUp());
        other = StartModule("COM10");
        ASSERT_TRUE(other);
        ASSERT_TRUE(module->SetSlot(1, {0x11}) && module->SetSlot(4, {0x44}));
        ASSERT_TRUE(module->SetSlot(448, CodePattern(504, 7)));
        ASSERT_TRUE(other->SetSlot(2, {0x22, 0x22}));
    }

    CliResult BackUp() { return RunInProcess({"-p", "COM9,COM10", "backup", dir}); }

    const std::string dir = Path("backups");
    GitRepositorySeen git{dir};
    std::unique_ptr<SimulatedModule> other;
};

TEST_F(CliBackups, ThreeRunsMakeTwoCommitsWithTheFilesTheirMessagesAndTheirHistory) {
    const std::string first9 =
        ExpectedLine(1, {0x11}) + ExpectedLine(4, {0x44}) + ExpectedLine(448, CodePattern(504, 7));
    const std::string first10 = ExpectedLine(2, {0x22, 0x22});
    CliResult r = BackUp();
    ASSERT_EQ(r.exit, 0) << r.err;
    ASSERT_TRUE(git.SetAuthor("Bench Tech", "tech@example.org"));

    // Slot 1 changed, slot 4 emptied, slots 5 and 6 learned.
    ASSERT_TRUE(module->SetSlot(1, {0x12}) && module->SetSlot(4, {}));
    ASSERT_TRUE(module->SetSlot(5, {0x55}) && module->SetSlot(6, {0x66}));
    r = BackUp();
    ASSERT_EQ(r.exit, 0) << r.err;
    r = BackUp();
    ASSERT_EQ(r.exit, 0) << r.err;
    ExpectContains(r.out, {"COM9: COM9: no change\n", "COM10: COM10: no change\n"});

    const auto log = git.Log();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[1].message, "COM9: 3 added\nCOM10: 1 added\n");
    EXPECT_EQ(log[1].author, "lumaret");
    EXPECT_EQ(log[0].message, "COM9: 1 changed, 2 added, 1 removed\n");
    EXPECT_EQ(log[0].author, "Bench Tech");
    EXPECT_EQ(git.FileAt("HEAD~1", "COM9.txt"), first9);
    EXPECT_EQ(git.FileAt("HEAD~1", "COM10.txt"), first10);
    const std::string second9 = ExpectedLine(1, {0x12}) + ExpectedLine(5, {0x55}) +
                                ExpectedLine(6, {0x66}) + ExpectedLine(448, CodePattern(504, 7));
    EXPECT_EQ(git.FileAt("HEAD", "COM9.txt"), second9);
    EXPECT_EQ(git.FileAt("HEAD", "COM10.txt"), first10);
    EXPECT_EQ(ReadFileBytes(dir + "/COM9.txt"), second9); // the work tree follows

    // The history counts from the files, newest first; no port needed.
    r = RunInProcess({"backup", dir, "--history", "COM9"});
    ASSERT_EQ(r.exit, 0) << r.err;
    auto lines = OutputLines(r.out);
    ASSERT_EQ(lines.size(), 2u) << r.out;
    EXPECT_NE(lines[0].find("  " + log[0].id.substr(0, 7)), std::string::npos) << lines[0];
    EXPECT_TRUE(lines[0].ends_with("  1 changed, 2 added, 1 removed")) << lines[0];
    EXPECT_TRUE(lines[1].ends_with(log[1].id.substr(0, 7) + "  3 added")) << lines[1];
    r = RunInProcess({"--json", "backup", dir, "--history"});
    const auto json = nlohmann::json::parse(r.out);
    ASSERT_EQ(json["history"].size(), 3u) << r.out;
    EXPECT_EQ(json["history"][0]["module"], "COM10");
    EXPECT_EQ(json["history"][0]["commit"], log[1].id);
    EXPECT_EQ(json["history"][1]["slots_removed"], 1);

    EXPECT_EQ(RunInProcess({"backup", dir, "--history", "COM99"}).exit, 2);
    r = RunInProcess({"-p", "COM9", "backup", dir, "COM9"});
    EXPECT_EQ(r.exit, 2);
    ExpectContains(r.err, {"backup takes a MODULE only with --history"});
}

TEST_F(CliBackups, AModuleThatFailsKeepsItsFileAndIsNamed) {
    ASSERT_EQ(BackUp().exit, 0);
    const std::string before = git.FileAt("HEAD", "COM10.txt");
    ASSERT_TRUE(module->SetSlot(7, {0x77}) && other->SetSlot(3, {0x33}));
    SimFaults stop;
    stop.stopAfterSlot = 2;
    other->SetFaults(stop);

    const CliResult r = BackUp();
    EXPECT_EQ(r.exit, 4) << r.err;
    ExpectContains(r.err, {"COM10: COM10: not backed up; COM10.txt keeps what it held"});
    const auto log = git.Log();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_TRUE(log[0].message.starts_with("COM9: 1 added\nCOM10: failed (")) << log[0].message;
    EXPECT_EQ(git.FileAt("HEAD", "COM10.txt"), before);
    EXPECT_EQ(ReadFileBytes(dir + "/COM10.txt"), before);
}

} // namespace
