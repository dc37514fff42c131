#pragma once

// The fixtures the command-line tests start from: a port directory and a
// folder of the test's own, then an empty module published as COM9, then the
// same module holding a code in every third slot; and a check of the texts a
// run wrote.

#include "CliTestSupport.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

// Each text somewhere in what a run wrote on one of its streams.
inline void ExpectContains(const std::string& written, std::initializer_list<std::string> texts) {
    for (const std::string& text : texts) {
        EXPECT_NE(written.find(text), std::string::npos) << text << " in:\n" << written;
    }
}

class CliTest : public ::testing::Test {
protected:
    std::string Path(const std::string& name) const { return (runtime.Path() / name).string(); }

    PrivateRuntimeDir runtime;
};

class CliModuleTest : public CliTest {
protected:
    void SetUp() override {
        module = StartModule("COM9");
        ASSERT_TRUE(module);
    }

    std::unique_ptr<SimulatedModule> module;
};

class CliSeededModuleTest : public CliModuleTest {
protected:
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(CliModuleTest::SetUp());
        lines = SeedEveryThirdSlot(*module);
        ASSERT_FALSE(lines.empty());
        for (const std::string& line : lines) {
            expected += line;
        }
    }

    std::vector<std::string> lines; // the database line of each slot with a code
    std::string expected;           // the database text of the module's slots
};
