#include "BackupCommand.h"

#include "BackupJob.h"
#include "CommandLine.h"
#include "Commands.h"
#include "Console.h"
#include "ExitStatus.h"
#include "ModuleName.h"
#include "Options.h"

#include <algorithm>
#include <ctime>

namespace {

// Why a module was not read, in the words its report gave.
std::string FailureOf(const CPortReport& report) {
    if (!report.error.empty()) {
        return report.error;
    }
    return report.troubles.empty() ? std::string("not read") : report.troubles.back();
}

// The time of a commit where it was made: "2024-05-01 10:00" and, for JSON,
// "2024-05-01T10:00:02+02:00".
std::string CommitTime(const BackupCommit& commit, bool iso) {
    const std::time_t local =
        static_cast<std::time_t>(commit.time) + static_cast<std::time_t>(commit.offsetMinutes) * 60;
    std::tm tm{};
    gmtime_r(&local, &tm);
    char text[40] = {};
    std::strftime(text, sizeof text, iso ? "%Y-%m-%dT%H:%M:%S" : "%Y-%m-%d %H:%M", &tm);
    if (!iso) {
        return text;
    }
    const int offset = std::abs(commit.offsetMinutes);
    char zone[16] = {};
    std::snprintf(zone, sizeof zone, "%c%02d:%02d", commit.offsetMinutes < 0 ? '-' : '+',
                  offset / 60, offset % 60);
    return std::string(text) + zone;
}

void SlotFields(const SlotChanges& slots, Json& into) {
    into["slots_changed"] = slots.changed;
    into["slots_added"] = slots.added;
    into["slots_removed"] = slots.removed;
}

// Each port's report told what became of its module.
void ReportModules(const BackupResult& result, std::vector<CPortReport>& reports,
                   CConsole& console) {
    if (!result.ok) {
        console.Line("lumaret-cli: " + result.problem);
    }
    for (size_t i = 0; i < reports.size(); ++i) {
        const ModuleBackupResult& module = result.modules[i];
        CPortReport& report = reports[i];
        report.fields["module"] = module.module;
        report.fields["file"] = BackupFileName(module.module);
        if (module.failed) {
            continue;
        }
        report.fields["file_changed"] = module.changed;
        SlotFields(module.slots, report.fields);
        const bool committed = module.changed && result.committed;
        report.fields["commit"] = committed ? Json(result.commit) : Json(nullptr);
        if (module.changed && !result.ok) {
            report.Fail(EXIT_USAGE, result.problem);
        }
        report.Say(module.module + ": " +
                   (module.changed ? module.slots.Text() : std::string("no change")) +
                   (committed ? "; committed " + result.commit : ""));
    }
}

} // namespace

std::vector<CPortReport> RunBackup(const std::vector<PortTarget>& ports, CliContext& context) {
    const std::string& dir = context.options.file;
    CBackupRepository repository;
    std::string problem;
    if (!repository.Open(dir, true, &problem)) {
        CPortReport report;
        report.Fail(EXIT_USAGE, problem);
        return {report};
    }
    std::vector<ModuleBackup> modules(ports.size());
    for (size_t i = 0; i < ports.size(); ++i) {
        modules[i].module = ModuleName(ports[i].label, ports[i].port);
    }
    std::vector<CPortReport> reports =
        RunOnPorts(ports, context, [&](CPortSession& s, CPortReport& r) {
            const auto at = std::find_if(ports.begin(), ports.end(),
                                         [&s](const PortTarget& t) { return t.label == s.Name(); });
            ModuleBackup& module = modules[static_cast<size_t>(at - ports.begin())];
            module.read = s.Open(r) && ExportToMemory(s, module.text, r);
            if (!module.read) {
                module.problem = FailureOf(r);
                r.Trouble(module.module + ": not backed up; " + BackupFileName(module.module) +
                          " keeps what it held");
            }
        });
    for (size_t i = 0; i < ports.size(); ++i) {
        if (!modules[i].read && modules[i].problem.empty()) {
            modules[i].problem = FailureOf(reports[i]); // its port could not be looked up
        }
    }
    ReportModules(BackUpModules(repository, modules), reports, context.console);
    return reports;
}

void RunBackupHistory(const CliOptions& options, CPortReport& report) {
    report.fields["dir"] = options.file;
    CBackupRepository repository;
    std::string problem;
    if (!repository.Open(options.file, false, &problem)) {
        report.Fail(EXIT_USAGE, problem);
        return;
    }
    const std::vector<BackupHistoryEntry> history = BackupHistory(repository, options.module);
    if (!options.module.empty() && history.empty()) {
        const std::vector<std::string> known = BackedUpModules(repository);
        report.Fail(EXIT_USAGE, "no backup of " + options.module + " in " + options.file +
                                    Suggestion(options.module, known));
        return;
    }
    Json entries = Json::array();
    for (const BackupHistoryEntry& entry : history) {
        const BackupCommit& commit = entry.commit;
        report.Say((options.module.empty() ? entry.module + ": " : std::string()) +
                   CommitTime(commit, false) + "  " + commit.shortId + "  " + entry.slots.Text());
        Json line{{"module", entry.module},
                  {"date", CommitTime(commit, true)},
                  {"commit", commit.id},
                  {"short_id", commit.shortId}};
        SlotFields(entry.slots, line);
        entries.push_back(std::move(line));
    }
    report.fields["history"] = std::move(entries);
}
