#include "RemoteMap.h"

#include "CommandFrame.h"
#include "DatabaseFormat.h"
#include "ModuleLimits.h"

#include <charconv>
#include <map>

namespace {

constexpr std::string_view UTF8_BOM = "\xEF\xBB\xBF";

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view Trimmed(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && IsBlank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

// The line's fields, split at runs of blanks, comment left off.
std::vector<std::string_view> Fields(std::string_view line) {
    if (const size_t hash = line.find('#'); hash != std::string_view::npos) {
        line = line.substr(0, hash);
    }
    std::vector<std::string_view> fields;
    line = Trimmed(line);
    while (!line.empty()) {
        size_t end = 0;
        while (end < line.size() && !IsBlank(line[end])) {
            ++end;
        }
        fields.push_back(line.substr(0, end));
        line = Trimmed(line.substr(end));
    }
    return fields;
}

// A decimal number of at most four digits, nothing else.
bool Number(std::string_view text, int& value) {
    if (text.empty() || text.size() > 4) {
        return false;
    }
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size() && text.front() != '-' &&
           text.front() != '+';
}

bool NameChar(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' ||
           c == '.' || c == '+' || c == '-';
}

// Empty when the place is good; fills key's slot, channel and key.
std::string TakePlace(std::string_view text, RemoteKey& key) {
    const std::string quoted = "\"" + std::string(text) + "\"";
    if (const size_t slash = text.find('/'); slash != std::string_view::npos) {
        int channel = 0;
        int number = 0;
        if (!Number(text.substr(0, slash), channel) || !Number(text.substr(slash + 1), number)) {
            return quoted + " is not CHANNEL/KEY";
        }
        if (!ChannelInRange(channel)) {
            return "channel " + std::to_string(channel) + " is outside " + ChannelRangeText();
        }
        if (!KeyNumberInRange(number)) {
            return "key " + std::to_string(number) + " is outside " + KeyNumberRangeText();
        }
        key.channel = channel;
        key.key = number;
        key.slot = KeyIndex(channel, number);
        return {};
    }
    int slot = 0;
    if (!Number(text, slot)) {
        return quoted + " is neither a slot nor CHANNEL/KEY";
    }
    if (!IsSlot(slot)) {
        return "slot " + std::to_string(slot) + " is outside " + SlotRangeText();
    }
    key.slot = static_cast<uint16_t>(slot);
    return {};
}

std::string NameFault(std::string_view name) {
    if (name.size() > MAX_KEY_NAME_CHARS) {
        return "the name \"" + std::string(name) + "\" is longer than " +
               std::to_string(MAX_KEY_NAME_CHARS) + " characters";
    }
    for (const char c : name) {
        if (!NameChar(c)) {
            return "the name \"" + std::string(name) +
                   "\" may hold only letters, digits and _ . + -";
        }
    }
    return {};
}

} // namespace

std::string KeyPlace(const RemoteKey& key) {
    if (key.channel > 0) {
        return std::to_string(key.channel) + "/" + std::to_string(key.key);
    }
    return "slot " + std::to_string(key.slot);
}

int KeyChannel(const RemoteKey& key) {
    return key.channel > 0 ? key.channel : (key.slot - 1) / MAX_KEY_NUMBER + 1;
}

std::string RemoteMapFaultText(const RemoteMapFault& fault) {
    if (fault.line == 0) {
        return fault.reason;
    }
    return "line " + std::to_string(fault.line) + ": " + fault.reason;
}

const RemoteKey* RemoteMap::Find(std::string_view name) const {
    for (const RemoteKey& key : keys) {
        if (key.name == name) {
            return &key;
        }
    }
    return nullptr;
}

RemoteMap ParseRemoteMap(const std::vector<std::string>& lines) {
    RemoteMap map;
    std::map<std::string, size_t, std::less<>> names;
    std::map<uint16_t, size_t> slots;
    for (size_t i = 0; i < lines.size(); ++i) {
        std::string_view line = lines[i];
        if (i == 0 && line.starts_with(UTF8_BOM)) {
            line.remove_prefix(UTF8_BOM.size());
        }
        const size_t number = i + 1;
        const std::vector<std::string_view> fields = Fields(line);
        if (fields.empty()) {
            continue;
        }
        auto refuse = [&](std::string reason) {
            map.faults.push_back({number, std::move(reason)});
        };
        if (fields.size() != 2) {
            refuse("expected a slot or CHANNEL/KEY, then a name");
            continue;
        }
        RemoteKey key;
        key.line = number;
        key.name = std::string(fields[1]);
        if (std::string fault = TakePlace(fields[0], key); !fault.empty()) {
            refuse(std::move(fault));
            continue;
        }
        if (std::string fault = NameFault(key.name); !fault.empty()) {
            refuse(std::move(fault));
            continue;
        }
        if (const auto named = names.find(key.name); named != names.end()) {
            refuse("the name " + key.name + " is used on line " + std::to_string(named->second) +
                   " already");
            continue;
        }
        if (const auto used = slots.find(key.slot); used != slots.end()) {
            refuse("slot " + std::to_string(key.slot) + " is used on line " +
                   std::to_string(used->second) + " already");
            continue;
        }
        names.emplace(key.name, number);
        slots.emplace(key.slot, number);
        map.keys.push_back(std::move(key));
    }
    if (map.keys.empty() && map.faults.empty()) {
        map.faults.push_back({0, "the map names no key"});
    }
    return map;
}

RemoteMap ReadRemoteMap(const std::string& path) {
    DatabaseFileLines file = ReadDatabaseFile(path);
    if (!file.ok) {
        RemoteMap map;
        map.faults.push_back({0, path + ": " + file.error});
        return map;
    }
    return ParseRemoteMap(file.lines);
}
