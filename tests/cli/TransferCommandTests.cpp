// Export, import, verify and clone against simulated modules, on the short
// timing: the files written, the reports and the exit statuses. What each job
// puts on the line is the job tests' own.

#include "CliFixture.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <sys/stat.h>
#include <unistd.h>

#include <map>

namespace {

class CliTransfers : public CliModuleTest {
protected:
    void Fill(SimulatedModule& m, const std::map<uint16_t, Bytes>& codes) {
        for (const auto& [slot, code] : codes) {
            ASSERT_TRUE(m.SetSlot(slot, code));
        }
    }
    static std::string Lines(const std::map<uint16_t, Bytes>& codes) {
        std::string text;
        for (const auto& [slot, code] : codes) {
            text += ExpectedLine(slot, code);
        }
        return text;
    }
};

TEST_F(CliTransfers, ExportReplacesTheFileOnlyOnceEverySlotIsRead) {
    const std::map<uint16_t, Bytes> codes{{1, {0x01}},
                                          {20, CodePattern(30, 2)},
                                          {200, CodePattern(504, 9)},
                                          {448, CodePattern(500, 4)}};
    Fill(*module, codes);
    const std::string path = Path("backup.txt");
    WriteFileBytes(path, "old backup");

    const CliResult r = RunInProcess({"-p", "COM9", "export", path});
    EXPECT_EQ(r.exit, 0) << r.err;
    EXPECT_EQ(r.out,
              "Export ok: 448 slots read, 4 with codes, 444 empty, written to " + path + "\n");
    EXPECT_EQ(ReadFileBytes(path), Lines(codes));
    EXPECT_FALSE(FileExists(path + ".partial"));
}

TEST_F(CliTransfers, AFailedExportLeavesTheOldFileAndKeepsWhatItRead) {
    Fill(*module, {{1, {0x01}}, {20, CodePattern(30, 2)}, {36, CodePattern(500, 3)}, {37, {0x37}}});
    const std::string path = Path("backup.txt");
    WriteFileBytes(path, "old backup");

    // The module stops answering after slot 36: no reply, status 4 however
    // far it came.
    SimFaults stop;
    stop.stopAfterSlot = 36;
    module->SetFaults(stop);
    CliResult r = RunInProcess({"--json", "-p", "COM9", "export", path});
    EXPECT_EQ(r.exit, 4);
    EXPECT_EQ(ReadFileBytes(path), "old backup");
    EXPECT_EQ(ReadFileBytes(path + ".partial"), ExpectedLine(1, {0x01}) +
                                                    ExpectedLine(20, CodePattern(30, 2)) +
                                                    ExpectedLine(36, CodePattern(500, 3)));
    auto json = nlohmann::json::parse(r.out);
    EXPECT_EQ(json["no_reply_at"], 37);
    EXPECT_EQ(json["codes"], 3);
    EXPECT_EQ(json["empty"], 33);
    EXPECT_EQ(json["complete"], false);
    EXPECT_EQ(json["partial"], path + ".partial");

    // A module that never answers: status 4, and still nothing lost.
    SimFaults silent;
    silent.silent = true;
    module->SetFaults(silent);
    r = RunInProcess({"-p", "COM9", "export", path});
    EXPECT_EQ(r.exit, 4);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("Export fail: no reply at slot 1"), std::string::npos) << r.err;
    EXPECT_EQ(ReadFileBytes(path), "old backup");
    EXPECT_EQ(ReadFileBytes(path + ".partial"), "");

    // A file beside which nothing can be written: a file problem, status 2.
    module->SetFaults({});
    r = RunInProcess({"-p", "COM9", "export", Path("no/such/dir/backup.txt")});
    EXPECT_EQ(r.exit, 2);
    EXPECT_NE(r.err.find("cannot make a new file"), std::string::npos) << r.err;
}

