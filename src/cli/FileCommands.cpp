// The commands that need no port and read files: a dry run of an import,
// the comparison of two database files, and a file shown as a table.

#include "Commands.h"

#include "DatabaseFormat.h"
#include "ExitStatus.h"
#include "FileLines.h"
#include "JobReport.h"
#include "ModuleLimits.h"
#include "SlotMap.h"
#include "VerifyJob.h"

#include <algorithm>

bool ReadLines(const std::string& path, std::vector<std::string>& lines, CPortReport& report) {
    DatabaseFileLines file = ReadDatabaseFile(path);
    if (!file.ok) {
        report.Fail(EXIT_USAGE, "cannot read " + path + ": " + file.error);
        report.fields["error"] = report.error;
        return false;
    }
    lines = std::move(file.lines);
    return true;
}

void RunDryRun(const std::string& path, CPortReport& report) {
    report.fields["file"] = path;
    std::vector<std::string> lines;
    if (!ReadLines(path, lines, report)) {
        return;
    }
    const std::vector<FileLine> checked = CheckFileLines(lines);
    int ok = 0, malformed = 0, duplicates = 0;
    Json perLine = Json::array();
    for (size_t i = 0; i < checked.size(); ++i) {
        const CheckedLine& line = checked[i].checked;
        const std::string head = "line " + std::to_string(i + 1) + ": ";
        Json entry{{"line", i + 1}};
        if (!line.parsed) {
            ++malformed;
            entry["result"] = FILE_FORMAT_WRONG_TEXT;
            entry["reason"] = line.fault.reason;
            entry["column"] = line.fault.column;
            report.Say(head + LineFaultText(line.fault));
        } else {
            const DatabaseLine& parsed = *line.parsed;
            if (checked[i].duplicateOf > 0) {
                ++duplicates;
                entry["duplicate_of"] = checked[i].duplicateOf;
                report.Say(DuplicateText(i + 1, parsed.keyIndex, checked[i].duplicateOf));
            }
            ++ok;
            entry["slot"] = parsed.keyIndex;
            entry["bytes"] = parsed.code.size();
            entry["result"] = "ok";
            report.Say(head + "slot " + std::to_string(parsed.keyIndex) + ", " +
                       Bytes(parsed.code.size()) + ": ok");
        }
        perLine.push_back(std::move(entry));
    }
    report.fields["lines"] = std::move(perLine);
    report.fields["lines_ok"] = ok;
    report.fields["lines_malformed"] = malformed;
    report.fields["lines_duplicate"] = duplicates;
    std::string summary =
        "Dry run: " + Counted(lines.size(), "line") + ", " + std::to_string(ok) + " ok";
    if (malformed > 0) {
        summary +=
            ", " + std::to_string(malformed) + " " + FILE_FORMAT_WRONG_TEXT + " (would be skipped)";
    }
    report.Say(summary);
    if (malformed > 0) {
        report.Status(EXIT_OUTCOME);
    }
}

