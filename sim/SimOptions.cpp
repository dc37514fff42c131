#include "SimOptions.h"

#include "ComName.h"
#include "Room.h"

#include <charconv>
#include <getopt.h>
#include <set>
#include <string_view>
#include <vector>

const char* const SIM_USAGE = R"(Usage: lumaret-sim [OPTION]...
  or:  lumaret-sim press --room NAME HEX
Serves a simulated IR learning module on a pseudo-terminal, published as a COM
port in the port directory, until it gets SIGINT (Ctrl+C), SIGTERM or SIGHUP,
or its output is closed (e.g. by 'head'). On each of these it saves (--save)
and withdraws the port.

  --port COMn            publish the module as COMn (default COM9); COM<n>.lock
                         is held while serving and the link removed on exit
  --load FILE            start with the slots of this database file (instead of
                         the few seeded codes); slots it does not name are empty
  --save FILE            write the slots to FILE in the database format on exit
  --empty                start with every slot empty
  --firmware TEXT        firmware version, up to six characters (default 102003,
                         shown by the host as 102.003)
  --version TEXT         deprecated: the same as --firmware TEXT
  --verbose              print every frame received, in hexadecimal
  --room NAME            join the room NAME with other modules: a Send puts its
                         code into the room, and a learn takes the first code
                         that comes from it instead of making one up

Faults:
  --silent               answer nothing at all
  --stop-after-slot N    no answer to reads of slots above N
  --split SIZES          split every reply into pieces of these sizes, e.g. 3,5
                         (the rest of a reply goes as one last piece)
  --piece-gap MS         silence between two pieces (default 0)
  --learn-status S       status byte of learn answers (default 0, learn ok;
                         2 carry wrong, 4 save fail); a code is stored only
                         with 0
  --learn-delay MS       time from a learn frame to its answer (default 1500),
                         without a room
  --learn-window MS      in a room, how long a learn waits for a code (default
                         10000); when none comes it is never answered
  --capture-noise P      in a room, the chance (0 to 1, default 0) that a code a
                         learn takes has one byte changed
  --refuse-writes K      leave the first K write frames unacknowledged
  --paced                send each byte at the 9600-baud byte time (1.04 ms),
                         and take in request bytes no faster
  --turnaround MS        from a whole request to the first reply byte
                         (default 2)
  --burst N              paced, send the reply bytes N at a time, each group
                         when its last byte would be through (default 1)
  --damage-every N       flip a CRC byte of every Nth reply, counting all
                         replies (20: one reply in 20)
  --no-crc KINDS         replies of these kinds keep their length but carry no
                         valid CRC (the last two bytes zero): status, version,
                         code, separated by commas, or all
  --ack-status S         status byte of write acknowledgements (default 0);
                         with any other a write stores nothing
  --flood-learn          answer a learn frame with 3 bytes every 50 ms, never
                         an 8-byte answer, until the next frame

  --help                 show this text and exit
  --version              show the program's version and exit

lumaret-sim press --room NAME HEX puts a code into the room NAME, as a remote
control would, and exits: 0 when a module was there to see it, 1 when nobody
is in the room. HEX is the code's bytes in hexadecimal, e.g. 0A1B2C or
"0a 1b 2c", at most 504 of them.
)";

