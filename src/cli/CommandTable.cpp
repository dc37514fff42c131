#include "CommandTable.h"

#include "BackupCommand.h"
#include "CloneCommand.h"
#include "CommandLine.h"
#include "CommandTableParts.h"
#include "Commands.h"
#include "ExchangeTiming.h"
#include "ModuleLimits.h"
#include "ModuleOperations.h"
#include "PortChoice.h"
#include "RemoteCommands.h"

namespace {

// A key that brought no code is tried at most this many times more.
constexpr int MAX_RETRIES = 100;

std::vector<std::string> WithPort(const CliOptions& options) {
    return {options.withPort};
}

std::string CloneSourceAndTargets(const CommandLine& line, const CliOptions& options) {
    if (options.targets.empty()) {
        return "clone needs its targets: " + line.Example(" --to COM10,COM11");
    }
    if (!OneModule(options)) {
        return "clone copies one module: give one source with --port and the targets with --to";
    }
    return {};
}

// One file for several modules would be overwritten by each.
std::string FilePerPort(const CommandLine&, const CliOptions& options) {
    if (!OneModule(options) && options.file.find("{port}") == std::string::npos &&
        options.file.find("{serial}") == std::string::npos &&
        options.file.find("{module}") == std::string::npos) {
        return "export to several ports: FILE must hold {port} or {serial} (or {module}), e.g. "
               "backup-{port}.txt, so that each module gets its own file";
    }
    return {};
}

// A module is named only for its history.
std::string ModuleOnlyWithHistory(const CommandLine& line, const CliOptions& options) {
    if (!options.history && !options.module.empty()) {
        return "backup takes a MODULE only with --history: " +
               line.Example(" backups --history " + options.module);
    }
    return {};
}

// The commands on a module's keys, and the port list.
void AddKeyCommands(std::vector<CommandEntry>& table) {
    table.push_back(
        {"ports",
         "list the serial ports, with their device and adapter",
         {"ports"},
         {},
         {},
         "Lists the ports the window lists: the COM name, the device and, for a USB "
         "adapter, its vendor, model and serial number.",
         "lumaret-cli ports",
         false,
         false,
         {},
         {.alone = [](const CliOptions&, CPortReport& r) { RunPorts(r); }, .listsPorts = true}});
    table.push_back({"version",
                     "print the module's firmware version",
                     {"-p PORT version"},
                     {},
                     {},
                     "Prints the firmware version of the module on each port, e.g. 102.003.",
                     "lumaret-cli -p COM9 version",
                     true,
                     true,
                     {},
                     {.each = RunVersion}});
    table.push_back(
        {"read",
         "print the code of a key slot in hexadecimal",
         {"-p PORT read CHANNEL KEY", "-p PORT read --slot N", "-p PORT read --map MAP NAME"},
         {CHANNEL, KEY},
         {SlotOption("read"), MAP_OPTION,
          FlagOption("--raw",
                     "print the whole reply, header and CRC included, as the "
                     "window's log shows it",
                     &CliOptions::raw)},
         "The code is printed as hexadecimal pairs; when there is none, standard "
         "error says why (" +
             std::string(KEY_EMPTY_TEXT) + ", " + COMMUNICATION_FAIL_TEXT + ").",
         "lumaret-cli -p COM9 read 1 12",
         true,
         true,
         KEY_WORDS,
         {.each = RunRead}});
    table.push_back(
        {"send",
         "make the module transmit the code of a key",
         {"-p PORT send CHANNEL KEY", "-p PORT send --map MAP NAME [NAME...] [--wait DURATION]"},
         {CHANNEL, KEY},
         {MAP_OPTION, WAIT_OPTION},
         "Prints " + std::string(SEND_OK_TEXT) + ", or says on standard error why not (" +
             KEY_EMPTY_TEXT + ", " + COMMUNICATION_FAIL_TEXT +
             "). With --map, several names are a sequence (a macro): the keys are "
             "sent in order with DURATION between them, and the first that fails "
             "ends it.",
         "lumaret-cli -p COM9 send --map tv.map POWER --wait 2s HDMI1",
         true,
         true,
         SEND_WORDS,
         {.each = RunSend}});
    table.push_back({"learn",
                     "learn a code from a remote control into a key",
                     {"-p PORT learn CHANNEL KEY"},
                     {CHANNEL, KEY},
                     {},
                     "Point the remote at the module and press the key while the module waits "
                     "(" +
                         LearnWaitText() + "). On a terminal the time left is shown.",
                     "lumaret-cli -p COM9 learn 1 12",
                     true,
                     false,
                     KEY_WORDS,
                     {.each = RunLearn},
                     true});
}

// The commands on a whole remote.
void AddRemoteCommands(std::vector<CommandEntry>& table) {
    table.push_back(
        {"learn-remote",
         "learn every key of a remote map, one after the other",
         {"-p PORT learn-remote MAP"},
         {MAP_ARGUMENT},
         {ValueOption("--retries", "N",
                      "more tries for a key that brought no code (default " +
                          std::to_string(CliOptions{}.retries) + ")",
                      "3",
                      Number(&CliOptions::retries, 0, MAX_RETRIES, "--retries takes a number")),
          FlagOption("--confirm",
                     "learn each key twice and compare; a third press when they differ",
                     &CliOptions::confirm),
          ValueOption("--session", "FILE", "keep the codes learned in FILE instead of MAP.session",
                      "tv.session", Text(&CliOptions::session)),
          FlagOption("--restart", "start afresh instead of resuming the session",
                     &CliOptions::restart),
          FlagOption("--write-session",
                     "write a key's code from the session into a module that lacks it, instead of "
                     "learning it again",
                     &CliOptions::writeSession),
          ValueOption("--only", "NAME[,NAME...]", "learn only these keys again", "POWER,VOL+",
                      Names(&CliOptions::only, "--only takes key names separated by commas")),
          FlagOption("--allow-same", "exit status 0 although two keys have the same code",
                     &CliOptions::allowSame)},
         "Names each key on standard error as the module waits for it. After every key the "
         "codes learned so far are saved to the session file (a database file that import "
         "and verify take); running the same map again reads every key of the session back "
         "from the module and learns those it does not hold (with --write-session: writes "
         "them). A capture with the code of another key is named. "
         "On a terminal, after a try that brought no code: Enter tries again, s skips the key, "
         "q stops. Without a terminal a key is tried again, then skipped. Exit status 1 when a "
         "key is missing at the end, unstable, or has the same code as another.",
         "lumaret-cli -p COM9 learn-remote tv.map",
         true,
         true,
         MAP_WORDS,
         {.checkPorts = OnePort, .each = RunLearnRemote},
         true});
    table.push_back(
        {"check-remote",
         "send each key of a map from one module into another that learns it",
         {"-p PORT check-remote MAP --with PORT"},
         {MAP_ARGUMENT},
         {ValueOption("--with", "PORT", "the module that learns what PORT sends", "COM10",
                      PortName(&CliOptions::withPort), "the learning module"),
          ValueOption(
              "--scratch", "SLOT",
              "the slot the learning module learns into (default " +
                  std::to_string(CliOptions{}.scratch) + "); written back as it was at the end",
              std::to_string(LAST_SLOT),
              Number(&CliOptions::scratch, FIRST_SLOT, LAST_SLOT, "--scratch takes a slot")),
          FlagOption("--strict", "exit status 1 when a capture differs, too", &CliOptions::strict)},
         "For each key the module on PORT holds: the other module learns while it is sent, "
         "and its capture is compared with the code: identical, differs in N of M bytes (with "
         "the positions) or not captured. Exit status 1 when a key is not captured. The "
         "scratch slot's code is journaled on the learning module first: a check that never "
         "ends (killed) is put right by undo there, or by the next check-remote.",
         "lumaret-cli -p COM9 check-remote tv.map --with COM10",
         true,
         true,
         MAP_WORDS,
         {.checkPorts = OnePort, .together = RunCheckRemote, .ownPorts = WithPort},
         true});
}

// The commands that move or compare every slot.
void AddTransferCommands(std::vector<CommandEntry>& table) {
    table.push_back({"export",
                     "back up slots " + SlotRangeText(" to ") + " into a file",
                     {"-p PORT export FILE"},
                     {FILE_ARGUMENT},
                     {ACCEPT_UNCHECKED},
                     "FILE may hold {port}, {serial}, {module}, {date} and {time}, which become "
                     "the port's name, the adapter's serial number (else the port's name), the "
                     "module's name (its ports.conf name, else ADAPTER-SERIAL, else the port's "
                     "name), the date (YYYY-MM-DD) and the time (HHMMSS); with several ports FILE "
                     "must hold {port}, {serial} or {module}. FILE is replaced only once every "
                     "slot is read; a failed export "
                     "keeps what it read in FILE.partial.",
                     "lumaret-cli -p COM9 export 'backup-{port}-{date}.txt'",
                     true,
                     true,
                     FILE_WORDS,
                     {.checkPorts = FilePerPort, .each = OnFile<RunExport>}});
    table.push_back({"import",
                     "write every line of a file into its slot",
                     {"-p PORT import FILE", "import --dry-run FILE"},
                     {FILE_ARGUMENT},
                     {FlagOption("--dry-run", "check the file and report each line, without a port",
                                 &CliOptions::dryRun)},
                     "Reports each line, and skips a line that is not in the database format.",
                     "lumaret-cli -p COM9 import backup.txt",
                     true,
                     true,
                     FILE_WORDS,
                     {.alone = [](const CliOptions& o, CPortReport& r) { RunDryRun(o.file, r); },
                      .withoutPort = [](const CliOptions& o) { return o.dryRun; },
                      .each = OnFile<RunImport>},
                     true});
    table.push_back({"verify",
                     "compare a module with a file",
                     {"-p PORT verify FILE"},
                     {FILE_ARGUMENT},
                     {FlagOption("--exact",
                                 "also require every slot the file does not name to be "
                                 "empty",
                                 &CliOptions::exact)},
                     "Reads the slots the file names and lists each one that differs.",
                     "lumaret-cli -p COM9 verify backup.txt",
                     true,
                     true,
                     FILE_WORDS,
                     {.each = OnFile<RunVerify>}});
    table.push_back(
        {"backup",
         "back up every module into a git repository, with history",
         {"-p PORT[,PORT...] backup DIR", "backup DIR --history [MODULE]"},
         {{"DIR", "", "the folder of the backups, a git repository (made one when it is not)"},
          {"MODULE", "", "with --history: the module whose history to show (default: all)"}},
         {FlagOption("--history",
                     "print a line per commit that changed a module's file: the date, the "
                     "commit and the slots changed, added and removed; without a port",
                     &CliOptions::history),
          ACCEPT_UNCHECKED},
         "Reads every module at once and writes each into DIR/MODULE.txt, as export writes it "
         "(MODULE: its ports.conf name, else ADAPTER-SERIAL, else the port's name), then makes "
         "one commit that names each module changed with its slots (meeting-3: 2 changed, 1 "
         "added) and each that failed; none when nothing changed. A module that fails keeps its "
         "file. The author comes from git's configuration, else lumaret. git -C DIR push sends "
         "the history on.",
         "lumaret-cli -p COM9,COM10 backup ~/ir-backups",
         true,
         true,
         {WordsKind::Files,
          "a folder",
          " ~/ir-backups",
          {&CliOptions::file, &CliOptions::module},
          1},
         {.checkPorts = ModuleOnlyWithHistory,
          .alone = RunBackupHistory,
          .withoutPort = [](const CliOptions& o) { return o.history; },
          .together = RunBackup}});
}

// The commands on files alone, clone and help.
void AddOtherCommands(std::vector<CommandEntry>& table) {
    table.push_back(
        {"diff",
         "compare two files slot by slot",
         {"diff FILE_A FILE_B"},
         {{"FILE_A", "", "the first database file"}, {"FILE_B", "", "the second database file"}},
         {},
         "Lists the slots only in one file and those with different codes.",
         "lumaret-cli diff monday.txt friday.txt",
         false,
         false,
         {WordsKind::Files,
          "two files",
          " monday.txt friday.txt",
          {&CliOptions::file, &CliOptions::fileB}},
         {.alone = [](const CliOptions& o, CPortReport& r) { RunDiff(o.file, o.fileB, r); }}});
    table.push_back({"show",
                     "print a database file as a table",
                     {"show FILE"},
                     {FILE_ARGUMENT},
                     {},
                     "One row a line of the file: the slot, its channel and key, the length of "
                     "the code and its first bytes in hexadecimal. Malformed lines are named.",
                     "lumaret-cli show backup.txt | less",
                     false,
                     false,
                     FILE_WORDS,
                     {.alone = [](const CliOptions& o, CPortReport& r) { RunShow(o.file, r); }}});
    table.push_back({"clone",
                     "copy one module onto others and verify each",
                     {"-p PORT clone --to PORT[,PORT...]"},
                     {},
                     {PortsOption("--to", "a target port; repeat it or separate names by commas",
                                  "COM10", &CliOptions::targets),
                      FlagOption("--exact",
                                 "also require every target to hold no slot the source "
                                 "lacks",
                                 &CliOptions::exact),
                      ACCEPT_UNCHECKED},
                     "Opens every target first, reads the source into memory, then writes it "
                     "into all targets at once and verifies each.",
                     "lumaret-cli -p COM9 clone --to COM10,COM11",
                     true,
                     true,
                     {},
                     {.checkPorts = CloneSourceAndTargets,
                      .together = RunClone,
                      .ownPorts = [](const CliOptions& o) { return o.targets; }},
                     true});
    table.push_back({HELP_COMMAND,
                     "show the help of the program or of a command",
                     {"help [COMMAND]"},
                     {{"COMMAND", "", "the command whose help to show"}},
                     {},
                     "The same as --help, or COMMAND --help.",
                     "lumaret-cli help export",
                     false,
                     false});
}

// map draws either the module on -p or FILE.
std::string ModuleOrFile(const CommandLine& line, const CliOptions& options) {
    if (options.file.empty()) {
        return OnePort(line, options);
    }
    return options.ports.empty() ? std::string()
                                 : "map draws either the module on --port or FILE, not both; to "
                                   "compare them: map --against FILE";
}

// A module, or a file, at a glance.
void AddMapCommand(std::vector<CommandEntry>& table) {
    table.push_back(
        {"map",
         "draw every slot of a module or a file as a picture",
         {"-p PORT map [--against FILE] [--map MAP]", "map FILE [--against FILE2] [--map MAP]"},
         {{"FILE", "", "a database file to draw instead of a module"}},
         {ValueOption("--against", "FILE",
                      "compare with the database file FILE: each slot the same, different, or "
                      "only on one side",
                      "backup.txt", Text(&CliOptions::against)),
          ValueOption("--map", "MAP",
                      "name the slots by the remote map MAP, and list the names of the slots "
                      "that differ or are missing",
                      "tv.map", Text(&CliOptions::map)),
          ValueOption("--color", "WHEN",
                      "colour the picture: auto (on a terminal, unless NO_COLOR is set), always "
                      "or never",
                      "never",
                      [](const std::string& value, CliOptions& options) {
                          options.color = value;
                          return value == "auto" || value == "always" || value == "never"
                                     ? std::string()
                                     : "--color takes auto, always or never, not \"" + value + "\"";
                      })},
         "Reads every slot and draws channels 1-4 as two rows of 50 keys each, then slots "
         "401-448, one character a slot: a dot for an empty slot, a block as tall as the code is "
         "long; with --against = same, a crossed = different, + only on the module, - only in "
         "the file. A legend counts each state. Exit status 1 when --against finds a difference.",
         "lumaret-cli -p COM9 map --against backup.txt",
         true,
         true,
         {WordsKind::Files, "a file", " backup.txt", {&CliOptions::file}, 1},
         {.checkPorts = ModuleOrFile,
          .alone = RunMapFile,
          .withoutPort = [](const CliOptions& o) { return !o.file.empty(); },
          .each = RunMapModule}});
}

std::vector<CommandEntry> MakeTable() {
    std::vector<CommandEntry> table;
    AddKeyCommands(table);
    AddRemoteCommands(table);
    AddTransferCommands(table);
    AddJournalCommands(table);
    AddMapCommand(table);
    AddOtherCommands(table);
    return table;
}

} // namespace

