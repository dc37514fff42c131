#include "DatabaseFormat.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

// A reply of n bytes: a recognisable header, the code, two CRC bytes.
Bytes MakeReply(const Bytes& code) {
    Bytes reply(code.size() + 8);
    for (size_t i = 0; i < 6; ++i) {
        reply[i] = static_cast<uint8_t>(0xA0 + i);
    }
    for (size_t i = 0; i < code.size(); ++i) {
        reply[6 + i] = code[i];
    }
    reply[code.size() + 6] = 0xC1;
    reply[code.size() + 7] = 0xC2;
    return reply;
}

TEST(FormatDatabaseLineTest, Layouts) {
    const Bytes twelve = MakeReply({0x12, 0xAB, 0x34, 0xCD});
    EXPECT_EQ(FormatDatabaseLine(7, twelve.data(), 12), "0007,12AB34CD\r");

    const Bytes nine = MakeReply({0x0F});
    EXPECT_EQ(FormatDatabaseLine(3, nine.data(), 9), "0003,0F\r");

    const Bytes shortReply = {0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77};
    for (uint32_t n = 1; n <= 7; ++n) {
        EXPECT_EQ(FormatDatabaseLine(5, shortReply.data(), n), "0005,\r") << n;
    }
    EXPECT_EQ(FormatDatabaseLine(448, nine.data(), 9), "0448,0F\r");
}

