// The simulator's slots and database files: what a slot holds, what a load
// takes or refuses, what a save writes, and saving over an existing path:
// what it may replace, what it must leave alone, what the replaced file keeps.

#include "ExpectedBytes.h"
#include "RuntimeDir.h"
#include "SimulatedModule.h"
#include "TestFiles.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

namespace fs = std::filesystem;

class SimulatedModuleDatabase : public ::testing::Test {
protected:
    std::string PathOf(const char* name) const { return (m_dir.Path() / name).string(); }
    PrivateRuntimeDir m_dir;
};

TEST(SimulatedModuleSlots, SetSlotRefusesWhatAModuleCannotHold) {
    SimulatedModule module;
    EXPECT_FALSE(module.SetSlot(0, {1}));
    EXPECT_FALSE(module.SetSlot(SimulatedModule::SLOT_COUNT + 1, {1}));
    EXPECT_FALSE(module.SetSlot(1, Bytes(SimulatedModule::MAX_SLOT_CODE_BYTES + 1)));
    EXPECT_TRUE(
        module.SetSlot(SimulatedModule::SLOT_COUNT, Bytes(SimulatedModule::MAX_SLOT_CODE_BYTES)));
    EXPECT_TRUE(module.Slot(0).empty());
}

TEST_F(SimulatedModuleDatabase, SaveAndLoadRoundTripEverySlot) {
    SimulatedModule module;
    module.ClearSlots();
    // Codes up to 500 bytes: a longer line does not fit a write frame and is refused on load.
    for (uint16_t slot = 1; slot <= SimulatedModule::SLOT_COUNT; slot += 3) {
        ASSERT_TRUE(
            module.SetSlot(slot, CodePattern((slot * 37) % 501, static_cast<uint8_t>(slot))));
    }
    const std::string path = PathOf("slots.txt");
    ASSERT_TRUE(module.SaveDatabase(path));

    SimulatedModule loaded;
    ASSERT_TRUE(loaded.LoadDatabase(path));
    for (uint16_t slot = 1; slot <= SimulatedModule::SLOT_COUNT; ++slot) {
        ASSERT_EQ(loaded.Slot(slot), module.Slot(slot)) << "slot " << slot;
    }
}

TEST_F(SimulatedModuleDatabase, SavedFileHoldsOneCrEndedLinePerCode) {
    SimulatedModule module;
    module.ClearSlots();
    ASSERT_TRUE(module.SetSlot(448, {0xA5}));
    ASSERT_TRUE(module.SetSlot(7, {0x12, 0xAB, 0x34, 0xCD}));
    const std::string path = PathOf("two.txt");
    ASSERT_TRUE(module.SaveDatabase(path));
    EXPECT_EQ(ReadFileBytes(path), "0007,12AB34CD\r0448,A5\r");
}

