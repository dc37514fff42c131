// The module's journal through lumaret-cli: every write undone, undo of an
// undo, slots changed since, clear, a run killed half way, and sequences.

#include "CliFixture.h"
#include "ModuleJournal.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <chrono>
#include <map>
#include <mutex>

namespace {

using Clock = std::chrono::steady_clock;

class CliJournal : public CliModuleTest {
protected:
    void Fill(const std::map<uint16_t, Bytes>& codes) {
        for (const auto& [slot, code] : codes) {
            ASSERT_TRUE(module->SetSlot(slot, code));
        }
    }
    void ExpectSlots(const std::map<uint16_t, Bytes>& codes) {
        for (const auto& [slot, code] : codes) {
            EXPECT_EQ(module->Slot(slot), code) << "slot " << slot;
        }
    }
    std::string Journal() const { return JournalFolder("COM9"); }
    std::vector<std::string> Runs() const { return ListJournalRuns(Journal()); }

    const Bytes a = CodePattern(20, 1);
    const Bytes b = CodePattern(504, 2); // longer than a write carries: an export's code
    const Bytes c = CodePattern(30, 3);
};

TEST_F(CliJournal, AnImportIsUndoneByteForByteAndAnUndoOfTheUndoRedoesIt) {
    Fill({{3, a}, {7, CodePattern(40, 4)}});
    const std::string file = Path("wrong.txt");
    WriteFileBytes(file, ExpectedLine(3, c) + "0007,\r" + ExpectedLine(12, a));
    ASSERT_EQ(RunInProcess({"-p", "COM9", "import", file}).exit, 0);
    ExpectSlots({{3, c}, {7, {}}, {12, a}});

    // What each slot held, in the order written, an empty slot as an empty code.
    ASSERT_EQ(Runs().size(), 1u);
    const std::string id = Runs().front();
    EXPECT_EQ(ReadFileBytes(Journal() + "/" + id + ".txt"),
              ExpectedLine(3, a) + ExpectedLine(7, CodePattern(40, 4)) + "0012,\r");
    EXPECT_EQ(ReadFileBytes(Journal() + "/" + id + ".summary"),
              "import " + file + ": 3 slots written: 3, 7, 12\n");

    CliResult r = RunInProcess({"--json", "-p", "COM9", "undo"});
    EXPECT_EQ(r.exit, 0) << r.err;
    const auto json = nlohmann::json::parse(r.out);
    EXPECT_EQ(json["run"], id);
    EXPECT_EQ(json["restored"], 3);
    ExpectSlots({{3, a}, {7, CodePattern(40, 4)}, {12, {}}});

    r = RunInProcess({"-p", "COM9", "undo"});
    EXPECT_EQ(r.exit, 0) << r.err;
    ExpectSlots({{3, c}, {7, {}}, {12, a}});

    r = RunInProcess({"-p", "COM9", "undo", "--list"});
    const std::vector<std::string> lines = OutputLines(r.out);
    ASSERT_EQ(lines.size(), 3u) << r.out;
    EXPECT_NE(lines[0].find(id + "  import " + file + ": 3 slots written: 3, 7, 12"),
              std::string::npos);
    EXPECT_NE(lines[2].find("undo: 3 slots written: 3, 7, 12"), std::string::npos);
}

TEST_F(CliJournal, ASlotChangedSinceIsLeftAloneAndNamedUnlessForced) {
    Fill({{1, a}, {2, a}});
    const std::string file = Path("new.txt");
    WriteFileBytes(file, ExpectedLine(1, c) + ExpectedLine(2, c));
    ASSERT_EQ(RunInProcess({"-p", "COM9", "import", file}).exit, 0);
    const std::string import = Runs().back();
    ASSERT_TRUE(module->SetSlot(2, CodePattern(9, 9))); // someone else's write

    CliResult r = RunInProcess({"-p", "COM9", "undo"});
    EXPECT_EQ(r.exit, 1);
    ExpectContains(r.err, {"slot 2: changed since that run; left alone (--force writes it)"});
    ExpectSlots({{1, a}, {2, CodePattern(9, 9)}});

    r = RunInProcess({"-p", "COM9", "undo", "--run", import, "--force"});
    EXPECT_EQ(r.exit, 0) << r.err;
    ExpectSlots({{1, a}, {2, a}});
    EXPECT_EQ(RunInProcess({"-p", "COM9", "undo", "--run", "19990101-000000-x"}).exit, 2);
}

TEST_F(CliJournal, ClearEmptiesASlotAndUndoBringsItsCodeBack) {
    Fill({{5, a}, {412, c}});
    const std::string map = Path("tv.map");
    WriteFileBytes(map, "412 INPUT\n");
    EXPECT_EQ(RunInProcess({"-p", "COM9", "clear", "1", "5"}).out, "slot 5: emptied\n");
    EXPECT_EQ(RunInProcess({"-p", "COM9", "clear", "--map", map, "INPUT"}).exit, 0);
    ExpectSlots({{5, {}}, {412, {}}});
    EXPECT_EQ(Runs().size(), 2u) << "two runs within one second are two runs";

    EXPECT_EQ(RunInProcess({"-p", "COM9", "undo"}).exit, 0);
    EXPECT_EQ(RunInProcess({"-p", "COM9", "undo", "--run", Runs().front()}).exit, 0);
    ExpectSlots({{5, a}, {412, c}});

    // --no-journal: nothing kept; {module} names the file after the module.
    const size_t runs = Runs().size();
    EXPECT_EQ(RunInProcess({"-p", "COM9", "--no-journal", "clear", "1", "5"}).exit, 0);
    EXPECT_EQ(Runs().size(), runs);
    WriteFileBytes(Path("b-COM9.txt"), ExpectedLine(5, c));
    EXPECT_EQ(RunInProcess({"-p", "COM9", "--no-journal", "import", Path("b-{module}.txt")}).exit,
              0);
    ExpectSlots({{5, c}});
}

TEST_F(CliJournal, ARunKilledHalfWayIsUndoneFromItsJournal) {
    std::map<uint16_t, Bytes> before;
    std::string text;
    for (uint16_t slot = 1; slot <= 10; ++slot) {
        before[slot] = slot % 2 == 0 ? CodePattern(25, static_cast<uint8_t>(slot)) : Bytes{};
        text += ExpectedLine(slot, CodePattern(200, static_cast<uint8_t>(slot + 50)));
    }
    Fill(before);
    WriteFileBytes(Path("ten.txt"), text);
    CliProcess cli({"-p", "COM9", "--fast", "import", Path("ten.txt")});
    // A read and a write a line: killed after the fifth line's write.
    ASSERT_TRUE(module->WaitForFrames(10, std::chrono::seconds(20)));
    cli.Signal(SIGKILL);
    cli.Wait();
    ASSERT_EQ(Runs().size(), 1u);
    const JournalRun run = ReadJournalRun(Journal(), Runs().front());
    EXPECT_FALSE(run.finished);
    EXPECT_GE(run.slots.size(), 5u);
    // Its summary names the slots its journal holds, as far as it got.
    EXPECT_EQ(run.summary, "import " + Path("ten.txt") + ": " + std::to_string(run.slots.size()) +
                               " slots written: 1-" + std::to_string(run.slots.size()) +
                               " (unfinished)");
    // A line the kill cut off half way is one whose slot was never written.
    const std::string txt = Journal() + "/" + run.id + ".txt";
    WriteFileBytes(txt, ReadFileBytes(txt) + "0011,0A0B");
    EXPECT_EQ(ReadJournalRun(Journal(), run.id).slots.size(), run.slots.size());

    const CliResult r = RunInProcess({"-p", "COM9", "undo"});
    EXPECT_EQ(r.exit, 0) << r.err;
    ExpectSlots(before);
}

TEST_F(CliJournal, RestoreMakesTheModuleHoldItsBackupAtARevisionAndUndoPutsItBack) {
    Fill({{1, a}, {2, c}});
    const std::string dir = Path("backups");
    ASSERT_EQ(RunInProcess({"-p", "COM9", "backup", dir}).exit, 0);
    Fill({{1, c}, {2, {}}, {9, a}});
    ASSERT_EQ(RunInProcess({"-p", "COM9", "backup", dir}).exit, 0);

    CliResult r = RunInProcess({"--json", "-p", "COM9", "restore", dir, "--at", "HEAD~1"});
    EXPECT_EQ(r.exit, 0) << r.err;
    const auto json = nlohmann::json::parse(r.out);
    EXPECT_EQ(json["written"], 2);
    EXPECT_EQ(json["emptied"], 1);
    ExpectSlots({{1, a}, {2, c}, {9, {}}});

    EXPECT_EQ(RunInProcess({"-p", "COM9", "undo"}).exit, 0);
    ExpectSlots({{1, c}, {2, {}}, {9, a}});
    r = RunInProcess({"-p", "COM9", "restore", dir});
    ExpectContains(r.out, {"restoring COM9.txt as at ",
                           "\nRestore ok: 0 written, 0 emptied, 448 unchanged\n"});
    EXPECT_EQ(RunInProcess({"-p", "COM9", "restore", dir, "--at", "nosuch"}).exit, 2);
}

TEST_F(CliJournal, ASequenceWaitsBetweenKeysAndStopsAtTheFirstFailure) {
    Fill({{1, a}, {2, c}});
    const std::string map = Path("tv.map");
    WriteFileBytes(map, "1/1 POWER\n1/2 HDMI1\n1/3 NONE\n");
    std::mutex lock;
    std::vector<Clock::time_point> sent;
    module->SetFrameObserver([&](const std::vector<uint8_t>&, bool) {
        const std::lock_guard<std::mutex> hold(lock);
        sent.push_back(Clock::now());
    });

    CliResult r = RunInProcess(
        {"-p", "COM9", "send", "--map", map, "POWER", "--wait", "300ms", "HDMI1", "NONE", "POWER"});
    EXPECT_EQ(r.exit, 1);
    EXPECT_EQ(r.out, "POWER: Send Ok!\nHDMI1: Send Ok!\n");
    ExpectContains(r.err, {"NONE: Key empty!", "sequence stopped at NONE; 1 key not sent"});
    const std::lock_guard<std::mutex> hold(lock);
    ASSERT_EQ(sent.size(), 3u) << "nothing sent after the key that failed";
    for (size_t i = 1; i < sent.size(); ++i) {
        const auto gap =
            std::chrono::duration_cast<std::chrono::milliseconds>(sent[i] - sent[i - 1]);
        EXPECT_GE(gap.count(), 300);
        EXPECT_LT(gap.count(), 300 + 400);
    }
}

} // namespace
