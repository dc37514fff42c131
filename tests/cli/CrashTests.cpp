// lumaret-cli killed with SIGKILL at random moments of an export and an
// import: every file whole (old or new), the journal readable and naming
// every slot written, undo putting the module back, no temporary file left.

#include "CliFixture.h"
#include "ModuleJournal.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <random>
#include <set>
#include <thread>

namespace {

namespace fs = std::filesystem;

class CliCrash : public CliModuleTest {
protected:
    // Runs the program and kills it after a random pause of at most maxMs.
    void RunAndKill(const std::vector<std::string>& args, int maxMs) {
        std::uniform_int_distribution<int> pause(0, maxMs);
        CliProcess cli(args);
        std::this_thread::sleep_for(std::chrono::milliseconds(pause(m_random)));
        cli.Signal(SIGKILL);
        cli.Wait();
    }
    // Every file in folder whose name ends in none of the endings.
    static std::set<std::string> Strangers(const std::string& folder,
                                           const std::vector<std::string>& endings) {
        std::set<std::string> strangers;
        std::error_code ec;
        for (const fs::directory_entry& e : fs::directory_iterator(folder, ec)) {
            const std::string name = e.path().filename().string();
            bool known = false;
            for (const std::string& end : endings) {
                known = known || (name.size() >= end.size() &&
                                  name.compare(name.size() - end.size(), end.size(), end) == 0);
            }
            if (!known) {
                strangers.insert(name);
            }
        }
        return strangers;
    }

    std::mt19937 m_random{20261210};
};

TEST_F(CliCrash, AKilledExportLeavesTheOldBackupOrAWholeNewOne) {
    for (uint16_t slot = 1; slot <= 6; ++slot) {
        ASSERT_TRUE(module->SetSlot(slot, CodePattern(40, static_cast<uint8_t>(slot))));
    }
    std::string whole;
    for (uint16_t slot = 1; slot <= 6; ++slot) {
        whole += ExpectedLine(slot, CodePattern(40, static_cast<uint8_t>(slot)));
    }
    const std::string folder = Path("backups");
    fs::create_directory(folder);
    const std::string backup = folder + "/backup.txt";
    WriteFileBytes(backup, "0001,AA\r");
    for (int run = 0; run < 20; ++run) {
        RunAndKill({"-q", "--fast", "-p", "COM9", "export", backup}, 400);
        const std::string now = ReadFileBytes(backup);
        EXPECT_TRUE(now == "0001,AA\r" || now == whole) << now;
        EXPECT_EQ(Strangers(folder, {"backup.txt", "backup.txt.partial"}), std::set<std::string>{});
    }
}

TEST_F(CliCrash, AKilledImportIsJournaledAndUndone) {
    std::string text;
    for (uint16_t slot = 1; slot <= 16; ++slot) {
        ASSERT_TRUE(module->SetSlot(slot, slot % 3 == 0 ? Bytes{} : CodePattern(20, 1)));
        text += ExpectedLine(slot, CodePattern(60, static_cast<uint8_t>(slot)));
    }
    const std::string file = Path("new.txt");
    WriteFileBytes(file, text);
    const std::string journal = JournalFolder("COM9");
    size_t known = 0; // runs in the journal before this one
    for (int run = 0; run < 20; ++run) {
        RunAndKill({"-q", "--fast", "-p", "COM9", "import", file}, 300);
        const std::vector<std::string> runs = ListJournalRuns(journal);
        std::set<uint16_t> named;
        std::string id;
        if (runs.size() > known) {
            id = runs.back();
            const JournalRun last = ReadJournalRun(journal, id);
            EXPECT_EQ(last.error, "");
            EXPECT_EQ(JournalRunCommand(id), "import");
            for (const JournalSlot& slot : last.slots) {
                named.insert(slot.slot);
            }
        }
        for (uint16_t slot = 1; slot <= 16; ++slot) {
            if (module->Slot(slot) != (slot % 3 == 0 ? Bytes{} : CodePattern(20, 1))) {
                EXPECT_TRUE(named.count(slot)) << "slot " << slot << " written, not journaled";
            }
        }
        if (!id.empty()) {
            const CliResult undo = RunInProcess({"-p", "COM9", "undo", "--run", id});
            EXPECT_EQ(undo.exit, 0) << undo.err;
        }
        known = ListJournalRuns(journal).size();
        for (uint16_t slot = 1; slot <= 16; ++slot) {
            ASSERT_EQ(module->Slot(slot), slot % 3 == 0 ? Bytes{} : CodePattern(20, 1))
                << "slot " << slot << " after run " << run;
        }
        EXPECT_EQ(Strangers(journal, {".txt", ".after", ".summary"}), std::set<std::string>{});
    }
}

} // namespace
