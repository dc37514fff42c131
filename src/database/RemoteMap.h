#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// A remote map: the keys of one remote control, each named and given a slot,
// one per line, as "CHANNEL/KEY NAME" (channel 1-4, key 1-100, as the
// window's fields address them) or "SLOT NAME" (slot 1-448). UTF-8 text;
// blank lines and everything from a '#' on are ignored.
//
//   # meeting-room TV
//   1/1 POWER
//   1/2 VOL+
//
// A name is 1-40 letters, digits and "_ . + -". A name or a slot named twice
// refuses the map, as does any line that is not one of the forms above: a
// walk through a remote must never learn into a slot the map did not mean.

inline constexpr size_t MAX_KEY_NAME_CHARS = 40;

struct RemoteKey {
    std::string name;
    uint16_t slot = 0;
    int channel = 0; // 1-4 when the line gave CHANNEL/KEY, else 0
    int key = 0;     // 1-100 when the line gave CHANNEL/KEY, else 0
    size_t line = 0; // from 1
};

// "1/2" for a key given by channel and key, "slot 412" for one given by slot.
std::string KeyPlace(const RemoteKey& key);

// The channel a send of the key goes out on: the line's channel, or for a
// key given by slot the channel the window's fields would give it.
int KeyChannel(const RemoteKey& key);

struct RemoteMapFault {
    size_t line = 0; // from 1; 0 for the map as a whole
    std::string reason;
};
// "line 3: ..." or the reason alone for the map as a whole.
std::string RemoteMapFaultText(const RemoteMapFault& fault);

struct RemoteMap {
    std::vector<RemoteKey> keys; // in file order
    std::vector<RemoteMapFault> faults;

    bool Ok() const { return faults.empty(); }
    // The key of that name (names are compared exactly), nullptr when none.
    const RemoteKey* Find(std::string_view name) const;
};

// Every fault is listed, each with its line; a map without keys is refused too.
RemoteMap ParseRemoteMap(const std::vector<std::string>& lines);

// Reads and parses a map file; a file that cannot be read gives one fault
// (line 0) saying why.
RemoteMap ReadRemoteMap(const std::string& path);
