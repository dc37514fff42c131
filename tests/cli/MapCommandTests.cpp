// map: the picture of a file and of the simulated module, compared with a
// file and named by a remote map; its JSON, its columns and its colours.

#include "CliFixture.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace {

using CliMap = CliTest;

const std::string RULERS_TOP = "  1          11         21         31         41\n";
const std::string RULERS_BOTTOM = "           51         61         71         81         91\n";
const std::string EMPTY_ROW =
    "           \u00B7\u00B7\u00B7\u00B7\u00B7\u00B7\u00B7\u00B7\u00B7\u00B7 "
    "\u00B7\u00B7\u00B7\u00B7\u00B7\u00B7\u00B7\u00B7\u00B7\u00B7 "
    "\u00B7\u00B7\u00B7\u00B7\u00B7\u00B7\u00B7\u00B7\u00B7\u00B7 "
    "\u00B7\u00B7\u00B7\u00B7\u00B7\u00B7\u00B7\u00B7\u00B7\u00B7 "
    "\u00B7\u00B7\u00B7\u00B7\u00B7\u00B7\u00B7\u00B7\u00B7\u00B7\n";

std::string EmptyChannel(int channel) {
    return "channel " + std::to_string(channel) + RULERS_TOP + EMPTY_ROW + EMPTY_ROW +
           RULERS_BOTTOM + "\n";
}

// Display columns of a line: one a UTF-8 character.
size_t Columns(const std::string& line) {
    return static_cast<size_t>(std::count_if(line.begin(), line.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    }));
}

void ExpectWithinEightyColumns(const std::string& out) {
    for (const std::string& line : OutputLines(out)) {
        EXPECT_LE(Columns(line), 80U) << line;
    }
}

TEST_F(CliMap, AFileIsDrawnWithinEightyColumnsWithoutColourOffATerminal) {
    const std::string path = Path("small.txt");
    WriteFileBytes(path, "0001,11223344\r0002,00112233445566778899\r0105," + std::string(600, 'A') +
                             "\r0401,AABB\r0448,01\r");
    const CliResult r = RunInProcess({"map", path});
    EXPECT_EQ(r.exit, 0) << r.err;
    const std::string dots9 = "\u00B7\u00B7\u00B7\u00B7\u00B7\u00B7\u00B7\u00B7\u00B7";
    const std::string dots10 = dots9 + "\u00B7";
    EXPECT_EQ(r.out,
              "channel 1" + RULERS_TOP + "           \u2581\u2583" + dots10.substr(2 * 2) + " " +
                  dots10 + " " + dots10 + " " + dots10 + " " + dots10 + "\n" + EMPTY_ROW +
                  RULERS_BOTTOM + "\n" + "channel 2" + RULERS_TOP +
                  "           \u00B7\u00B7\u00B7\u00B7\u2588\u00B7\u00B7\u00B7\u00B7\u00B7 " +
                  dots10 + " " + dots10 + " " + dots10 + " " + dots10 + "\n" + EMPTY_ROW +
                  RULERS_BOTTOM + "\n" + EmptyChannel(3) + EmptyChannel(4) +
                  "slots      401        411        421        431        441\n"
                  "           \u2581" +
                  dots9 + " " + dots10 + " " + dots10 + " " + dots10 + " " + dots9.substr(2 * 2) +
                  "\u2581\n\n"
                  "\u00B7 empty 443   \u2581\u2582\u2583\u2584\u2585\u2586\u2587\u2588 code 5\n"
                  "a code's height: \u2581 up to 4 bytes, each step up twice as long, \u2588 "
                  "over 256 bytes\n");
    ExpectWithinEightyColumns(r.out);

    // The program itself, its output on a pipe: no colour unless asked for.
    const CliResult piped = RunProgram({"map", path});
    EXPECT_EQ(piped.out, r.out);
    const CliResult coloured = RunProgram({"map", "--color", "always", path});
    EXPECT_NE(coloured.out.find("\x1b[36m\u2581\u2583\x1b[0m"), std::string::npos);
    EXPECT_EQ(RunInProcess({"map", "--color", "blue", path}).exit, 2);
}

