#include "ComName.h"
#include "NetworkTarget.h"
#include "PortNamesFile.h"

#include <cstddef>
#include <cstdint>
#include <set>
#include <sstream>
#include <string>

// Every name a names file gives is a COM name of its own that the port list
// can show, not one of the local ports, with an absolute device path or a
// target the network driver reads, on a line of the file that holds both;
// every refusal names a line of the file.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    const std::vector<DeviceMapEntry> local = {{"/dev/ttyUSB0", "COM33"}};
    const PortNames names = ParsePortNames(lines, local);
    std::set<unsigned> seen;
    for (const NamedPort& named : names.names) {
        if (named.port < 1 || named.port > 99 || named.port == 33 ||
            !seen.insert(named.port).second || named.line == 0 || named.line > lines.size() ||
            named.target.empty() ||
            (named.target.front() != '/' && !ParseNetworkTarget(named.target)) ||
            lines[named.line - 1].find(named.target) == std::string::npos) {
            __builtin_trap();
        }
    }
    for (const PortNamesFault& fault : names.faults) {
        if (fault.line == 0 || fault.line > lines.size() || fault.reason.empty()) {
            __builtin_trap();
        }
    }
    return 0;
}
