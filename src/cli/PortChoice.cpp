#include "PortChoice.h"

#include "PortCatalog.h"
#include "PortNamesFile.h"

#include <cctype>
#include <set>

std::vector<std::string> AllModulePorts() {
    // A name in ports.conf stands for a module whatever its device is, and a
    // module on the network has no other.
    std::set<std::string> named;
    for (const DeviceMapEntry& entry : NamedDeviceMap(ReadLocalDeviceMap())) {
        named.insert(entry.comName);
    }
    std::vector<std::string> ports;
    std::set<std::string> devices; // a device under two names is one module
    for (const PortEntry& entry : ListPortEntries()) {
        const bool module = entry.kind == PortKind::UsbAdapter ||
                            entry.kind == PortKind::PublishedModule ||
                            named.count(entry.comName) > 0;
        if (module && devices.insert(entry.device).second) {
            ports.push_back(entry.comName);
        }
    }
    return ports;
}

bool IsAllPorts(const std::string& name) {
    return name.size() == 3 && std::tolower(static_cast<unsigned char>(name[0])) == 'a' &&
           std::tolower(static_cast<unsigned char>(name[1])) == 'l' &&
           std::tolower(static_cast<unsigned char>(name[2])) == 'l';
}

std::vector<std::string> ExpandAll(const std::vector<std::string>& names) {
    std::vector<std::string> expanded;
    for (const std::string& name : names) {
        if (IsAllPorts(name)) {
            const std::vector<std::string> all = AllModulePorts();
            expanded.insert(expanded.end(), all.begin(), all.end());
        } else {
            expanded.push_back(name);
        }
    }
    return expanded;
}
