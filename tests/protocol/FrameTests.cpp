#include "CommandFrame.h"
#include "Crc16.h"
#include "Reply.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

Bytes FrameBytes(const CommandFrame& frame) {
    return Bytes(frame.bytes.begin(), frame.bytes.begin() + frame.size);
}

TEST(Crc16Test, EmptyAndCheckValue) {
    uint8_t out[2] = {0xAA, 0xAA};
    Crc16(nullptr, 0, out);
    EXPECT_EQ(out[0], 0x00);
    EXPECT_EQ(out[1], 0x00);

    const std::string digits = "123456789";
    Crc16(reinterpret_cast<const uint8_t*>(digits.data()), 9, out);
    EXPECT_EQ(out[0], 0x4B);
    EXPECT_EQ(out[1], 0x37);
    EXPECT_EQ(Crc16Value(reinterpret_cast<const uint8_t*>(digits.data()), 9), 0x4B37);
}

struct WorkedFrame {
    const char* name;
    CommandFrame frame;
    Bytes expected;
};

TEST(CommandFrameTest, WorkedFrames) {
    const uint8_t code[3] = {0x01, 0x02, 0x03};
    const uint16_t ch2key5 = KeyIndex(2, 5);
    const std::vector<WorkedFrame> cases = {
        {"get version",
         BuildGetVersionFrame(),
         {0x01, 0x05, 0x02, 0x06, 0x00, 0x00, 0x01, 0xF1, 0x31, 0x9D}},
        {"read ch2 key5",
         BuildReadFrame(ch2key5),
         {0x01, 0x05, 0x02, 0x06, 0x00, 0x00, 0x03, 0x04, 0x69, 0x00, 0x9E, 0x96}},
        {"learn ch2 key5",
         BuildLearnFrame(ch2key5),
         {0x01, 0x05, 0x02, 0x06, 0x00, 0x00, 0x03, 0x01, 0x69, 0x00, 0x9F, 0x86}},
        {"send ch2 key5",
         BuildSendFrame(ch2key5, ChannelMask(2)),
         {0x01, 0x05, 0x02, 0x06, 0x00, 0x00, 0x07, 0x02, 0x69, 0x00, 0x02, 0x01, 0x69, 0x00, 0xBD,
          0x55}},
        {"write slot 1",
         BuildWriteFrame(1, code, 3),
         {0x01, 0x05, 0x02, 0x06, 0x00, 0x00, 0xFF, 0xF4, 0x01, 0x00, 0x01, 0x02, 0x03, 0xDB,
          0xD1}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FrameBytes(c.frame), c.expected) << c.name;
    }
}

TEST(CommandFrameTest, KeyIndexOnTheLine) {
    struct Case {
        int32_t channel;
        int32_t key;
        uint8_t low;
        uint8_t high;
    };
    const std::vector<Case> cases = {
        {1, 256, 0x00, 0x01},   // 256
        {4, 100, 0x90, 0x01},   // 400
        {5, 48, 0xC0, 0x01},    // 448
        {0, 5, 0xA1, 0xFF},     // -95
        {0, 0, 0x9C, 0xFF},     // -100
        {1, -1, 0xFF, 0xFF},    // -1
        {656, 100, 0x40, 0x00}, // 65600 wraps to 64
    };
    for (const auto& c : cases) {
        const uint16_t index = KeyIndex(c.channel, c.key);
        const Bytes frame = FrameBytes(BuildReadFrame(index));
        ASSERT_EQ(frame.size(), 12U);
        EXPECT_EQ(frame[8], c.low) << c.channel << "/" << c.key;
        EXPECT_EQ(frame[9], c.high) << c.channel << "/" << c.key;
    }
}

TEST(CommandFrameTest, ChannelMasks) {
    const std::vector<std::pair<int32_t, uint8_t>> cases = {
        {0, 0x00}, {1, 0x01}, {2, 0x02}, {3, 0x04}, {4, 0x08}, {8, 0x80}, {9, 0x00}, {-1, 0x00},
    };
    for (const auto& [channel, mask] : cases) {
        EXPECT_EQ(ChannelMask(channel), mask) << channel;
        const Bytes frame = FrameBytes(BuildSendFrame(KeyIndex(channel, 1), ChannelMask(channel)));
        ASSERT_EQ(frame.size(), 16U);
        EXPECT_EQ(frame[10], mask) << channel;
        EXPECT_EQ(frame[11], 0x01);
        EXPECT_EQ(frame[8], frame[12]);
        EXPECT_EQ(frame[9], frame[13]);
    }
}

