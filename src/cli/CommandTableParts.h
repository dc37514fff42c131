#pragma once

// The pieces the command table is built from, shared by the files that add
// its commands.

#include "CommandTable.h"
#include "PortSession.h"
#include "Report.h"

#include <string>
#include <vector>

OptionTake Flag(bool CliOptions::*flag);
OptionTake Text(std::string CliOptions::*text);
OptionTake PortName(std::string CliOptions::*port);
// Names separated by commas, added to those of the option given before;
// what: the usage error of an empty name.
OptionTake Names(std::vector<std::string> CliOptions::*names, const std::string& what);
// what: the start of the message for a value out of range.
OptionTake Number(int CliOptions::*number, int low, int high, const std::string& what);

OptionEntry FlagOption(std::string names, std::string help, bool CliOptions::*flag);
// example: the value "--slot needs a value, e.g. --slot 12" shows; needs:
// what the command needs the option as, when it is required.
OptionEntry ValueOption(std::string names, std::string value, std::string help, std::string example,
                        OptionTake take, std::string needs = {});
OptionEntry PortsOption(std::string names, std::string help, std::string example,
                        std::vector<std::string> CliOptions::*ports);

// The commands on a file run on each port with the file's name for that port.
template <void (*RUN)(CPortSession&, const std::string&, CPortReport&)>
void OnFile(CPortSession& session, CPortReport& report) {
    RUN(session, session.FileFor(session.Context().options.file), report);
}

// -p names one module ("all" may stand for several).
bool OneModule(const CliOptions& options);
// The rule of a command that runs on one port.
std::string OnePort(const CommandLine& line, const CliOptions& options);

extern const CommandWords KEY_WORDS;
extern const CommandWords FILE_WORDS;
extern const CommandWords MAP_WORDS;
extern const OptionEntry CHANNEL;
extern const OptionEntry KEY;
extern const OptionEntry FILE_ARGUMENT;
extern const OptionEntry MAP_ARGUMENT;
extern const OptionEntry MAP_OPTION;
// send's: --wait DURATION, and a key or a sequence of keys by name.
extern const OptionEntry WAIT_OPTION;
extern const CommandWords SEND_WORDS;
// export, clone, backup: --accept-unchecked.
extern const OptionEntry ACCEPT_UNCHECKED;
// --slot N of the commands on one key.
OptionEntry SlotOption(const std::string& verb);

// The commands on a module's journal and backups: undo, clear and restore.
void AddJournalCommands(std::vector<CommandEntry>& table);
