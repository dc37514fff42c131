// The module's side of the protocol without a line: where a frame ends in
// the incoming bytes, which frames are valid, and the replies' layouts.

#include "CommandFrame.h"
#include "ExpectedBytes.h"
#include "ModuleFrames.h"
#include "Reply.h"

#include <gtest/gtest.h>

namespace {

TEST(ModuleFramesTest, FramesAreCutByLengthOrBySilence) {
    const Bytes read = FrameBytes(BuildReadFrame(300));
    const uint8_t code[3] = {1, 2, 3};
    const Bytes write = FrameBytes(BuildWriteFrame(3, code, 3));
    Bytes two = read;
    two.insert(two.end(), read.begin(), read.end());
    Bytes writeHalf(write.begin(), write.end() - 3);
    using std::chrono::microseconds;
    const microseconds none{0};
    const microseconds shortQuiet = WRITE_END_QUIET;
    const microseconds silence = FRAME_SILENCE;
    struct Case {
        const char* name;
        Bytes incoming;
        microseconds quiet;
        size_t size;
    };
    const Case cases[] = {
        {"nothing", {}, silence, 0},
        {"a read frame, whole", read, none, read.size()},
        {"a read frame, half", Bytes(read.begin(), read.begin() + 6), shortQuiet, 0},
        {"half, then silence", Bytes(read.begin(), read.begin() + 6), silence, 6},
        {"two frames: the first", two, none, read.size()},
        {"a write frame waits for a quiet line", write, shortQuiet - microseconds(1), 0},
        {"a write frame whose CRC holds, then quiet", write, shortQuiet, write.size()},
        {"part of a write frame waits for silence", writeHalf, shortQuiet, 0},
        {"part of a write frame after silence", writeHalf, silence, writeHalf.size()},
        {"noise longer than any request", Bytes(600, 0x55), none, 512},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(NextFrameSize(c.incoming, c.quiet), c.size) << c.name;
    }
}

TEST(ModuleFramesTest, ValidFramesAndReplyLayouts) {
    const uint8_t code[2] = {0xA1, 0xB2};
    for (const CommandFrame& frame :
         {BuildGetVersionFrame(), BuildReadFrame(1), BuildLearnFrame(105), BuildSendFrame(105, 2),
          BuildWriteFrame(3, code, 2), BuildWriteFrame(3, nullptr, 0)}) {
        Bytes bytes = FrameBytes(frame);
        EXPECT_TRUE(IsValidFrame(bytes));
        bytes.back() ^= 0x01;
        EXPECT_FALSE(IsValidFrame(bytes)) << "a wrong CRC";
    }
    Bytes cut = FrameBytes(BuildReadFrame(1));
    cut.pop_back();
    EXPECT_FALSE(IsValidFrame(cut));
    // The write frame's length byte tells no length: on another command it
    // makes no valid frame, whatever its CRC, as the cutting rule never
    // cuts one there.
    Bytes odd(FRAME_PREFIX.begin(), FRAME_PREFIX.end());
    odd.push_back(WRITE_LENGTH_BYTE);
    odd.push_back(CMD_READ);
    odd.resize(size_t{WRITE_LENGTH_BYTE} + FRAME_LENGTH_BYTE_EXTRA - CRC_SIZE, 0x41);
    EXPECT_FALSE(IsValidFrame(WithCrc(odd)));

    EXPECT_EQ(StatusReply(1).size(), STATUS_REPLY_SIZE);
    EXPECT_EQ(StatusByte(StatusReply(4).data(), STATUS_REPLY_SIZE), 4);
    const Bytes version = VersionReply("102003");
    ASSERT_EQ(version.size(), VERSION_REPLY_SIZE);
    EXPECT_EQ(VersionText(version.data(), VERSION_REPLY_SIZE), "102.003");
    EXPECT_EQ(VersionText(VersionReply("12").data(), VERSION_REPLY_SIZE), "12");
    const Bytes reply = CodeReply({0x12, 0xAB});
    const CodeSpan span = CodeBytes(reply.data(), static_cast<uint32_t>(reply.size()));
    EXPECT_EQ(Bytes(span.data, span.data + span.size), (Bytes{0x12, 0xAB}));
}

} // namespace
