// The commands on a module's journal.

#include "CommandTableParts.h"
#include "JournalCommands.h"
#include "RestoreCommand.h"

void AddJournalCommands(std::vector<CommandEntry>& table) {
    table.push_back(
        {"undo",
         "put back the slots the module's last write changed",
         {"-p PORT undo", "-p PORT undo --list", "-p PORT undo --run ID"},
         {},
         {FlagOption("--list",
                     "list the runs in the module's journal instead: time, ID, "
                     "command and slots written",
                     &CliOptions::list),
          ValueOption("--run", "ID", "undo this run of the journal instead of the last",
                      "20261210-141500-import", Text(&CliOptions::runId)),
          FlagOption("--force", "also write the slots changed since that run", &CliOptions::force)},
         "Every command that writes slots (import, clone, learn, learn-remote, restore, clear, "
         "undo) first keeps what each slot held in the module's journal, "
         "$XDG_STATE_HOME/lumaret/journal/MODULE/. undo writes those slots of the module's last "
         "run back as they were, empties those that were empty, and reads each back. A slot "
         "that holds neither what that run found nor what it wrote was changed since: it is "
         "left alone and named, unless --force. The undo is journaled too: undo twice redoes.",
         "lumaret-cli -p COM9 undo",
         true,
         true,
         {},
         {.checkPorts = OnePort, .each = RunUndo},
         true});
    table.push_back(
        {"clear",
         "empty a key slot",
         {"-p PORT clear CHANNEL KEY", "-p PORT clear --slot N", "-p PORT clear --map MAP NAME"},
         {CHANNEL, KEY},
         {SlotOption("clear"), MAP_OPTION},
         "Empties the slot and reads it back; journaled, so undo puts its code back.",
         "lumaret-cli -p COM9 clear 1 12",
         true,
         true,
         KEY_WORDS,
         {.each = RunClear},
         true});
    table.push_back(
        {"restore",
         "make a module hold exactly its backup",
         {"-p PORT restore DIR [--at REV]"},
         {{"DIR", "", "the backup repository that backup writes"}},
         {ValueOption("--at", "REV",
                      "the revision of the backup: a commit's id (as backup --history "
                      "shows it), HEAD~2, ... (default: the newest)",
                      "3f2a9c1", Text(&CliOptions::at))},
         "Reads every slot, then writes each line of DIR/MODULE.txt as it was at REV whose "
         "slot differs, and empties each slot that holds a code the file does not have; every "
         "slot written is read back. Journaled: undo puts the module back as it was before.",
         "lumaret-cli -p COM9 restore ~/ir-backups --at HEAD~1",
         true,
         true,
         {WordsKind::Files, "a backup folder", " ~/ir-backups", {&CliOptions::file}},
         {.checkPorts = OnePort, .each = RunRestore},
         true});
}
