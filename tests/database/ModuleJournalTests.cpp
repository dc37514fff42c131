#include "ModuleJournal.h"

#include "RuntimeDir.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

// A run as a reader finds it while it writes: the slots journaled so far, a
// slot written twice keeping what it first held and, until its second write
// ends, no after; then whole once the run ends.
TEST(ModuleJournal, ARunReadsAsItStandsWhileItWritesAndWholeAtItsEnd) {
    const PrivateRuntimeDir dir;
    const std::string folder = JournalFolder("COM9");
    const Bytes a{0x0A}, b{0x0B}, c{0x0C};
    std::string id;
    {
        CJournalWriter writer(folder, "import", "import x.txt");
        ASSERT_TRUE(writer.Before(5, a));
        ASSERT_TRUE(writer.After(5, b));
        ASSERT_TRUE(writer.Before(7, {}));
        ASSERT_TRUE(writer.After(7, c));
        ASSERT_TRUE(writer.Before(5, b));
        id = writer.Id();
        JournalRun run = ReadJournalRun(folder, id);
        EXPECT_EQ(run.error, "");
        EXPECT_FALSE(run.finished);
        EXPECT_EQ(run.summary, "import x.txt: 2 slots written: 5, 7 (unfinished)");
        ASSERT_EQ(run.slots.size(), 2u);
        EXPECT_EQ(run.slots[0].before, a);
        EXPECT_FALSE(run.slots[0].after) << "its second write has not ended";
        EXPECT_EQ(run.slots[1].after, c);
        ASSERT_TRUE(writer.After(5, c));
        EXPECT_EQ(ReadJournalRun(folder, id).slots[0].after, c);
    }
    const JournalRun run = ReadJournalRun(folder, id);
    EXPECT_TRUE(run.finished);
    EXPECT_EQ(run.summary, "import x.txt: 2 slots written: 5, 7");
    EXPECT_EQ(run.slots[0].before, a);
    EXPECT_EQ(run.slots[1].before, Bytes{});
}

} // namespace
