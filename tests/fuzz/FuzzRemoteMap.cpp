#include "DatabaseFormat.h"
#include "ModuleLimits.h"
#include "RemoteMap.h"

#include <cstddef>
#include <cstdint>
#include <set>
#include <string>
#include <string_view>

namespace {

bool NameChar(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' ||
           c == '.' || c == '+' || c == '-';
}

// What every key of a map that was taken must be: a good name, a slot in
// range that its channel and key give when the line gave them, no name or
// slot twice, and its line's text holding both.
void CheckKeys(const RemoteMap& map, const std::vector<std::string>& lines) {
    std::set<std::string> names;
    std::set<uint16_t> slots;
    for (const RemoteKey& key : map.keys) {
        if (key.name.empty() || key.name.size() > MAX_KEY_NAME_CHARS || !IsSlot(key.slot) ||
            key.line == 0 || key.line > lines.size()) {
            __builtin_trap();
        }
        for (const char c : key.name) {
            if (!NameChar(c)) {
                __builtin_trap();
            }
        }
        if (key.channel != 0 && (!ChannelInRange(key.channel) || !KeyNumberInRange(key.key) ||
                                 key.slot != (key.channel - 1) * 100 + key.key)) {
            __builtin_trap();
        }
        if (!names.insert(key.name).second || !slots.insert(key.slot).second) {
            __builtin_trap();
        }
        if (lines[key.line - 1].find(key.name) == std::string::npos) {
            __builtin_trap();
        }
    }
    for (const RemoteMapFault& fault : map.faults) {
        if (fault.line > lines.size() || fault.reason.empty()) {
            __builtin_trap();
        }
    }
    if (map.faults.empty() && map.keys.empty()) {
        __builtin_trap(); // a map without keys is refused
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const std::vector<std::string> lines = SplitDatabaseText(text);
    const RemoteMap map = ParseRemoteMap(lines);
    CheckKeys(map, lines);
    return 0;
}