const std::vector<CommandEntry>& CommandTable() {
    static const std::vector<CommandEntry> table = MakeTable();
    return table;
}

const std::vector<OptionEntry>& GeneralOptions() {
    static const std::vector<OptionEntry> options{
        PortsOption(
            "-p, --port",
            "a COM name (COM9), a device path, a module ser2net serves "
            "(rfc2217://HOST:PORT), or all (every USB adapter, published module and name in "
            "ports.conf); "
            "repeat it or separate names by commas to run on several modules at once. "
            "Default: $LUMARET_PORT",
            "COM9", &CliOptions::ports),
        FlagOption("--json", "print one JSON document on standard output instead of text",
                   &CliOptions::json),
        FlagOption("--fixed-timing",
                   "wait the window's fixed pauses in each exchange instead of ending it as soon "
                   "as its reply is complete (checked CRC and a quiet gap learned from the line)",
                   &CliOptions::fixedTiming),
        FlagOption("--fast", "the default timing, still accepted", &CliOptions::fast),
        FlagOption("--no-journal",
                   "keep no journal of the slots a write replaces (saves one read a slot "
                   "written; undo cannot restore them)",
                   &CliOptions::noJournal),
        FlagOption("--trace", "print every frame written and every reply read on standard error",
                   &CliOptions::trace),
        FlagOption("-q, --quiet", "show no progress", &CliOptions::quiet),
        FlagOption("-v, --verbose",
                   "a progress bar for every port; with more than eight ports the progress is "
                   "otherwise one summary line",
                   &CliOptions::verbose),
        // Read as the line is read: they end the run before any check.
        {"-h, --help", "", "show this help, or a command's"},
        {"--version", "", "print the program's version"},
    };
    return options;
}

const CommandEntry* FindCommand(const std::string& word) {
    for (const CommandEntry& entry : CommandTable()) {
        if (entry.name == word) {
            return &entry;
        }
    }
    return nullptr;
}

std::vector<const OptionEntry*> KnownOptions(const CommandEntry* command) {
    std::vector<const OptionEntry*> known;
    for (const OptionEntry& option : GeneralOptions()) {
        known.push_back(&option);
    }
    if (command != nullptr) {
        for (const OptionEntry& option : command->options) {
            known.push_back(&option);
        }
    }
    return known;
}

bool NeedsPort(const CliOptions& options) {
    const auto withoutPort = options.command->run.withoutPort;
    return options.command->port && (withoutPort == nullptr || !withoutPort(options));
}

std::vector<std::string> OptionNames(const OptionEntry& option) {
    std::vector<std::string> names;
    size_t start = 0;
    for (;;) {
        const size_t comma = option.names.find(", ", start);
        names.push_back(option.names.substr(start, comma - start));
        if (comma == std::string::npos) {
            return names;
        }
        start = comma + 2;
    }
}
