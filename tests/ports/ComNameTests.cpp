#include "ComName.h"
#include "PortList.h"

#include <gtest/gtest.h>

namespace {

TEST(ComNameTest, OnlyComOneToTwoFiftyFive) {
    struct Case {
        const char* text;
        int number; // 0: refused
    };
    const Case cases[] = {
        {"COM1", 1},
        {"COM9", 9},
        {"COM255", 255},
        {"COM0", 0},
        {"COM256", 0},
        {"COM09", 0},
        {"COM", 0},
        {"COM9 ", 0},
        {" COM9", 0},
        {"COM+9", 0},
        {"COM-1", 0},
        {"COM1000", 0},
        {"COMX", 0},
        {"", 0},
        // The letters in any case, the number as strict as ever.
        {"com9", 9},
        {"Com21", 21},
        {"cOm255", 255},
        {"com0", 0},
        {"com09", 0},
        {"con9", 0},
        {"cm9", 0},
    };
    for (const Case& c : cases) {
        const auto n = ParseComNumber(c.text);
        EXPECT_EQ(n.value_or(0), c.number) << c.text;
    }
    EXPECT_EQ(ComName(33), "COM33");
}

TEST(ComNameTest, WindowTakesEveryDigitOfTheItem) {
    EXPECT_EQ(PortNumberOfItem("COM9"), 9);
    EXPECT_EQ(PortNumberOfItem("COM1x2"), 12);
    EXPECT_EQ(PortNumberOfItem("COM300"), 300 & 0xFF);
    EXPECT_EQ(PortNumberOfItem("no digits"), 0);
}

// A key whose steps fail where told.
class CScriptedKey : public CPortValueList {
public:
    using CPortValueList::CPortValueList;
    long OpenKey() override { return openStatus; }
    long QueryValue(const char* name, uint8_t* data, uint32_t& length) override {
        return std::string(name) == unreadable ? PORT_REG_FILE_NOT_FOUND
                                               : CPortValueList::QueryValue(name, data, length);
    }
    long openStatus = PORT_REG_SUCCESS;
    std::string unreadable;
};

TEST(PortListTest, SortedCaseBlindWithTheMessagesOfFailedSteps) {
    CScriptedKey key({{"/dev/ttyUSB0", "COM33"},
                      {"/dev/ttyS0", "COM1"},
                      {"/dev/pts/4", "com1"},
                      {"/dev/ttyS9", "COM10"},
                      {"/dev/long", "COM1234567"},
                      {"/dev/gone", "COM5"}});
    key.unreadable = "/dev/gone";
    const PortListWalk walk = WalkPortList(key);
    std::vector<std::string> names;
    for (const PortListItem& item : walk.items) {
        names.push_back(item.comName + "=" + item.devicePath);
    }
    // An equal name goes behind the ones before it; data longer than six
    // bytes does not fit the value and is reported.
    EXPECT_EQ(names, (std::vector<std::string>{"COM1=/dev/ttyS0", "com1=/dev/pts/4",
                                               "COM10=/dev/ttyS9", "COM33=/dev/ttyUSB0"}));
    EXPECT_EQ(walk.messages, (std::vector<std::string>{"Can not get the name of the port",
                                                       "Can not get the name of the port"}));

    key.openStatus = PORT_REG_FILE_NOT_FOUND;
    const PortListWalk closed = WalkPortList(key);
    EXPECT_TRUE(closed.items.empty());
    EXPECT_EQ(closed.messages, std::vector<std::string>{"Open Registry Error!\n"});
}

} // namespace