TEST_F(CliTransfers, ABackupIsReplacedSafelyOrNotAtAll) {
    Fill(*module, {{2, {0x22}}});
    const std::string path = Path("backup.txt");

    // A 0600 backup stays 0600 when it is replaced.
    WriteFileBytes(path, "old backup");
    ASSERT_EQ(chmod(path.c_str(), 0600), 0);
    // A planted FILE.partial link is never written through.
    const std::string victim = Path("victim.txt");
    WriteFileBytes(victim, "precious");
    ASSERT_EQ(symlink(victim.c_str(), (path + ".partial").c_str()), 0);
    SimFaults stop;
    stop.stopAfterSlot = 5;
    module->SetFaults(stop);
    CliResult r = RunInProcess({"-p", "COM9", "export", path});
    EXPECT_EQ(r.exit, 4);
    EXPECT_EQ(ReadFileBytes(victim), "precious");
    EXPECT_EQ(ReadFileBytes(path), "old backup");
    EXPECT_EQ(ReadFileBytes(path + ".partial"), ExpectedLine(2, {0x22}));

    module->SetFaults({});
    r = RunInProcess({"-p", "COM9", "export", path});
    ASSERT_EQ(r.exit, 0) << r.err;
    struct stat st {};
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600U);
    EXPECT_EQ(ReadFileBytes(path), ExpectedLine(2, {0x22}));

    // A folder, a link or a device at FILE is refused before the first frame.
    const std::string folder = Path("folder.txt");
    ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
    const std::string link = Path("link.txt");
    ASSERT_EQ(symlink(victim.c_str(), link.c_str()), 0);
    for (const std::string& target : {folder, link, std::string("/dev/null")}) {
        SCOPED_TRACE(target);
        module->ClearReceivedFrames();
        r = RunInProcess({"-p", "COM9", "export", target});
        EXPECT_EQ(r.exit, 2);
        EXPECT_NE(r.err.find("only a regular file is replaced"), std::string::npos) << r.err;
        EXPECT_TRUE(module->ReceivedFrames().empty());
    }
    EXPECT_EQ(ReadFileBytes(victim), "precious");
}

TEST_F(CliTransfers, FourModulesExportAtOnceEachIntoItsOwnFile) {
    std::vector<std::unique_ptr<SimulatedModule>> others;
    for (const char* name : {"COM10", "COM11", "COM12"}) {
        others.push_back(StartModule(name));
        ASSERT_TRUE(others.back());
    }
    std::vector<SimulatedModule*> all{module.get()};
    for (auto& m : others) {
        all.push_back(m.get());
    }
    std::vector<std::map<uint16_t, Bytes>> contents;
    for (size_t i = 0; i < all.size(); ++i) {
        std::map<uint16_t, Bytes> codes;
        for (uint16_t slot = static_cast<uint16_t>(1 + i); slot <= 448; slot += 37) {
            codes[slot] = CodePattern(10 + slot % 50, static_cast<uint8_t>(slot + i));
        }
        Fill(*all[i], codes);
        contents.push_back(codes);
    }

    // Without {port} the files would overwrite each other: refused at once.
    CliResult r = RunInProcess({"-p", "COM9,COM10,COM11,COM12", "export", Path("one.txt")});
    EXPECT_EQ(r.exit, 2);
    EXPECT_NE(r.err.find("{port}"), std::string::npos);
    for (SimulatedModule* m : all) {
        EXPECT_TRUE(m->ReceivedFrames().empty());
    }

    r = RunInProcess(
        {"--json", "-p", "COM9,COM10", "-p", "COM11,COM12", "export", Path("backup-{port}.txt")});
    EXPECT_EQ(r.exit, 0) << r.err;
    const auto json = nlohmann::json::parse(r.out);
    ASSERT_TRUE(json.is_array());
    ASSERT_EQ(json.size(), 4u);
    const char* names[] = {"COM9", "COM10", "COM11", "COM12"};
    for (size_t i = 0; i < all.size(); ++i) {
        SCOPED_TRACE(names[i]);
        const std::string file = Path(std::string("backup-") + names[i] + ".txt");
        EXPECT_EQ(json[i]["port"], names[i]);
        EXPECT_EQ(json[i]["file"], file);
        EXPECT_EQ(json[i]["ok"], true);
        EXPECT_EQ(json[i]["codes"], contents[i].size());
        EXPECT_EQ(ReadFileBytes(file), Lines(contents[i]));
        EXPECT_EQ(all[i]->ReceivedFrames().size(), 448u);
    }
}

