#include "RemoteMap.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<std::string> Faults(const RemoteMap& map) {
    std::vector<std::string> texts;
    for (const RemoteMapFault& fault : map.faults) {
        texts.push_back(RemoteMapFaultText(fault));
    }
    return texts;
}

TEST(RemoteMapTest, KeysInFileOrderWithTheirSlots) {
    const RemoteMap map =
        ParseRemoteMap({"\xEF\xBB\xBF# meeting-room TV", "1/1 POWER", "", "  1/2\tVOL+   # louder",
                        "4/100 a_b.c-d+", "412 EXTRA", "0007 SEVEN"});
    ASSERT_TRUE(map.Ok()) << Faults(map).front();
    ASSERT_EQ(map.keys.size(), 5U);
    EXPECT_EQ(map.keys[0].name, "POWER");
    EXPECT_EQ(map.keys[0].slot, 1);
    EXPECT_EQ(map.keys[0].line, 2U);
    EXPECT_EQ(KeyPlace(map.keys[0]), "1/1");
    EXPECT_EQ(map.keys[1].name, "VOL+");
    EXPECT_EQ(map.keys[1].slot, 2);
    EXPECT_EQ(map.keys[2].slot, 400);
    EXPECT_EQ(map.keys[3].slot, 412);
    EXPECT_EQ(KeyPlace(map.keys[3]), "slot 412");
    EXPECT_EQ(KeyChannel(map.keys[3]), 5);
    EXPECT_EQ(KeyChannel(map.keys[2]), 4);
    EXPECT_EQ(map.keys[4].slot, 7);
    ASSERT_NE(map.Find("VOL+"), nullptr);
    EXPECT_EQ(map.Find("VOL+")->slot, 2);
    EXPECT_EQ(map.Find("vol+"), nullptr);
}

TEST(RemoteMapTest, EveryRefusalNamesItsLine) {
    const std::string fortyOne(41, 'K');
    const RemoteMap map = ParseRemoteMap({
        "1/1 POWER",                // 1
        "1/2",                      // 2: no name
        "1/3 TWO WORDS",            // 3
        "5/1 FIFTH",                // 4
        "1/101 HIGH",               // 5
        "0/5 ZERO",                 // 6
        "449 BEYOND",               // 7
        "0 NOUGHT",                 // 8
        "x/1 LETTER",               // 9
        "-3 MINUS",                 // 10
        "1/4 " + fortyOne,          // 11
        "1/5 MUTE!",                // 12
        "1/6 POWER",                // 13: name again
        "1 FIRST",                  // 14: slot 1 again, by number
        "1/7 caf\xC3\xA9",          // 15: not ASCII
        std::string(40, 'N') + " ", // 16: a name where the place should be
    });
    EXPECT_TRUE(map.keys.size() == 1 && map.keys[0].name == "POWER");
    const std::vector<std::string> expected = {
        "line 2: expected a slot or CHANNEL/KEY, then a name",
        "line 3: expected a slot or CHANNEL/KEY, then a name",
        "line 4: channel 5 is outside 1-4",
        "line 5: key 101 is outside 1-100",
        "line 6: channel 0 is outside 1-4",
        "line 7: slot 449 is outside 1-448",
        "line 8: slot 0 is outside 1-448",
        "line 9: \"x/1\" is not CHANNEL/KEY",
        "line 10: \"-3\" is neither a slot nor CHANNEL/KEY",
        "line 11: the name \"" + fortyOne + "\" is longer than 40 characters",
        "line 12: the name \"MUTE!\" may hold only letters, digits and _ . + -",
        "line 13: the name POWER is used on line 1 already",
        "line 14: slot 1 is used on line 1 already",
        "line 15: the name \"caf\xC3\xA9\" may hold only letters, digits and _ . + -",
        "line 16: expected a slot or CHANNEL/KEY, then a name",
    };
    EXPECT_EQ(Faults(map), expected);
}

TEST(RemoteMapTest, AMapWithoutKeysOrFileIsRefused) {
    EXPECT_EQ(Faults(ParseRemoteMap({"# nothing yet", "   "})),
              std::vector<std::string>{"the map names no key"});
    const RemoteMap missing = ReadRemoteMap("/nonexistent/remote.map");
    ASSERT_EQ(missing.faults.size(), 1U);
    EXPECT_EQ(missing.faults[0].line, 0U);
    EXPECT_NE(missing.faults[0].reason.find("remote.map"), std::string::npos)
        << missing.faults[0].reason;
}

} // namespace
