#include "ModuleLimits.h"

#include <gtest/gtest.h>

namespace {

// The words the command line's help and refusals use; the remote map's
// "-" forms are checked with its faults.
TEST(ModuleLimitsTest, RangesInWords) {
    EXPECT_EQ(ChannelRangeText(" to "), "1 to 4");
    EXPECT_EQ(KeyNumberRangeText(" to "), "1 to 100");
    EXPECT_EQ(SlotRangeText(" to "), "1 to 448");
}

} // namespace