TEST(CommandFrameTest, WriteFrameSizes) {
    std::vector<uint8_t> code(MAX_WRITE_CODE_BYTES + 1);
    for (size_t i = 0; i < code.size(); ++i) {
        code[i] = static_cast<uint8_t>(i * 7 + 3);
    }
    for (uint32_t n : {0U, 1U, 250U, 499U, 500U}) {
        const CommandFrame frame = BuildWriteFrame(448, code.data(), n);
        ASSERT_EQ(frame.size, n + 12) << n;
        EXPECT_EQ(frame.bytes[6], 0xFF) << n;
        EXPECT_EQ(frame.bytes[7], CMD_WRITE);
        EXPECT_EQ(frame.bytes[8], 0xC0);
        EXPECT_EQ(frame.bytes[9], 0x01);
        EXPECT_TRUE(std::equal(code.begin(), code.begin() + n, frame.bytes.begin() + 10)) << n;
        uint8_t crc[2];
        Crc16(frame.data(), n + 10, crc);
        EXPECT_EQ(frame.bytes[n + 10], crc[0]) << n;
        EXPECT_EQ(frame.bytes[n + 11], crc[1]) << n;
    }
    EXPECT_EQ(BuildWriteFrame(448, code.data(), 500).size, FRAME_CAPACITY);
    EXPECT_EQ(BuildWriteFrame(448, code.data(), 501).size, 0U);
}

TEST(ReplyTest, ClassifiedByCountAlone) {
    const std::vector<std::pair<uint32_t, ReplyKind>> cases = {
        {0, ReplyKind::None},  {1, ReplyKind::Code},   {2, ReplyKind::Code},
        {3, ReplyKind::Code},  {4, ReplyKind::Code},   {5, ReplyKind::Code},
        {6, ReplyKind::Code},  {7, ReplyKind::Code},   {8, ReplyKind::Status},
        {9, ReplyKind::Code},  {18, ReplyKind::Code},  {19, ReplyKind::Version},
        {20, ReplyKind::Code}, {512, ReplyKind::Code},
    };
    for (const auto& [count, kind] : cases) {
        EXPECT_EQ(ClassifyReply(count), kind) << count;
    }
}

TEST(ReplyTest, StatusByteAtOffsetFive) {
    const uint8_t reply[8] = {0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0x04, 0xEE, 0xEE};
    EXPECT_EQ(StatusByte(reply, 8), 0x04);
    EXPECT_EQ(StatusByte(reply, 5), 0x00);
}

TEST(ReplyTest, CodeBytesSkipHeaderAndCrc) {
    uint8_t reply[512];
    for (uint32_t i = 0; i < 512; ++i) {
        reply[i] = static_cast<uint8_t>(i);
    }
    for (uint32_t n : {1U, 7U, 8U}) {
        EXPECT_EQ(CodeBytes(reply, n).size, 0U) << n;
    }
    const CodeSpan nine = CodeBytes(reply, 9);
    ASSERT_EQ(nine.size, 1U);
    EXPECT_EQ(nine.data[0], 6);
    const CodeSpan full = CodeBytes(reply, 512);
    ASSERT_EQ(full.size, 504U);
    EXPECT_EQ(full.data, reply + 6);
}

TEST(ReplyTest, VersionText) {
    struct Case {
        const char* name;
        std::string chars; // bytes 7 to 12
        uint32_t count;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {"intact", "V12345", 19, "V12.345"},
        {"zero in the second half",
         std::string("ABC1\0"
                     "3",
                     6),
         19, "ABC.1"},
        {"zero in the first half",
         std::string("A\0"
                     "C123",
                     6),
         19, "A"},
        {"zero first",
         std::string("\0"
                     "BC123",
                     6),
         19, ""},
        {"18 bytes", "V12345", 18, ""},
        {"20 bytes", "V12345", 20, ""},
    };
    for (const auto& c : cases) {
        uint8_t reply[32] = {};
        for (size_t i = 0; i < 6; ++i) {
            reply[7 + i] = static_cast<uint8_t>(c.chars[i]);
        }
        EXPECT_EQ(VersionText(reply, c.count), c.expected) << c.name;
    }
}

TEST(ReplyTest, LogTexts) {
    const uint8_t bytes[] = {0x00, 0x0A, 0xFF, 0x5B};
    EXPECT_EQ(HexGroups(bytes, 4), "00 0A FF 5B ");
    EXPECT_EQ(HexGroups(bytes, 0), "");

    EXPECT_STREQ(LearnStatusText(0), "Learn Ok!");
    EXPECT_STREQ(LearnStatusText(1), "Learn fail!");
    EXPECT_STREQ(LearnStatusText(2), "Carry wrong!");
    EXPECT_STREQ(LearnStatusText(3), "Learn fail!");
    EXPECT_STREQ(LearnStatusText(4), "Save fail!");
    EXPECT_STREQ(LearnStatusText(0xFF), "Learn fail!");
}

} // namespace