namespace {

template <typename T> bool ParseNumber(std::string_view text, T& value) {
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc() && end == text.data() + text.size() && !text.empty();
}

bool ParsePieces(std::string_view text, std::vector<uint32_t>& pieces) {
    pieces.clear();
    while (!text.empty()) {
        const size_t comma = text.find(',');
        uint32_t size = 0;
        if (!ParseNumber(text.substr(0, comma), size) || size == 0) {
            return false;
        }
        pieces.push_back(size);
        if (comma == std::string_view::npos) {
            break;
        }
        text.remove_prefix(comma + 1);
        if (text.empty()) {
            return false;
        }
    }
    return !pieces.empty();
}

// An option's effect on the options; the refusal, or empty when taken.
using ApplyOption = std::string (*)(std::string_view value, SimOptions& options);

struct OptionRule {
    const char* name;
    bool takesValue;
    ApplyOption apply;
    // For an option whose value may be left out: its effect without one. The
    // value is then the next argument, unless that is an option itself.
    ApplyOption alone = nullptr;
};

std::string TakeFirmware(std::string_view v, SimOptions& o) {
    if (v.empty() || v.size() > 6) {
        return "--firmware takes one to six characters";
    }
    o.version = v;
    return "";
}

// "status,code", "all": the reply kinds named, into kinds.
bool ParseReplyKinds(std::string_view text, std::set<ReplyKind>& kinds) {
    kinds.clear();
    if (text == "all") {
        kinds = {ReplyKind::Status, ReplyKind::Version, ReplyKind::Code};
        return true;
    }
    for (;;) {
        const size_t comma = text.find(',');
        const std::string_view name = text.substr(0, comma);
        if (name == "status") {
            kinds.insert(ReplyKind::Status);
        } else if (name == "version") {
            kinds.insert(ReplyKind::Version);
        } else if (name == "code") {
            kinds.insert(ReplyKind::Code);
        } else {
            return false;
        }
        if (comma == std::string_view::npos) {
            return true;
        }
        text.remove_prefix(comma + 1);
    }
}

std::string TakeStatusByte(std::string_view value, int& status, const char* refusal) {
    return ParseNumber(value, status) && status >= 0 && status <= 255 ? "" : refusal;
}

const OptionRule MODULE_OPTIONS[] = {
    {"port", true,
     [](std::string_view v, SimOptions& o) -> std::string {
         const auto n = ParseComNumber(v);
         if (!n) {
             return "--port needs a name COM1 to COM255, not '" + std::string(v) + "'";
         }
         o.port = ComName(*n);
         return "";
     }},
    {"load", true,
     [](std::string_view v, SimOptions& o) -> std::string {
         o.loadPath = v;
         return "";
     }},
    {"save", true,
     [](std::string_view v, SimOptions& o) -> std::string {
         o.savePath = v;
         return "";
     }},
    {"empty", false,
     [](std::string_view, SimOptions& o) -> std::string {
         o.empty = true;
         return "";
     }},
    {"firmware", true, TakeFirmware},
    // The firmware's option before --firmware; alone it asks for the program's version.
    {"version", true, TakeFirmware,
     [](std::string_view, SimOptions& o) -> std::string {
         o.showVersion = true;
         return "";
     }},
    {"verbose", false,
     [](std::string_view, SimOptions& o) -> std::string {
         o.verbose = true;
         return "";
     }},
    {"room", true,
     [](std::string_view v, SimOptions& o) -> std::string {
         o.room = v;
         const std::string fault = RoomNameFault(o.room);
         return fault.empty() ? "" : "--room: " + fault;
     }},
    {"help", false,
     [](std::string_view, SimOptions& o) -> std::string {
         o.help = true;
         return "";
     }},
};

const OptionRule FAULT_OPTIONS[] = {
    {"silent", false,
     [](std::string_view, SimOptions& o) -> std::string {
         o.faults.silent = true;
         return "";
     }},
    {"stop-after-slot", true,
     [](std::string_view v, SimOptions& o) -> std::string {
         int& slot = o.faults.stopAfterSlot;
         return ParseNumber(v, slot) && slot >= 0 ? ""
                                                  : "--stop-after-slot takes a slot number from 0";
     }},
    {"split", true,
     [](std::string_view v, SimOptions& o) -> std::string {
         return ParsePieces(v, o.faults.replyPieces)
                    ? ""
                    : "--split takes sizes above 0 separated by commas, e.g. 3,5";
     }},
    {"piece-gap", true,
     [](std::string_view v, SimOptions& o) -> std::string {
         return ParseNumber(v, o.faults.pieceGapMs) ? "" : "--piece-gap takes milliseconds";
     }},
    {"learn-status", true,
     [](std::string_view v, SimOptions& o) -> std::string {
         return TakeStatusByte(v, o.faults.learnStatus,
                               "--learn-status takes a status byte 0 to 255");
     }},
    {"learn-delay", true,
     [](std::string_view v, SimOptions& o) -> std::string {
         return ParseNumber(v, o.faults.learnDelayMs) ? "" : "--learn-delay takes milliseconds";
     }},
    {"learn-window", true,
     [](std::string_view v, SimOptions& o) -> std::string {
         return ParseNumber(v, o.faults.learnWindowMs) ? "" : "--learn-window takes milliseconds";
     }},
    {"capture-noise", true,
     [](std::string_view v, SimOptions& o) -> std::string {
         double& p = o.faults.captureNoise;
         return ParseNumber(v, p) && p >= 0.0 && p <= 1.0
                    ? ""
                    : "--capture-noise takes a chance from 0 to 1, e.g. 0.1";
     }},
    {"refuse-writes", true,
     [](std::string_view v, SimOptions& o) -> std::string {
         return ParseNumber(v, o.faults.refuseWrites) ? "" : "--refuse-writes takes a count";
     }},
    {"paced", false,
     [](std::string_view, SimOptions& o) -> std::string {
         o.faults.paced9600 = true;
         return "";
     }},
    {"turnaround", true,
     [](std::string_view v, SimOptions& o) -> std::string {
         return ParseNumber(v, o.faults.turnaroundMs) ? "" : "--turnaround takes milliseconds";
     }},
    {"burst", true,
     [](std::string_view v, SimOptions& o) -> std::string {
         uint32_t& burst = o.faults.pacedBurst;
         return ParseNumber(v, burst) && burst >= 1 && burst <= 512
                    ? ""
                    : "--burst takes a count of bytes from 1 to 512";
     }},
    {"damage-every", true,
     [](std::string_view v, SimOptions& o) -> std::string {
         uint32_t& every = o.faults.damageEvery;
         return ParseNumber(v, every) && every >= 1
                    ? ""
                    : "--damage-every takes a count from 1 (1 damages every reply)";
     }},
    {"no-crc", true,
     [](std::string_view v, SimOptions& o) -> std::string {
         return ParseReplyKinds(v, o.faults.noCrcKinds)
                    ? ""
                    : "--no-crc takes status, version and code separated by commas, or all";
     }},
    {"ack-status", true,
     [](std::string_view v, SimOptions& o) -> std::string {
         return TakeStatusByte(v, o.faults.ackStatus, "--ack-status takes a status byte 0 to 255");
     }},
    {"flood-learn", false,
     [](std::string_view, SimOptions& o) -> std::string {
         o.faults.floodLearn = true;
         return "";
     }},
};

std::vector<OptionRule> AllRules() {
    std::vector<OptionRule> rules(std::begin(MODULE_OPTIONS), std::end(MODULE_OPTIONS));
    rules.insert(rules.end(), std::begin(FAULT_OPTIONS), std::end(FAULT_OPTIONS));
    return rules;
}

} // namespace