void RunDiff(const std::string& pathA, const std::string& pathB, CPortReport& report) {
    report.fields["a"] = pathA;
    report.fields["b"] = pathB;
    std::vector<std::string> linesA, linesB;
    if (!ReadLines(pathA, linesA, report) || !ReadLines(pathB, linesB, report)) {
        return;
    }
    const DiffResult diff = DiffFiles(linesA, linesB);
    for (const auto& [name, malformed] :
         {std::pair{"A", &diff.malformedA}, std::pair{"B", &diff.malformedB}}) {
        for (const auto& [line, fault] : *malformed) {
            report.Say(std::string(name) + " line " + std::to_string(line) + ": " +
                       LineFaultText(fault));
            report.Status(EXIT_OUTCOME);
        }
    }
    Json onlyA = Json::array(), onlyB = Json::array(), different = Json::array();
    for (const FileDifference& d : diff.differences) {
        const std::string slot = std::to_string(d.slot);
        switch (d.side) {
        case FileDifference::Side::OnlyA:
            report.Say("only in A: slot " + slot + " (" + Bytes(d.aBytes) + ")");
            onlyA.push_back({{"slot", d.slot}, {"bytes", d.aBytes}});
            break;
        case FileDifference::Side::OnlyB:
            report.Say("only in B: slot " + slot + " (" + Bytes(d.bBytes) + ")");
            onlyB.push_back({{"slot", d.slot}, {"bytes", d.bBytes}});
            break;
        case FileDifference::Side::Different:
            report.Say("different: slot " + slot + " (A " + Bytes(d.aBytes) + ", B " +
                       Bytes(d.bBytes) + ")");
            different.push_back({{"slot", d.slot}, {"a", d.aBytes}, {"b", d.bBytes}});
            break;
        }
    }
    const size_t count = diff.differences.size();
    const std::string summary =
        count == 0 ? "No difference: " + std::to_string(diff.slotsA) + " slots with codes in each"
                   : Counted(count, "difference") + ": " + std::to_string(onlyA.size()) +
                         " only in A, " + std::to_string(onlyB.size()) + " only in B, " +
                         std::to_string(different.size()) + " different";
    report.fields["only_in_a"] = std::move(onlyA);
    report.fields["only_in_b"] = std::move(onlyB);
    report.fields["different"] = std::move(different);
    if (count > 0) {
        report.Status(EXIT_OUTCOME);
    }
    report.Say(summary);
}

namespace {

constexpr size_t SHOWN_CODE_BYTES = 8;

// "1/12" for slots 1 to 400, which a channel and a key reach; "-" above.
std::string ChannelAndKey(uint16_t slot) {
    if (SlotChannel(slot) == 0) {
        return "-";
    }
    return std::to_string(SlotChannel(slot)) + "/" + std::to_string(SlotKey(slot));
}

std::string Padded(std::string text, size_t width) {
    if (text.size() < width) {
        text.insert(0, width - text.size(), ' ');
    }
    return text;
}

} // namespace

void RunShow(const std::string& path, CPortReport& report) {
    report.fields["file"] = path;
    std::vector<std::string> lines;
    if (!ReadLines(path, lines, report)) {
        return;
    }
    // An export writes codes of up to the longest a module holds.
    const std::vector<FileLine> checked = CheckFileLines(lines, MAX_READ_CODE_BYTES);
    Json rows = Json::array();
    Json malformed = Json::array();
    report.Say(" slot  ch/key  bytes  code");
    for (size_t i = 0; i < checked.size(); ++i) {
        const CheckedLine& line = checked[i].checked;
        if (!line.parsed) {
            report.Say("line " + std::to_string(i + 1) + ": " + LineFaultText(line.fault));
            malformed.push_back(
                {{"line", i + 1}, {"reason", line.fault.reason}, {"column", line.fault.column}});
            continue;
        }
        const DatabaseLine& parsed = *line.parsed;
        const size_t shown = std::min(parsed.code.size(), SHOWN_CODE_BYTES);
        const std::string start = HexPairs(parsed.code.data(), static_cast<uint32_t>(shown));
        const std::string code = start + (shown < parsed.code.size() ? "..." : "");
        report.Say(Padded(std::to_string(parsed.keyIndex), 5) + "  " +
                   Padded(ChannelAndKey(parsed.keyIndex), 6) + "  " +
                   Padded(std::to_string(parsed.code.size()), 5) + "  " + code);
        rows.push_back({{"line", i + 1},
                        {"slot", parsed.keyIndex},
                        {"channel_key", ChannelAndKey(parsed.keyIndex)},
                        {"bytes", parsed.code.size()},
                        {"code_start", start}});
    }
    report.fields["slots"] = std::move(rows);
    report.fields["malformed"] = std::move(malformed);
    report.fields["lines_malformed"] = report.fields["malformed"].size();
    if (!report.fields["malformed"].empty()) {
        report.Status(EXIT_OUTCOME);
    }
}
