// The slot map from the simulated module and from files: every state a
// comparison gives, the names of a remote map, and a read that is stopped.

#include "SlotMap.h"

#include "JobFixture.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// A file's line as a reader gives it, without its line end.
std::string Line(uint16_t slot, const Bytes& code) {
    std::string line = ExpectedLine(slot, code);
    line.pop_back();
    return line;
}

// A file's slots: 1 the same as the module, 2 different, 4 only here, 5
// written empty; the module's 3 is missing from it.
SlotContent BackupFile() {
    return SlotsOfLines(
        {Line(1, {0x11, 0x22}), Line(2, CodePattern(30, 1)), Line(4, {0x44}), "0005,"});
}

TEST_F(Jobs, SlotMapOfTheModuleComparedWithAFileAndNamed) {
    ASSERT_TRUE(m_module.SetSlot(1, {0x11, 0x22}));
    ASSERT_TRUE(m_module.SetSlot(2, CodePattern(12, 2)));
    ASSERT_TRUE(m_module.SetSlot(3, {0x33}));
    ASSERT_TRUE(m_module.SetSlot(448, CodePattern(504, 3)));
    CRecordingObserver observer;
    SlotMapRead read = ReadSlotMap(Port(), observer);
    ASSERT_EQ(read.outcome, JobOutcome::Complete);
    EXPECT_EQ(observer.last, 448);
    SlotMap& map = read.map;
    EXPECT_FALSE(map.HasDifference());
    EXPECT_EQ(map.Counts()[static_cast<size_t>(SlotState::Code)], 4);
    EXPECT_EQ(map.Counts()[static_cast<size_t>(SlotState::Empty)], 444);
    EXPECT_EQ(map.Cell(448).Bytes(), 504U);

    CompareSlotMap(map, BackupFile());
    const std::vector<std::pair<uint16_t, SlotState>> expected{
        {1, SlotState::Same},          {2, SlotState::Differs}, {3, SlotState::OnlyOnModule},
        {4, SlotState::OnlyInFile},    {5, SlotState::Empty},   {6, SlotState::Empty},
        {448, SlotState::OnlyOnModule}};
    for (const auto& [slot, state] : expected) {
        EXPECT_EQ(map.Cell(slot).state, state) << slot;
    }
    EXPECT_TRUE(map.HasDifference());
    EXPECT_EQ(map.Cell(2).Bytes(), 12U);
    EXPECT_EQ(map.Cell(2).fileBytes, 30U);
    EXPECT_EQ(map.Cell(4).Bytes(), 1U);
    // Compared again, with the module's own codes: nothing differs.
    CompareSlotMap(map, SlotsOfLines({Line(1, {0x11, 0x22}), Line(2, CodePattern(12, 2)),
                                      Line(3, {0x33}), Line(448, CodePattern(504, 3))}));
    EXPECT_FALSE(map.HasDifference());
    EXPECT_EQ(map.Counts()[static_cast<size_t>(SlotState::Same)], 4);

    const RemoteMap remote = ParseRemoteMap({"1/1 POWER", "1/3 MUTE", "412 AUX"});
    ASSERT_TRUE(remote.Ok());
    NameSlots(map, remote);
    EXPECT_EQ(map.Cell(1).name, "POWER");
    EXPECT_EQ(map.Cell(3).name, "MUTE");
    EXPECT_EQ(map.Cell(412).name, "AUX");
    EXPECT_EQ(map.Cell(2).name, "");
}

TEST_F(Jobs, SlotMapOfAStoppedReadLeavesTheRestUnread) {
    ASSERT_TRUE(m_module.SetSlot(2, {0x02}));
    CRecordingObserver stopping;
    stopping.stopAfterSlots = 3;
    stopping.running = &m_running;
    SlotMapRead read = ReadSlotMap(Port(), stopping);
    EXPECT_EQ(read.outcome, JobOutcome::Cancelled);
    EXPECT_EQ(read.map.Cell(2).state, SlotState::Code);
    EXPECT_EQ(read.map.Cell(3).state, SlotState::Empty);
    EXPECT_EQ(read.map.Counts()[static_cast<size_t>(SlotState::Unread)], 445);
    // Unread slots are not compared, and are no difference.
    CompareSlotMap(read.map, SlotsOfLines({Line(2, {0x02}), Line(9, {0x09})}));
    EXPECT_EQ(read.map.Cell(9).state, SlotState::Unread);
    EXPECT_FALSE(read.map.HasDifference());
}

TEST(SlotMapTest, OfAFileComparedWithAnother) {
    SlotMap map = SlotMapOfFile(BackupFile());
    EXPECT_EQ(map.Cell(1).state, SlotState::Code);
    EXPECT_EQ(map.Cell(5).state, SlotState::Empty);
    EXPECT_EQ(map.Counts()[static_cast<size_t>(SlotState::Code)], 3);
    CompareSlotMap(map, SlotsOfLines({Line(4, {0x44}), Line(5, {0x55})}));
    EXPECT_EQ(map.Cell(1).state, SlotState::OnlyOnModule);
    EXPECT_EQ(map.Cell(4).state, SlotState::Same);
    EXPECT_EQ(map.Cell(5).state, SlotState::OnlyInFile);
    EXPECT_EQ(map.Counts()[static_cast<size_t>(SlotState::Empty)], 444);
}

TEST(SlotMapTest, ChannelsKeysAndCodeLevels) {
    EXPECT_EQ(SlotChannel(1), 1);
    EXPECT_EQ(SlotKey(100), 100);
    EXPECT_EQ(SlotChannel(101), 2);
    EXPECT_EQ(SlotKey(400), 100);
    EXPECT_EQ(SlotChannel(401), 0);
    EXPECT_EQ(SlotKey(448), 0);
    const std::vector<std::pair<size_t, int>> levels{{0, 1}, {4, 1},   {5, 2},   {8, 2},
                                                     {9, 3}, {256, 7}, {257, 8}, {504, 8}};
    for (const auto& [bytes, level] : levels) {
        EXPECT_EQ(CodeLevel(bytes), level) << bytes;
    }
}

} // namespace
