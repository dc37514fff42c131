#pragma once

#include "BackupRepository.h"

#include <cstdint>
#include <string>
#include <vector>

// How one module's slots moved between two backups.
struct SlotChanges {
    int changed = 0; // a code in both, not the same
    int added = 0;   // a code only in the newer
    int removed = 0; // a code only in the older
    bool Any() const { return changed + added + removed > 0; }
    // "2 changed, 1 added"; "no slot changed" when none.
    std::string Text() const;
};

// The slots of two database texts compared (an empty text: no slot).
SlotChanges CompareBackups(const std::string& older, const std::string& newer);

// One module of a backup run as the front end read it.
struct ModuleBackup {
    std::string module;  // ModuleName: its file is MODULE.txt
    bool read = false;   // every slot read
    std::string text;    // the export's text, when read
    std::string problem; // why not, when not read ("no reply at slot 37")
};

struct ModuleBackupResult {
    std::string module;
    bool failed = false;  // not read: its file keeps what it held
    bool fresh = false;   // the repository had no file of it yet
    bool changed = false; // its file differs from HEAD's
    SlotChanges slots;    // against HEAD's file
};

struct BackupResult {
    bool ok = false;                         // the repository took the run (a failed module aside)
    std::string problem;                     // why not
    bool committed = false;                  // false with ok: nothing changed
    std::string commit;                      // its short id
    std::vector<ModuleBackupResult> modules; // in the order given
};

// Compares every module read with its file at HEAD and puts the files that
// changed into one commit, whose message has a line for each module changed
// ("meeting-3: 2 changed, 1 added") and each that failed. A module that
// failed keeps its file as it was.
BackupResult BackUpModules(CBackupRepository& repository, const std::vector<ModuleBackup>& modules);

// One commit of a module's history with the slots it moved, counted against
// the file of the commit's parent (the message plays no part).
struct BackupHistoryEntry {
    std::string module;
    BackupCommit commit;
    SlotChanges slots;
};

// The commits that changed the module's file, newest first; with module
// empty, those of every module that HEAD holds a file of, module by module.
std::vector<BackupHistoryEntry> BackupHistory(const CBackupRepository& repository,
                                              const std::string& module);
// The modules that HEAD holds a file of, sorted.
std::vector<std::string> BackedUpModules(const CBackupRepository& repository);