TEST_F(CliMap, AFileComparedWithAnotherListsTheNamesThatDifferOrAreMissing) {
    const std::string a = Path("a.txt"), b = Path("b.txt"), map = Path("tv.map");
    WriteFileBytes(a, "0001,11\r0002,22\r0004,44\r0401,AA\r");
    WriteFileBytes(b, "0001,11\r0002,2222\r0003,33\r");
    std::string names = "1/1 POWER\n1/2 VOLUME_UP\n1/3 VOLUME_DOWN\n401 AUX\n";
    for (int key = 10; key < 30; ++key) { // missing, with long names: the list wraps
        names +=
            "2/" + std::to_string(key) + " A_RATHER_LONG_NAME_OF_KEY_" + std::to_string(key) + "\n";
    }
    WriteFileBytes(map, names);
    const CliResult r = RunInProcess({"map", a, "--against", b, "--map", map});
    EXPECT_EQ(r.exit, 1);
    ExpectContains(r.out, {"           =\u2260-+\u00B7", "\n           +\u00B7\u00B7",
                           "\u00B7 empty 443   = same 1   \u2260 differs 1   + only in a.txt 2"
                           "   - only in b.txt 1\n",
                           "differs: VOLUME_UP (1/2)\n", "only in b.txt: VOLUME_DOWN (1/3)\n",
                           "only in a.txt: AUX (slot 401)\n",
                           "empty: A_RATHER_LONG_NAME_OF_KEY_10 (2/10), "});
    ExpectWithinEightyColumns(r.out);

    const auto json =
        nlohmann::json::parse(RunInProcess({"--json", "map", a, "--against", b, "--map", map}).out);
    EXPECT_EQ(json["exit"], 1);
    ASSERT_EQ(json["slots"].size(), 448U);
    EXPECT_EQ(json["slots"][0], nlohmann::json::parse(R"({"slot": 1, "channel": 1, "key": 1,
        "state": "same", "bytes": 1, "name": "POWER"})"));
    EXPECT_EQ(json["slots"][1]["state"], "differs");
    EXPECT_EQ(json["slots"][2]["state"], "only_in_file");
    EXPECT_EQ(json["slots"][3]["state"], "only_on_module");
    EXPECT_EQ(json["slots"][4]["state"], "empty");
    EXPECT_FALSE(json["slots"][4].contains("name"));
    EXPECT_EQ(json["slots"][400], nlohmann::json::parse(R"({"slot": 401, "channel": null,
        "key": null, "state": "only_on_module", "bytes": 1, "name": "AUX"})"));
    EXPECT_EQ(json["counts"]["empty"], 443);

    EXPECT_EQ(RunInProcess({"map", a, "--against", a}).exit, 0);
}

using CliMapModule = CliModuleTest;

TEST_F(CliMapModule, TheModuleAgainstItsBackup) {
    ASSERT_TRUE(module->SetSlot(1, {0x11}));
    ASSERT_TRUE(module->SetSlot(2, {0x22}));
    ASSERT_TRUE(module->SetSlot(448, {0x48}));
    const std::string backup = Path("backup.txt");
    WriteFileBytes(backup, "0001,11\r0002,2200\r0003,33\r");
    const CliResult r = RunInProcess({"--json", "-p", "COM9", "map", "--against", backup});
    EXPECT_EQ(r.exit, 1) << r.err;
    const auto json = nlohmann::json::parse(r.out);
    EXPECT_EQ(json["counts"], nlohmann::json::parse(R"({"empty": 444, "same": 1, "differs": 1,
        "only_on_module": 1, "only_in_file": 1})"));
    EXPECT_EQ(json["slots"][1]["bytes"], 1);
    EXPECT_EQ(json["slots"][2]["bytes"], 1);
    EXPECT_EQ(json["slots"][447]["state"], "only_on_module");

    // The module or a file, never both.
    EXPECT_EQ(RunInProcess({"-p", "COM9", "map", backup}).exit, 2);
}

} // namespace
