// Saving the simulator's slots over an existing path: what it may replace,
// what it must leave alone, and what the replaced file keeps.

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

namespace {

namespace fs = std::filesystem;

class SimulatedModuleSave : public ::testing::Test {
protected:
    void SetUp() override {
        m_module.ClearSlots();
        ASSERT_TRUE(m_module.SetSlot(2, {0xAB, 0xCD}));
    }
    std::string PathOf(const char* name) const { return (m_dir.Path() / name).string(); }
    static mode_t ModeOf(const std::string& path) {
        struct stat st {};
        return lstat(path.c_str(), &st) == 0 ? st.st_mode : 0;
    }
    size_t EntryCount() const {
        return static_cast<size_t>(
            std::distance(fs::directory_iterator(m_dir.Path()), fs::directory_iterator()));
    }

    PrivateRuntimeDir m_dir;
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
