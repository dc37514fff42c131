#pragma once

#include "ModuleLimits.h"
#include "RemoteMap.h"

#include <ostream>
#include <string>
#include <vector>

struct CommandEntry;

// What the command line asked for, checked: ports split at commas, key and
// channel in range, the arguments each command needs.
struct CliOptions {
    std::vector<std::string> ports;
    bool json = false;
    bool trace = false;
    bool quiet = false;
    bool verbose = false; // a progress bar for every port, however many
    // Each exchange waits the window's fixed pauses instead of ending once
    // its reply is complete.
    bool fixedTiming = false;
    // The default, still taken from older scripts.
    bool fast = false;

    const CommandEntry* command = nullptr; // in CommandTable()
    int channel = 0;
    int key = 0;
    int slot = 0; // read --slot N; else the slot of channel and key
    bool raw = false;
    std::string file;  // export, import, verify, show; diff's first file
    std::string fileB; // diff's second file
    bool dryRun = false;
    bool exact = false;
    std::vector<std::string> targets; // clone --to
    // Remote maps: learn-remote and check-remote take the map as file;
    // send and read --map MAP NAME a key of it by name.
    std::string map;
    std::string keyName;
    int retries = 3;
    bool confirm = false;
    bool restart = false;
    std::string session;           // learn-remote --session; empty: MAP.session
    bool writeSession = false;     // learn-remote --write-session
    std::vector<std::string> only; // learn-remote --only, the names as given
    bool allowSame = false;        // learn-remote --allow-same
    std::string withPort;          // check-remote --with
    int scratch = LAST_SLOT;       // check-remote --scratch
    bool strict = false;
    // Writes keep no journal of what they replaced (undo cannot restore them).
    bool noJournal = false;
    // export, clone, backup: code replies that never showed a valid CRC may
    // still replace a file or be written into modules.
    bool acceptUnchecked = false;
    bool list = false;  // undo --list
    bool force = false; // undo --force
    std::string runId;  // undo --run
    // send --map MAP NAME NAME ...: the keys in order, and the pause between them.
    std::vector<RemoteKey> sequence;
    int waitMs = 500;
    // backup DIR --history [MODULE]: the history instead of a backup (file: DIR).
    bool history = false;
    std::string at; // restore --at REV
    std::string module;
    // map: the file to compare with, and colour in the picture (--color
    // auto|always|never, decided with the output in ColourWanted).
    std::string against;
    std::string color = "auto";
    bool colour = false;
};

struct ParseOutcome {
    bool run = false; // false: exit with status below (help, version, usage error)
    int exit = 0;
};

// args without the program's name; -p defaults to $LUMARET_PORT. Help and
// the version go to out, wrapped to width; a usage error to err, and with
// --json also {"ok": false, "exit": 2, "error": ...} to out.
ParseOutcome ParseOptions(const std::vector<std::string>& args, CliOptions& options,
                          std::ostream& out, std::ostream& err, int width = 80);

// An error before any command runs (a usage error unless exit says
// otherwise) as the program says it: on err, and as JSON on out when json.
// Returns exit.
int UsageError(const std::string& text, bool json, std::ostream& out, std::ostream& err,
               int exit = 2);

// Whether --color WHEN asks for colour codes: always, never, or with auto
// on a terminal unless NO_COLOR is set (or TERM is dumb).
// The slot a key command names: --slot N, else its channel and key.
uint16_t SlotOf(const CliOptions& options);
bool ColourWanted(const std::string& when, bool outIsTerminal);

// "COM9,COM10" and repeated options into one list; false for an empty name.
bool SplitPortList(const std::vector<std::string>& given, std::vector<std::string>& ports);
