#include "PortList.h"

#include <cstdint>

namespace {

// Case-blind order of port names (ASCII letters fold; COM names are ASCII).
int CompareCaseBlind(const std::string& a, const std::string& b) {
    auto fold = [](unsigned char c) { return c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : int{c}; };
    const size_t common = std::min(a.size(), b.size());
    for (size_t i = 0; i < common; ++i) {
        const int d =
            fold(static_cast<unsigned char>(a[i])) - fold(static_cast<unsigned char>(b[i]));
        if (d != 0) {
            return d;
        }
    }
    return a.size() < b.size() ? -1 : a.size() > b.size() ? 1 : 0;
}

} // namespace

PortListWalk WalkPortList(IPortRegistry& key) {
    PortListWalk walk;
    if (key.OpenKey() != PORT_REG_SUCCESS) {
        walk.messages.emplace_back("Open Registry Error!\n");
        return walk;
    }
    uint32_t valueCount = 0;
    uint32_t maxNameLength = 0;
    if (key.QueryInfoKey(valueCount, maxNameLength) != PORT_REG_SUCCESS) {
        walk.messages.emplace_back("Getting  Info  Error!\n");
        key.CloseKey();
        return walk;
    }
    for (uint32_t index = 0; index < valueCount; ++index) {
        std::vector<char> name(static_cast<size_t>(maxNameLength) + 1, '\0');
        uint32_t nameLength = maxNameLength + 1;
        const long status = key.EnumValueName(index, name.data(), nameLength);
        if (status != PORT_REG_SUCCESS && status != PORT_REG_NO_MORE_ITEMS) {
            walk.messages.emplace_back("Enum  Registry  Error or No More Items!\n");
            continue;
        }
        // One byte more than the data may hold, so the text always ends.
        uint8_t data[PORT_LIST_NAME_CHARS + 2] = {};
        uint32_t dataLength = PORT_LIST_NAME_CHARS + 1;
        if (key.QueryValue(name.data(), data, dataLength) != PORT_REG_SUCCESS) {
            walk.messages.emplace_back("Can not get the name of the port");
            continue;
        }
        PortListItem item{reinterpret_cast<const char*>(data), name.data()};
        auto at = walk.items.begin();
        while (at != walk.items.end() && CompareCaseBlind(at->comName, item.comName) <= 0) {
            ++at;
        }
        walk.items.insert(at, std::move(item));
    }
    key.CloseKey();
    return walk;
}
