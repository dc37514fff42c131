// The commands that need no port: a dry run of an import, the comparison of
// two database files, and the port list.

#include "Commands.h"

#include "DatabaseFormat.h"
#include "ExitStatus.h"
#include "FileChecks.h"
#include "PortIdentity.h"
#include "PortList.h"
#include "PortRegistry.h"

namespace {

std::string Bytes(size_t n) {
    return std::to_string(n) + (n == 1 ? " byte" : " bytes");
}

} // namespace

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
    int ok = 0, malformed = 0, stopping = 0;
    Json perLine = Json::array();
    for (size_t i = 0; i < lines.size(); ++i) {
        const LineCheck check = CheckDatabaseLine(lines[i]);
        const std::string head = "line " + std::to_string(i + 1) + ": ";
        Json entry{{"line", i + 1}};
        if (!check.parsed) {
            ++malformed;
            entry["result"] = "File format wrong";
            entry["reason"] = check.reason;
            report.Say(head + "File format wrong (" + check.reason + ")");
        } else {
            const DatabaseLine& line = *check.parsed;
            entry["slot"] = line.keyIndex;
            entry["bytes"] = line.code.size();
            std::string text = head + "slot " + std::to_string(line.keyIndex) + ", " +
                               Bytes(line.code.size()) + ": ";
            if (check.stopColumn > 0) {
                ++stopping;
                entry["result"] = "stops early";
                entry["column"] = check.stopColumn;
                entry["warning"] = check.StopText();
                text += check.StopText();
            } else {
                ++ok;
                entry["result"] = "ok";
                text += "ok";
            }
            report.Say(text);
        }
        perLine.push_back(std::move(entry));
    }
    report.fields["lines"] = std::move(perLine);
    report.fields["ok"] = ok;
    report.fields["malformed"] = malformed;
    report.fields["stopping"] = stopping;
    std::string summary =
        "Dry run: " + std::to_string(lines.size()) + " lines, " + std::to_string(ok) + " ok";
    if (malformed > 0) {
        summary += ", " + std::to_string(malformed) + " File format wrong (would be skipped)";
    }
    if (stopping > 0) {
        summary += ", " + std::to_string(stopping) + " with a code cut short";
    }
    report.Say(summary);
    if (malformed > 0 || stopping > 0) {
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
    SlotContent a = SlotsOfLines(linesA);
    SlotContent b = SlotsOfLines(linesB);
    for (const auto& [name, content] : {std::pair{"A", &a}, std::pair{"B", &b}}) {
        for (const auto& [line, reason] : content->malformed) {
            report.Say(std::string(name) + " line " + std::to_string(line) +
                       ": File format wrong (" + reason + ")");
            report.Status(EXIT_OUTCOME);
        }
        // A slot written empty is an empty slot.
        std::erase_if(content->codes, [](const auto& slot) { return slot.second.empty(); });
    }

    Json onlyA = Json::array(), onlyB = Json::array(), different = Json::array();
    auto ia = a.codes.begin();
    auto ib = b.codes.begin();
    while (ia != a.codes.end() || ib != b.codes.end()) {
        if (ib == b.codes.end() || (ia != a.codes.end() && ia->first < ib->first)) {
            report.Say("only in A: slot " + std::to_string(ia->first) + " (" +
                       Bytes(ia->second.size()) + ")");
            onlyA.push_back({{"slot", ia->first}, {"bytes", ia->second.size()}});
            ++ia;
        } else if (ia == a.codes.end() || ib->first < ia->first) {
            report.Say("only in B: slot " + std::to_string(ib->first) + " (" +
                       Bytes(ib->second.size()) + ")");
            onlyB.push_back({{"slot", ib->first}, {"bytes", ib->second.size()}});
            ++ib;
        } else {
            if (ia->second != ib->second) {
                report.Say("different: slot " + std::to_string(ia->first) + " (A " +
                           Bytes(ia->second.size()) + ", B " + Bytes(ib->second.size()) + ")");
                different.push_back(
                    {{"slot", ia->first}, {"a", ia->second.size()}, {"b", ib->second.size()}});
            }
            ++ia;
            ++ib;
        }
    }
    const size_t count = onlyA.size() + onlyB.size() + different.size();
    report.fields["onlyInA"] = std::move(onlyA);
    report.fields["onlyInB"] = std::move(onlyB);
    report.fields["different"] = std::move(different);
    if (count > 0) {
        report.Status(EXIT_OUTCOME);
    }
    report.Say(count == 0 ? "No difference: " + std::to_string(a.codes.size()) +
                                " slots with codes in each"
                          : std::to_string(count) + " differences: " +
                                std::to_string(report.fields["onlyInA"].size()) + " only in A, " +
                                std::to_string(report.fields["onlyInB"].size()) + " only in B, " +
                                std::to_string(report.fields["different"].size()) + " different");
}

void RunPorts(CPortReport& report) {
    CDeviceMapRegistry registry;
    const PortListWalk walk = WalkPortList(registry);
    for (std::string message : walk.messages) {
        while (!message.empty() && message.back() == '\n') {
            message.pop_back();
        }
        report.error += (report.error.empty() ? "" : "\n") + message;
    }
    Json ports = Json::array();
    for (const PortListItem& item : walk.items) {
        const std::string device = DeviceBehind(item.devicePath);
        const PortIdentity id = IdentifyPort(device);
        std::string line = item.comName + "  " + device;
        if (device != item.devicePath) {
            line += "  (" + item.devicePath + ")";
        }
        if (const std::string who = DescribeIdentity(id); !who.empty()) {
            line += "  " + who;
        }
        report.Say(line);
        ports.push_back({{"port", item.comName},
                         {"path", item.devicePath},
                         {"device", device},
                         {"vendor", id.vendor},
                         {"model", id.model},
                         {"serial", id.serial},
                         {"byId", id.byId}});
    }
    report.fields["ports"] = std::move(ports);
}
