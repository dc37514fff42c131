// The JSON of every command as a script reads it: one document on standard
// output whatever the outcome, keys in snake_case, ok a boolean that agrees
// with exit, exit the program's status, and each field the manual lists.

#include "CliFixture.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <regex>

namespace {

using nlohmann::json;

// Every key of every object, however deep, in lower snake_case.
void ExpectSnakeCase(const json& value, const std::string& where) {
    static const std::regex snake("[a-z][a-z0-9]*(_[a-z0-9]+)*");
    if (value.is_object()) {
        for (const auto& [key, inner] : value.items()) {
            EXPECT_TRUE(std::regex_match(key, snake)) << where << ": key " << key;
            ExpectSnakeCase(inner, where + "." + key);
        }
    } else if (value.is_array()) {
        for (const json& inner : value) {
            ExpectSnakeCase(inner, where + "[]");
        }
    }
}

void ExpectStatusFields(const json& object, int exit) {
    ASSERT_TRUE(object.contains("ok")) << object.dump();
    ASSERT_TRUE(object["ok"].is_boolean()) << object.dump();
    ASSERT_TRUE(object["exit"].is_number_integer()) << object.dump();
    EXPECT_EQ(object["exit"], exit) << object.dump();
    EXPECT_EQ(object["ok"], exit == 0) << object.dump();
}

// The run's standard output as one JSON document checked as above, and each
// field in fields present in it (in each element of an array).
json Checked(const CliResult& r, const std::vector<std::string>& fields) {
    json document;
    try {
        document = json::parse(r.out);
    } catch (const json::exception& e) {
        ADD_FAILURE() << "not JSON: " << r.out << " (" << e.what() << ")";
        return {};
    }
    ExpectSnakeCase(document, "");
    if (document.is_array()) {
        int highest = 0;
        for (const json& element : document) {
            highest = std::max(highest, element.value("exit", 0));
            ExpectStatusFields(element, element.value("exit", -1));
        }
        EXPECT_EQ(highest, r.exit);
    } else {
        ExpectStatusFields(document, r.exit);
        for (const std::string& field : fields) {
            EXPECT_TRUE(document.contains(field)) << field << " in " << r.out;
        }
    }
    return document;
}

using CliJson = CliModuleTest;

TEST_F(CliJson, KeyCommandsInSuccessAndFailure) {
    ASSERT_TRUE(module->SetSlot(1, {0xAB}));
    const std::vector<std::string> port{"--json", "-p", "COM9"};
    auto run = [&](std::vector<std::string> args) {
        args.insert(args.begin(), port.begin(), port.end());
        return RunInProcess(args);
    };
    const json version =
        Checked(run({"version"}), {"port", "version", "unchecked_replies", "repeats"});
    EXPECT_EQ(version["port"], "COM9");
    EXPECT_EQ(version["exit"], 0);
    EXPECT_EQ(version["version"], "102.003");
    const json read = Checked(run({"read", "1", "1"}), {"port", "slot", "bytes", "code", "reply"});
    EXPECT_EQ(read["code"], "AB");
    EXPECT_EQ(read["slot"], 1);
    EXPECT_EQ(read["bytes"], 9); // the whole reply: header, code and CRC
    const json empty = Checked(run({"read", "1", "2"}), {"slot", "bytes", "outcome", "status"});
    EXPECT_EQ(empty["exit"], 1);
    EXPECT_EQ(empty["outcome"], "Key empty!");
    const json sent = Checked(run({"send", "1", "1"}), {"slot", "outcome"});
    EXPECT_EQ(sent["exit"], 0);
    EXPECT_EQ(sent["outcome"], "Send Ok!");
    Checked(run({"send", "1", "2"}), {"slot", "outcome"});
    SimFaults learning;
    learning.learnDelayMs = 50;
    module->SetFaults(learning);
    Checked(run({"learn", "1", "3"}), {"slot", "outcome", "status"});
    learning.learnStatus = 2; // Carry wrong!
    module->SetFaults(learning);
    Checked(run({"learn", "1", "3"}), {"slot", "outcome", "status"});

    SimFaults silent;
    silent.silent = true;
    module->SetFaults(silent);
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"version"}, {"read", "1", "1"}, {"send", "1", "1"}}) {
        SCOPED_TRACE(args[0]);
        const CliResult r = run(args);
        EXPECT_EQ(r.exit, 4);
        const json j = Checked(r, {"outcome", "error"});
        EXPECT_NE(j.value("error", "").find("no reply within"), std::string::npos) << r.out;
    }
}

