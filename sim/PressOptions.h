#pragma once

#include <cstdint>
#include <string>
#include <vector>

// What `lumaret-sim press --room NAME HEX` asks for: a code to put into a room.
struct PressOptions {
    std::string room;
    std::vector<uint8_t> code;
    bool help = false;
};

// Reads the words after "press" (argv[0] is "press"). The code is the rest of
// the words, hexadecimal pairs with spaces between pairs allowed, 1 to
// CSlotStore::MAX_CODE_BYTES bytes. False on a wrong option, room name or
// code, with the refusal in error, or error empty when getopt has printed it.
bool ParsePressOptions(int argc, char** argv, PressOptions& options, std::string& error);
