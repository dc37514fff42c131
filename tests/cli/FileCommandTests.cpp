// The commands without a port: a dry run of an import and the comparison
// of two database files.

#include "CliTestSupport.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace {

class CliFileCommands : public ::testing::Test {
protected:
    std::string Path(const std::string& name) { return (runtime.Path() / name).string(); }
    PrivateRuntimeDir runtime;
};

TEST_F(CliFileCommands, DryRunReportsMalformedLinesAndCodesThatStopEarly) {
    const std::string path = Path("edited.txt");
    WriteFileBytes(path, "0001,A1B2\r" // fine
                         "12,AB\r"     // no comma at index 4
                         "\r"          // empty
                         "0005," +
                             std::string(2 * 501, 'A') +
                             "\r"             // more than 500 bytes
                             "0006,A1G2C3\r"  // G at column 8: only A1 is written
                             "0007,A1 B2 C\r" // a lone last digit
                             "0008,A1B 2\r"   // a space inside a byte
                             "0009,a1 b2\r"); // lower case and spaces are fine
    const CliResult r = RunInProcess({"import", "--dry-run", path});
    EXPECT_EQ(r.exit, 1);
    EXPECT_EQ(r.out,
              "line 1: slot 1, 2 bytes: ok\n"
              "line 2: File format wrong (no comma behind a four-character key index)\n"
              "line 3: File format wrong (the line is empty)\n"
              "line 4: File format wrong (the code is longer than 500 bytes)\n"
              "line 5: slot 6, 1 byte: the code stops at column 8 ('G'): only the 1 byte "
              "before it is written\n"
              "line 6: slot 7, 2 bytes: the lone digit at column 12 is dropped\n"
              "line 7: slot 8, 1 byte: the code stops at column 9 (a space inside a byte): only "
              "the 1 byte before it is written\n"
              "line 8: slot 9, 2 bytes: ok\n"
              "Dry run: 8 lines, 2 ok, 3 File format wrong (would be skipped), 3 with a code cut "
              "short\n");

    const auto json =
        nlohmann::json::parse(RunInProcess({"--json", "import", "--dry-run", path}).out);
    EXPECT_EQ(json["exit"], 1);
    EXPECT_EQ(json["malformed"], 3);
    EXPECT_EQ(json["lines"][4]["column"], 8);
    EXPECT_EQ(json["lines"][4]["result"], "stops early");
    EXPECT_FALSE(json.contains("port"));

    WriteFileBytes(path, "0001,A1B2\r\n0002,\r\n");
    const CliResult clean = RunInProcess({"import", "--dry-run", path});
    EXPECT_EQ(clean.exit, 0);
    EXPECT_EQ(clean.out, "line 1: slot 1, 2 bytes: ok\nline 2: slot 2, 0 bytes: ok\n"
                         "Dry run: 2 lines, 2 ok\n");

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
    EXPECT_TRUE(json["onlyInA"].empty());
    EXPECT_TRUE(json["different"].empty());

    r = RunInProcess({"diff", Path("a.txt"), Path("missing.txt")});
    EXPECT_EQ(r.exit, 2);
    EXPECT_NE(r.err.find("missing.txt"), std::string::npos);
}

} // namespace
