#include "SafeFileWriter.h"

#include "TestFiles.h"

#include "RuntimeDir.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

// Each case with an unnamed fresh file and with a named one, as on a file
// system without O_TMPFILE.
class SafeFileWriterTest : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override { CSafeFileWriter::AllowAnonymousFiles(GetParam()); }
    void TearDown() override { CSafeFileWriter::AllowAnonymousFiles(true); }

    std::string PathOf(const char* name) const { return (m_dir / name).string(); }
    // Files in the folder besides the given ones: a fresh file left behind.
    size_t EntryCount() const {
        return static_cast<size_t>(std::distance(fs::directory_iterator(m_dir), {}));
    }
    static mode_t ModeOf(const std::string& path) {
        struct stat st {};
        EXPECT_EQ(lstat(path.c_str(), &st), 0) << path;
        return st.st_mode & 07777;
    }

    PrivateRuntimeDir m_scratch{"lumaret-writer"};
    const fs::path m_dir = m_scratch.Path();
};

TEST_P(SafeFileWriterTest, TheTargetChangesOnlyOnCommit) {
    const std::string path = PathOf("backup.txt");
    WriteFileBytes(path, "0001,AA\r");
    CSafeFileWriter writer(path);
    ASSERT_TRUE(writer.Open());
    EXPECT_TRUE(writer.TargetExisted());
    ASSERT_TRUE(writer.WriteString("0002,BB\r"));
    EXPECT_EQ(ReadFileBytes(path), "0001,AA\r");
    ASSERT_TRUE(writer.Commit());
    EXPECT_EQ(ReadFileBytes(path), "0002,BB\r");
    EXPECT_EQ(EntryCount(), 1U);
}

TEST_P(SafeFileWriterTest, WhatWasWrittenCanBeKeptBesideAnUntouchedTarget) {
    const std::string path = PathOf("backup.txt");
    WriteFileBytes(path, "0001,AA\r");
    {
        CSafeFileWriter writer(path);
        ASSERT_TRUE(writer.Open());
        ASSERT_TRUE(writer.WriteString("0003,CC\r"));
        ASSERT_TRUE(writer.KeepAsPartial());
    }
    EXPECT_EQ(ReadFileBytes(path), "0001,AA\r");
    EXPECT_EQ(ReadFileBytes(path + ".partial"), "0003,CC\r");
    EXPECT_EQ(EntryCount(), 2U);

    // Neither committed nor kept: nothing is left behind.
    {
        CSafeFileWriter writer(PathOf("new.txt"));
        ASSERT_TRUE(writer.Open());
        EXPECT_FALSE(writer.TargetExisted());
        writer.WriteString("0004,DD\r");
    }
    EXPECT_FALSE(fs::exists(PathOf("new.txt")));
    EXPECT_EQ(EntryCount(), 2U);

    // Kept at once, as a program that ends at once does, while still open.
    {
        CSafeFileWriter writer(PathOf("new.txt"));
        ASSERT_TRUE(writer.Open());
        writer.WriteString("0005,EE\r");
        ASSERT_TRUE(writer.KeepWrittenSoFar());
    }
    EXPECT_EQ(ReadFileBytes(PathOf("new.txt.partial")), "0005,EE\r");
    EXPECT_EQ(EntryCount(), 3U);
}

TEST_P(SafeFileWriterTest, APlantedPartialLinkIsReplacedNotFollowed) {
    const std::string path = PathOf("backup.txt");
    const std::string victim = PathOf("victim.txt");
    WriteFileBytes(victim, "precious");
    ASSERT_EQ(symlink(victim.c_str(), (path + ".partial").c_str()), 0);
    CSafeFileWriter writer(path);
    ASSERT_TRUE(writer.Open());
    writer.WriteString("0001,AA\r");
    ASSERT_TRUE(writer.KeepAsPartial());
    EXPECT_EQ(ReadFileBytes(victim), "precious");
    EXPECT_FALSE(fs::is_symlink(path + ".partial"));
    EXPECT_EQ(ReadFileBytes(path + ".partial"), "0001,AA\r");
}

TEST_P(SafeFileWriterTest, AReplacedFileKeepsItsModeAndANewOneFollowsTheUmask) {
    const std::string path = PathOf("private.txt");
    WriteFileBytes(path, "old");
    ASSERT_EQ(chmod(path.c_str(), 0600), 0);
    ASSERT_TRUE(ReplaceFileContents(path, "new").ok);
    EXPECT_EQ(ModeOf(path), 0600U);
    EXPECT_EQ(ReadFileBytes(path), "new");

    const mode_t old = umask(027);
    const SaveOutcome made = ReplaceFileContents(PathOf("made.txt"), "x");
    umask(old);
    ASSERT_TRUE(made.ok) << made.message;
    EXPECT_EQ(ModeOf(PathOf("made.txt")), 0640U);
}