// A file replaces every slot or, refused, none: the slots a module holds
// come from the lines the database format accepts, and a refusal names the
// line and its reason.
TEST_F(SimulatedModuleDatabase, LoadIsAllOrNothing) {
    struct Case {
        const char* name;
        std::string text;
        std::string error;               // empty: it loads
        std::pair<uint16_t, Bytes> also; // a slot besides 3 that it fills
    };
    const std::string longest = "0004," + std::string(2 * 504, 'C') + "\r";
    const Case cases[] = {
        {"plain", "0003,AABB\r0010,01\r", "", {10, {0x01}}},
        {"lf ends", "0003,AABB\n0010,01\n", "", {10, {0x01}}},
        {"a learned code of 504 bytes",
         "0003,AABB\r0010,01\r" + longest,
         "",
         {4, Bytes(504, 0xCC)}},
        {"pairs with spaces between them", "0003,AABB\r0006,AB CD\r", "", {6, {0xAB, 0xCD}}},
        {"malformed line",
         "0003,AABB\r12,01\r",
         "line 2: no comma behind a four-character key index",
         {}},
        {"code beyond a reply",
         "0003,AABB\r0004," + std::string(2 * 505, 'C') + "\r",
         "line 2: the code is longer than 504 bytes",
         {}},
        {"slot above 448",
         "0003,AABB\r0010,01\r0449,01\r",
         "line 3: the key index 0449 names no slot (slots are 1 to 448)",
         {}},
        {"slot 0",
         "0000,01\r",
         "line 1: the key index 0000 names no slot (slots are 1 to 448)",
         {}},
        {"letters beyond F", "0020,zz\r", "line 1: 'z' is not a hexadecimal digit", {}},
        {"letters beyond F after good pairs",
         "0003,AABB\r0012,ABXY\r",
         "line 2: 'X' is not a hexadecimal digit",
         {}},
        {"a sign between pairs",
         "0003,AABB\r0010,01\r0005,AB-CD\r",
         "line 3: '-' is not a hexadecimal digit",
         {}},
        {"an odd count of digits",
         "0003,AABB\r0004,ABC\r",
         "line 2: an odd number of hexadecimal digits",
         {}},
        {"a lone digit", "0007,A\r", "line 1: an odd number of hexadecimal digits", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SimulatedModule module;
        const Bytes seeded = module.Slot(105);
        ASSERT_FALSE(seeded.empty());
        const std::string path = PathOf("load.txt");
        WriteFileBytes(path, c.text);
        std::string error;
        EXPECT_EQ(module.LoadDatabase(path, &error), c.error.empty());
        EXPECT_EQ(error, c.error);
        if (c.error.empty()) {
            EXPECT_EQ(module.Slot(3), (Bytes{0xAA, 0xBB}));
            EXPECT_EQ(module.Slot(c.also.first), c.also.second);
            EXPECT_TRUE(module.Slot(105).empty()); // the file replaces every slot
        } else {
            EXPECT_EQ(module.Slot(105), seeded);
            EXPECT_TRUE(module.Slot(3).empty());
        }
    }
    SimulatedModule module;
    EXPECT_FALSE(module.LoadDatabase(PathOf("missing.txt")));
    // A directory is refused with its reason, never thrown at the caller.
    std::string error;
    EXPECT_FALSE(module.LoadDatabase(PathOf(""), &error));
    EXPECT_EQ(error, "it is a directory");
    EXPECT_FALSE(module.SaveDatabase(PathOf("no/such/dir/out.txt")));
}

class SimulatedModuleSave : public SimulatedModuleDatabase {
protected:
    void SetUp() override {
        m_module.ClearSlots();
        ASSERT_TRUE(m_module.SetSlot(2, {0xAB, 0xCD}));
    }
    static mode_t ModeOf(const std::string& path) {
        struct stat st {};
        return lstat(path.c_str(), &st) == 0 ? st.st_mode : 0;
    }
    size_t EntryCount() const {
        return static_cast<size_t>(
            std::distance(fs::directory_iterator(m_dir.Path()), fs::directory_iterator()));
    }

    SimulatedModule m_module;
};

TEST_F(SimulatedModuleSave, NeverWritesThroughALinkPlantedBesideTheTarget) {
    const std::string path = PathOf("slots.txt");
    const std::string victim = PathOf("victim.txt");
    WriteFileBytes(path, "old\r");
    WriteFileBytes(victim, "precious");
    for (const std::string& planted : {path + ".tmp", path + "~", PathOf(".slots.txt.tmp")}) {
        ASSERT_EQ(symlink(victim.c_str(), planted.c_str()), 0) << planted;
    }

    const SaveOutcome saved = m_module.SaveDatabase(path);
    ASSERT_TRUE(saved.ok) << saved.message;
    EXPECT_EQ(ReadFileBytes(victim), "precious");
    EXPECT_EQ(ReadFileBytes(path).rfind("0002,", 0), 0u) << ReadFileBytes(path);
    EXPECT_TRUE(S_ISLNK(ModeOf(path + ".tmp")));
    EXPECT_EQ(EntryCount(), 5u) << "no file but the target is added";
}

TEST_F(SimulatedModuleSave, ReplacedFileKeepsItsModeAndANewOneFollowsTheUmask) {
    for (const mode_t mode : {mode_t{0600}, mode_t{0640}, mode_t{0604}}) {
        SCOPED_TRACE(mode);
        const std::string path = PathOf("kept.txt");
        WriteFileBytes(path, "old\r");
        ASSERT_EQ(chmod(path.c_str(), mode), 0);
        const SaveOutcome saved = m_module.SaveDatabase(path);
        ASSERT_TRUE(saved.ok) << saved.message;
        EXPECT_EQ(ModeOf(path) & 07777, mode);
        EXPECT_NE(ReadFileBytes(path), "old\r");
    }

    const mode_t previous = umask(027);
    const SaveOutcome saved = m_module.SaveDatabase(PathOf("new.txt"));
    umask(previous);
    ASSERT_TRUE(saved.ok) << saved.message;
    EXPECT_EQ(ModeOf(PathOf("new.txt")) & 07777, mode_t{0640});
}

TEST_F(SimulatedModuleSave, RefusesAnythingButARegularFileAndLeavesItAsItWas) {
    const std::string real = PathOf("real.txt");
    WriteFileBytes(real, "precious");
    struct Case {
        const char* name;
        std::function<bool(const std::string&)> make;
        bool (*isStill)(mode_t);
    };
    const Case cases[] = {
        {"link to a file",
         [&](const std::string& p) { return symlink(real.c_str(), p.c_str()) == 0; },
         [](mode_t m) { return S_ISLNK(m); }},
        {"link to nowhere",
         [&](const std::string& p) { return symlink(PathOf("none").c_str(), p.c_str()) == 0; },
         [](mode_t m) { return S_ISLNK(m); }},
        {"named pipe", [](const std::string& p) { return mkfifo(p.c_str(), 0600) == 0; },
         [](mode_t m) { return S_ISFIFO(m); }},
        {"folder", [](const std::string& p) { return mkdir(p.c_str(), 0700) == 0; },
         [](mode_t m) { return S_ISDIR(m); }},
        // Only root may make a device node; others see the other kinds refused.
        {"device",
         [](const std::string& p) {
             return geteuid() != 0 || mknod(p.c_str(), S_IFCHR | 0600, makedev(1, 3)) == 0;
         },
         [](mode_t m) { return S_ISCHR(m); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = PathOf("target");
        fs::remove_all(path);
        ASSERT_TRUE(c.make(path));
        if (ModeOf(path) == 0) {
            continue; // no device node without root
        }
        const size_t entries = EntryCount();

        const SaveOutcome saved = m_module.SaveDatabase(path);
        EXPECT_FALSE(saved.ok);
        EXPECT_NE(saved.message.find("'" + path + "'"), std::string::npos) << saved.message;
        EXPECT_NE(saved.message.find("regular file"), std::string::npos) << saved.message;
        EXPECT_TRUE(c.isStill(ModeOf(path))) << std::oct << ModeOf(path);
        EXPECT_EQ(ReadFileBytes(real), "precious");
        EXPECT_EQ(EntryCount(), entries) << "nothing left behind";
    }
}

TEST_F(SimulatedModuleSave, FailureNamesTheFileAndLeavesNoTemporaryFile) {
    const std::string missing = PathOf("no/such/dir/out.txt");
    const SaveOutcome saved = m_module.SaveDatabase(missing);
    EXPECT_FALSE(saved.ok);
    EXPECT_NE(saved.message.find(missing), std::string::npos) << saved.message;
    EXPECT_EQ(EntryCount(), 0u);

    const std::string path = PathOf("ok.txt");
    ASSERT_TRUE(m_module.SaveDatabase(path).ok);
    EXPECT_EQ(EntryCount(), 1u);
    const std::string text = ReadFileBytes(path);
    EXPECT_EQ(text.rfind("0002,", 0), 0u) << text;
    EXPECT_EQ(text.back(), '\r');
}

} // namespace