TEST_F(CliTransfers, ImportReportsEveryLineAndFailsOnAMalformedOne) {
    // CR, LF and CR LF ends in one file, and a last line without an end.
    const std::string path = Path("lines.txt");
    WriteFileBytes(path, "0003,A1B2\r12,AB\n0004,\r\n0007,0102");
    CliResult r = RunInProcess({"-p", "COM9", "import", path});
    EXPECT_EQ(r.exit, 1);
    EXPECT_EQ(OutputLines(r.out),
              (std::vector<std::string>{
                  "line 1: slot 3, 2 bytes: ok",
                  "line 2: File format wrong (no comma behind a four-character key index)",
                  "line 3: slot 4, 0 bytes: ok", "line 4: slot 7, 2 bytes: ok",
                  "Import done with errors: 4 lines, 3 written, 1 File format wrong (skipped)"}));

    WriteFileBytes(path, "0003,A1B2\r0004,\r");
    r = RunInProcess({"--json", "-p", "COM9", "import", path});
    EXPECT_EQ(r.exit, 0);
    auto json = nlohmann::json::parse(r.out);
    EXPECT_EQ(json["lines_written"], 2);
    EXPECT_EQ(json["lines"][1]["slot"], 4);
    EXPECT_EQ(json["lines"][1]["bytes"], 0);
    EXPECT_EQ(json["lines"][1]["result"], "ok");

    // Lines that would corrupt a module: each counted, with its reason.
    WriteFileBytes(path, "0000,AA\r0449,BB\r-001,CC\r9999,DD\r0020,zz\r0001,A1B\r0002,22\r");
    r = RunInProcess({"--json", "-p", "COM9", "import", path});
    EXPECT_EQ(r.exit, 1);
    json = nlohmann::json::parse(r.out);
    EXPECT_EQ(json["lines_malformed"], 6);
    EXPECT_EQ(json["lines_written"], 1);
    EXPECT_EQ(json["lines"][4]["reason"], "'z' is not a hexadecimal digit");
}

TEST_F(CliTransfers, ImportStopsAtALineTheModuleDoesNotAcknowledge) {
    std::string text;
    for (uint16_t slot = 1; slot <= 4; ++slot) {
        text += ExpectedLine(slot, {static_cast<uint8_t>(slot)});
    }
    const std::string path = Path("four.txt");
    WriteFileBytes(path, text);

    // Line 2 is not answered in either attempt: no reply, lines 3 and 4 not sent.
    SimFaults refuse;
    refuse.writeReplySizes = {8, 0, 0};
    module->SetFaults(refuse);
    CliResult r = RunInProcess({"-p", "COM9", "import", path});
    EXPECT_EQ(r.exit, 4);
    EXPECT_EQ(OutputLines(r.out),
              (std::vector<std::string>{"line 1: slot 1, 1 byte: ok",
                                        "line 2: slot 2, 1 byte: not acknowledged"}));
    EXPECT_EQ(OutputLines(r.err),
              (std::vector<std::string>{
                  "Import fail: 4 lines, 1 written, 1 not acknowledged, 2 not sent after it",
                  "COM9: no reply within " +
                      std::to_string(BulkTiming().importPauseMs +
                                     BulkTiming().lineTimeouts.ReadTotalTimeoutConstant +
                                     BulkTiming().lineTimeouts.ReadTotalTimeoutMultiplier *
                                         BulkTiming().importReadSize) +
                      " ms (is a module attached and powered?)"}));
    // An acknowledgement of the wrong size is an answer: status 1.
    SimFaults wrong;
    wrong.writeReplySizes = {8, 5, 5};
    module->SetFaults(wrong);
    EXPECT_EQ(RunInProcess({"-p", "COM9", "import", path}).exit, 1);

    // A module that answers nothing at all: status 4.
    SimFaults silent;
    silent.silent = true;
    module->SetFaults(silent);
    r = RunInProcess({"-p", "COM9", "import", path});
    EXPECT_EQ(r.exit, 4);

    // Files that cannot be read: status 2, and the port is not even opened.
    module->SetFaults({});
    module->ClearReceivedFrames();
    for (const std::string& bad : {Path("missing.txt"), runtime.Path().string()}) {
        r = RunInProcess({"-p", "COM9", "import", bad});
        EXPECT_EQ(r.exit, 2) << bad;
        EXPECT_NE(r.err.find("cannot read " + bad), std::string::npos) << r.err;
    }
    EXPECT_TRUE(module->ReceivedFrames().empty());
}

