#include "PressOptions.h"

#include "DatabaseFormat.h"
#include "Room.h"
#include "SlotStore.h"

#include <getopt.h>

bool ParsePressOptions(int argc, char** argv, PressOptions& options, std::string& error) {
    enum { ROOM = 1000, HELP };
    const option longOptions[] = {{"room", required_argument, nullptr, ROOM},
                                  {"help", no_argument, nullptr, HELP},
                                  {nullptr, 0, nullptr, 0}};
    optind = 0; // getopt starts afresh, also on a second call
    int opt;
    while ((opt = getopt_long(argc, argv, "", longOptions, nullptr)) != -1) {
        if (opt == HELP) {
            options.help = true;
            return true;
        }
        if (opt != ROOM) {
            error.clear();
            return false;
        }
        options.room = optarg;
        if (const std::string fault = RoomNameFault(options.room); !fault.empty()) {
            error = "--room: " + fault;
            return false;
        }
    }
    if (options.room.empty()) {
        error = "press needs --room NAME";
        return false;
    }
    std::string hex;
    for (int i = optind; i < argc; ++i) {
        hex += (hex.empty() ? "" : " ") + std::string(argv[i]);
    }
    LineFault fault;
    auto code = CheckCodeText(hex, CSlotStore::MAX_CODE_BYTES, &fault);
    if (!code) {
        error = "cannot press '" + hex + "': " + fault.reason;
        return false;
    }
    if (code->empty()) {
        error = "press needs a code in hexadecimal, e.g. 0A1B2C";
        return false;
    }
    options.code = std::move(*code);
    return true;
}
