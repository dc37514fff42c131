// The commands without a port: a dry run of an import, the comparison of
// two database files, and a file shown as a table.

#include "CliFixture.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace {

using CliFileCommands = CliTest;

TEST_F(CliFileCommands, DryRunNamesEveryLineThatWouldNotBeWrittenAndWhy) {
    const std::string path = Path("edited.txt");
    WriteFileBytes(path, "0001,A1B2\r" // fine
                         "12,AB\r"     // no comma at index 4
                         "\r"          // empty
                         "0005," +
                             std::string(2 * 501, 'A') +
                             "\r"             // more than 500 bytes
                             "0006,A1G2C3\r"  // G at column 8
                             "0007,A1 B2 C\r" // a lone last digit
                             "0008,A1B 2\r"   // a space inside a byte
                             "0009,a1 b2\r"   // lower case and spaces are fine
                             "0000,AA\r"      // no slot 0
                             "0449,AA\r"      // nor 449
                             "-001,AA\r"      // nor a negative one
                             "0001,C3\r");    // slot 1 again
    const CliResult r = RunInProcess({"import", "--dry-run", path});
    EXPECT_EQ(r.exit, 1);
    EXPECT_EQ(r.out,
              "line 1: slot 1, 2 bytes: ok\n"
              "line 2: File format wrong (no comma behind a four-character key index)\n"
              "line 3: File format wrong (the line is empty)\n"
              "line 4: File format wrong (the code is longer than 500 bytes at column 1006)\n"
              "line 5: File format wrong ('G' is not a hexadecimal digit at column 8)\n"
              "line 6: File format wrong (an odd number of hexadecimal digits at column 12)\n"
              "line 7: File format wrong (a space inside a byte at column 9)\n"
              "line 8: slot 9, 2 bytes: ok\n"
              "line 9: File format wrong (the key index 0000 names no slot (slots are 1 to 448) "
              "at column 1)\n"
              "line 10: File format wrong (the key index 0449 names no slot (slots are 1 to "
              "448) at column 1)\n"
              "line 11: File format wrong (the key index holds '-', not only decimal digits at "
              "column 1)\n"
              "line 12 names slot 1 again, after line 1\n"
              "line 12: slot 1, 1 byte: ok\n"
              "Dry run: 12 lines, 3 ok, 9 File format wrong (would be skipped)\n");

    const auto json =
        nlohmann::json::parse(RunInProcess({"--json", "import", "--dry-run", path}).out);
    EXPECT_EQ(json["ok"], false);
    EXPECT_EQ(json["exit"], 1);
    EXPECT_EQ(json["lines_ok"], 3);
    EXPECT_EQ(json["lines_malformed"], 9);
    EXPECT_EQ(json["lines_duplicate"], 1);
    EXPECT_EQ(json["lines"][4]["column"], 8);
    EXPECT_EQ(json["lines"][4]["result"], "File format wrong");
    EXPECT_EQ(json["lines"][4]["reason"], "'G' is not a hexadecimal digit");
    EXPECT_EQ(json["lines"][11]["duplicate_of"], 1);
    EXPECT_FALSE(json.contains("port"));

    WriteFileBytes(path, "0001,A1B2\r\n0002,\r\n");
    const CliResult clean = RunInProcess({"import", "--dry-run", path});
    EXPECT_EQ(clean.exit, 0);
    EXPECT_EQ(clean.out, "line 1: slot 1, 2 bytes: ok\nline 2: slot 2, 0 bytes: ok\n"
                         "Dry run: 2 lines, 2 ok\n");
    EXPECT_EQ(
        nlohmann::json::parse(RunInProcess({"--json", "import", "--dry-run", path}).out)["ok"],
        true);

    const CliResult missing = RunInProcess({"import", "--dry-run", Path("none.txt")});
    EXPECT_EQ(missing.exit, 2);
    EXPECT_NE(missing.err.find("cannot read"), std::string::npos);
}

TEST_F(CliFileCommands, DiffComparesSlotBySlotWhateverTheLineEnds) {
    const std::string a = "0001,AA\n0002,BBBB\n0004,CC\n0005,\n";
    const std::string b = "0002,BBBC\r0003,DD\r0004,CC\r";
    for (const char* ends : {"LF", "CR LF", "CR"}) {
        SCOPED_TRACE(ends);
        auto convert = [&](std::string text) {
            std::string converted;
            for (char c : text) {
                if (c == '\n' || c == '\r') {
                    converted += ends == std::string("LF")   ? "\n"
                                 : ends == std::string("CR") ? "\r"
                                                             : "\r\n";
                } else {
                    converted += c;
                }
            }
            return converted;
        };
        WriteFileBytes(Path("a.txt"), convert(a));
        WriteFileBytes(Path("b.txt"), convert(b));
        const CliResult r = RunInProcess({"diff", Path("a.txt"), Path("b.txt")});
        EXPECT_EQ(r.exit, 1);
        EXPECT_EQ(r.out, "only in A: slot 1 (1 byte)\n"
                         "different: slot 2 (A 2 bytes, B 2 bytes)\n"
                         "only in B: slot 3 (1 byte)\n"
                         "3 differences: 1 only in A, 1 only in B, 1 different\n");
    }
    // The same slots in another order and with other line ends: no difference.
    WriteFileBytes(Path("a.txt"), "0002,BBBB\r\n0001,aa\r\n");
    WriteFileBytes(Path("b.txt"), "0001,AA\r0002,BB BB");
    CliResult r = RunInProcess({"--json", "diff", Path("a.txt"), Path("b.txt")});
    EXPECT_EQ(r.exit, 0);
    const auto json = nlohmann::json::parse(r.out);
    EXPECT_EQ(json["ok"], true);
    EXPECT_TRUE(json["only_in_a"].empty());
    EXPECT_TRUE(json["different"].empty());

    r = RunInProcess({"diff", Path("a.txt"), Path("missing.txt")});
    EXPECT_EQ(r.exit, 2);
    EXPECT_NE(r.err.find("missing.txt"), std::string::npos);
}

TEST_F(CliFileCommands, ShowPrintsAFileAsATableWithLineFeeds) {
    const std::string path = Path("backup.txt");
    WriteFileBytes(path, "0001,A1B2\r\n0105,00112233445566778899\r\n12,AB\r\n0401,FF\r\n");
    const CliResult r = RunInProcess({"show", path});
    EXPECT_EQ(r.exit, 1);
    EXPECT_EQ(r.out, " slot  ch/key  bytes  code\n"
                     "    1     1/1      2  A1B2\n"
                     "  105     2/5     10  0011223344556677...\n"
                     "line 3: File format wrong (no comma behind a four-character key index)\n"
                     "  401       -      1  FF\n");
    const auto json = nlohmann::json::parse(RunInProcess({"--json", "show", path}).out);
    EXPECT_EQ(json["slots"].size(), 3u);
    EXPECT_EQ(json["slots"][1]["channel_key"], "2/5");
    EXPECT_EQ(json["slots"][1]["code_start"], "0011223344556677");
    EXPECT_EQ(json["malformed"][0]["line"], 3);
    EXPECT_EQ(json["lines_malformed"], 1);

    WriteFileBytes(path, "0448,\r\n");
    const CliResult clean = RunInProcess({"show", path});
    EXPECT_EQ(clean.exit, 0);
    EXPECT_EQ(clean.out, " slot  ch/key  bytes  code\n  448       -      0  \n");
    EXPECT_EQ(RunInProcess({"show", Path("none.txt")}).exit, 2);
}

} // namespace