TEST(SplitDatabaseTextTest, LineEnds) {
    using Lines = std::vector<std::string>;
    struct Case {
        const char* name;
        std::string text;
        Lines expected;
    };
    const std::vector<Case> cases = {
        {"empty file", "", {}},
        {"export layout", "0001,0A0B\r0002,\r", {"0001,0A0B", "0002,"}},
        {"two CRs", "0001,AA\r\r0002,BB\r", {"0001,AA", "", "0002,BB"}},
        {"final piece without CR", "0001,AA\r0002,BB", {"0001,AA", "0002,BB"}},
        {"only a piece", "0003,CC", {"0003,CC"}},
        {"LF ends", "0001,AA\n0002,BB\n", {"0001,AA", "0002,BB"}},
        {"CR LF ends", "0001,AA\r\n0002,BB\r\n", {"0001,AA", "0002,BB"}},
        {"leading empty lines", "\n\r\n0001,AA\r", {"", "", "0001,AA"}},
        {"LF CR is two ends", "0001,AA\n\r0002,BB", {"0001,AA", "", "0002,BB"}},
        {"lone CR", "\r", {""}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(SplitDatabaseText(c.text), c.expected) << c.name;
    }
}

TEST(SplitDatabaseTextTest, EmptyLinesAreMalformedWhateverEndedThem) {
    for (const std::string text : {"\r\r", "\n\n", "\r\n\r\n", "0001,AA\r\r\n"}) {
        const auto lines = SplitDatabaseText(text);
        bool sawEmpty = false;
        for (const auto& line : lines) {
            if (line.empty()) {
                sawEmpty = true;
                EXPECT_FALSE(ParseDatabaseLine(line).has_value());
            }
        }
        EXPECT_TRUE(sawEmpty) << text.size();
    }
}

TEST(ParseDatabaseLineTest, Lines) {
    struct Case {
        const char* line;
        bool wellFormed;
        uint16_t keyIndex;
        Bytes code;
    };
    const std::vector<Case> cases = {
        {"0012,ab cd", true, 12, {0xAB, 0xCD}},
        {"0012,AB CD", true, 12, {0xAB, 0xCD}},
        {"0012,ABCD", true, 12, {0xAB, 0xCD}},
        {"0012, AB  CD ", true, 12, {0xAB, 0xCD}},
        {"0012,", true, 12, {}},
        {"0012,   ", true, 12, {}},
        {"0007,12AB34CD", true, 7, {0x12, 0xAB, 0x34, 0xCD}},
        {"0001,00", true, 1, {0x00}},
        {"0448,0a0b", true, 448, {0x0A, 0x0B}},
        {"12,AB", false, 0, {}},
        {"00012,AB", false, 0, {}},
        {"0012", false, 0, {}},
        {"001,2AB", false, 0, {}},
        {"", false, 0, {}},
    };
    for (const auto& c : cases) {
        const auto parsed = ParseDatabaseLine(c.line);
        ASSERT_EQ(parsed.has_value(), c.wellFormed) << c.line;
        if (parsed) {
            EXPECT_EQ(parsed->keyIndex, c.keyIndex) << c.line;
            EXPECT_EQ(parsed->code, c.code) << c.line;
        }
    }
}

// Lines that would write something the file never meant into a module:
// a slot that does not exist or wraps around, or a code cut short.
TEST(ParseDatabaseLineTest, LinesThatCouldCorruptAModuleAreMalformed) {
    struct Case {
        std::string line;
        std::string reason;
        size_t column;
    };
    const Case cases[] = {
        {"0000,AB", "the key index 0000 names no slot (slots are 1 to 448)", 1},
        {"0449,AB", "the key index 0449 names no slot (slots are 1 to 448)", 1},
        {"9999,AB", "the key index 9999 names no slot (slots are 1 to 448)", 1},
        {"-001,AB", "the key index holds '-', not only decimal digits", 1},
        {"00A1,FF", "the key index holds 'A', not only decimal digits", 3},
        {"    ,", "the key index holds ' ', not only decimal digits", 1},
        {std::string("001\xFF,00"), "the key index holds byte FF, not only decimal digits", 4},
        {"0020,zz", "'z' is not a hexadecimal digit", 6},
        {"0012,ABXYCD", "'X' is not a hexadecimal digit", 8},
        {"0012,AB\tCD", "byte 09 is not a hexadecimal digit", 8},
        {"0448,0a,0b", "',' is not a hexadecimal digit", 8},
        {"0012,ABC", "an odd number of hexadecimal digits", 8},
        {"0012,A", "an odd number of hexadecimal digits", 6},
        {"0012,A B", "a space inside a byte", 7},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        const CheckedLine checked = CheckDatabaseLine(c.line);
        EXPECT_FALSE(checked.parsed.has_value());
        EXPECT_EQ(checked.fault.reason, c.reason);
        EXPECT_EQ(checked.fault.column, c.column);
        std::string reason;
        EXPECT_FALSE(ParseDatabaseLine(c.line, MAX_WRITE_CODE_BYTES, &reason).has_value());
        EXPECT_EQ(reason, c.reason);
    }
    EXPECT_EQ(LineFaultText(CheckDatabaseLine("0012,ABC").fault),
              "File format wrong (an odd number of hexadecimal digits at column 8)");
    EXPECT_EQ(LineFaultText(CheckDatabaseLine("").fault), "File format wrong (the line is empty)");
}

TEST(ParseDatabaseLineTest, EveryKeyIndexFromOneTo448IsASlot) {
    for (int slot = 0; slot <= 10000; ++slot) {
        char head[8];
        std::snprintf(head, sizeof head, "%04d,", slot);
        const auto parsed = ParseDatabaseLine(head);
        ASSERT_EQ(parsed.has_value(), slot >= 1 && slot <= 448) << slot;
        if (parsed) {
            EXPECT_EQ(parsed->keyIndex, slot);
        }
    }
}

TEST(ParseDatabaseLineTest, CodeLengthLimit) {
    for (uint32_t n : {499U, 500U, 501U, 504U, 600U}) {
        std::string line = "0001,";
        for (uint32_t i = 0; i < n; ++i) {
            line += "5A";
        }
        const auto parsed = ParseDatabaseLine(line);
        if (n <= MAX_WRITE_CODE_BYTES) {
            ASSERT_TRUE(parsed.has_value()) << n;
            EXPECT_EQ(parsed->code, Bytes(n, 0x5A)) << n;
        } else {
            EXPECT_FALSE(parsed.has_value()) << n;
        }
    }

    // A module holds up to 504 bytes, as an export writes them; a reader for
    // a module asks for that limit and is told why a line is refused.
    const std::string line504 = "0001," + std::string(2 * 504, 'B');
    std::string reason;
    ASSERT_TRUE(ParseDatabaseLine(line504, MAX_READ_CODE_BYTES, &reason).has_value());
    EXPECT_EQ(ParseDatabaseLine(line504, MAX_READ_CODE_BYTES)->code.size(), 504u);
    EXPECT_FALSE(ParseDatabaseLine(line504 + "BB", MAX_READ_CODE_BYTES, &reason));
    EXPECT_EQ(reason, "the code is longer than 504 bytes");
    EXPECT_FALSE(ParseDatabaseLine(line504, MAX_WRITE_CODE_BYTES, &reason));
    EXPECT_EQ(reason, "the code is longer than 500 bytes");
    EXPECT_FALSE(ParseDatabaseLine("12,AB", MAX_WRITE_CODE_BYTES, &reason));
    EXPECT_EQ(reason, "no comma behind a four-character key index");
    EXPECT_FALSE(ParseDatabaseLine("", MAX_WRITE_CODE_BYTES, &reason));
    EXPECT_EQ(reason, "the line is empty");
}

TEST(HexTextToBytesTest, CapacityAndDigits) {
    uint8_t out[4] = {};
    EXPECT_EQ(HexTextToBytes("0102030405", out, 2), 2U);
    EXPECT_EQ(out[0], 0x01);
    EXPECT_EQ(out[1], 0x02);
    EXPECT_EQ(out[2], 0x00);
    EXPECT_EQ(HexTextToBytes("", out, 4), 0U);
    EXPECT_EQ(HexTextToBytes("   ", out, 4), 0U);
    EXPECT_EQ(HexTextToBytes("1", out, 4), 0U);
    // It stops at the first stray character; the line's check refuses such
    // a line before it is ever used.
    EXPECT_EQ(HexTextToBytes("AB XY", out, 4), 1U);

    for (int c = 0; c < 256; ++c) {
        const char ch = static_cast<char>(c);
        uint8_t expected = 16;
        if (c >= '0' && c <= '9') {
            expected = static_cast<uint8_t>(c - '0');
        } else if (c >= 'A' && c <= 'F') {
            expected = static_cast<uint8_t>(c - 'A' + 10);
        } else if (c >= 'a' && c <= 'f') {
            expected = static_cast<uint8_t>(c - 'a' + 10);
        }
        EXPECT_EQ(HexDigitValue(ch), expected) << c;
    }
}

TEST(DatabaseRoundTripTest, AllSlotsReadBack) {
    std::string text;
    std::vector<Bytes> codes;
    for (int slot = 1; slot <= 448; ++slot) {
        const uint32_t n = static_cast<uint32_t>((slot * 37) % 501); // 0 to 500 bytes
        Bytes code(n);
        for (uint32_t i = 0; i < n; ++i) {
            code[i] = static_cast<uint8_t>(slot * 31 + i * 13);
        }
        const Bytes reply = MakeReply(code);
        const uint32_t size = static_cast<uint32_t>(reply.size());
        // An 8-byte reply is an empty slot and never formatted; use a short one.
        const std::string line = size == 8 ? FormatDatabaseLine(slot, reply.data(), 7)
                                           : FormatDatabaseLine(slot, reply.data(), size);
        text += line;
        codes.push_back(code);
    }
    EXPECT_EQ(text.find('\n'), std::string::npos);
    const auto lines = SplitDatabaseText(text);
    ASSERT_EQ(lines.size(), 448U);
    for (int slot = 1; slot <= 448; ++slot) {
        const auto parsed = ParseDatabaseLine(lines[slot - 1]);
        ASSERT_TRUE(parsed.has_value()) << slot;
        EXPECT_EQ(parsed->keyIndex, slot);
        EXPECT_EQ(parsed->code, codes[slot - 1]) << slot;
    }
}

TEST(DatabaseRoundTripTest, CodesBeyondTheWriteFrameAreRefused) {
    // A 512-byte read brings up to 504 code bytes; the import can carry 500.
    for (uint32_t n = 0; n <= 504; ++n) {
        const Bytes code(n, static_cast<uint8_t>(n));
        const Bytes reply = MakeReply(code);
        if (reply.size() == 8) {
            continue;
        }
        const std::string line =
            FormatDatabaseLine(1, reply.data(), static_cast<uint32_t>(reply.size()));
        const auto lines = SplitDatabaseText(line);
        ASSERT_EQ(lines.size(), 1U) << n;
        const auto parsed = ParseDatabaseLine(lines[0]);
        if (n <= 500) {
            ASSERT_TRUE(parsed.has_value()) << n;
            EXPECT_EQ(parsed->code, code) << n;
        } else {
            EXPECT_FALSE(parsed.has_value()) << n;
        }
    }
}

TEST(ReadDatabaseFileTest, ReadsBytesUnchanged) {
    char dir[] = "/tmp/lumaret-db-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string path = std::string(dir) + "/keys.txt";
    {
        std::ofstream out(path, std::ios::binary);
        out << "0001,0A0B\r0002,\r\n0003,FF";
    }
    const auto file = ReadDatabaseFile(path);
    ASSERT_TRUE(file.ok);
    EXPECT_EQ(file.lines, (std::vector<std::string>{"0001,0A0B", "0002,", "0003,FF"}));
    EXPECT_FALSE(ReadDatabaseFile(std::string(dir) + "/missing.txt").ok);
    std::remove(path.c_str());
    rmdir(dir);
}

} // namespace
