#include "ExportEnd.h"

#include "TestFiles.h"

#include "RuntimeDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

const ExportEndRule WINDOW{.unfinishedMakesNewFile = true, .partialWhenPutFails = false};
const ExportEndRule COMMAND_LINE{};

struct Case {
    const char* what;
    ExportEndRule rule;
    bool fileStood;      // a backup stood at the chosen name
    bool complete;       // all slots were read
    bool folderMeantime; // a folder took the chosen name while the export ran
    std::optional<std::string> file;
    std::optional<std::string> partial;
    std::vector<ExportMove> moves;
};

const std::string OLD = "0001,AA\r";
const std::string NEW = "0002,BB\r";
using M = ExportMove;

TEST(ExportEnd, WhereTheLinesEndForEachFrontEnd) {
    const std::vector<Case> cases = {
        {"complete", COMMAND_LINE, true, true, false, NEW, {}, {M::PutInPlace}},
        {"complete", WINDOW, true, true, false, NEW, {}, {M::PutInPlace}},
        {"complete, new", WINDOW, false, true, false, NEW, {}, {M::PutInPlace}},
        {"unfinished", COMMAND_LINE, true, false, false, OLD, NEW, {M::KeepPartial}},
        {"unfinished", WINDOW, true, false, false, OLD, NEW, {M::KeepPartial}},
        {"unfinished, new", COMMAND_LINE, false, false, false, {}, NEW, {M::KeepPartial}},
        {"unfinished, new", WINDOW, false, false, false, NEW, {}, {M::PutInPlace}},
        {"cannot be put", COMMAND_LINE, true, true, true, {}, NEW, {M::PutInPlace, M::KeepPartial}},
        {"cannot be put", WINDOW, true, true, true, {}, {}, {M::PutInPlace}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.what) + (c.rule.unfinishedMakesNewFile ? ", window" : ", cli"));
        PrivateRuntimeDir dir("lumaret-export-end");
        const std::string path = (dir.Path() / "backup.txt").string();
        if (c.fileStood) {
            WriteFileBytes(path, OLD);
        }
        std::vector<ExportMove> moves;
        ExportEnd end;
        {
            CSafeFileWriter file(path);
            ASSERT_TRUE(file.Open());
            ASSERT_TRUE(file.WriteString(NEW));
            if (c.folderMeantime) {
                fs::remove(path);
                fs::create_directory(path);
            }
            end = EndExport(file, c.complete, c.rule, [&](ExportMove move, const auto& run) {
                moves.push_back(move);
                return run();
            });
        }
        EXPECT_EQ(moves, c.moves);
        EXPECT_EQ(end.inPlace, c.file == NEW);
        EXPECT_EQ(end.partial, c.partial.has_value());
        EXPECT_EQ(end.putProblem.empty(), !c.folderMeantime) << end.putProblem;
        if (!c.folderMeantime) {
            EXPECT_EQ(fs::exists(path), c.file.has_value());
            EXPECT_EQ(ReadFileBytes(path), c.file.value_or(""));
        }
        EXPECT_EQ(fs::exists(path + ".partial"), c.partial.has_value());
        EXPECT_EQ(ReadFileBytes(path + ".partial"), c.partial.value_or(""));
        // Nothing else is left beside them: no fresh file.
        const size_t entries =
            static_cast<size_t>(std::distance(fs::directory_iterator(dir.Path()), {}));
        EXPECT_EQ(entries, (c.file || c.folderMeantime ? 1U : 0U) + (c.partial ? 1U : 0U));
    }
}

TEST(ExportEnd, WithoutARunnerTheMovesRunPlainly) {
    PrivateRuntimeDir dir("lumaret-export-end");
    const std::string path = (dir.Path() / "backup.txt").string();
    CSafeFileWriter file(path);
    ASSERT_TRUE(file.Open());
    ASSERT_TRUE(file.WriteString(NEW));
    EXPECT_TRUE(EndExport(file, true, COMMAND_LINE).inPlace);
    EXPECT_EQ(ReadFileBytes(path), NEW);
}

} // namespace