bool ParseSimOptions(int argc, char** argv, SimOptions& options, std::string& error) {
    // An option's getopt value is its place in the rules, past the short options' range.
    constexpr int FIRST_VALUE = 1000;
    const std::vector<OptionRule> rules = AllRules();
    std::vector<option> longOptions;
    for (size_t i = 0; i < rules.size(); ++i) {
        const int has = rules[i].alone != nullptr ? optional_argument
                        : rules[i].takesValue     ? required_argument
                                                  : no_argument;
        longOptions.push_back({rules[i].name, has, nullptr, FIRST_VALUE + static_cast<int>(i)});
    }
    longOptions.push_back({nullptr, 0, nullptr, 0});

    optind = 0; // getopt starts afresh, also on a second call
    int opt;
    while ((opt = getopt_long(argc, argv, "", longOptions.data(), nullptr)) != -1) {
        const size_t rule = static_cast<size_t>(opt - FIRST_VALUE);
        if (opt < FIRST_VALUE || rule >= rules.size()) {
            error.clear();
            return false;
        }
        const OptionRule& r = rules[rule];
        std::string_view value = optarg != nullptr ? optarg : "";
        bool bare = false;
        if (r.alone != nullptr && optarg == nullptr) {
            // getopt takes only "--name=value" for such an option; "--name value" is read here.
            bare = optind >= argc || argv[optind][0] == '-';
            value = bare ? "" : argv[optind++];
        }
        error = bare ? r.alone(value, options) : r.apply(value, options);
        if (!error.empty()) {
            return false;
        }
        if (options.help) {
            return true; // what follows --help is not looked at
        }
    }
    if (optind < argc) {
        error = std::string("unexpected argument '") + argv[optind] + "'";
        return false;
    }
    return true;
}
