#include "DatabaseFile.h"
#include "DatabaseFormat.h"

#include "RuntimeDir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

class DatabaseFileTest : public ::testing::Test {
protected:
    std::string PathOf(const char* name) const { return (m_dir / name).string(); }

    PrivateRuntimeDir m_scratch{"lumaret-dbfile"};
    const fs::path m_dir = m_scratch.Path();
};

TEST_F(DatabaseFileTest, OnlyRegularFilesWithinTheLimitAreRead) {
    const std::string fifo = PathOf("pipe");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const std::string huge = PathOf("huge.txt");
    { std::ofstream out(huge, std::ios::binary); }
    fs::resize_file(huge, CDatabaseFile::MAX_READ_BYTES + 1);
    const std::string limit = PathOf("limit.txt");
    { std::ofstream out(limit, std::ios::binary); }
    fs::resize_file(limit, CDatabaseFile::MAX_READ_BYTES);

    struct Case {
        std::string path;
        const char* reason; // empty when the file reads
    };
    const Case cases[] = {
        {m_dir.string(), "it is a directory"},
        {fifo, "it is not a regular file"},
        {"/dev/null", "it is not a regular file"},
        {PathOf("missing.txt"), "No such file or directory"},
        {huge, "it is larger than 4 MB, far more than any database file"},
        {limit, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        const auto start = std::chrono::steady_clock::now();
        const DatabaseFileLines file = ReadDatabaseFile(c.path);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
        EXPECT_EQ(file.ok, std::string(c.reason).empty());
        EXPECT_EQ(file.error, c.reason);
    }
}

TEST_F(DatabaseFileTest, WritingCreatesEmptiesAndReportsAFullDisk) {
    const std::string path = PathOf("out.txt");
    { std::ofstream(path, std::ios::binary) << "old lines\r"; }
    CDatabaseFile file;
    ASSERT_TRUE(file.OpenForWriting(path));
    EXPECT_EQ(fs::file_size(path), 0u);
    ASSERT_TRUE(file.WriteString("0001,AA\r"));
    // Each line is in the file as soon as it is written.
    EXPECT_EQ(fs::file_size(path), 8u);
    EXPECT_TRUE(file.Close());
    EXPECT_FALSE(file.WriteString("0002,BB\r"));

    EXPECT_FALSE(file.OpenForWriting(PathOf("no/such/dir/out.txt")));
    if (access("/dev/full", W_OK) == 0) {
        ASSERT_TRUE(file.OpenForWriting("/dev/full"));
        EXPECT_FALSE(file.WriteString("0001,AA\r"));
    }
}

TEST_F(DatabaseFileTest, ReadingGivesTheBytesUnchanged) {
    const std::string path = PathOf("in.txt");
    const std::string bytes("0001,0A\r\xFF\x00\n0002,", 15);
    { std::ofstream(path, std::ios::binary) << bytes; }
    CDatabaseFile file;
    ASSERT_TRUE(file.OpenForReading(path));
    std::string text;
    ASSERT_TRUE(file.ReadAll(text));
    EXPECT_EQ(text, bytes);
    // A second read starts over from the beginning.
    ASSERT_TRUE(file.ReadAll(text));
    EXPECT_EQ(text, bytes);
}

} // namespace