TEST_F(CliTransfers, VerifyComparesTheSlotsTheFileNames) {
    Fill(*module, {{2, {0x02}}, {5, {0x05, 0x06}}, {9, {0x09}}, {300, CodePattern(504, 1)}});
    const std::string path = Path("check.txt");
    WriteFileBytes(path, ExpectedLine(2, {0x02}) + ExpectedLine(5, {0x05, 0x06}) +
                             ExpectedLine(300, CodePattern(504, 1)));

    CliResult r = RunInProcess({"-p", "COM9", "verify", path});
    EXPECT_EQ(r.exit, 0) << r.out;
    EXPECT_EQ(r.out, "Verify ok: 3 slots match\n");

    // A changed code, a slot emptied, one the file wants empty.
    WriteFileBytes(path, ExpectedLine(2, {0x02}) + ExpectedLine(5, {0x05, 0x07}) +
                             ExpectedLine(6, {0x01}) + "0009,\r");
    r = RunInProcess({"-p", "COM9", "verify", path});
    EXPECT_EQ(r.exit, 1);
    EXPECT_EQ(OutputLines(r.out),
              (std::vector<std::string>{"slot 5: different code (module 2 bytes, file 2 bytes)",
                                        "slot 6: empty on the module, the file has 1 byte",
                                        "slot 9: the module holds 1 byte, the file has it empty",
                                        "Verify fail: 3 of 4 slots differ"}));

    // --exact: every other slot must be empty too.
    WriteFileBytes(path, ExpectedLine(2, {0x02}) + ExpectedLine(5, {0x05, 0x06}) +
                             ExpectedLine(300, CodePattern(504, 1)));
    r = RunInProcess({"--json", "-p", "COM9", "verify", "--exact", path});
    EXPECT_EQ(r.exit, 1);
    const auto json = nlohmann::json::parse(r.out);
    ASSERT_EQ(json["differences"].size(), 1u);
    EXPECT_EQ(json["differences"][0]["slot"], 9);
    EXPECT_EQ(json["differences"][0]["kind"], "not in the file");
}

TEST_F(CliTransfers, CloneCopiesOneModuleIntoThreeAndVerifiesEach) {
    std::map<uint16_t, Bytes> codes;
    for (uint16_t slot = 3; slot <= 448; slot += 29) {
        codes[slot] = CodePattern(5 + slot % 100, static_cast<uint8_t>(slot));
    }
    Fill(*module, codes);
    std::vector<std::unique_ptr<SimulatedModule>> targets;
    for (const char* name : {"COM10", "COM11", "COM12"}) {
        targets.push_back(StartModule(name));
        ASSERT_TRUE(targets.back());
        ASSERT_TRUE(targets.back()->SetSlot(3, {0xEE})); // overwritten by the clone
    }
    const CliResult r = RunInProcess({"-p", "COM9", "clone", "--to", "COM10,COM11,COM12"});
    EXPECT_EQ(r.exit, 0) << r.err << r.out;
    const auto lines = OutputLines(r.out);
    ASSERT_EQ(lines.size(), 4u) << r.out;
    EXPECT_EQ(lines[0], "COM9: exported: " + std::to_string(codes.size()) + " slots with codes, " +
                            std::to_string(448 - codes.size()) + " empty");
    for (size_t i = 0; i < targets.size(); ++i) {
        const std::string name = "COM" + std::to_string(10 + i);
        EXPECT_EQ(lines[i + 1], name + ": Import ok: " + std::to_string(codes.size()) + " lines, " +
                                    std::to_string(codes.size()) + " written; Verify ok: " +
                                    std::to_string(codes.size()) + " slots match");
        for (const auto& [slot, code] : codes) {
            ASSERT_EQ(targets[i]->Slot(slot), code) << name << " slot " << slot;
        }
    }
    // The source must not be a target.
    EXPECT_EQ(RunInProcess({"-p", "COM9", "clone", "--to", "COM10,COM9"}).exit, 2);
}

