#include "CommandTable.h"

namespace {

const OptionEntry CHANNEL{"CHANNEL", "", "the channel, 1 to 4"};
const OptionEntry KEY{"KEY", "", "the key number, 1 to 100"};
const OptionEntry FILE_ARGUMENT{"FILE", "", "a database file, one line a slot: 0007,12AB34CD"};
const OptionEntry MAP_ARGUMENT{"MAP", "",
                               "a remote map, one key a line: 1/1 POWER (channel/key) or "
                               "412 POWER (slot)"};
const OptionEntry MAP_OPTION{"--map", "MAP", "take the key by its NAME in the remote map MAP"};

// The commands on a module's keys, and the port list.
void AddKeyCommands(std::vector<CommandEntry>& table) {
    table.push_back({"ports",
                     CliCommand::Ports,
                     "list the serial ports, with their device and adapter",
                     {"ports"},
                     {},
                     {},
                     "Lists the ports the window lists: the COM name, the device and, for a USB "
                     "adapter, its vendor, model and serial number.",
                     "lumaret-cli ports",
                     false,
                     false});
    table.push_back({"version",
                     CliCommand::Version,
                     "print the module's firmware version",
                     {"-p PORT version"},
                     {},
                     {},
                     "Prints the firmware version of the module on each port, e.g. 102.003.",
                     "lumaret-cli -p COM9 version",
                     true,
                     true});
    table.push_back(
        {"read",
         CliCommand::Read,
         "print the code of a key slot in hexadecimal",
         {"-p PORT read CHANNEL KEY", "-p PORT read --slot N", "-p PORT read --map MAP NAME"},
         {CHANNEL, KEY},
         {{"--slot", "N", "read slot N (1 to 448) instead of a channel and a key"},
          MAP_OPTION,
          {"--raw", "",
           "print the whole reply, header and CRC included, as the "
           "window's log shows it"}},
         "The code is printed as hexadecimal pairs; when there is none, standard "
         "error says why (Key empty!, Communication fail!).",
         "lumaret-cli -p COM9 read 1 12",
         true,
         true});
    table.push_back({"send",
                     CliCommand::Send,
                     "make the module transmit the code of a key",
                     {"-p PORT send CHANNEL KEY", "-p PORT send --map MAP NAME"},
                     {CHANNEL, KEY},
                     {MAP_OPTION},
                     "Prints Send Ok!, or says on standard error why not (Key empty!, "
                     "Communication fail!).",
                     "lumaret-cli -p COM9 send 1 12",
                     true,
                     true});
    table.push_back({"learn",
                     CliCommand::Learn,
                     "learn a code from a remote control into a key",
                     {"-p PORT learn CHANNEL KEY"},
                     {CHANNEL, KEY},
                     {},
                     "Point the remote at the module and press the key while the module waits "
                     "(about 13 seconds). On a terminal the time left is shown.",
                     "lumaret-cli -p COM9 learn 1 12",
                     true,
                     false});
}

// The commands on a whole remote.
void AddRemoteCommands(std::vector<CommandEntry>& table) {
    table.push_back(
        {"learn-remote",
         CliCommand::LearnRemote,
         "learn every key of a remote map, one after the other",
         {"-p PORT learn-remote MAP"},
         {MAP_ARGUMENT},
         {{"--retries", "N", "more tries for a key that brought no code (default 3)"},
          {"--confirm", "", "learn each key twice and compare; a third press when they differ"},
          {"--session", "FILE", "keep the codes learned in FILE instead of MAP.session"},
          {"--restart", "", "start afresh instead of resuming the session"}},
         "Names each key on standard error as the module waits for it. After every key the "
         "codes learned so far are saved to the session file (a database file that import "
         "and verify take); running the same map again resumes at the first key not learned. "
         "On a terminal, after a try that brought no code: Enter tries again, s skips the key, "
         "q stops. Without a terminal a key is tried again, then skipped. Exit status 1 when a "
         "key is missing at the end.",
         "lumaret-cli -p COM9 learn-remote tv.map",
         true,
         true});
    table.push_back(
        {"check-remote",
         CliCommand::CheckRemote,
         "send each key of a map from one module into another that learns it",
         {"-p PORT check-remote MAP --with PORT"},
         {MAP_ARGUMENT},
         {{"--with", "PORT", "the module that learns what PORT sends"},
          {"--scratch", "SLOT",
           "the slot the learning module learns into (default 448); written back as it was "
           "at the end"},
          {"--strict", "", "exit status 1 when a capture differs, too"}},
         "For each key the module on PORT holds: the other module learns while it is sent, "
         "and its capture is compared with the code: identical, differs in N of M bytes (with "
         "the positions) or not captured. Exit status 1 when a key is not captured.",
         "lumaret-cli -p COM9 check-remote tv.map --with COM10",
         true,
         true});
}

// The commands that move or compare every slot.
void AddTransferCommands(std::vector<CommandEntry>& table) {
    table.push_back({"export",
                     CliCommand::Export,
                     "back up slots 1 to 448 into a file",
                     {"-p PORT export FILE"},
                     {FILE_ARGUMENT},
                     {},
                     "FILE may hold {port}, {serial}, {date} and {time}, which become the port's "
                     "name, the adapter's serial number (else the port's name), the date "
                     "(YYYY-MM-DD) and the time (HHMMSS); with several ports FILE must hold {port} "
                     "or {serial}. FILE is replaced only once every slot is read; a failed export "
                     "keeps what it read in FILE.partial.",
                     "lumaret-cli -p COM9 export 'backup-{port}-{date}.txt'",
                     true,
                     true});
    table.push_back({"import",
                     CliCommand::Import,
                     "write every line of a file into its slot",
                     {"-p PORT import FILE", "import --dry-run FILE"},
                     {FILE_ARGUMENT},
                     {{"--dry-run", "", "check the file and report each line, without a port"}},
                     "Reports each line, and skips a line that is not in the database format.",
                     "lumaret-cli -p COM9 import backup.txt",
                     true,
                     true});
    table.push_back({"verify",
                     CliCommand::Verify,
                     "compare a module with a file",
                     {"-p PORT verify FILE"},
                     {FILE_ARGUMENT},
                     {{"--exact", "",
                       "also require every slot the file does not name to be "
                       "empty"}},
                     "Reads the slots the file names and lists each one that differs.",
                     "lumaret-cli -p COM9 verify backup.txt",
                     true,
                     true});
}

// The commands on files alone, clone and help.
void AddOtherCommands(std::vector<CommandEntry>& table) {
    table.push_back(
        {"diff",
         CliCommand::Diff,
         "compare two files slot by slot",
         {"diff FILE_A FILE_B"},
         {{"FILE_A", "", "the first database file"}, {"FILE_B", "", "the second database file"}},
         {},
         "Lists the slots only in one file and those with different codes.",
         "lumaret-cli diff monday.txt friday.txt",
         false,
         false});
    table.push_back({"show",
                     CliCommand::Show,
                     "print a database file as a table",
                     {"show FILE"},
                     {FILE_ARGUMENT},
                     {},
                     "One row a line of the file: the slot, its channel and key, the length of "
                     "the code and its first bytes in hexadecimal. Malformed lines are named.",
                     "lumaret-cli show backup.txt | less",
                     false,
                     false});
    table.push_back({"clone",
                     CliCommand::Clone,
                     "copy one module onto others and verify each",
                     {"-p PORT clone --to PORT[,PORT...]"},
                     {},
                     {{"--to", "PORT", "a target port; repeat it or separate names by commas"},
                      {"--exact", "",
                       "also require every target to hold no slot the source "
                       "lacks"}},
                     "Opens every target first, reads the source into memory, then writes it "
                     "into all targets at once and verifies each.",
                     "lumaret-cli -p COM9 clone --to COM10,COM11",
                     true,
                     true});
    table.push_back({"help",
                     CliCommand::Help,
                     "show the help of the program or of a command",
                     {"help [COMMAND]"},
                     {{"COMMAND", "", "the command whose help to show"}},
                     {},
                     "The same as --help, or COMMAND --help.",
                     "lumaret-cli help export",
                     false,
                     false});
}

std::vector<CommandEntry> MakeTable() {
    std::vector<CommandEntry> table;
    AddKeyCommands(table);
    AddRemoteCommands(table);
    AddTransferCommands(table);
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
        {"-p, --port", "PORT",
         "a COM name (COM9), a device path, a module ser2net serves (rfc2217://HOST:PORT), or "
         "all (every USB adapter and published module); "
         "repeat it or separate names by commas to run on several modules at once. Default: "
         "$LUMARET_PORT"},
        {"--json", "", "print one JSON document on standard output instead of text"},
        {"--fast", "",
         "end each exchange as soon as its reply is complete (checked CRC and a quiet gap) "
         "instead of after the window's fixed pauses"},
        {"--trace", "", "print every frame written and every reply read on standard error"},
        {"-q, --quiet", "", "show no progress"},
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