TEST_P(SafeFileWriterTest, OnlyARegularFileIsEverReplaced) {
    const std::string target = PathOf("target.txt");
    WriteFileBytes(target, "kept");
    const std::string link = PathOf("link.txt");
    ASSERT_EQ(symlink(target.c_str(), link.c_str()), 0);
    const std::string fifo = PathOf("pipe");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const std::string folder = PathOf("folder");
    fs::create_directory(folder);
    struct Case {
        std::string path;
        const char* kind;
    };
    const Case cases[] = {{link, "a symbolic link"},
                          {fifo, "a named pipe"},
                          {folder, "a folder"},
                          {"/dev/null", "a device"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        const ReplaceTarget checked = CheckReplaceTarget(c.path);
        EXPECT_FALSE(checked.ok);
        EXPECT_NE(checked.problem.find(c.kind), std::string::npos) << checked.problem;
        CSafeFileWriter writer(c.path);
        std::string problem;
        EXPECT_FALSE(writer.Open(&problem));
        EXPECT_NE(problem.find("cannot save to '" + c.path + "'"), std::string::npos) << problem;
    }
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(ReadFileBytes(target), "kept");
    EXPECT_EQ(EntryCount(), 4U);

    // A target swapped for a link while the file was written is not replaced.
    const std::string swapped = PathOf("swapped.txt");
    WriteFileBytes(swapped, "first");
    CSafeFileWriter writer(swapped);
    ASSERT_TRUE(writer.Open());
    writer.WriteString("second");
    fs::remove(swapped);
    ASSERT_EQ(symlink(target.c_str(), swapped.c_str()), 0);
    std::string problem;
    EXPECT_FALSE(writer.Commit(&problem));
    EXPECT_NE(problem.find("symbolic link"), std::string::npos) << problem;
    EXPECT_EQ(ReadFileBytes(target), "kept");
}

TEST_P(SafeFileWriterTest, AFolderThatTakesNoFileIsToldAtOpen) {
    const std::string folder = PathOf("locked");
    fs::create_directory(folder);
    ASSERT_EQ(chmod(folder.c_str(), 0500), 0);
    if (access(folder.c_str(), W_OK) == 0) {
        GTEST_SKIP() << "running as root: folder permissions do not hold";
    }
    CSafeFileWriter writer(folder + "/backup.txt");
    std::string problem;
    EXPECT_FALSE(writer.Open(&problem));
    EXPECT_NE(problem.find("cannot make a new file"), std::string::npos) << problem;
}

// A writer in a child process, parked with its fresh file open and written to.
pid_t StartWriter(const std::string& path) {
    int ready[2] = {-1, -1};
    if (pipe(ready) != 0) {
        return -1;
    }
    const pid_t pid = fork();
    if (pid == 0) {
        CSafeFileWriter writer(path);
        if (writer.Open() && writer.WriteString("0001,AA\r")) {
            (void)!write(ready[1], "r", 1);
        }
        pause();
        _exit(0);
    }
    close(ready[1]);
    char said = 0;
    const bool parked = read(ready[0], &said, 1) == 1;
    close(ready[0]);
    return parked ? pid : -1;
}

void Kill(pid_t pid) {
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
}

TEST_P(SafeFileWriterTest, AKilledWriterLeavesNoFreshFileForLong) {
    const std::string path = PathOf("backup.txt");
    WriteFileBytes(path, "old");
    const std::string other = PathOf("other.txt");
    WriteFileBytes(other, "other");
    const pid_t writer = StartWriter(path);
    ASSERT_GT(writer, 0);
    // Only a named fresh file is seen; while its writer lives, another
    // writer in the folder leaves it alone.
    const size_t named = GetParam() ? 0 : 1;
    EXPECT_EQ(EntryCount(), 2 + named);
    ASSERT_TRUE(ReplaceFileContents(other, "new other").ok);
    EXPECT_EQ(EntryCount(), 2 + named);

    Kill(writer);
    EXPECT_EQ(EntryCount(), 2 + named);
    // The next writer in the folder clears what a killed one left.
    ASSERT_TRUE(ReplaceFileContents(other, "newer other").ok);
    EXPECT_EQ(EntryCount(), 2U);
    EXPECT_EQ(ReadFileBytes(path), "old");
}

INSTANTIATE_TEST_SUITE_P(FreshFiles, SafeFileWriterTest, ::testing::Values(true, false),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return info.param ? "Unnamed" : "Named";
                         });

} // namespace
