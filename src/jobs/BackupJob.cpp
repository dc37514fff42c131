#include "BackupJob.h"

#include "DatabaseFormat.h"
#include "VerifyJob.h"

#include <map>

namespace {

constexpr const char* FILE_SUFFIX = ".txt";

std::string ModuleLine(const ModuleBackupResult& result, const std::string& problem) {
    if (result.failed) {
        return result.module + ": failed" + (problem.empty() ? "" : " (" + problem + ")");
    }
    return result.module + ": " + result.slots.Text();
}

} // namespace

std::string SlotChanges::Text() const {
    std::string text;
    auto add = [&text](int count, const char* what) {
        if (count > 0) {
            text += (text.empty() ? "" : ", ") + std::to_string(count) + " " + what;
        }
    };
    add(changed, "changed");
    add(added, "added");
    add(removed, "removed");
    return text.empty() ? "no slot changed" : text;
}

SlotChanges CompareBackups(const std::string& older, const std::string& newer) {
    SlotChanges changes;
    const DiffResult diff = DiffFiles(SplitDatabaseText(older), SplitDatabaseText(newer));
    for (const FileDifference& d : diff.differences) {
        switch (d.side) {
        case FileDifference::Side::OnlyA:
            ++changes.removed;
            break;
        case FileDifference::Side::OnlyB:
            ++changes.added;
            break;
        case FileDifference::Side::Different:
            ++changes.changed;
            break;
        }
    }
    return changes;
}

BackupResult BackUpModules(CBackupRepository& repository,
                           const std::vector<ModuleBackup>& modules) {
    BackupResult result;
    std::map<std::string, std::string> files;
    std::string message;
    for (const ModuleBackup& module : modules) {
        ModuleBackupResult& done = result.modules.emplace_back();
        done.module = module.module;
        done.failed = !module.read;
        if (module.read) {
            const std::string name = BackupFileName(module.module);
            const BackupFileText before = repository.FileAt(name);
            done.fresh = !before.found;
            done.changed = !before.found || before.text != module.text;
            done.slots = CompareBackups(before.text, module.text);
            if (done.changed) {
                files[name] = module.text;
            }
        }
        if (done.failed || done.changed) {
            message += ModuleLine(done, module.problem) + "\n";
        }
    }
    if (files.empty()) {
        result.ok = true; // nothing to commit: a failure alone changes no file
        return result;
    }
    const BackupCommitOutcome outcome = repository.CommitFiles(files, message);
    result.ok = outcome.ok;
    result.problem = outcome.problem;
    result.committed = outcome.committed;
    result.commit = outcome.commit;
    return result;
}

std::vector<std::string> BackedUpModules(const CBackupRepository& repository) {
    std::vector<std::string> modules = repository.FilesAt(FILE_SUFFIX);
    for (std::string& name : modules) {
        name.resize(name.size() - std::char_traits<char>::length(FILE_SUFFIX));
    }
    return modules;
}

std::vector<BackupHistoryEntry> BackupHistory(const CBackupRepository& repository,
                                              const std::string& module) {
    std::vector<BackupHistoryEntry> history;
    const std::vector<std::string> modules =
        module.empty() ? BackedUpModules(repository) : std::vector<std::string>{module};
    for (const std::string& name : modules) {
        const std::string file = BackupFileName(name);
        for (BackupCommit& commit : repository.History(file)) {
            const std::string older =
                commit.parent.empty() ? std::string() : repository.FileAt(file, commit.parent).text;
            const std::string newer = repository.FileAt(file, commit.id).text;
            history.push_back({name, std::move(commit), CompareBackups(older, newer)});
        }
    }
    return history;
}
