// Replies checked where the module allows it: damaged replies repeated, kinds
// without a CRC taken unchecked and said so, refused acknowledgements, and a
// learn that ends while the line keeps bringing bytes.

#include "CliFixture.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace {

using namespace std::chrono_literals;

class CliCheckedReplies : public CliSeededModuleTest {
protected:
    // An export of the module with these faults: the file it wrote.
    std::string ExportWith(const SimFaults& faults, std::vector<std::string> options,
                           CliResult& r) {
        module->SetFaults(faults);
        const std::string path = Path("backup.txt");
        options.insert(options.begin(), {"-p", "COM9", "export", path});
        r = RunInProcess(options);
        return ReadFileBytes(path);
    }
};

TEST_F(CliCheckedReplies, OneDamagedReplyInTwentyStillGivesAByteExactExport) {
    SimFaults damaging;
    damaging.damageEvery = 20;
    CliResult r;
    EXPECT_EQ(ExportWith(damaging, {}, r), expected);
    EXPECT_EQ(r.exit, 0) << r.err;
    // 448 reads and their repeats: about one reply in twenty was damaged.
    // A diagnosis, on standard error.
    const size_t at = r.err.find(" exchanges repeated for a damaged reply\n");
    ASSERT_NE(at, std::string::npos) << r.err;
    const size_t start = r.err.rfind('\n', at);
    const int repeats = std::stoi(r.err.substr(start == std::string::npos ? 0 : start + 1));
    EXPECT_GE(repeats, 20);
    EXPECT_LE(repeats, 30);
    EXPECT_EQ(r.err.find("unchecked"), std::string::npos) << r.err;
}

TEST_F(CliCheckedReplies, KindsWithoutACrcAreTakenUncheckedAndSaidSo) {
    // Status and version replies without a CRC: the code replies are checked.
    SimFaults someKinds;
    someKinds.noCrcKinds = {ReplyKind::Status, ReplyKind::Version};
    someKinds.damageEvery = 25;
    CliResult r;
    EXPECT_EQ(ExportWith(someKinds, {"--json"}, r), expected);
    EXPECT_EQ(r.exit, 0) << r.err;
    const auto json = nlohmann::json::parse(r.out);
    EXPECT_EQ(json["unchecked_replies"], nlohmann::json::array({"status"}));
    EXPECT_GT(json["repeats"], 0); // damaged code replies were caught

    // No CRC at all: anything that answers could have been read as codes, so
    // the backup that stands is kept unless unchecked replies are accepted;
    // then they are taken unchecked, as the window takes them.
    SimFaults none;
    none.noCrcKinds = {ReplyKind::Status, ReplyKind::Version, ReplyKind::Code};
    WriteFileBytes(Path("backup.txt"), "0001,AA\r");
    EXPECT_EQ(ExportWith(none, {}, r), "0001,AA\r");
    EXPECT_EQ(r.exit, 1);
    ExpectContains(r.err, {"its code replies were never checked by a valid CRC"});
    EXPECT_EQ(ReadFileBytes(Path("backup.txt.partial")), expected);
    EXPECT_EQ(ExportWith(none, {"--accept-unchecked"}, r), expected);
    EXPECT_EQ(r.exit, 0) << r.err;
    // Diagnoses, on standard error.
    EXPECT_NE(r.err.find("status replies unchecked: no valid CRC seen\n"), std::string::npos);
    EXPECT_NE(r.err.find("code replies unchecked: no valid CRC seen\n"), std::string::npos);
    EXPECT_EQ(r.err.find("repeated"), std::string::npos) << r.err;
    EXPECT_EQ(r.out.find("unchecked"), std::string::npos) << r.out;
    const CliResult version = RunInProcess({"-p", "COM9", "--fixed-timing", "version"});
    EXPECT_EQ(version.out, "102.003\n");
    EXPECT_EQ(version.err, "version replies unchecked: no valid CRC seen\n");
}

TEST_F(CliCheckedReplies, AnAcknowledgementWithAStatusIsARefusal) {
    SimFaults refusing;
    refusing.ackStatus = 1;
    module->SetFaults(refusing);
    const std::string path = Path("lines.txt");
    WriteFileBytes(path, "0002,AABB\r0005,CC\r");
    CliResult r = RunInProcess({"-p", "COM9", "import", path});
    EXPECT_EQ(r.exit, 1);
    EXPECT_NE(r.out.find("line 1: slot 2, 2 bytes: refused (status 1)\n"), std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("2 refused"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("written\n"), std::string::npos) << r.out;

    r = RunInProcess({"--json", "-p", "COM9", "import", path});
    const auto json = nlohmann::json::parse(r.out);
    EXPECT_EQ(json["lines_refused"], 2);
    EXPECT_EQ(json["lines_written"], 0);
    EXPECT_EQ(json["lines"][0]["result"], "refused");
    EXPECT_EQ(json["lines"][0]["status"], 1);
}

TEST_F(CliCheckedReplies, ALearnEndsWhileTheLineKeepsBringingBytes) {
    SimFaults flood;
    flood.floodLearn = true;
    module->SetFaults(flood);
    const auto start = std::chrono::steady_clock::now();
    const CliResult r = RunInProcess({"-p", "COM9", "learn", "1", "1"});
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(r.err, "Learn timeout!\n");
    EXPECT_EQ(r.exit, 1); // the module did send bytes
    EXPECT_LT(took, 4s);
}

} // namespace