TEST_F(CliTransfers, CloneOpensEveryTargetBeforeItReadsTheSource) {
    auto target = StartModule("COM10");
    ASSERT_TRUE(target);
    const auto start = std::chrono::steady_clock::now();
    const CliResult r = RunInProcess({"--json", "-p", "COM9", "clone", "--to", "COM10,COM77"});
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    EXPECT_EQ(r.exit, 3) << r.err;
    EXPECT_NE(r.err.find("COM77: cannot open the port"), std::string::npos) << r.err;
    EXPECT_TRUE(module->ReceivedFrames().empty());
    EXPECT_TRUE(target->ReceivedFrames().empty());
    const auto json = nlohmann::json::parse(r.out);
    ASSERT_EQ(json.size(), 3u);
    EXPECT_EQ(json[0]["role"], "source");
    EXPECT_EQ(json[2]["exit"], 3);
}

TEST_F(CliTransfers, CloneExactFindsTheSlotsATargetHoldsBeyondTheSource) {
    Fill(*module, {{3, {0x03}}, {5, {0x05, 0x05}}});
    auto target = StartModule("COM10");
    ASSERT_TRUE(target);
    ASSERT_TRUE(target->SetSlot(9, {0x09})); // the source has slot 9 empty
    const CliResult r = RunInProcess({"--json", "-p", "COM9", "clone", "--exact", "--to", "COM10"});
    EXPECT_EQ(r.exit, 1) << r.err;
    const auto json = nlohmann::json::parse(r.out);
    ASSERT_EQ(json.size(), 2u) << r.out;
    EXPECT_EQ(json[0]["codes"], 2);
    EXPECT_EQ(json[1]["role"], "target");
    EXPECT_EQ(json[1]["ok"], false);
    EXPECT_EQ(json[1]["import"]["lines_written"], 2);
    const auto& differences = json[1]["verify"]["differences"];
    ASSERT_EQ(differences.size(), 1u) << r.out;
    EXPECT_EQ(differences[0]["slot"], 9);
    EXPECT_EQ(differences[0]["kind"], "not in the file");
}

TEST_F(CliTransfers, ProgressIsDrawnOnATerminalOnlyAndNeverOnStandardOutput) {
    ASSERT_TRUE(module->SetSlot(4, {0x04}));
    const std::string path = Path("progress.txt");
    CliResult r = RunInProcess({"-p", "COM9", "export", path}, BulkTiming(), nullptr, true);
    EXPECT_EQ(r.exit, 0);
    EXPECT_NE(r.err.find("COM9 export ["), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("/448 slots"), std::string::npos);
    EXPECT_NE(r.err.find("448/448 slots  ok in"), std::string::npos);
    EXPECT_NE(r.err.find(" left"), std::string::npos); // a time left while it ran
    EXPECT_EQ(r.out.find('\x1b'), std::string::npos);
    // The board is taken off the screen at the end.
    EXPECT_EQ(r.err.substr(r.err.size() - 3), "\x1b[J");

    r = RunInProcess({"-q", "-p", "COM9", "export", path}, BulkTiming(), nullptr, true);
    EXPECT_EQ(r.exit, 0);
    EXPECT_EQ(r.err, "");

    // Nine modules, one of them silent: one summary line, unless -v asks for the bars.
    std::vector<std::unique_ptr<SimulatedModule>> others;
    std::string ports = "COM9";
    for (int port = 10; port <= 17; ++port) {
        others.push_back(StartModule("COM" + std::to_string(port)));
        ASSERT_TRUE(others.back());
        ports += ",COM" + std::to_string(port);
    }
    SimFaults silent;
    silent.silent = true;
    others.back()->SetFaults(silent);
    const std::string each = Path("nine-{port}.txt");
    // Nine modules and their nine readers on a busy machine: a read that
    // waits 2 s rather than 0.7 s for its reply keeps the one failure the
    // silent module's.
    ExchangeTiming roomy = BulkTiming();
    roomy.lineTimeouts.ReadTotalTimeoutConstant = 2000;
    r = RunInProcess({"-p", ports, "export", each}, roomy, nullptr, true);
    EXPECT_EQ(r.exit, 4);
    EXPECT_NE(r.err.find("9 modules: 3,584 of 4,032 slots, 1 failed"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("COM10 export ["), std::string::npos);
    r = RunInProcess({"-v", "-p", ports, "export", each}, roomy, nullptr, true);
    EXPECT_NE(r.err.find("COM10 export ["), std::string::npos);
    EXPECT_EQ(r.err.find(" modules: "), std::string::npos);
}

} // namespace