TEST_F(CliJson, TransferCommandsInSuccessAndFailure) {
    ASSERT_TRUE(module->SetSlot(3, {0x33}));
    const std::string file = Path("backup.txt");
    Checked(RunInProcess({"--json", "-p", "COM9", "export", file}),
            {"file", "slots", "codes", "empty", "complete", "unchecked_replies", "repeats"});
    Checked(RunInProcess({"--json", "-p", "COM9", "verify", file}),
            {"file", "compared", "differences"});
    WriteFileBytes(Path("import.txt"), "0003,33\r0004\r");
    const json imported =
        Checked(RunInProcess({"--json", "-p", "COM9", "import", Path("import.txt")}),
                {"file", "lines", "lines_written", "lines_malformed", "lines_refused",
                 "lines_not_acknowledged", "lines_damaged", "lines_not_sent", "lines_duplicate"});
    EXPECT_EQ(imported["lines_written"], 1);
    EXPECT_EQ(imported["lines_malformed"], 1);

    // The dry run's counts never take the place of ok.
    const json dry = Checked(RunInProcess({"--json", "import", "--dry-run", Path("import.txt")}),
                             {"file", "lines", "lines_ok", "lines_malformed", "lines_duplicate"});
    EXPECT_EQ(dry["lines_ok"], 1);
    EXPECT_EQ(dry["ok"], false);

    SimFaults stop;
    stop.stopAfterSlot = 2;
    module->SetFaults(stop);
    const json failed = Checked(RunInProcess({"--json", "-p", "COM9", "export", file}),
                                {"file", "complete", "partial", "no_reply_at", "error"});
    EXPECT_EQ(failed["no_reply_at"], 3);
    EXPECT_EQ(failed["exit"], 4);
    SimFaults silent;
    silent.silent = true;
    module->SetFaults(silent);
    Checked(RunInProcess({"--json", "-p", "COM9", "verify", file}), {"compared", "error"});
    Checked(RunInProcess({"--json", "-p", "COM9", "import", file}),
            {"lines_not_acknowledged", "error"});
}

TEST_F(CliJson, FileCommandsAndUsageErrors) {
    WriteFileBytes(Path("a.txt"), "0001,AA\r0002,BB\r");
    WriteFileBytes(Path("b.txt"), "0002,BC\r0003,CC\r");
    Checked(RunInProcess({"--json", "diff", Path("a.txt"), Path("a.txt")}),
            {"a", "b", "only_in_a", "only_in_b", "different"});
    const json diff = Checked(RunInProcess({"--json", "diff", Path("a.txt"), Path("b.txt")}),
                              {"only_in_a", "only_in_b", "different"});
    EXPECT_EQ(diff["only_in_a"][0]["slot"], 1);
    Checked(RunInProcess({"--json", "diff", Path("a.txt"), Path("none.txt")}), {"error"});
    Checked(RunInProcess({"--json", "show", Path("a.txt")}),
            {"file", "slots", "malformed", "lines_malformed"});
    Checked(RunInProcess({"--json", "show", Path("none.txt")}), {"file", "error"});
    Checked(RunInProcess({"--json", "ports"}), {"ports"});

    for (const std::vector<std::string>& args :
         std::vector<std::vector<std::string>>{{"--json"},
                                               {"--json", "-p", "COM9", "read", "1"},
                                               {"--json", "--prot", "COM9", "version"},
                                               {"-p", "COM9", "frobnicate", "--json"},
                                               {"--json", "-p", "COM9,COM9", "version"},
                                               {"--json", "help", "nothing"}}) {
        SCOPED_TRACE(::testing::PrintToString(args));
        const CliResult r = RunInProcess(args);
        EXPECT_EQ(r.exit, 2);
        const json j = Checked(r, {"error"});
        EXPECT_EQ(j.size(), 3u) << r.out;
        EXPECT_FALSE(r.err.empty());
    }
}

} // namespace
